#include "channel_fields.h"

#include "ctrl_params_core.h"
#include "nara_core.h"
#include "noz_regs_core.h"
#include "noz_setts_core.h"
#include "sides_core.h"

#include <array>

namespace settings {

using fields::Codec::Decimal;
using fields::Codec::Hex;
using fields::Codec::Hundredths;
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
         "параметр использовать реле рекуперации для обогрева.\rЗначение должно быть отрицательным"},
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

const char* const kHintRead = "Прочитать текущие настройки устройства";
const char* const kHintWrite = "Записать настройки в устройство";
const char* const kHintHose = "Номер данного раздаточного рукава";
const char* const kHintChannelState = "Текущее состояние канала данного раздаточного рукава";
const char* const kHintDeliveries = "Общее количество отпусков по данному раздаточному рукаву";
// What a signed 32-bit conversion of the box's text accepts (the low-flow end
// dose and the fiscal totalizer are typed as such).
constexpr int64_t kSigned32Max = 2147483647;

// The channel state tab. The status word's box re-ticks the bit list after a
// valid entry, so it keeps a handler of its own; it takes more digits than the
// word has, so that a too long entry is seen and marked rather than cut.
const fields::Field kNozRegs[] = {
    {.name = "eSetVol",
     .field = "SetVol",
     .offset = kRegSetVol,
     .width = 4,
     .codec = Hundredths,
     .helpButton = "helpSetVol",
     .hint = "Параметр показывающий: при отпуске - заданную дозу, в другом случае - последнюю отпущенную"},
    {.name = "eSetSum",
     .field = "SetSum",
     .offset = kRegSetSum,
     .width = 4,
     .codec = Hundredths,
     .helpButton = "helpSetSum",
     .hint = "Заданная сумма в рублях по данному раздаточному рукаву"},
    {.name = "eLoadVol",
     .field = "LoadVol",
     .offset = kRegLoadVol,
     .width = 4,
     .codec = Hundredths,
     .helpButton = "helpLoadVol",
     .hint = "Литровая часть отпущенной дозы по данному раздаточному рукаву"},
    {.name = "eLoadVolLo",
     .field = "LoadVolLo",
     .offset = kRegLoadVolLo,
     .width = 4,
     .codec = Hex,
     .helpButton = "helpLoadVolLo",
     .hint = "Милилитровая часть отпущенной дозы по данному раздаточному рукаву, в hex"},
    {.name = "eKVol",
     .field = "KVol",
     .offset = kRegKVol,
     .width = 4,
     .codec = Hundredths,
     .helpButton = "helpKVol",
     .hint = "Литровая часть дозы недозаправленной при последнем отпуске по данному раздаточному рукаву"},
    {.name = "eKVolLo",
     .field = "KVolLo",
     .offset = kRegKVolLo,
     .width = 4,
     .codec = Hex,
     .helpButton = "helpKVolLo",
     .hint = "Милилитровая часть дозы недозаправленной при последнем отпуске по данному раздаточному рукаву, "
             "в hex"},
    {.name = "eLastVol",
     .field = "LastVol",
     .offset = kRegLastVol,
     .width = 4,
     .codec = Hundredths,
     .helpButton = "helpLastVol",
     .hint = "Последняя отпущенная доза по данному раздаточному рукаву"},
    {.name = "ePrice",
     .field = "Price",
     .offset = kRegPrice,
     .width = 2,
     .codec = Hundredths,
     .helpButton = "helpPrice",
     .hint = "Текущая цена установленная для данного раздаточного рукава в рублях"},
    {.name = "eVolStart",
     .field = "VolStart",
     .offset = kRegVolStart,
     .width = 2,
     .codec = Decimal,
     .helpButton = "helpVolStart",
     .hint = "Доза отпускаемая в режиме малой производительности в начале отпуска в милилитрах"},
    {.name = "eVolEnd",
     .field = "VolEnd",
     .offset = kRegVolEnd,
     .width = 4,
     .codec = Decimal,
     .min = 0,
     .max = kSigned32Max,
     .helpButton = "helpVolEnd",
     .hint = "Доза, которая будет отпущена в режиме малой производительности при окончании отпуска в "
             "милилитрах"},
    {.name = "eDCount",
     .field = "DCount",
     .offset = kRegDCount,
     .width = 4,
     .codec = Hundredths,
     .helpButton = "helpDCount",
     .hint = "Дельта сумматоры"},
    {.name = "eFCount",
     .field = "FCount",
     .offset = kRegFCount,
     .width = 4,
     .codec = Decimal,
     .min = 0,
     .max = kSigned32Max,
     .hint = "Целая часть фискального сумматора по данному раздаточному рукаву"},
    {.name = "eFCMil",
     .field = "FCMil",
     .offset = kRegFCMil,
     .width = 1,
     .codec = Decimal,
     .hint = "Дробная часть фискального сумматора по данному раздаточному рукаву"},
    {.name = "helpFCount", .hint = "Фискальный сумматор по данному раздаточному рукаву"},
    {.name = "eLCount",
     .field = "LCount",
     .offset = kRegLCount,
     .width = 4,
     .codec = Hundredths,
     .helpButton = "helpLCount",
     .hint = "Количество отпусков на литры по данному раздаточному рукаву"},
    {.name = "eSCount",
     .field = "SCount",
     .offset = kRegSCount,
     .width = 4,
     .codec = Hundredths,
     .helpButton = "helpSCount",
     .hint = "Количество отпусков на рубли по данному раздаточному рукаву"},
    {.name = "eBCount",
     .field = "BCount",
     .offset = kRegBCount,
     .width = 4,
     .codec = Hundredths,
     .helpButton = "helpBCount",
     .hint = "Количество отпусков с БМУ по данному раздаточному рукаву"},
    {.name = "eMCount",
     .field = "MCount",
     .offset = kRegMCount,
     .width = 4,
     .codec = Hundredths,
     .helpButton = "helpMCount",
     .hint = "Количество отпусков в мерник по данному раздаточному рукаву"},
    {.name = "eBitStatHex",
     .field = "BitStat",
     .offset = kRegBitStat,
     .width = 2,
     .codec = Hex,
     .maxLength = 8,
     .custom = true,
     .helpButton = "checkBitStat",
     .hint = kHintChannelState},
    {.name = "cbState", .hint = kHintChannelState},
    {.name = "cbNumCnl", .hint = kHintHose},
    {.name = "eDelryCount", .helpButton = "helpDelryCount", .hint = kHintDeliveries},
    {.name = "bCallNozRegs", .hint = kHintRead},
    {.name = "bSaveNozRegs", .hint = kHintWrite},
};

