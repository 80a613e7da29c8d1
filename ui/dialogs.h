// The one way the program talks to the engineer outside its own windows: message
// boxes, OK/Cancel and Yes/No questions, input boxes, file and print dialogs, and
// modal forms. The application uses QtDialogs; tests use ScriptedDialogs, which
// records every text and returns scripted answers.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class QDialog;
class QPrinter;
class QWidget;

class Dialogs {
public:
    enum class Icon { None, Information, Warning, Error, Question };

    virtual ~Dialogs() = default;

    virtual void message(const QString& text, const QString& caption = QString(), Icon icon = Icon::None) = 0;
    // A failure told in a message box with the error icon.
    void error(const QString& text, const QString& caption = QString()) {
        message(text, caption, Icon::Error);
    }
    // The one message at the end of an operation: information when it went
    // through, else an error.
    void outcome(const QString& text, bool ok) {
        message(text, QString(), ok ? Icon::Information : Icon::Error);
    }
    // True when the engineer chose OK (or Yes).
    virtual bool okCancel(const QString& text, const QString& caption = QString(),
                          Icon icon = Icon::Warning) = 0;
    virtual bool yesNo(const QString& text, const QString& caption = QString(),
                       Icon icon = Icon::Question) = 0;
    // A question with buttons of its own: the index of the button chosen
    // (Escape chooses the last one, which must be the answer that changes
    // nothing), -1 when none was. None of them is a default button.
    virtual int choice(const QString& text, const QString& caption, const QStringList& buttons,
                       Icon icon = Icon::Warning) = 0;
    // The text entered, or nothing when cancelled.
    virtual std::optional<QString> inputBox(const QString& caption, const QString& prompt,
                                            const QString& initial = QString()) = 0;
    // Empty when cancelled.
    virtual QString openFileName(const QString& caption, const QString& filter) = 0;
    virtual QString saveFileName(const QString& caption, const QString& filter) = 0;
    // A folder (made in the dialog if need be); empty when cancelled.
    virtual QString folderName(const QString& caption) = 0;
    // True when a printer was chosen and set up in `printer`.
    virtual bool choosePrinter(QPrinter& printer) = 0;
    // Shows a form modally and returns its result code.
    virtual int execModal(QDialog& dialog) = 0;
};

// A text as Qt must be given it to show its line breaks ("\r" and the pairs
// "\n\r", "\r\n" become "\n").
QString DisplayText(const QString& text);

class QtDialogs : public Dialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }

    void message(const QString& text, const QString& caption, Icon icon) override;
    bool okCancel(const QString& text, const QString& caption, Icon icon) override;
    bool yesNo(const QString& text, const QString& caption, Icon icon) override;
    int choice(const QString& text, const QString& caption, const QStringList& buttons, Icon icon) override;
    std::optional<QString> inputBox(const QString& caption, const QString& prompt,
                                    const QString& initial) override;
    QString openFileName(const QString& caption, const QString& filter) override;
    QString saveFileName(const QString& caption, const QString& filter) override;
    QString folderName(const QString& caption) override;
    bool choosePrinter(QPrinter& printer) override;
    int execModal(QDialog& dialog) override;

private:
    QWidget* parent_;
};

// The text of the message shown when a box that must hold an integer does not.
QString NotAnIntegerText(const QString& text);

// Converts decimal text to an integer the way the engineer expects (spaces
// around it allowed). Text that is not a number shows NotAnIntegerText and
// returns false: the caller abandons the operation.
bool TextToInt(Dialogs& dialogs, const QString& text, long& value);

// Loads Qt's own Russian translations (Debian's qt6-translations-l10n), so the
// standard buttons of message boxes and dialogs read "Отмена", "Да", "Нет".
// False when they are not installed (the program then runs with English buttons).
bool InstallQtTranslations();
