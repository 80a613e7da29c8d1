// Ties the rows of a field table to the controls of a tab: finds each control
// by its name (a name the tab does not have fails loudly), sets the key filter,
// the typing limit and the hint, runs the field convention on leaving a box
// (check, mark, store into the block), and fills the boxes after a read.
#pragma once

#include "field_table.h"

#include <QObject>
#include <QStringList>
#include <vector>

class FieldCheck;
class QLineEdit;
class QWidget;

class FieldBinder : public QObject {
    Q_OBJECT
public:
    // `block` is the working copy the boxes edit; `check` may be null for a
    // table of hints only.
    FieldBinder(QWidget* root, fields::Table table, uint8_t* block, FieldCheck* check,
                QObject* parent = nullptr);

    // Texts of every box with a value from the block; with `resetMarks` each
    // box is also painted white and loses its invalid mark (the count is left
    // to the caller).
    void fill(bool resetMarks) const;
    // The box of a row, or nullptr.
    QLineEdit* box(const char* name) const;
    // Controls the table names and the tab does not have.
    const QStringList& missing() const { return missing_; }

private:
    void leave(const fields::Field& f, QLineEdit* e);

    fields::Table table_;
    uint8_t* block_;
    FieldCheck* check_;
    std::vector<std::pair<const fields::Field*, QLineEdit*>> boxes_;
    QStringList missing_;
};

// Only the hints of a table: sets the tooltip of every control it names (and
// of its "?" button). Returns the names not found.
QStringList ApplyHints(QWidget* root, fields::Table table);
