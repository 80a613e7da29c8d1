#include "form_builder.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpressionValidator>

namespace form {

QLineEdit* Edit(QWidget* parent, const char* name, int maxLength, const char* keys, int maxWidth) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    if (maxLength > 0) e->setMaxLength(maxLength);
    if (keys) e->setValidator(new QRegularExpressionValidator(QRegularExpression(keys), e));
    e->setMaximumWidth(maxWidth);
    return e;
}

QComboBox* Combo(QWidget* parent, const char* name, const QStringList& items) {
    auto* c = new QComboBox(parent);
    c->setObjectName(name);
    c->addItems(items);
    return c;
}

QListWidget* CheckList(QWidget* parent, const char* name, std::initializer_list<const char*> captions) {
    auto* list = new QListWidget(parent);
    list->setObjectName(name);
    for (const char* caption : captions) {
        auto* item = new QListWidgetItem(QString::fromUtf8(caption), list);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    return list;
}

QPushButton* Button(QWidget* parent, const char* name, const QString& caption) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    // Enter is never a command: no button of a form becomes its default
    // button, whatever box has the focus when Enter is pressed.
    b->setAutoDefault(false);
    return b;
}

Grid::Grid(QWidget* parent, HelpFactory help, bool extraColumn)
    : Grid(new QGridLayout(parent), parent, std::move(help), extraColumn) {}

Grid::Grid(QGridLayout* layout, QWidget* parent, HelpFactory help, bool extraColumn)
    : layout_(layout), parent_(parent), help_(std::move(help)), helpColumn_(extraColumn ? 3 : 2) {
    layout_->setVerticalSpacing(2);
    // A label never touches its control, however long the label.
    layout_->setHorizontalSpacing(8);
}

void Grid::row(const QString& label, QWidget* control, const char* helpName, QWidget* extra) {
    row(new QLabel(label, parent_), control, helpName, extra);
}

void Grid::row(QWidget* label, QWidget* control, const char* helpName, QWidget* extra) {
    layout_->addWidget(label, next_, 0);
    layout_->addWidget(control, next_, 1);
    if (extra) layout_->addWidget(extra, next_, 2);
    if (helpName && help_) layout_->addWidget(help_(helpName, parent_), next_, helpColumn_);
    ++next_;
}

void Grid::fieldRow(fields::Table table, QWidget* control, QWidget* extra) {
    const QByteArray name = control->objectName().toUtf8();
    const fields::Field* f = fields::FindField(table, name.constData());
    // A control without a labelled row is a fault of the table: the row shows
    // the control's name, and the form's tests see it.
    Q_ASSERT(f && f->label);
    const QString label = f && f->label ? QString::fromUtf8(f->label) : QString::fromUtf8(name);
    row(label, control, f ? f->helpButton : nullptr, extra);
}

void Grid::boxes(fields::Table table, std::initializer_list<const char*> names, int maxWidth) {
    for (const char* name : names)
        fieldRow(table, Edit(parent_, name, 0, nullptr, maxWidth), nullptr);
}

void Grid::span(QWidget* w, int fromColumn) {
    layout_->addWidget(w, next_++, fromColumn, 1, helpColumn_ + 1 - fromColumn);
}

} // namespace form
