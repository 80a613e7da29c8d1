// The about box: program title, version, what it is for.
#pragma once

#include <QDialog>

class AboutBox : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent = nullptr);
    static QString versionText();
};

// Modal forms of the main tab whose content is not built yet: primary setup,
// factory defaults, parameter report. Each opens as an empty modal window
// with its caption and a close button.
QDialog* MakePlaceholderForm(const char* objectName, const QString& caption, QWidget* parent);
