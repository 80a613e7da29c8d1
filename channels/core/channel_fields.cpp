#include "channel_fields.h"

#include "ctrl_params_core.h"
#include "nara_core.h"

namespace settings {

using fields::Codec::Decimal;
using fields::Codec::Signed;

namespace {

// The advanced tab's boxes of the parameter block. The heater temperatures
// and the overflow buffer keep hand-written checks (an empty box is left
// alone; text that is not a number gets the conversion message).
const fields::Field kAdvParams[] = {
    {.name = "eNozzleWait",
     .field = "NozzleWait",
     .offset = kNozzleWait,
     .width = 1,
     .codec = Decimal,
     .min = 0,
     .max = 99,
     .helpButton = "helpNozzleWait",
     .hint = "Пауза в секундах перед запуском двигателя ТРК"},
    {.name = "eMinSpeed",
     .field = "MinSpeed",
     .offset = kMinSpeed,
     .width = 1,
     .codec = Decimal,
     .min = 0,
     .max = 30,
     .helpButton = "helpMinSpeed",
     .hint =
         "Величина минимальной производительности ТРК, измеряемая в литрах в минуту.\rЕсли за время работы с "
         "минимальной производительностью,\rпроизводительность ТРК ниже этого значения - отпуск будет "
         "остановлен"},
    {.name = "eMinSpTime",
     .field = "MinSpTime",
     .offset = kMinSpTime,
     .width = 1,
     .codec = Decimal,
     .min = 3,
     .max = 180,
     .zeroAllowed = true,
     .helpButton = "helpMinSpTime",
     .hint =
         "Время в секундах после истечения которого отпуск завершается,\rесли производительность ТРК ниже "
         "величины минимальной производительности"},
    {.name = "ePcTimeout",
     .field = "PcTimeout",
     .offset = kPcTimeout,
     .width = 1,
     .codec = Decimal,
     .min = 3,
     .max = 60,
     .zeroAllowed = true,
     .helpButton = "helpPcTimeout",
     .hint = "Время в секундах после которого на табло устройства появится ошибка и прекратится отпуск \rпри "
             "потери связи с системой управления"},
    {.name = "eHydroHit",
     .field = "HydroHit",
     .offset = kHydroHit,
     .width = 1,
     .codec = Decimal,
     .min = 0,
     .max = kHydroHitMax,
     .scale = 10,
     .maxLength = 4,
     .custom = true,
     .helpButton = "helpHydroHit",
     .hint = "Величина перелива в милилитрах, неотображаемая на табло"},
    {.name = "eTemp_heat_low",
     .field = "TempHeatLow",
     .offset = kTempHeatLow,
     .width = 1,
     .codec = Signed,
     .custom = true,
     .helpButton = "helpTemp_heat_low",
     .hint =
         "Температура в градусах по цельсию при которой(или ниже) включится обогрев устройства, если стоит "
         "параметр использовать реле рекуперации для обогрева"},
    {.name = "eTemp_heat_high",
     .field = "TempHeatHigh",
     .offset = kTempHeatHigh,
     .width = 1,
     .codec = Signed,
     .custom = true,
     .helpButton = "helpTemp_heat_high",
     .hint = "Температура в градусах по цельсию при которой(или выше) выключится обогрев устройства"},
    {.name = "bTestReleT", .hint = "Тест реле обогрева"},
    {.name = "bGetAdvSetTrk", .hint = "Прочитать текущие настройки устройства"},
    {.name = "bSetAdvSetTrk", .hint = "Записать настройки в устройство"},
};

// The Nara group of the advanced tab. The passwords, the price shift and the
// reflash counter are filled from the block and handled by the tab itself.
const fields::Field kNara[] = {
    {.name = "evalve_delay",
     .field = "ValveDelay",
     .offset = kValveDelay,
     .width = 1,
     .codec = Decimal,
     .min = 0,
     .max = 30,
     .helpButton = "helpImp_len",
     .hint = "Минимальная длительность импульса датчика расходомера"},
    {.name = "eShimDuration",
     .field = "ShimDuration",
     .offset = kShimDuration,
     .width = 1,
     .codec = Decimal,
     .min = 2,
     .max = 19,
     .zeroAllowed = true,
     .helpButton = "helpShimDuration",
     .hint = "Длительность периода ШИМ для управления клапаном\rдля Wayne Dresser (2..19 мс)"},
    {.name = "eMinVolNara",
     .field = "MinVolNara",
     .offset = kMinVolNara,
     .width = 2,
     .codec = Decimal,
     .min = 10,
     .max = 500,
     .zeroAllowed = true,
     .helpButton = "helpMinVolNara",
     .hint = "Минимальная доза отпуска при работе по пртоколу НАРА-АЗТ"},
    {.name = "eStWaitForceNara",
     .field = "StWaitForceNara",
     .offset = kStWaitForceNara,
     .width = 1,
     .codec = Decimal,
     .min = 0,
     .max = 99,
     .helpButton = "helpStWaitForceNara",
     .hint = "Пауза в секундах перед принудительным пуском при работе по протоколу НАРА-АЗТ"},
    {.name = "ePbTimeoutNara",
     .field = "PbTimeoutNara",
     .offset = kPbTimeoutNara,
     .width = 1,
     .codec = Decimal,
     .min = 0,
     .max = 100,
     .helpButton = "helpPbTimeoutNara",
     .hint = "Таймаут отсутствия импульсов датчика расходомера в секундах\rв режиме Полный Бак при работе по "
             "протоколу НАРА-АЗТ"},
    {.name = "eUpgrCountNara",
     .field = "UpgrCountNara",
     .offset = kUpgrCountNara,
     .width = 2,
     .codec = Decimal,
     .custom = true,
     .helpButton = "helpUpgrCountNara",
     .hint = "Количество перепрошивок устройства"},
    {.name = "eBmuPAdm",
     .field = "BmuPAdm",
     .offset = kBmuPAdm,
     .width = 4,
     .codec = Decimal,
     .maxLength = 10,
     .custom = true,
     .helpButton = "helpBmuPAdm",
     .hint = "Пароль администратора для работы с БМУ"},
    {
        .name = "PrcShift",
        .field = "PrcShift",
        .offset = kPrcShift,
        .width = 1,
        .codec = Decimal,
        .maxLength = 1,
        .custom = true,
    },
    {.name = "eStopTimeNara",
     .helpButton = "helpStopTimeNara",
     .hint = "Время ожидания остановки насоса ТРК в секундах"},
    {.name = "cbBmuPUser", .helpButton = "helpBmuPUser", .hint = "Пароли операторов для работы с БМУ"},
};

} // namespace

fields::Table AdvParamsFields() {
    return kAdvParams;
}

fields::Table NaraFields() {
    return kNara;
}

} // namespace settings
