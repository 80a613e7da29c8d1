// Ties the rows of a field table to the controls of a tab: finds each control
// by its name (a name the tab does not have fails loudly), sets the key filter,
// the typing limit and the hint, runs the field convention on leaving a box
// (check, mark, store into the block), and fills the boxes after a read.
// Choice rows bind combo boxes (the row's item texts, the code of the item
// chosen stored at once); Bits rows bind check lists and check boxes (each
// item sets or clears its bits). A list and a box of the same bytes edit one
// word: a mark shows the word in the box, a valid entry in the box re-ticks
// the list, and the list keeps the bits no item has (the box shows them).
// Date rows bind boxes with an input mask: a date the engineer changed is
// checked and stored on leaving, a bad one marked.
#pragma once

#include "field_check.h"
#include "field_table.h"

#include <QObject>
#include <QStringList>
#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QWidget;

class FieldBinder : public QObject {
    Q_OBJECT
public:
    // `block` is the working copy the boxes edit; `check` may be null for a
    // table of hints only. A box is checked on leaving it after an edit, or
    // with `when` EveryExit on every exit.
    FieldBinder(QWidget* root, fields::Table table, uint8_t* block, FieldCheck* check,
                QObject* parent = nullptr, FieldCheck::When when = FieldCheck::When::Edited);

    // Texts of every box with a value from the block; with `resetMarks` each
    // box is also painted white and loses its invalid mark (the count is left
    // to the caller). The choices select the item of their code (none for a
    // code no item has), the lists and check boxes check their items.
    void fill(bool resetMarks);
    // The choice or list of one row from the block again (after the tab
    // changed its bytes).
    void refill(const char* name);
    // The box of a row, or nullptr.
    QLineEdit* box(const char* name) const;

signals:
    // The engineer changed a choice, list or check box and its value is in the block.
    void edited(const char* name);
    // A box was checked on leaving it (marked or cleared, its value stored when valid).
    void checked(const char* name);

public:
    // Controls the table names and the tab does not have.
    const QStringList& missing() const { return missing_; }

private:
    struct List {
        const fields::Field* field;
        QListWidget* list;
        std::vector<bool> shown;  // the marks as last filled or changed
        QLineEdit* box = nullptr; // a box of the same word
    };
    bool bindItems(QWidget* root, const fields::Field& f);
    void leave(const fields::Field& f, QLineEdit* e);
    void choose(const fields::Field& f, QComboBox* c);
    void listChanged(List& l);
    void fillList(List& l);
    void showMarks(List& l);

    fields::Table table_;
    uint8_t* block_;
    FieldCheck* check_;
    std::vector<std::pair<const fields::Field*, QLineEdit*>> boxes_;
    std::vector<std::pair<const fields::Field*, QComboBox*>> choices_;
    std::vector<std::pair<const fields::Field*, QCheckBox*>> checks_;
    std::vector<std::unique_ptr<List>> lists_;
    QStringList missing_;
};

// Only the hints of a table: sets the tooltip of every control it names (and
// of its "?" button), shown (kShowHintProperty true). Returns the names not found.
QStringList ApplyHints(QWidget* root, fields::Table table);

// The property of a control whose tooltip is its field's hint: false while
// the hints are switched off (the tooltip is not shown, the text stays for the
// "?" buttons).
inline constexpr char kShowHintProperty[] = "ShowHint";