const char* const kHintAdjust = "Юстировочный коэфициент";

// The channel settings tab. The weights are typed in their own width: an
// entry the byte or word cannot hold is refused, not cut to its low bits.
const fields::Field kNozSetts[] = {
    {.name = "eImpWLo", .field = "ImpWLo", .offset = kImpWLo, .width = 4, .codec = Hex, .hint = kHintAdjust},
    {.name = "eImpWHi",
     .field = "ImpWHi",
     .offset = kImpWHi,
     .width = 1,
     .codec = Decimal,
     .hint = kHintAdjust},
    {.name = "eImpWkLo",
     .field = "ImpWkLo",
     .offset = kImpWkLo,
     .width = 4,
     .codec = Hex,
     .hint = kHintAdjust},
    {.name = "eImpWkHi",
     .field = "ImpWkHi",
     .offset = kImpWkHi,
     .width = 1,
     .codec = Decimal,
     .hint = kHintAdjust},
    {.name = "eImpWkWLo",
     .field = "ImpWkWLo",
     .offset = kImpWkWLo,
     .width = 4,
     .codec = Hex,
     .hint = kHintAdjust},
    {.name = "eCountKor",
     .field = "CountKor",
     .offset = kNozCountKor,
     .width = 2,
     .codec = Decimal,
     .hint = "Количество юстировок"},
    {.name = "cbNumNozSets", .hint = kHintHose},
    {.name = "eImpLit",
     .hint =
         "Количество импульсов на литр датчика расходомера.\r- 100 импульсов на литр \r- 256 импульсов на "
         "литр"},
    {.name = "cbMeterPhaseNozSets",
     .hint = "Параметр пересчета импульсов датчика расходомера.\r- Одна фаза(1) - пересчет по первой фазе, "
             "вторая "
             "игнорируется\r- Две фазы - пересчет по обеим фазам\r- Одна фаза(2) - пересчет по второй фазе, "
             "первая "
             "игнорируется"},
    {.name = "bCallNozSets", .hint = kHintRead},
    {.name = "bSaveNozSets", .hint = kHintWrite},
};

// The side tab: the boxes have handlers of their own (the correction count's
// message, the date, the transaction count's leading digits); the table
// fills them and carries their hints. The transaction count is typed with at
// most 8 digits, but a stored count of 10 digits still shows whole.
const char* const kHintSideCountKor = "Счетчик юстировок по данному раздаточному рукаву";
const char* const kHintSideDate = "Дата последней юстировки по данному раздаточному рукаву";

std::array<fields::Field, 4> SideRows(const char* activeNoz, const char* countKor, const char* date,
                                      const char* countTranz) {
    return {{
        {.name = activeNoz,
         .field = "ActiveNoz",
         .offset = kSideActiveNoz,
         .width = 1,
         .codec = Decimal,
         .custom = true,
         .hint = kHintHose},
        {.name = countKor,
         .field = "SideCountKor",
         .offset = kSideCountKor,
         .width = 2,
         .codec = Decimal,
         .maxLength = 5,
         .custom = true,
         .hint = kHintSideCountKor},
        {.name = date, .hint = kHintSideDate},
        {.name = countTranz,
         .field = "CountTranz",
         .offset = kSideCountTranz,
         .width = 4,
         .codec = Decimal,
         .custom = true,
         .hint = kHintDeliveries},
    }};
}

const std::array<fields::Field, 6> kSideA = [] {
    const auto r = SideRows("eActiveNoz_s1", "eCountKor_s1", "maskDateLastKor_s1", "eCountTranz_s1");
    return std::array<fields::Field, 6>{r[0],
                                        r[1],
                                        r[2],
                                        r[3],
                                        fields::Field{.name = "bCallRegsSides", .hint = kHintRead},
                                        fields::Field{.name = "bWriteRegsSides", .hint = kHintWrite}};
}();
const std::array<fields::Field, 4> kSideB =
    SideRows("eActiveNoz_s2", "eCountKor_s2", "maskDateLastKor_s2", "eCountTranz_s2");

} // namespace

fields::Table AdvParamsFields() {
    return kAdvParams;
}

fields::Table NaraFields() {
    return kNara;
}

fields::Table NozRegsFields() {
    return kNozRegs;
}

fields::Table NozSettsFields() {
    return kNozSetts;
}

fields::Table SideFields(int side) {
    if (side == 0) return kSideA;
    return kSideB;
}

} // namespace settings
