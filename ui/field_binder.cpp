#include "field_binder.h"

#include "field_check.h"
#include "hex_text.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpressionValidator>
#include <QWidget>

#include <algorithm>

namespace {

const char* KeyFilter(fields::Codec codec) {
    switch (codec) {
    case fields::Codec::Signed:
        return "[-0-9]*";
    case fields::Codec::Hex:
        return "[0-9A-Fa-f]*";
    case fields::Codec::Hundredths:
        return "[0-9,.]*";
    default:
        return "[0-9]*";
    }
}

QWidget* Named(QWidget* root, const char* name, QStringList& missing) {
    if (!name) return nullptr;
    auto* w = root->objectName() == QLatin1String(name)
                  ? root
                  : root->findChild<QWidget*>(QString::fromLatin1(name));
    if (!w) missing << QString::fromLatin1(name);
    return w;
}

void Report(const QStringList& missing) {
    // A table naming a control the tab does not have is a programming error.
    Q_ASSERT_X(missing.isEmpty(), "FieldBinder", qPrintable(missing.join(", ")));
    if (!missing.isEmpty())
        qWarning("field table names missing controls: %s", qPrintable(missing.join(", ")));
}

int Limit(const fields::Field& f) {
    return f.maxLength > 0 ? f.maxLength : fields::TextLength(f);
}

} // namespace

QStringList ApplyHints(QWidget* root, fields::Table table) {
    QStringList missing;
    for (const fields::Field& f : table) {
        if (!f.hint) continue;
        const QString text = QString::fromUtf8(f.hint);
        for (QWidget* w : {Named(root, f.name, missing), Named(root, f.helpButton, missing)})
            if (w) {
                w->setToolTip(text);
                w->setProperty(kShowHintProperty, true);
            }
    }
    Report(missing);
    return missing;
}

FieldBinder::FieldBinder(QWidget* root, fields::Table table, uint8_t* block, FieldCheck* check,
                         QObject* parent, FieldCheck::When when)
    : QObject(parent), table_(table), block_(block), check_(check) {
    missing_ = ApplyHints(root, table);
    for (const fields::Field& f : table_) {
        if (f.codec == fields::Codec::None) continue;
        // A custom choice or list is the tab's own: it takes its items from the row.
        if (!f.items.empty() && (f.custom || bindItems(root, f))) continue;
        auto* e = root->findChild<QLineEdit*>(QString::fromLatin1(f.name));
        if (!e) continue; // reported above when the name is missing altogether
        boxes_.emplace_back(&f, e);
        e->setMaxLength(Limit(f));
        // Wide enough for the longest text the field can show.
        const int chars = std::max(Limit(f), fields::TextLength(f));
        e->setMinimumWidth(e->fontMetrics().horizontalAdvance(QString(chars, QLatin1Char('8'))) + 12);
        if (f.custom) continue;
        // A date is typed into the box's input mask, without a key filter.
        if (f.codec != fields::Codec::Date)
            e->setValidator(new QRegularExpressionValidator(QRegularExpression(KeyFilter(f.codec)), e));
        if (check_)
            check_->attach(
                e, [this, &f, e] { leave(f, e); }, when);
    }
    for (auto& l : lists_)
        for (const auto& [f, e] : boxes_)
            if (f->offset == l->field->offset && f->width == l->field->width) l->box = e;
}

bool FieldBinder::bindItems(QWidget* root, const fields::Field& f) {
    const QString name = QString::fromLatin1(f.name);
    if (auto* c = root->findChild<QComboBox*>(name)) {
        const QSignalBlocker block(c);
        c->clear();
        for (const fields::Item& item : f.items)
            c->addItem(QString::fromUtf8(item.text));
        choices_.emplace_back(&f, c);
        // A choice stores at once; leaving the box stores again (the engineer
        // may have turned the wheel or typed a letter without activating).
        connect(c, &QComboBox::activated, this, [this, &f, c] { choose(f, c); });
        if (check_)
            check_->attach(
                c, [this, &f, c] { choose(f, c); }, FieldCheck::When::EveryExit);
        return true;
    }
    if (auto* b = root->findChild<QCheckBox*>(name)) {
        checks_.emplace_back(&f, b);
        connect(b, &QCheckBox::clicked, this, [this, &f, b](bool on) {
            fields::StoreValue(f, fields::WithItem(f, 0, on, fields::StoredValue(f, block_)), block_);
            emit edited(f.name);
        });
        return true;
    }
    if (auto* l = root->findChild<QListWidget*>(name)) {
        auto& list = *lists_.emplace_back(new List{&f, l, std::vector<bool>(f.items.size(), false)});
        {
            const QSignalBlocker block(l);
            l->clear();
            for (const fields::Item& item : f.items) {
                auto* it = new QListWidgetItem(QString::fromUtf8(item.text), l);
                it->setFlags(it->flags() | Qt::ItemIsUserCheckable);
                it->setCheckState(Qt::Unchecked);
            }
        }
        connect(l, &QListWidget::itemChanged, this, [this, &list] { listChanged(list); });
        return true;
    }
    return false;
}

