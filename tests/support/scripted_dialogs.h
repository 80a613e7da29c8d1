// Dialogs for tests: every text shown is recorded, and the answers come from a
// script. An empty script answers questions with OK/Yes (a choice with its
// first button), input boxes with
// cancel, file dialogs with an empty name, and modal forms by running nothing.
#pragma once

#include "dialogs.h"

#include <QDialog>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

class ScriptedDialogs : public Dialogs {
public:
    struct Record {
        QString kind; // "message", "okCancel", "yesNo", "choice", "input", "open", "save", "print", "modal"
        QString caption;
        QString text;
        Icon icon = Icon::None;
    };

    std::vector<Record> records;
    std::deque<bool> answers;                        // okCancel / yesNo
    std::deque<int> choices;                         // choice: the button's index, -1 closed
    std::deque<std::optional<QString>> inputs;       // input boxes; nullopt = cancel
    std::deque<QString> fileNames;                   // open / save
    std::deque<bool> printers;                       // choosePrinter
    std::function<void(QPrinter&)> printerSetup;     // sets up a chosen printer (e.g. a PDF file)
    std::function<void(const Record&)> onAsk;        // runs when a question is asked, before its answer
    std::deque<std::function<int(QDialog&)>> modals; // run instead of exec()

    void message(const QString& text, const QString& caption, Icon icon) override {
        records.push_back({"message", caption, text, icon});
    }
    bool okCancel(const QString& text, const QString& caption, Icon icon) override {
        records.push_back({"okCancel", caption, text, icon});
        if (onAsk) onAsk(records.back());
        return take(answers, true);
    }
    bool yesNo(const QString& text, const QString& caption, Icon icon) override {
        records.push_back({"yesNo", caption, text, icon});
        return take(answers, true);
    }
    int choice(const QString& text, const QString& caption, const QStringList& buttons, Icon icon) override {
        records.push_back({"choice", caption, text, icon});
        lastButtons = buttons;
        return take(choices, 0);
    }
    QStringList lastButtons; // of the last choice
    std::optional<QString> inputBox(const QString& caption, const QString& prompt,
                                    const QString& initial) override {
        records.push_back({"input", caption, prompt, Icon::None});
        (void)initial;
        if (inputs.empty()) return std::nullopt;
        const bool confirmed = inputs.front().has_value();
        const QString text = confirmed ? *inputs.front() : QString();
        inputs.pop_front();
        if (!confirmed) return std::nullopt;
        return text;
    }
    QString openFileName(const QString& caption, const QString& filter) override {
        records.push_back({"open", caption, filter, Icon::None});
        return take(fileNames, QString());
    }
    QString saveFileName(const QString& caption, const QString& filter) override {
        records.push_back({"save", caption, filter, Icon::None});
        return take(fileNames, QString());
    }
    QString folderName(const QString& caption) override {
        records.push_back({"folder", caption, QString(), Icon::None});
        return take(fileNames, QString());
    }
    bool choosePrinter(QPrinter& printer) override {
        records.push_back({"print", QString(), QString(), Icon::None});
        const bool chosen = take(printers, false);
        if (chosen && printerSetup) printerSetup(printer);
        return chosen;
    }
    int execModal(QDialog& dialog) override {
        records.push_back({"modal", dialog.windowTitle(), dialog.objectName(), Icon::None});
        if (modals.empty()) return QDialog::Rejected;
        auto run = std::move(modals.front());
        modals.pop_front();
        return run(dialog);
    }

    // The texts of all messages shown, in order.
    QStringList messages() const {
        QStringList out;
        for (const auto& r : records)
            if (r.kind == "message") out << r.text;
        return out;
    }
    QStringList kinds() const {
        QStringList out;
        for (const auto& r : records)
            out << r.kind;
        return out;
    }
    void clear() { records.clear(); }

private:
    template <class T> static T take(std::deque<T>& queue, T fallback) {
        if (queue.empty()) return fallback;
        T v = std::move(queue.front());
        queue.pop_front();
        return v;
    }
};
