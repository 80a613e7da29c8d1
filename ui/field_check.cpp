#include "field_check.h"

#include <QAbstractItemDelegate>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QLineEdit>
#include <QTableWidget>
#include <QWidget>

FieldCheck::FieldCheck(bool& fieldEdited, int& invalidFieldCount, QObject* parent)
    : QObject(parent), edited_(fieldEdited), count_(invalidFieldCount) {}

void FieldCheck::attach(QWidget* w, std::function<void()> exit, When when) {
    entries_[w] = Entry{std::move(exit), when};
    w->installEventFilter(this);
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
        connect(e, &QLineEdit::textEdited, this, &FieldCheck::change);
    } else if (auto* c = qobject_cast<QComboBox*>(w)) {
        if (c->lineEdit()) connect(c->lineEdit(), &QLineEdit::textEdited, this, &FieldCheck::change);
    } else if (auto* t = qobject_cast<QTableWidget*>(w)) {
        connect(t, &QTableWidget::itemChanged, this, &FieldCheck::change);
        // Leaving the grid straight from a cell editor never takes the focus
        // through the grid itself.
        connect(t->itemDelegate(), &QAbstractItemDelegate::closeEditor, this, [this, t] {
            QWidget* f = QApplication::focusWidget();
            if (f && f != t && !t->isAncestorOf(f)) leave(t);
        });
    }
    connect(w, &QObject::destroyed, this, [this, w] { entries_.erase(w); });
}

namespace {

void Colour(QWidget* w, bool isRed, FieldCheck::Style style) {
    QPalette p = w->palette();
    if (style == FieldCheck::Style::Box)
        p.setColor(QPalette::Base, isRed ? QColor(Qt::red) : QColor(Qt::white));
    else
        p.setColor(QPalette::Text, isRed ? QColor(Qt::red) : QColor(Qt::black));
    w->setPalette(p);
}

} // namespace

void FieldCheck::setValid(QWidget* w, bool valid, Style style) {
    const bool was = marked(w);
    Colour(w, !valid, style);
    w->setProperty("Tag", valid ? 0 : 1);
    if (was && valid && count_ > 0)
        --count_;
    else if (!was && !valid)
        ++count_;
}

void FieldCheck::reset(QWidget* w, Style style) {
    Colour(w, false, style);
    w->setProperty("Tag", 0);
}

void FieldCheck::paint(QWidget* w, bool isRed, Style style) {
    Colour(w, isRed, style);
}

bool FieldCheck::marked(const QWidget* w) {
    return w->property("Tag").toInt() == 1;
}

bool FieldCheck::red(const QWidget* w, Style style) {
    const QColor c = w->palette().color(style == Style::Box ? QPalette::Base : QPalette::Text);
    return c == QColor(Qt::red);
}

void FieldCheck::enter(QWidget*) {
    edited_ = false;
}
void FieldCheck::change() {
    edited_ = true;
}

void FieldCheck::leave(QWidget* w) {
    auto it = entries_.find(w);
    if (it == entries_.end()) return;
    if (it->second.when == When::EveryExit || edited_) it->second.exit();
}

bool FieldCheck::eventFilter(QObject* watched, QEvent* event) {
    auto* w = qobject_cast<QWidget*>(watched);
    if (w && entries_.count(watched)) {
        // Focus moving into a cell editor of a grid is not leaving it.
        QWidget* f = QApplication::focusWidget();
        const bool inside = f && f != w && w->isAncestorOf(f);
        if (event->type() == QEvent::FocusIn && !inside)
            enter(w);
        else if (event->type() == QEvent::FocusOut && !inside)
            leave(w);
    }
    return QObject::eventFilter(watched, event);
}
