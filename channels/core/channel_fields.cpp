#include "channel_fields.h"

#include "block_layout.h"
#include "nara_core.h"
#include "noz_regs_core.h"
#include "noz_setts_core.h"
#include "sides_core.h"

#include <array>

namespace settings {

namespace {

// Bits 0..14 of the second mode word, one item each; bit 15 has none.
constexpr fields::Item kModes2Items[] = {
    {"Раздельный CLK на два табло", 1u << 0},
    {"Включать реле рекуперации для обогрева", 1u << 1},
    {"Вычисления объема с переливом при отпуске на сумму", 1u << 2},
    {"Разрешить рекуперацию паров", 1u << 3},
    {"Медленная приостановка на ТРК высокой производительности", 1u << 4},
    {"Управлять механическими счетчиками", 1u << 5},
    {"Использовать температурную компенсацию", 1u << 6},
    {"Не использовать модуль БП для датчиков пистолетов", 1u << 7},
    {"Управлять клапаном снижения литровой колонки", 1u << 8},
    {"Работать без клапана снижения", 1u << 9},
    {"Принимать команды по каналу 2", 1u << 10},
    {"Включение пускателей по перепаду основной фазы", 1u << 11},
    {"Резерв", 1u << 12},
    {"Скоростная S&B - один объемник на 2 шланга", 1u << 13},
    {"Работа с внутренним ЖК табло (одношланговая ТРК)", 1u << 14},
};

// The advanced tab's boxes of the parameter block. The heater temperatures
// and the overflow buffer keep hand-written checks (an empty box is left
// alone; text that is not a number gets the conversion message).
const fields::Field kAdvParams[] = {
    fields::Bind(ctrlrparams::ModeMask2, {.name = "checkbTrkModes2", .items = kModes2Items}),
    fields::Bind(ctrlrparams::NozzleWait, {.name = "eNozzleWait",
                                           .min = 0,
                                           .max = 99,
                                           .helpButton = "helpNozzleWait",
                                           .hint = "Пауза в секундах перед запуском двигателя ТРК"}),
    fields::Bind(
        ctrlrparams::MinSpeed,
        {.name = "eMinSpeed",
         .min = 0,
         .max = 30,
         .helpButton = "helpMinSpeed",
         .hint =
             "Величина минимальной производительности ТРК, измеряемая в литрах в минуту.\rЕсли за время "
             "работы с "
             "минимальной производительностью,\rпроизводительность ТРК ниже этого значения - отпуск будет "
             "остановлен"}),
    fields::Bind(ctrlrparams::MinSpTime, {.name = "eMinSpTime",
                                          .min = 3,
                                          .max = 180,
                                          .zeroAllowed = true,
                                          .helpButton = "helpMinSpTime",
                                          .hint = "Время в секундах после истечения которого отпуск "
                                                  "завершается,\rесли производительность ТРК ниже "
                                                  "величины минимальной производительности"}),
    fields::Bind(
        ctrlrparams::PcTimeout,
        {.name = "ePcTimeout",
         .min = 3,
         .max = 60,
         .zeroAllowed = true,
         .helpButton = "helpPcTimeout",
         .hint =
             "Время в секундах после которого на табло устройства появится ошибка и прекратится отпуск \rпри "
             "потери связи с системой управления"}),
    fields::Bind(ctrlrparams::HydroHit, {.name = "eHydroHit",
                                         .min = 0,
                                         .max = kHydroHitMax,
                                         .maxLength = 4,
                                         .custom = true,
                                         .helpButton = "helpHydroHit",
                                         .hint = "Величина перелива в милилитрах, неотображаемая на табло"}),
    fields::Bind(
        ctrlrparams::TempHeatLow,
        {.name = "eTemp_heat_low",
         .custom = true,
         .helpButton = "helpTemp_heat_low",
         .hint = "Температура в градусах по цельсию при которой(или ниже) включится обогрев устройства, если "
                 "стоит "
                 "параметр использовать реле рекуперации для обогрева.\rЗначение должно быть отрицательным"}),
    fields::Bind(
        ctrlrparams::TempHeatHigh,
        {.name = "eTemp_heat_high",
         .custom = true,
         .helpButton = "helpTemp_heat_high",
         .hint = "Температура в градусах по цельсию при которой(или выше) выключится обогрев устройства"}),
    {.name = "bTestReleT", .hint = "Тест реле обогрева"},
    {.name = "bGetAdvSetTrk", .hint = "Прочитать текущие настройки устройства"},
    {.name = "bSetAdvSetTrk", .hint = "Записать настройки в устройство"},
};

// The Nara group of the advanced tab. The passwords, the price shift and the
// reflash counter are filled from the block and handled by the tab itself.
const fields::Field kNara[] = {
    fields::Bind(naraspecific::ValveDelay, {.name = "evalve_delay",
                                            .min = 0,
                                            .max = 30,
                                            .helpButton = "helpImp_len",
                                            .hint = "Минимальная длительность импульса датчика расходомера"}),
    fields::Bind(naraspecific::ShimDuration,
                 {.name = "eShimDuration",
                  .min = 2,
                  .max = 19,
                  .zeroAllowed = true,
                  .helpButton = "helpShimDuration",
                  .hint = "Длительность периода ШИМ для управления клапаном\rдля Wayne Dresser (2..19 мс)"}),
    fields::Bind(naraspecific::MinVolNara,
                 {.name = "eMinVolNara",
                  .min = 10,
                  .max = 500,
                  .zeroAllowed = true,
                  .helpButton = "helpMinVolNara",
                  .hint = "Минимальная доза отпуска при работе по пртоколу НАРА-АЗТ"}),
    fields::Bind(naraspecific::StWaitForceNara,
                 {.name = "eStWaitForceNara",
                  .min = 0,
                  .max = 99,
                  .helpButton = "helpStWaitForceNara",
                  .hint = "Пауза в секундах перед принудительным пуском при работе по протоколу НАРА-АЗТ"}),
    fields::Bind(
        naraspecific::PbTimeoutNara,
        {.name = "ePbTimeoutNara",
         .min = 0,
         .max = 100,
         .helpButton = "helpPbTimeoutNara",
         .hint =
             "Таймаут отсутствия импульсов датчика расходомера в секундах\rв режиме Полный Бак при работе по "
             "протоколу НАРА-АЗТ"}),
    fields::Bind(naraspecific::UpgrCountNara, {.name = "eUpgrCountNara",
                                               .custom = true,
                                               .helpButton = "helpUpgrCountNara",
                                               .hint = "Количество перепрошивок устройства"}),
    fields::Bind(naraspecific::BmuPAdm, {.name = "eBmuPAdm",
                                         .maxLength = 10,
                                         .custom = true,
                                         .helpButton = "helpBmuPAdm",
                                         .hint = "Пароль администратора для работы с БМУ"}),
    fields::Bind(naraspecific::PrcShift, {.name = "PrcShift", .maxLength = 1, .custom = true}),
    {.name = "eStopTimeNara",
     .helpButton = "helpStopTimeNara",
     .hint = "Время ожидания остановки насоса ТРК в секундах"},
    {.name = "cbBmuPUser", .helpButton = "helpBmuPUser", .hint = "Пароли операторов для работы с БМУ"},
};

const char* const kHintRead = "Прочитать текущие настройки устройства";
const char* const kHintWrite = "Записать настройки в устройство";
const char* const kHintHose = "Номер данного раздаточного рукава";
const char* const kHintChannelState = "Текущее состояние канала данного раздаточного рукава";

// The state list: codes 0..15 are items 0..15, codes 43..46 items 16..19.
constexpr fields::Item kStateItems[] = {
    {"Канал свободен", 0},
    {"Канал свободен - перелив", 1},
    {"Доза задана, ожидание", 2},
    {"Тест табло", 3},
    {"Старт на доливе", 4},
    {"Отпуск", 5},
    {"Конец отпуска на доливе", 6},
    {"Приостановлено оператором", 7},
    {"Остановлено клиентом", 8},
    {"Таймаут крыльчатки", 9},
    {"Приостановлено, таймаут связи с ПК", 10},
    {"Переполнение табло", 11},
    {"Ошибка связи с платой расширения", 12},
    {"Пропала фаза датчика на старте", 13},
    {"Пропала фаза питания клапанов", 14},
    {"Производительность отпуска меньше минимальной", 15},
    {"Приостановлено, авария питания", 43},
    {"Нормальное завершение", 44},
    {"Завершение с переливом", 45},
    {"Продолжение на повешенный пистолет - ожидание", 46},
};
// The status-bit list. Items 6 and 7 both stand for bit 2 (the later item's
// mark wins); bits without an item are carried (the hex box shows them).
// Kept byte for byte: item 4's first word has a Latin "o", item 9 quotes the
// mode's name.
constexpr fields::Item kBitStatItems[] = {
    {"Пистолет снят", 0x0008},
    {"Канал активирован", 0x0080},
    {"Отпуск был приостановлен - можно продолжать", 0x0100},
    {"Управляется БМУ", 0x0200},
    {"Дoза задана по протоколу НАРА", 0x1000},
    {"Идет отпуск в мерник", 0x0800},
    {"Ошибка питания", 0x0004},
    {"Авария датчика (нет фазы)", 0x0004},
    {"Доза продолжается", 0x2000},
    {"Отображать отпуск \"Полный Бак\"", 0x4000},
};
const char* const kHintDeliveries = "Общее количество отпусков по данному раздаточному рукаву";
// What a signed 32-bit conversion of the box's text accepts (the low-flow end
// dose and the fiscal totalizer are typed as such).
constexpr int64_t kSigned32Max = 2147483647;

// The channel state tab. The status word's box and the bit list edit the same
// word: a valid entry re-ticks the list, a mark shows the word in the box. The
// box takes more digits than the word has, so that a too long entry is seen
// and marked rather than cut.
const fields::Field kNozRegs[] = {
    fields::Bind(
        nozregs::SetVol,
        {.name = "eSetVol",
         .helpButton = "helpSetVol",
         .hint =
             "Параметр показывающий: при отпуске - заданную дозу, в другом случае - последнюю отпущенную"}),
    fields::Bind(nozregs::SetSum, {.name = "eSetSum",
                                   .helpButton = "helpSetSum",
                                   .hint = "Заданная сумма в рублях по данному раздаточному рукаву"}),
    fields::Bind(nozregs::LoadVol, {.name = "eLoadVol",
                                    .helpButton = "helpLoadVol",
                                    .hint = "Литровая часть отпущенной дозы по данному раздаточному рукаву"}),
    fields::Bind(nozregs::LoadVolLo,
                 {.name = "eLoadVolLo",
                  .helpButton = "helpLoadVolLo",
                  .hint = "Милилитровая часть отпущенной дозы по данному раздаточному рукаву, в hex"}),
    fields::Bind(
        nozregs::KVol,
        {.name = "eKVol",
         .helpButton = "helpKVol",
         .hint =
             "Литровая часть дозы недозаправленной при последнем отпуске по данному раздаточному рукаву"}),
    fields::Bind(
        nozregs::KVolLo,
        {.name = "eKVolLo",
         .helpButton = "helpKVolLo",
         .hint =
             "Милилитровая часть дозы недозаправленной при последнем отпуске по данному раздаточному рукаву, "
             "в hex"}),
    fields::Bind(nozregs::LastVol, {.name = "eLastVol",
                                    .helpButton = "helpLastVol",
                                    .hint = "Последняя отпущенная доза по данному раздаточному рукаву"}),
    fields::Bind(nozregs::Price,
                 {.name = "ePrice",
                  .helpButton = "helpPrice",
                  .hint = "Текущая цена установленная для данного раздаточного рукава в рублях"}),
    fields::Bind(
        nozregs::VolStart,
        {.name = "eVolStart",
         .helpButton = "helpVolStart",
         .hint = "Доза отпускаемая в режиме малой производительности в начале отпуска в милилитрах"}),
    fields::Bind(
        nozregs::VolEnd,
        {.name = "eVolEnd",
         .min = 0,
         .max = kSigned32Max,
         .helpButton = "helpVolEnd",
         .hint = "Доза, которая будет отпущена в режиме малой производительности при окончании отпуска в "
                 "милилитрах"}),
    fields::Bind(nozregs::DCount,
                 {.name = "eDCount", .helpButton = "helpDCount", .hint = "Дельта сумматоры"}),
    fields::Bind(nozregs::FCount,
                 {.name = "eFCount",
                  .min = 0,
                  .max = kSigned32Max,
                  .hint = "Целая часть фискального сумматора по данному раздаточному рукаву"}),
    fields::Bind(
        nozregs::FCMil,
        {.name = "eFCMil", .hint = "Дробная часть фискального сумматора по данному раздаточному рукаву"}),
    {.name = "helpFCount", .hint = "Фискальный сумматор по данному раздаточному рукаву"},
    fields::Bind(nozregs::LCount, {.name = "eLCount",
                                   .helpButton = "helpLCount",
                                   .hint = "Количество отпусков на литры по данному раздаточному рукаву"}),
    fields::Bind(nozregs::SCount, {.name = "eSCount",
                                   .helpButton = "helpSCount",
                                   .hint = "Количество отпусков на рубли по данному раздаточному рукаву"}),
    fields::Bind(nozregs::BCount, {.name = "eBCount",
                                   .helpButton = "helpBCount",
                                   .hint = "Количество отпусков с БМУ по данному раздаточному рукаву"}),
    fields::Bind(nozregs::MCount, {.name = "eMCount",
                                   .helpButton = "helpMCount",
                                   .hint = "Количество отпусков в мерник по данному раздаточному рукаву"}),
    fields::Bind(nozregs::BitStat, {.name = "eBitStatHex", .maxLength = 8, .hint = kHintChannelState}),
    fields::Bind(nozregs::BitStat, {.name = "checkBitStat",
                                    .hint = kHintChannelState,
                                    .items = kBitStatItems,
                                    .unread = kBitStatUnread}),
    fields::Bind(nozregs::State, {.name = "cbState", .hint = kHintChannelState, .items = kStateItems}),
    {.name = "cbNumCnl", .hint = kHintHose},
    {.name = "eDelryCount", .helpButton = "helpDelryCount", .hint = kHintDeliveries},
    {.name = "bCallNozRegs", .hint = kHintRead},
    {.name = "bSaveNozRegs", .hint = kHintWrite},
};

const char* const kHintAdjust = "Юстировочный коэфициент";

constexpr fields::Item kChannelPhaseItems[] = {{"Одна фаза(1)", 0}, {"Две фазы", 1}, {"Одна фаза(2)", 2}};

// The channel settings tab. The weights are typed in their own width: an
// entry the byte or word cannot hold is refused, not cut to its low bits.
const fields::Field kNozSetts[] = {
    fields::Bind(nozsetts::ImpWLo,
                 {.name = "eImpWLo", .label = "Младшие 32 бита цены импульса в 0.01", .hint = kHintAdjust}),
    fields::Bind(nozsetts::ImpWHi,
                 {.name = "eImpWHi", .label = "Старший 1 бит цены импульса", .hint = kHintAdjust}),
    fields::Bind(nozsetts::ImpWkLo, {.name = "eImpWkLo", .label = "K * L", .hint = kHintAdjust}),
    fields::Bind(nozsetts::ImpWkHi, {.name = "eImpWkHi", .label = "Старший бит K*L", .hint = kHintAdjust}),
    fields::Bind(nozsetts::ImpWkWLo, {.name = "eImpWkWLo", .label = "wk-w", .hint = kHintAdjust}),
    fields::Bind(nozsetts::CountKor,
                 {.name = "eCountKor", .label = "Количество юстировок", .hint = "Количество юстировок"}),
    {.name = "cbNumNozSets", .hint = kHintHose},
    {.name = "eImpLit",
     .label = "Импульсов на литр",
     .hint =
         "Количество импульсов на литр датчика расходомера.\r- 100 импульсов на литр \r- 256 импульсов на "
         "литр"},
    fields::Bind(nozsetts::MeterPhase,
                 {.name = "cbMeterPhaseNozSets",
                  .label = "Фазы датчика",
                  .hint = "Параметр пересчета импульсов датчика расходомера.\r- Одна фаза(1) - пересчет по "
                          "первой фазе, вторая игнорируется\r- Две фазы - пересчет по обеим фазам\r- Одна "
                          "фаза(2) - пересчет по второй фазе, первая игнорируется",
                  .items = kChannelPhaseItems}),
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
        fields::Bind(sidessetts::ActiveNoz, {.name = activeNoz, .custom = true, .hint = kHintHose}),
        fields::Bind(sidessetts::SideCountKor,
                     {.name = countKor, .maxLength = 5, .custom = true, .hint = kHintSideCountKor}),
        {.name = date, .hint = kHintSideDate},
        fields::Bind(sidessetts::CountTranz, {.name = countTranz, .custom = true, .hint = kHintDeliveries}),
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
