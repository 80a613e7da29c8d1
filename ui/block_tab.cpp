#include "block_tab.h"

#include "dialogs.h"
#include "error_messages.h"
#include "field_check.h"
#include "frame.h"
#include "progress.h"
#include "working_state.h"

#include <QCoreApplication>
#include <QPushButton>

BlockTab::BlockTab(const TabContext& context, QWidget* parent)
    : QWidget(parent), state_(context.state), dialogs_(context.dialogs), frame_(context.frame),
      fields_(new FieldCheck(context.state.FieldEdited, context.state.InvalidFieldCount, this)) {}

void BlockTab::helpSpeedTrkClick() {
    if (auto* w = qobject_cast<QWidget*>(sender()))
        dialogs_.message(w->toolTip(), QString(), Dialogs::Icon::Information);
}

QPushButton* BlockTab::helpButton(const char* name, QWidget* parent) {
    auto* b = form::Button(parent, name, "?");
    b->setFixedSize(22, 22);
    b->setFocusPolicy(Qt::NoFocus); // the Tab key walks the boxes, not their hints
    connect(b, &QPushButton::clicked, this, &BlockTab::helpSpeedTrkClick);
    return b;
}

form::Grid::HelpFactory BlockTab::helpFactory() {
    return [this](const char* name, QWidget* parent) -> QWidget* { return helpButton(name, parent); };
}

bool BlockTab::anyMarked(const std::vector<const QWidget*>& red) const {
    for (const QWidget* w : red)
        if (FieldCheck::red(w, FieldCheck::Style::Font)) return true;
    for (const QWidget* w : findChildren<QWidget*>())
        if (FieldCheck::marked(w)) return true;
    return false;
}

bool BlockTab::refuseWhileMarked(bool withCount, const std::vector<const QWidget*>& red) {
    const bool marked = (withCount && state_.InvalidFieldCount > 0) || anyMarked(red);
    if (marked) setStatus("Запись не произведена. Исправьте ошибку и повторите попытку");
    return marked;
}

void BlockTab::setStatus(const QString& text) {
    frame_.setStatus(text);
}

void BlockTab::clearStatus() {
    setStatus(QString());
    QCoreApplication::processEvents();
}

SaveOutcome BlockTab::save(const SaveStep& step) {
    const BusyCursor busy;
    auto password = [&] { return step.password ? (frame_.*step.password)() : frame_.passwordStep(); };
    if (step.passwordFirst) {
        if (!password()) return SaveOutcome::Refused;
        // A box holding a refused value is never passed over for its last valid one.
        if (refuseWhileMarked(step.withCount, step.red)) return SaveOutcome::Refused;
    } else {
        clearStatus();
        if (refuseWhileMarked(step.withCount, step.red)) return SaveOutcome::Refused;
        if (!password()) return SaveOutcome::Refused;
    }
    if (step.check && !step.check()) return SaveOutcome::Refused;
    if (step.changed && !step.changed()) {
        setStatus("Запись не произведена. Не было изменений параметров");
        return SaveOutcome::Unchanged;
    }
    const SaveOutcome outcome = step.write ? step.write() : SaveOutcome::Failed;
    if (outcome == SaveOutcome::Failed)
        reportFailedWrite(step.failedText, step.failedStatus, step.controllerError);
    else if (outcome == SaveOutcome::Written && step.written)
        step.written();
    return outcome;
}

void BlockTab::reportFailedWrite(const QString& text, bool status, bool controllerError) {
    dialogs_.message(text, QString(), Dialogs::Icon::Error);
    if (controllerError) ShowControllerError(port(), ctrl());
    if (status) setStatus(text);
    frame_.requestReidentify();
}

void BlockTab::showError(const QString& text) {
    dialogs_.message(text, QString(), Dialogs::Icon::Error);
    frame_.setStatus(text);
}

int BlockTab::port() const {
    return state_.port();
}

int BlockTab::ctrl() const {
    return state_.ctrl();
}
