#include "controller_fields.h"

#include "ctrl_params_core.h"

namespace settings {

using fields::Codec::Decimal;

namespace {

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
    {.name = "cbSpeedTrk",
     .helpButton = "helpSpeedTrk",
     .hint = "Скорость обмена с первой платой устройства"},
    {.name = "cbSpeed2CnlTrk",
     .helpButton = "helpSpeed2CnlTrk",
     .hint = "Скорость обмена со второй платой устройства"},
    {.name = "cbCountSideTrk",
     .helpButton = "helpCountSideTrk",
     .hint = "Количество обслуживаемых устройством сторон ТРК"},
    {.name = "cbCountNozTrk",
     .helpButton = "helpCountNozTrk",
     .hint = "Количество обслуживаемых устройством\rраздаточных рукавов с одной стороны ТРК"},
    {.name = "ImpE",
     .helpButton = "helpMeterType",
     .hint =
         "Количество импульсов на литр датчика расходомера.\r- 100 импульсов на литр \r- 256 импульсов на "
         "литр \r -Ручное(отдельно для каждого раздаточного рукава, устанавливается в \"Настройках "
         "канала\")"},
    {.name = "cbTypeTbl", .helpButton = "helpTypeTbl", .hint = "Тип табло"},
    {.name = "cbPhaseMet",
     .helpButton = "helpPhaseMet",
     .hint = "Параметр пересчета импульсов датчика расходомера.\r- Одна фаза(1) - пересчет по первой фазе, "
             "вторая игнорируется\r- Две фазы - пересчет по обеим фазам\r- Одна фаза(2) - пересчет по второй "
             "фазе, первая игнорируется\r- Ручной режим - отдельно для каждого раздачтоного рукава, "
             "устанавливается в \"Настройках канала\""},
    fields::Bind(
        ctrlrparams::NozzleFat,
        {.name = "eNozzleFat",
         .min = 0,
         .max = kBoundNozzleFat - 1,
         .maxLength = 5,
         .helpButton = "helpNozzleFat",
         .hint = "Компенсация раздутия шланга - неотображаемая на табло доза в начале отпуска в милилитрах"}),
    {.name = "eSlowStart",
     .helpButton = "helpSlowStart",
     .hint = "Доза отпускаемая в режиме малой производительности в начале отпуска в милилитрах"},
    fields::Bind(ctrlrparams::MetTOut,
                 {.name = "eMetTOut",
                  .min = 0,
                  .max = kBoundMetTOut - 1,
                  .maxLength = 5,
                  .helpButton = "helpMetTOut",
                  .hint = "Время ожидание счетных импульсов от датчика расходомера в секундах"}),
    fields::Bind(ctrlrparams::SlowLoad, {.name = "eSlowLoad",
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
    {.name = "checkbTrkModes", .hint = "Битовая маска параметров устройства"},
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
