#include "controller_fields.h"

#include "ctrl_params_core.h"

namespace settings {

using fields::Codec::Decimal;

namespace {

using fields::Item;

constexpr Item kSpeedItems[] = {{"38400", 0}, {"19200", 1}, {"9600", 2}, {"4800", 3}};
constexpr Item kMeterItems[] = {
    {"100", 0}, {"256", 1}, {"132", 2}, {"200", 3}, {"Ручной выбор", kMeterManual}};
constexpr Item kPhaseItems[] = {
    {"одна фаза(1)", 0}, {"две фазы", 1}, {"одна фаза(2)", 2}, {"ручной режим", kPhaseManual}};
constexpr Item kTableItems[] = {{"China LCD", 0},  {"TBL-11", 1},     {"TBL-202", 2},    {"TBL-217", 3},
                                {"TBL-218", 4},    {"TBL-209", 5},    {"TBL-209-17", 6}, {"ВК-21", 7},
                                {"Шельф", 8},      {"Tokheim", 9},    {"485", 10},       {"SPI", 11},
                                {"Шельф LED", 12}, {"ВК-21 i2c", 13}, {"ВК-18 Soft", 14}};
// Items 0..7 are bits 0..7, items 8..14 bits 9..15; bit 8 has no item.
constexpr Item kModeItems[] = {
    {"Инверсный пистолет", 1u << 0},
    {"Старт от положения пистолета", 1u << 1},
    {"Разрешить работу БМУ", 1u << 2},
    {"2 клавиатуры БМУ на одну сторону", 1u << 3},
    {"Разрешать отпуск заданной с БМУ дозы через компьютер", 1u << 4},
    {"Строгий режим контроля двухфазного датчика", 1u << 5},
    {"Автостарт при снятии пистолета (п\\б)", 1u << 6},
    {"Делить на 10 сумму при выводе на табло с малым кол-вом индикаторов суммы", 1u << 7},
    {"Разрядность литровых сумматоров 6 знаков (для Топаза)", 1u << 9},
    {"Разрешить продолжение после повешенного пистолета", 1u << 10},
    {"Использовать ключ регулировки на колонке", 1u << 11},
    {"Округлить сумму до заданной (при задании на сумму)", 1u << 12},
    {"БМУ для предзадания дозы (УЗСГ: разрешить продолжение кнопкой ПУСК)", 1u << 13},
    {"Включение звука по окончанию отпуска через реле (УЗСГ: запрет принудит.пуска)", 1u << 14},
    {"Режим работы \"Север\" / [УЗСГ: пистолет всегда висит по АЗТ2.0]", 1u << 15},
};
static_assert(std::size(kModeItems) == kModeItemCount);

// Both display types share a byte (see DisplayByte).
uint32_t TableA(uint32_t types) {
    return types & 0x0F;
}
uint32_t TableB(uint32_t types) {
    return types < 16 ? types : types >> 4;
}
uint32_t StoreTableA(uint32_t types, uint32_t code) {
    return DisplayByte(static_cast<uint8_t>(types), static_cast<int>(code), false);
}
uint32_t StoreTableB(uint32_t types, uint32_t code) {
    return DisplayByte(static_cast<uint8_t>(types), static_cast<int>(code), true);
}

const fields::Field kMainTab[] = {
    {.name = "bCallIdent", .hint = "Запросить идентификатор устройства"},
    {.name = "bGlobalSet", .hint = "Общая настройка устройства, со сбросом неосновных настроек"},
    {.name = "bGlobalDefaultSet",
     .hint = "Сброс параметров устройства к параметрам по умолчанию.\r Внимание! Фискальные сумматоры будут "
             "сброшены!"},
    {.name = "bReset", .hint = "\"Теплый\" перезапуск устройства"},
    {.name = "bFindCtrlr", .hint = "Автоматический поиск подключенных устройств"},
    {.name = "bSaveImage", .hint = "Считать настройки устройства и записать их в файл"},
    {.name = "bLoadImage",
     .hint = "Считать файл образа устройства(параметры в бинарном виде)\r и записать его в устройство"},
    {.name = "bLoadFisk", .hint = "Вывести на экран текущие фискальные сумматоры"},
    {.name = "bSimImp", .hint = "Включить имитатор импульсов устройства"},
    {.name = "bSetTabloTest", .hint = "Установить режим работы табло"},
    {.name = "bIrValRead", .hint = "Прочитать температурные регистры устройства"},
    {.name = "bReadTemper",
     .hint = "Считать текущую температуру устройства,\rтребуется заполненная таблица температур"},
    {.name = "bReservCall",
     .hint = "Связаться с устройством по резервному адресу. \r  Внимание! Должно быть подключено только одно "
             "устройство"},
};

// The number boxes of the tab store into the parameter block; the other rows
// give the hints of the choice boxes, the grids and the buttons.
const fields::Field kCtrlrSetts[] = {
    fields::Bind(ctrlrparams::Speed1, {.name = "cbSpeedTrk",
                                       .label = "Скорость обмена",
                                       .helpButton = "helpSpeedTrk",
                                       .hint = "Скорость обмена с первой платой устройства",
                                       .items = kSpeedItems}),
    fields::Bind(ctrlrparams::Speed2, {.name = "cbSpeed2CnlTrk",
                                       .label = "Скорость канала 2",
                                       .helpButton = "helpSpeed2CnlTrk",
                                       .hint = "Скорость обмена со второй платой устройства",
                                       .items = kSpeedItems}),
    {.name = "cbCountSideTrk",
     .label = "Количество Сторон",
     .helpButton = "helpCountSideTrk",
     .hint = "Количество обслуживаемых устройством сторон ТРК"},
    {.name = "cbCountNozTrk",
     .label = "Пистолетов на сторону",
     .helpButton = "helpCountNozTrk",
     .hint = "Количество обслуживаемых устройством\rраздаточных рукавов с одной стороны ТРК"},
    fields::Bind(
        ctrlrparams::MeterType,
        {.name = "ImpE",
         .label = "Тип датчика",
         .helpButton = "helpMeterType",
         .hint = "Количество импульсов на литр датчика расходомера.\r- 100 импульсов на литр \r- 256 "
                 "импульсов на "
                 "литр \r -Ручное(отдельно для каждого раздаточного рукава, устанавливается в \"Настройках "
                 "канала\")",
         .items = kMeterItems}),
    fields::Bind(ctrlrparams::DisplayTypes, {.name = "cbTypeTbl",
                                             .label = "Тип табло",
                                             .helpButton = "helpTypeTbl",
                                             .hint = "Тип табло",
                                             .items = kTableItems,
                                             .codeOf = TableA,
                                             .storeCode = StoreTableA}),
    fields::Bind(ctrlrparams::DisplayTypes,
                 {.name = "cbTypeTbl2", .items = kTableItems, .codeOf = TableB, .storeCode = StoreTableB}),
    fields::Bind(
        ctrlrparams::MeterPhase,
        {.name = "cbPhaseMet",
         .label = "Фазы датчика",
         .helpButton = "helpPhaseMet",
         .hint =
             "Параметр пересчета импульсов датчика расходомера.\r- Одна фаза(1) - пересчет по первой фазе, "
             "вторая игнорируется\r- Две фазы - пересчет по обеим фазам\r- Одна фаза(2) - пересчет по второй "
             "фазе, первая игнорируется\r- Ручной режим - отдельно для каждого раздачтоного рукава, "
             "устанавливается в \"Настройках канала\"",
         .items = kPhaseItems}),
    fields::Bind(
        ctrlrparams::NozzleFat,
        {.name = "eNozzleFat",
         .label = "Раздутие шланга, мл",
         .min = 0,
         .max = kBoundNozzleFat - 1,
         .maxLength = 5,
         .helpButton = "helpNozzleFat",
         .hint = "Компенсация раздутия шланга - неотображаемая на табло доза в начале отпуска в милилитрах"}),
    {.name = "eSlowStart",
     .label = "Малый пуск, мл",
     .helpButton = "helpSlowStart",
     .hint = "Доза отпускаемая в режиме малой производительности в начале отпуска в милилитрах"},
    fields::Bind(ctrlrparams::MetTOut,
                 {.name = "eMetTOut",
                  .label = "Таймаут датчика, с",
                  .min = 0,
                  .max = kBoundMetTOut - 1,
                  .maxLength = 5,
                  .helpButton = "helpMetTOut",
                  .hint = "Время ожидание счетных импульсов от датчика расходомера в секундах"}),
    fields::Bind(ctrlrparams::SlowLoad, {.name = "eSlowLoad",
                                         .label = "Малый останов, мл",
                                         .min = 0,
                                         .max = kBoundSlowLoad - 1,
                                         .maxLength = 5,
                                         .helpButton = "helpSlowLoad",
                                         .hint = "Доза, которая будет отпущена в режиме малой "
                                                 "производительности при окончании отпуска в милилитрах"}),
    {.name = "eAdrTrk_1", .hint = "Адрес первой стороны ТРК"},
    {.name = "eAdrTrk_2", .hint = "Адрес второй стороны ТРК"},
    {.name = "sgAdrNaraTrk_1",
     .helpButton = "sgAdrNaraTrk_2",
     .hint = "Адреса раздаточных рукавов для протокола Нара-Азс"},
    {.name = "sgPhysToLogTrk_1",
     .helpButton = "sgPhysToLogTrk_2",
     .hint = "Соответствие физического адреса раздаточного рукава логическому"},
    fields::Bind(ctrlrparams::ModeMask, {.name = "checkbTrkModes",
                                         .hint = "Битовая маска параметров устройства",
                                         .items = kModeItems,
                                         .unread = kMaskUnread}),
    {.name = "bGetParam", .hint = "Прочитать текущие настройки устройства"},
    {.name = "bSetParam", .hint = "Записать настройки в устройство"},
};

} // namespace

fields::Table MainTabFields() {
    return kMainTab;
}

fields::Table CtrlrSettsFields() {
    return kCtrlrSetts;
}

} // namespace settings
