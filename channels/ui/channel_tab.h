// What the channel state tab and the channel settings tab share: the first
// steps of their show handlers (the parameters must have been read; the
// channel list), the save results in words, and the unsaved-changes question
// before another channel is read.
#pragma once

#include "block_tab.h"
#include "channel_blocks.h"

#include <functional>

class QComboBox;

class ChannelTab : public BlockTab {
    Q_OBJECT
public:
    using BlockTab::BlockTab;

protected:
    // While the parameters are not read: the message, the tab disabled, false.
    // Otherwise the tab is enabled, the parameter block's unsaved edits are
    // dropped, the list is filled from its sides and hoses and its first item
    // selected: true when it has items.
    bool prepareShow(QComboBox* channels);
    // "Ошибка номера канала" for a channel the blocks do not have.
    bool checkChannel(int channel);
    // The status line (and message box) for a save result; `written` is the
    // text of a write that went through.
    SaveOutcome reportSave(settings::ChannelSave result, const QString& written);
    // The save button's step: the status line cleared, the marks looked at,
    // the password step, then `write` (its result worded by reportSave); a
    // failed write shows "Ошибка записи" and the controller is identified again.
    SaveOutcome saveChannel(bool (Frame::*password)(), std::function<SaveOutcome()> write);
    // A failed write attempt.
    void attemptFailed();
    // The question before another channel is read over unsaved edits.
    bool askSaveChanges();
    // The save that answer asked for may go ahead: false while a box is
    // marked (refused), and the list then shows the channel read last again,
    // whose edits stay.
    bool saveBeforeChange(QComboBox* channels);
};
