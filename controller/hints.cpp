#include "hints.h"

#include <QWidget>

namespace settings {

namespace {

// A hint and the one or two controls (a field and its "?" button) that carry it.
struct HintRow {
    const char* control;
    const char* helpButton; // nullptr when the control has none
    const char* text;
};

std::vector<std::pair<const char*, const char*>> Expand(std::initializer_list<HintRow> rows) {
    std::vector<std::pair<const char*, const char*>> out;
    for (const HintRow& r : rows) {
        out.emplace_back(r.control, r.text);
        if (r.helpButton) out.emplace_back(r.helpButton, r.text);
    }
    return out;
}

} // namespace

const std::vector<std::pair<const char*, const char*>>& MainTabHints() {
    static const auto t = Expand({
        {"bCallIdent", nullptr, "Запросить идентификатор устройства"},
        {"bGlobalSet", nullptr, "Общая настройка устройства, со сбросом неосновных настроек"},
        {"bGlobalDefaultSet", nullptr,
         "Сброс параметров устройства к параметрам по умолчанию.\r Внимание! Фискальные сумматоры будут "
         "сброшены!"},
        {"bReset", nullptr, "\"Теплый\" перезапуск устройства"},
        {"bFindCtrlr", nullptr, "Автоматический поиск подключенных устройств"},
        {"bSaveImage", nullptr, "Считать настройки устройства и записать их в файл"},
        {"bLoadImage", nullptr,
         "Считать файл образа устройства(параметры в бинарном виде)\r и записать его в устройство"},
        {"bLoadFisk", nullptr, "Вывести на экран текущие фискальные сумматоры"},
        {"bSimImp", nullptr, "Включить имитатор импульсов устройства"},
        {"bSetTabloTest", nullptr, "Установить режим работы табло"},
        {"bIrValRead", nullptr, "Прочитать температурные регистры устройства"},
        {"bReadTemper", nullptr,
         "Считать текущую температуру устройства,\rтребуется заполненная таблица температур"},
        {"bReservCall", nullptr,
         "Связаться с устройством по резервному адресу. \r  Внимание! Должно быть подключено только одно "
         "устройство"},
    });
    return t;
}

const std::vector<std::pair<const char*, const char*>>& CtrlrSettsHints() {
    static const auto t = Expand({
        {"cbSpeedTrk", "helpSpeedTrk", "Скорость обмена с первой платой устройства"},
        {"cbSpeed2CnlTrk", "helpSpeed2CnlTrk", "Скорость обмена со второй платой устройства"},
        {"cbCountSideTrk", "helpCountSideTrk", "Количество обслуживаемых устройством сторон ТРК"},
        {"cbCountNozTrk", "helpCountNozTrk",
         "Количество обслуживаемых устройством\rраздаточных рукавов с одной стороны ТРК"},
        {"ImpE", "helpMeterType",
         "Количество импульсов на литр датчика расходомера.\r- 100 импульсов на литр \r- 256 импульсов на "
         "литр \r -Ручное(отдельно для каждого раздаточного рукава, устанавливается в \"Настройках "
         "канала\")"},
        {"cbTypeTbl", "helpTypeTbl", "Тип табло"},
        {"cbPhaseMet", "helpPhaseMet",
         "Параметр пересчета импульсов датчика расходомера.\r- Одна фаза(1) - пересчет по первой фазе, "
         "вторая игнорируется\r- Две фазы - пересчет по обеим фазам\r- Одна фаза(2) - пересчет по второй "
         "фазе, первая игнорируется\r- Ручной режим - отдельно для каждого раздачтоного рукава, "
         "устанавливается в \"Настройках канала\""},
        {"eNozzleFat", "helpNozzleFat",
         "Компенсация раздутия шланга - неотображаемая на табло доза в начале отпуска в милилитрах"},
        {"eSlowStart", "helpSlowStart",
         "Доза отпускаемая в режиме малой производительности в начале отпуска в милилитрах"},
        {"eMetTOut", "helpMetTOut", "Время ожидание счетных импульсов от датчика расходомера в секундах"},
        {"eSlowLoad", "helpSlowLoad",
         "Доза, которая будет отпущена в режиме малой производительности при окончании отпуска в милилитрах"},
        {"eAdrTrk_1", nullptr, "Адрес первой стороны ТРК"},
        {"eAdrTrk_2", nullptr, "Адрес второй стороны ТРК"},
        {"sgAdrNaraTrk_1", "sgAdrNaraTrk_2", "Адреса раздаточных рукавов для протокола Нара-Азс"},
        {"sgPhysToLogTrk_1", "sgPhysToLogTrk_2",
         "Соответствие физического адреса раздаточного рукава логическому"},
        {"checkbTrkModes", nullptr, "Битовая маска параметров устройства"},
        {"bGetParam", nullptr, "Прочитать текущие настройки устройства"},
        {"bSetParam", nullptr, "Записать настройки в устройство"},
    });
    return t;
}

const std::vector<std::pair<const char*, const char*>>& AdvSetHints() {
    static const auto t = Expand({
        {"evalve_delay", "helpImp_len", "Минимальная длительность импульса датчика расходомера"},
        {"eNozzleWait", "helpNozzleWait", "Пауза в секундах перед запуском двигателя ТРК"},
        {"eHydroHit", "helpHydroHit", "Величина перелива в милилитрах, неотображаемая на табло"},
        {"eMinSpeed", "helpMinSpeed",
         "Величина минимальной производительности ТРК, измеряемая в литрах в минуту.\rЕсли за время работы с "
         "минимальной производительностью,\rпроизводительность ТРК ниже этого значения - отпуск будет "
         "остановлен"},
        {"eMinSpTime", "helpMinSpTime",
         "Время в секундах после истечения которого отпуск завершается,\rесли производительность ТРК ниже "
         "величины минимальной производительности"},
        {"eShimDuration", "helpShimDuration",
         "Длительность периода ШИМ для управления клапаном\rдля Wayne Dresser (2..19 мс)"},
        {"ePcTimeout", "helpPcTimeout",
         "Время в секундах после которого на табло устройства появится ошибка и прекратится отпуск \rпри "
         "потери связи с системой управления"},
        {"eTemp_heat_low", "helpTemp_heat_low",
         "Температура в градусах по цельсию при которой(или ниже) включится обогрев устройства, если стоит "
         "параметр использовать реле рекуперации для обогрева"},
        {"eTemp_heat_high", "helpTemp_heat_high",
         "Температура в градусах по цельсию при которой(или выше) выключится обогрев устройства"},
        {"bTestReleT", nullptr, "Тест реле обогрева"},
        {"eMinVolNara", "helpMinVolNara", "Минимальная доза отпуска при работе по пртоколу НАРА-АЗТ"},
        {"eStWaitForceNara", "helpStWaitForceNara",
         "Пауза в секундах перед принудительным пуском при работе по протоколу НАРА-АЗТ"},
        {"ePbTimeoutNara", "helpPbTimeoutNara",
         "Таймаут отсутствия импульсов датчика расходомера в секундах\rв режиме Полный Бак при работе по "
         "протоколу НАРА-АЗТ"},
        {"eUpgrCountNara", "helpUpgrCountNara", "Количество перепрошивок устройства"},
        {"eStopTimeNara", "helpStopTimeNara", "Время ожидания остановки насоса ТРК в секундах"},
        {"bGetAdvSetTrk", nullptr, "Прочитать текущие настройки устройства"},
        {"bSetAdvSetTrk", nullptr, "Записать настройки в устройство"},
        {"eBmuPAdm", "helpBmuPAdm", "Пароль администратора для работы с БМУ"},
        {"cbBmuPUser", "helpBmuPUser", "Пароли операторов для работы с БМУ"},
    });
    return t;
}

void ApplyHints(QWidget* root, const std::vector<std::pair<const char*, const char*>>& table) {
    for (const auto& [name, text] : table)
        if (auto* w = root->findChild<QWidget*>(QString::fromLatin1(name)))
            w->setToolTip(QString::fromUtf8(text));
}

} // namespace settings
