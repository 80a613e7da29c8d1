// The routines every view of the shared blocks uses: reading the parameter
// block (ReadParamCtrlr), writing it back unchanged (Met2CtrlrSet), and
// reading the advanced settings block (ReadNaraSpecific).
#pragma once

class Dialogs;
class WorkingState;

// Reads the parameter block into the shared model, shows in message boxes what
// the read repaired, lets every view fill its controls (WorkingState::paramsRead),
// renews the working copy's checksum and sets InvalidFieldCount to 0.
// 1, or -1 when the transfer failed.
int ReadParamCtrlr(WorkingState& state, Dialogs& dialogs);

// Writes the working copy back with a fresh checksum and restarts the
// controller; a failed write shows "Ошибка записи данных в настройки
// контроллера". Always 0.
int Met2CtrlrSet(WorkingState& state, Dialogs& dialogs);

// Reads the 128-byte advanced settings block into the shared pair; the views
// follow through WorkingState::naraRead. 1, or -1 (the pair keeps its copies).
int ReadNaraSpecific(WorkingState& state);
