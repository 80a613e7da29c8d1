// Widget factories and the labelled grid the tabs lay their controls out with,
// so a tab's layout code says what it shows and little else.
#pragma once

#include "field_table.h"

#include <QGridLayout>
#include <QStringList>
#include <functional>
#include <initializer_list>

class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QWidget;

namespace form {

// A line edit named `name`; `keys` is the key filter (a regular expression of
// the whole text), `maxLength` 0 leaves the length to the field binder.
QLineEdit* Edit(QWidget* parent, const char* name, int maxLength = 0, const char* keys = "[0-9]*",
                int maxWidth = 100);
QComboBox* Combo(QWidget* parent, const char* name, const QStringList& items);
// A check list of the captions (UTF-8), every item unticked.
QListWidget* CheckList(QWidget* parent, const char* name, std::initializer_list<const char*> captions);
// Every push button of the program is made here: none is ever a default
// button, so Enter in a box of a dialog never presses one.
QPushButton* Button(QWidget* parent, const char* name, const QString& caption);

// Rows of "label, control[, extra], ?" in a grid. The "?" buttons come from
// `help` (the tab's help button factory).
class Grid {
public:
    using HelpFactory = std::function<QWidget*(const char* name, QWidget* parent)>;
    // `extraColumn`: a column between the control and its "?" button.
    Grid(QWidget* parent, HelpFactory help, bool extraColumn = false);
    Grid(QGridLayout* layout, QWidget* parent, HelpFactory help, bool extraColumn = false);

    // A row; `label` may be a QString (a plain label) or a widget.
    void row(const QString& label, QWidget* control, const char* helpName = nullptr,
             QWidget* extra = nullptr);
    void row(QWidget* label, QWidget* control, const char* helpName = nullptr, QWidget* extra = nullptr);
    // The row of the control's field in `table` (found by the control's name):
    // the field's label and "?" button. Returns the control.
    template <class W> W* field(fields::Table table, W* control, QWidget* extra = nullptr) {
        fieldRow(table, control, extra);
        return control;
    }
    // Rows of boxes the grid makes for the fields `names` of `table`, in that
    // order (line edits named after the fields, `maxWidth` wide; the binder
    // gives them their key filter, typing limit and hint).
    void boxes(fields::Table table, std::initializer_list<const char*> names, int maxWidth = 100);
    // A control across the control and help columns (`fromColumn` 0: the whole row).
    void span(QWidget* w, int fromColumn = 0);
    QGridLayout* layout() const { return layout_; }
    int rows() const { return next_; }

private:
    void fieldRow(fields::Table table, QWidget* control, QWidget* extra);

    QGridLayout* layout_;
    QWidget* parent_;
    HelpFactory help_;
    int helpColumn_;
    int next_ = 0;
};

} // namespace form
