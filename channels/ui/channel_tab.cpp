#include "channel_tab.h"

#include "dialogs.h"
#include "working_state.h"

#include <QComboBox>

bool ChannelTab::prepareShow(QComboBox* channels) {
    if (!state_.ParamsLoaded) {
        showError("Ошибка. Не считаны параметры ТРК");
        setEnabled(false);
        return false;
    }
    setEnabled(true);
    state_.params.pair.restore();
    const uint8_t* p = state_.params.working();
    const QSignalBlocker block(channels);
    channels->clear();
    for (const std::string& item :
         settings::ChannelListItems(p[settings::kSideCount], p[settings::kNozzlesPerSide]))
        channels->addItem(QString::fromStdString(item));
    if (channels->count() == 0) return false;
    channels->setCurrentIndex(0);
    return true;
}

bool ChannelTab::checkChannel(int channel) {
    if (settings::ChannelNumberValid(channel)) return true;
    showError("Ошибка номера канала");
    return false;
}

SaveOutcome ChannelTab::reportSave(settings::ChannelSave result, const QString& written) {
    using settings::ChannelSave;
    const settings::ChannelSaveWords words = settings::SaveWords(result);
    if (words.messageBox)
        showError(words.text);
    else
        setStatus(result == ChannelSave::Written ? written : QString::fromUtf8(words.text));
    if (result == ChannelSave::Written) return SaveOutcome::Written;
    return result == ChannelSave::Unchanged ? SaveOutcome::Unchanged : SaveOutcome::Failed;
}

SaveOutcome ChannelTab::saveChannel(bool (Frame::*password)(), std::function<SaveOutcome()> write) {
    // The write worded the status line; a failure only adds its message box.
    return save({.password = password,
                 .passwordFirst = false,
                 .write = std::move(write),
                 .failedText = "Ошибка записи",
                 .failedStatus = false});
}

void ChannelTab::attemptFailed() {
    dialogs_.message("Ошибка записи!", QString(), Dialogs::Icon::Error);
}

bool ChannelTab::askSaveChanges() {
    return dialogs_.okCancel("Данные о состоянии были изменены, но не записаны в контроллер!\nВы хотите "
                             "сохранить данные в контроллер",
                             QString(), Dialogs::Icon::Warning);
}

bool ChannelTab::saveBeforeChange(QComboBox* channels) {
    if (!refuseWhileMarked(false)) return true;
    const QSignalBlocker block(channels);
    channels->setCurrentIndex(state_.currentChannel);
    return false;
}
