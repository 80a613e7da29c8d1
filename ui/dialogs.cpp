#include "dialogs.h"

#include "progress.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <QDialog>
#include <QFileDialog>
#include <QHeaderView>
#include <QInputDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTreeView>
#include <vector>

namespace {

QMessageBox::Icon toQt(Dialogs::Icon icon) {
    switch (icon) {
    case Dialogs::Icon::Information:
        return QMessageBox::Information;
    case Dialogs::Icon::Warning:
        return QMessageBox::Warning;
    case Dialogs::Icon::Error:
        return QMessageBox::Critical;
    case Dialogs::Icon::Question:
        return QMessageBox::Question;
    case Dialogs::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

// The program's texts break lines with "\r", "\n\r" or "\r\n"; Qt breaks only at
// "\n", so every such break becomes one "\n" when shown.
QString shown(const QString& text) {
    QString t = text;
    t.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    t.replace(QStringLiteral("\n\r"), QStringLiteral("\n"));
    t.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return t;
}

// A question is answered by a click or a key of its own (Space on the button
// with the focus), never by Enter: no button of it is the default button.
// The box chooses its default when it is shown, so the buttons are told
// then, and again whenever the focus moves.
class NoDefaultButton : public QObject {
public:
    explicit NoDefaultButton(QMessageBox& box) : QObject(&box), box_(box) {
        box.installEventFilter(this);
        for (QAbstractButton* b : box.buttons())
            if (auto* pb = qobject_cast<QPushButton*>(b)) {
                pb->setAutoDefault(false);
                pb->installEventFilter(this);
            }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show || event->type() == QEvent::FocusIn)
            for (QAbstractButton* b : box_.buttons())
                if (auto* pb = qobject_cast<QPushButton*>(b)) pb->setDefault(false);
        return QObject::eventFilter(watched, event);
    }

private:
    QMessageBox& box_;
};

QString captionOr(const QString& caption) {
    return caption.isEmpty() ? QStringLiteral("StartZel") : caption;
}

} // namespace

void QtDialogs::message(const QString& text, const QString& caption, Icon icon) {
    const OrdinaryCursor cursor;
    QMessageBox box(toQt(icon), captionOr(caption), shown(text), QMessageBox::Ok, parent_);
    box.exec();
}

bool QtDialogs::okCancel(const QString& text, const QString& caption, Icon icon) {
    const OrdinaryCursor cursor;
    QMessageBox box(toQt(icon), captionOr(caption), shown(text), QMessageBox::Ok | QMessageBox::Cancel,
                    parent_);
    new NoDefaultButton(box);
    return box.exec() == QMessageBox::Ok;
}

bool QtDialogs::yesNo(const QString& text, const QString& caption, Icon icon) {
    const OrdinaryCursor cursor;
    QMessageBox box(toQt(icon), captionOr(caption), shown(text), QMessageBox::Yes | QMessageBox::No, parent_);
    new NoDefaultButton(box);
    return box.exec() == QMessageBox::Yes;
}

int QtDialogs::choice(const QString& text, const QString& caption, const QStringList& buttons, Icon icon) {
    const OrdinaryCursor cursor;
    QMessageBox box(toQt(icon), captionOr(caption), shown(text), QMessageBox::NoButton, parent_);
    std::vector<QAbstractButton*> added;
    for (const QString& b : buttons)
        added.push_back(box.addButton(b, QMessageBox::ActionRole));
    if (!added.empty()) box.setEscapeButton(added.back()); // the last button is the one that changes nothing
    new NoDefaultButton(box);
    box.exec();
    for (size_t i = 0; i < added.size(); ++i)
        if (box.clickedButton() == added[i]) return static_cast<int>(i);
    return -1;
}

std::optional<QString> QtDialogs::inputBox(const QString& caption, const QString& prompt,
                                           const QString& initial) {
    const OrdinaryCursor cursor;
    bool ok = false;
    const QString text =
        QInputDialog::getText(parent_, caption, shown(prompt), QLineEdit::Normal, initial, &ok);
    if (!ok) return std::nullopt;
    return text;
}

namespace {

// Qt's own file dialog opens too narrow for its four columns: it gets the
// room, the name column takes what the size, type and date leave.
QString RunFileDialog(QWidget* parent, const QString& caption, const QString& filter, bool save) {
    QFileDialog d(parent, caption, QString(), filter);
    d.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    d.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    d.resize(860, 500);
    if (auto* view = d.findChild<QTreeView*>()) {
        QHeaderView* h = view->header();
        h->setStretchLastSection(false);
        for (int c = 1; c < h->count(); ++c)
            h->setSectionResizeMode(c, QHeaderView::ResizeToContents);
        h->setSectionResizeMode(0, QHeaderView::Stretch);
    }
    if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return QString();
    return d.selectedFiles().constFirst();
}

} // namespace

QString QtDialogs::openFileName(const QString& caption, const QString& filter) {
    const OrdinaryCursor cursor;
    return RunFileDialog(parent_, caption, filter, false);
}

QString QtDialogs::saveFileName(const QString& caption, const QString& filter) {
    const OrdinaryCursor cursor;
    return RunFileDialog(parent_, caption, filter, true);
}

QString QtDialogs::folderName(const QString& caption) {
    const OrdinaryCursor cursor;
    QFileDialog d(parent_, caption);
    d.setFileMode(QFileDialog::Directory);
    d.setOption(QFileDialog::ShowDirsOnly, true);
    d.resize(860, 500);
    if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return QString();
    return d.selectedFiles().constFirst();
}

bool QtDialogs::choosePrinter(QPrinter& printer) {
    const OrdinaryCursor cursor;
    QPrintDialog dialog(&printer, parent_);
    return dialog.exec() == QDialog::Accepted;
}

int QtDialogs::execModal(QDialog& dialog) {
    const OrdinaryCursor cursor;
    return dialog.exec();
}

QString DisplayText(const QString& text) {
    return shown(text);
}

QString NotAnIntegerText(const QString& text) {
    return QStringLiteral("«%1» не является целым числом").arg(text);
}

bool TextToInt(Dialogs& dialogs, const QString& text, long& value) {
    bool ok = false;
    const qlonglong v = text.trimmed().toLongLong(&ok, 10);
    if (!ok || v < -2147483648LL || v > 2147483647LL) {
        dialogs.message(NotAnIntegerText(text), QStringLiteral("Ошибка"), Dialogs::Icon::Error);
        return false;
    }
    value = static_cast<long>(v);
    return true;
}

bool InstallQtTranslations() {
    auto* qt = new QTranslator(QCoreApplication::instance());
    if (!qt->load(QLocale(QLocale::Russian, QLocale::Russia), "qtbase", "_",
                  QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete qt;
        return false;
    }
    return QCoreApplication::installTranslator(qt);
}
