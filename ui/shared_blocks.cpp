#include "shared_blocks.h"

#include "dialogs.h"
#include "working_state.h"

int ReadParamCtrlr(WorkingState& state, Dialogs& dialogs) {
    if (settings::ReadParams(state.port(), state.ctrl(), state.params) < 0) return -1;
    const settings::ParamsView v = settings::InspectReadParams(state.params.pair);
    for (const auto& w : v.warnings)
        dialogs.message(QString::fromStdString(w), QString(), Dialogs::Icon::Warning);
    emit state.paramsRead(v);
    // The views' count-dependent repairs (nozzle list, grids) may have changed bytes.
    state.params.pair.sealChecksum();
    state.InvalidFieldCount = 0;
    return 1;
}

int Met2CtrlrSet(WorkingState& state, Dialogs& dialogs) {
    settings::ParamsPair& p = state.params.pair;
    p.sealChecksum();
    if (settings::WriteParams(state.port(), state.ctrl(), p, settings::WriteBuffer(p)) != 1)
        dialogs.message("Ошибка записи данных в настройки контроллера", QString(), Dialogs::Icon::Error);
    return 0;
}

int ReadNaraSpecific(WorkingState& state) {
    const bool ok = settings::ReadNara(state.port(), state.ctrl(), state.nara) == 1;
    emit state.naraRead(ok);
    return ok ? 1 : -1;
}