void FieldBinder::choose(const fields::Field& f, QComboBox* c) {
    const uint32_t before = fields::StoredValue(f, block_);
    // An empty box (a code no item has) keeps the stored code.
    fields::StoreChoice(f, c->currentIndex(), block_);
    if (fields::StoredValue(f, block_) != before) emit edited(f.name);
}

void FieldBinder::listChanged(List& l) {
    bool any = false;
    for (int i = 0; i < l.list->count() && i < static_cast<int>(l.shown.size()); ++i) {
        const bool on = l.list->item(i)->checkState() == Qt::Checked;
        any = any || on != l.shown[static_cast<size_t>(i)];
        l.shown[static_cast<size_t>(i)] = on;
    }
    if (!any) return; // a caption changed, not a mark
    // The word is made again from the marks, in the order of the items (of
    // two items of one bit the later decides); bits no item has are cleared,
    // unless a box shows the word.
    uint32_t v = l.box ? fields::StoredValue(*l.field, block_) : 0;
    for (size_t i = 0; i < l.shown.size(); ++i)
        v = fields::WithItem(*l.field, static_cast<int>(i), l.shown[i], v);
    fields::StoreValue(*l.field, v, block_);
    showMarks(l); // what the word now holds
    if (l.box) {
        // The box shows the stored word in all its digits, whatever was typed in it before.
        l.box->setText(QString::fromStdString(HexNumber(v, 2 * l.field->width)));
        if (check_) check_->setValid(l.box, true);
    }
    emit edited(l.field->name);
}

void FieldBinder::fillList(List& l) {
    // A word not read yet leaves the marks as they are.
    if (l.field->unread >= 0 && fields::StoredValue(*l.field, block_) == l.field->unread) return;
    showMarks(l);
}

void FieldBinder::refill(const char* name) {
    for (const auto& [f, c] : choices_)
        if (qstrcmp(f->name, name) == 0) {
            const QSignalBlocker block(c);
            c->setCurrentIndex(fields::ChoiceIndex(*f, block_));
        }
    for (auto& l : lists_)
        if (qstrcmp(l->field->name, name) == 0) fillList(*l);
}

void FieldBinder::showMarks(List& l) {
    const QSignalBlocker block(l.list);
    for (int i = 0; i < l.list->count() && i < static_cast<int>(l.shown.size()); ++i) {
        const bool on = fields::ItemChecked(*l.field, i, block_);
        l.list->item(i)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
        l.shown[static_cast<size_t>(i)] = on;
    }
}

void FieldBinder::leave(const fields::Field& f, QLineEdit* e) {
    if (f.codec == fields::Codec::Date) {
        // Only a date the engineer changed is taken: a stored byte the box
        // cannot show in two digits stays as it is.
        const bool same = e->text() == e->property("shown").toString();
        const bool taken = same || fields::StoreDateText(f, e->text().toStdString(), block_);
        check_->setValid(e, taken);
        if (taken) e->setProperty("shown", e->text());
        emit checked(f.name);
        return;
    }
    const bool ok = fields::ParseFieldText(f, e->text().toStdString()).has_value();
    check_->setValid(e, ok);
    if (ok) {
        fields::StoreFieldText(f, e->text().toStdString(), block_);
        for (auto& l : lists_)
            if (l->box == e) showMarks(*l);
    }
    emit checked(f.name);
}

void FieldBinder::fill(bool resetMarks) {
    for (const auto& [f, c] : choices_)
        refill(f->name);
    for (const auto& [f, b] : checks_)
        b->setChecked(fields::ItemChecked(*f, 0, block_));
    for (auto& l : lists_)
        fillList(*l);
    for (const auto& [f, e] : boxes_) {
        const QString text = QString::fromStdString(fields::FieldText(*f, block_));
        // A value longer than the typing limit the box keeps is shown whole
        // and marked, never cut.
        // (A date's mask shows what it can; the stored bytes stay unless it is edited.)
        const bool tooLong = f->codec != fields::Codec::Date && text.size() > Limit(*f);
        e->setMaxLength(tooLong ? static_cast<int>(text.size()) : Limit(*f));
        e->setText(text);
        e->setProperty("shown", e->text()); // as the box's mask shows it
        if (resetMarks) FieldCheck::reset(e);
        // The mark of an overlong value goes with the value.
        if (check_ && (tooLong || e->property("overlong").toBool())) check_->setValid(e, !tooLong);
        e->setProperty("overlong", tooLong);
    }
}

QLineEdit* FieldBinder::box(const char* name) const {
    for (const auto& [f, e] : boxes_)
        if (qstrcmp(f->name, name) == 0) return e;
    return nullptr;
}
