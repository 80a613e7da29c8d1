// The parameter report window "Параметры устройства": the controller's
// configuration as text, shown, printed (also to a PDF file through the print
// dialog) and saved as a text file.
#pragma once

#include "form_dialog.h"
#include "report_core.h"

#include <QStringList>
#include <optional>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPrinter;
class QPushButton;

class TformViewParam : public FormDialog {
    Q_OBJECT
public:
    TformViewParam(const TabContext& context, QWidget* parent = nullptr);
    ~TformViewParam() override;

    // The report lines as ShowText last wrote them.
    const QStringList& lines() const { return lines_; }
    void FormShow() override;
    // Lets the collected controller go (no repaint: the report changed nothing).
    void FormClose() override;

public slots:
    void checkAdvanceModeClick();
    void bSaveToTextClick();
    void bSaveToFileClick();
    void ShowText();

private:
    void print(QPrinter& printer);
    // Where the report went, under the buttons and in the status line.
    void tellWhere(const QString& text);

    std::optional<tools::ReportImage> image_; // while the window is open
    QStringList lines_;

    QPlainTextEdit* mParam1_;
    QPushButton* bSaveToText_;
    QPushButton* bSaveToFile_;
    QCheckBox* checkAdvanceMode_;
    QLabel* lSavedTo_;
};

// Prints report lines: 200 device units of margin, lines 113 units apart,
// each clipped to its own band; only the pages of the printer's page range.
// False when the printer cannot be started.
bool PrintReportLines(const QStringList& lines, QPrinter& printer);
