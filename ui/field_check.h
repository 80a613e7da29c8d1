// The field convention of the tabs, in one place: entering a box clears
// FieldEdited, typing sets it, leaving the box runs its check (only when the
// text was edited, or on every exit for the boxes that ask for it). A check
// reports valid or invalid through setValid, which paints the box, keeps the
// mark in its "Tag" property and moves InvalidFieldCount once per change of
// the mark. Dialogs pass counters of their own.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <map>

class QWidget;

class FieldCheck : public QObject {
    Q_OBJECT
public:
    enum class When { Edited, EveryExit };
    enum class Style { Box, Font }; // red background, or red text (grids, address boxes)

    FieldCheck(bool& fieldEdited, int& invalidFieldCount, QObject* parent = nullptr);

    // Watches a line edit, combo box or table: focus in = Enter, an edit by
    // the engineer = Change, focus out = Exit.
    void attach(QWidget* w, std::function<void()> exit, When when = When::Edited);

    // Marks the control valid or invalid (see above).
    void setValid(QWidget* w, bool valid, Style style = Style::Box);
    // A read: white / black, mark cleared, the count left alone (the read sets it).
    static void reset(QWidget* w, Style style = Style::Box);
    // Only the colour, no mark (Nara grid A's zero and duplicate check).
    static void paint(QWidget* w, bool red, Style style = Style::Font);
    static bool marked(const QWidget* w);
    static bool red(const QWidget* w, Style style = Style::Box);

    // The three events by hand, as the focus changes would run them.
    void enter(QWidget* w);
    void change();
    void leave(QWidget* w);

    bool& fieldEdited() { return edited_; }
    int& invalidFieldCount() { return count_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Entry {
        std::function<void()> exit;
        When when;
    };
    bool& edited_;
    int& count_;
    std::map<QObject*, Entry> entries_;
};
