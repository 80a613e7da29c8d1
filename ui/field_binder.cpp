#include "field_binder.h"

#include "field_check.h"

#include <QLineEdit>
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
        if (QWidget* w = Named(root, f.name, missing)) w->setToolTip(text);
        if (QWidget* b = Named(root, f.helpButton, missing)) b->setToolTip(text);
    }
    Report(missing);
    return missing;
}

FieldBinder::FieldBinder(QWidget* root, fields::Table table, uint8_t* block, FieldCheck* check,
                         QObject* parent)
    : QObject(parent), table_(table), block_(block), check_(check) {
    missing_ = ApplyHints(root, table);
    for (const fields::Field& f : table_) {
        if (f.codec == fields::Codec::None) continue;
        auto* e = root->findChild<QLineEdit*>(QString::fromLatin1(f.name));
        if (!e) continue; // reported above when the name is missing altogether
        boxes_.emplace_back(&f, e);
        e->setMaxLength(Limit(f));
        // Wide enough for the longest text the field can show.
        const int chars = std::max(Limit(f), fields::TextLength(f));
        e->setMinimumWidth(e->fontMetrics().horizontalAdvance(QString(chars, QLatin1Char('8'))) + 12);
        if (f.custom) continue;
        e->setValidator(new QRegularExpressionValidator(QRegularExpression(KeyFilter(f.codec)), e));
        if (check_) check_->attach(e, [this, &f, e] { leave(f, e); });
    }
}

void FieldBinder::leave(const fields::Field& f, QLineEdit* e) {
    const bool ok = fields::ParseFieldText(f, e->text().toStdString()).has_value();
    check_->setValid(e, ok);
    if (ok) fields::StoreFieldText(f, e->text().toStdString(), block_);
}

void FieldBinder::fill(bool resetMarks) const {
    for (const auto& [f, e] : boxes_) {
        const QString text = QString::fromStdString(fields::FieldText(*f, block_));
        // A value longer than the typing limit the box keeps is shown whole
        // and marked, never cut.
        const bool tooLong = text.size() > Limit(*f);
        e->setMaxLength(tooLong ? static_cast<int>(text.size()) : Limit(*f));
        e->setText(text);
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
