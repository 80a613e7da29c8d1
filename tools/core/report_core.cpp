#include "report_core.h"

#include "block_layout.h"
#include "block_transfer.h"
#include "ctrl_params_core.h"
#include "little_endian.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

namespace tools {

using namespace settings;

namespace {

const char* const kParamsUnread = "Параметры контроллера не считаны: нет связи с контроллером.";
const char* const kValueUnread = "не считан";

// Reads `length` bytes (a length query when 0) into the image at `offset`;
// true when the whole block came.
bool ReadInto(int port, int ctrl, uint32_t address, int length, FixedImage& img, int offset) {
    uint8_t buf[kLengthQueryCapacity + 1] = {};
    const int r = ReadBlock(port, ctrl, length == 0 ? kAddrParamLength : address, length == 0 ? -1 : length,
                            buf, kBoardMain);
    if (r <= 0 || (length > 0 && r != length)) return false;
    // A parameter block longer than the image's slot keeps its first 58 bytes.
    const int n = length == 0 ? std::min(r, CtrlrParams.length) : r;
    std::copy(buf, buf + n, img.begin() + offset);
    return true;
}

std::string SideFiscal(int side, int nozzle) {
    return std::string("Фискальный счетчик ") + (side == 0 ? " сторона А, " : " сторона Б, ") +
           std::to_string(nozzle + 1) + " рукав = ";
}

} // namespace

bool ReportImage::anyShownBlockMissing() const {
    if (!collected() || !paramsRead) return true;
    const uint8_t* p = bytes.data() + kFixParams;
    const int channels = std::min(p[kNozzlesPerSide] * std::min<int>(p[kSideCount], 2), kMaxChannels);
    for (int c = 0; c < channels; ++c)
        if (!nozRegsRead[c]) return true;
    return false;
}

std::string ReportProblem(const ReportImage& image) {
    if (!image.collected()) return image.failure;
    if (!image.paramsRead) return kParamsUnread;
    if (image.anyShownBlockMissing())
        return "Часть параметров не считана из контроллера: в отчете они отмечены как не считанные.";
    return {};
}

ReportImage CollectReport(int port, int ctrl) {
    ReportImage img;
    img.paramsRead = ReadInto(port, ctrl, CtrlrParams.address, 0, img.bytes, kFixParams);
    for (int n = 0; n < kMaxChannels; ++n)
        img.nozSettsRead[n] =
            ReadInto(port, ctrl, ChannelAddress(NozSetts, n), NozSetts.length, img.bytes, FixNozSetts(n));
    img.sidesRead[0] = ReadInto(port, ctrl, SideAddress(0), SidesSetts.length, img.bytes, kFixSide1);
    img.sidesRead[1] = ReadInto(port, ctrl, SideAddress(1), SidesSetts.length, img.bytes, kFixSide2);
    img.naraRead = ReadInto(port, ctrl, NaraSpecific.address, NaraSpecific.length, img.bytes, kFixNara);
    for (int n = 0; n < kMaxChannels; ++n)
        img.nozRegsRead[n] =
            ReadInto(port, ctrl, ChannelAddress(NozRegs, n), NozRegs.length, img.bytes, FixNozRegs(n));
    return img;
}

ReportImage ReportFromDemoFile(const std::string& fileName) {
    ReportImage img;
    std::ifstream in(fileName, std::ios::binary);
    if (!in) {
        img.failure = "Не удалось открыть файл демонстрационного образа " + fileName + ".";
        return img;
    }
    std::vector<char> file((std::istreambuf_iterator<char>(in)), {});
    // What the report shows ends at file byte 1099; a file that holds it is
    // read as the demo serves it, the rest of the layout zero.
    const size_t need = static_cast<size_t>(kFixedImageSize);
    if (file.size() < need) {
        img.failure = "Файл демонстрационного образа " + fileName +
                      " неполон: " + std::to_string(file.size()) + " байт, нужно не меньше " +
                      std::to_string(need) + ".";
        return img;
    }
    file.resize(std::max(file.size(), static_cast<size_t>(kDemoHeaderSize + kFixedImageSize)), 0);
    std::copy(file.begin() + kDemoHeaderSize, file.begin() + kDemoHeaderSize + kFixedImageSize,
              img.bytes.begin());
    img.paramsRead = img.naraRead = true;
    img.nozSettsRead.fill(true);
    img.sidesRead.fill(true);
    img.nozRegsRead.fill(true);
    return img;
}

std::vector<std::string> ReportText(const ReportImage& image, int ctrl, bool extended) {
    std::vector<std::string> v{"\tТрк №" + std::to_string(ctrl), ""};
    if (!image.collected()) {
        v.push_back(image.failure);
        return v;
    }
    if (!image.paramsRead) {
        v.emplace_back(kParamsUnread);
        return v;
    }
    const uint8_t* p = image.bytes.data() + kFixParams;
    v.push_back("Адрес стороны А - " + std::to_string(p[kAddrSideA]));
    v.push_back("Адрес стороны Б - " + std::to_string(p[kAddrSideB]));
    static const char* const kSpeeds[4] = {"38400", "19200", "9600", "4800"};
    v.push_back(std::string("Скорость обмена - ") + (p[kSpeed1] < 4 ? kSpeeds[p[kSpeed1]] : ""));
    v.push_back("Количество сторон - " + std::to_string(p[kSideCount]));
    v.push_back("Количество РК - " + std::to_string(p[kNozzlesPerSide]));
    v.push_back(std::string("Тип датчика - ") + (p[kMeterType] == 0   ? "100 импульсов"
                                                 : p[kMeterType] == 1 ? "256 импульсов"
                                                                      : "ручная настройка"));
    static const char* const kPhases[3] = {"Одна фаза с пересчетом по первой фазе", "Две фазы",
                                           "Одна фаза с пересчетом по второй фазе"};
    v.push_back(std::string("Фазы датчика - ") +
                (p[kMeterPhase] < 3 ? kPhases[p[kMeterPhase]] : "Ручная настройка"));
    v.push_back("Компенсация раздутия шланга = " + std::to_string(p[kNozzleFat] * 10));
    v.push_back("Старт на поджатии = " + std::to_string(p[kSlowStart] * 100));
    v.push_back("Велична долива = " + std::to_string(p[kSlowLoad] * 100));
    v.emplace_back("");
    v.emplace_back("");
    v.emplace_back("\tПараметры контроллера(расшифровка битовой маски)");
    static const char* const kBits[16] = {
        "Инверсный датчик раздаточного крана",
        "Старт от изменения положения датчика раздаточного крана",
        "Включено управление с БМУ",
        "2 клавиатуры БМУ на одну сторону",
        "Разрешен отпуск заданной с БМУ дозы системой управления",
        "Строгий режим контроля двухфазного датчика",
        "Автоматический пуск ТРК при снятии раздаточного крана",
        "Делить сумму на 10 при выводе на табло с малым числом индикаторов суммы",
        nullptr,
        "Сокращенная разрядность(для топаза)",
        "Разрешен отпуск топлива после того как раздаточный кран повешен",
        "Использовать ключ юстировки на ТРК",
        "Округлять сумму до заданной",
        nullptr,
        "Включение звука по окончанию отпуска",
        "Режи работы - Север",
    };
    const uint16_t mask = GetU16(p, kModeMask);
    for (int bit = 0; bit < 16; ++bit)
        if ((mask >> bit & 1) && kBits[bit]) v.emplace_back(kBits[bit]);
    v.emplace_back("");
    v.emplace_back("\tФискальные счетчики.");

    // Only the two sides and the ten channels a controller has are in the image.
    const int nozzles = p[kNozzlesPerSide];
    const int sides = std::min<int>(p[kSideCount], 2);
    for (int s = 0; s < sides; ++s)
        for (int j = 0; j < nozzles; ++j) {
            const int c = nozzles * s + j;
            if (c >= kMaxChannels) break;
            const uint8_t* r = image.bytes.data() + FixNozRegs(c);
            if (!image.nozRegsRead[c]) {
                v.push_back(SideFiscal(s, j) + kValueUnread);
                continue;
            }
            // The fraction in two digits, as the main tab and the channel tab show it.
            char total[24];
            std::snprintf(total, sizeof total, "%d,%02d",
                          static_cast<int32_t>(GetU32(r, nozregs::FCount.offset)), r[nozregs::FCMil.offset]);
            v.push_back(SideFiscal(s, j) + total);
        }

    if (extended) {
        const int channels = std::min(nozzles * p[kSideCount], kMaxChannels);
        static const std::pair<int, const char*> kStates[] = {
            {3, "Раздаточный кран снят"},
            {7, "Канал активирован"},
            {8, "Отпуск приостановлен"},
            {9, "Управляется БМУ"},
            {12, "Доза задана по протоколу Нара"},
            {11, "Идет отпуск в мерник"},
            {2, "Ошибка питания"},
            {2, "Авария датчика"},
            {13, "Доза продолжается"},
            {14, "Отображать отпуск полный бак"},
        };
        for (int c = 0; c < channels; ++c) {
            const uint8_t* r = image.bytes.data() + FixNozRegs(c);
            const uint16_t bits = GetU16(r, nozregs::BitStat.offset);
            if (image.nozRegsRead[c] && bits == 0) continue;
            v.emplace_back("");
            std::string head = c < nozzles ? "Состояние рукава Сторона А №" + std::to_string(c + 1)
                                           : "Состояние рукава Сторона Б №" + std::to_string(c - nozzles + 1);
            if (!image.nozRegsRead[c]) {
                v.push_back(head + " не считано");
                continue;
            }
            v.push_back(head);
            for (const auto& [bit, text] : kStates)
                if (bits >> bit & 1) v.emplace_back(text);
        }
    }
    return v;
}

std::string ReportFileText(const std::vector<std::string>& lines) {
    std::string s;
    for (const std::string& l : lines) {
        s += l;
        s += '\n';
    }
    return s;
}

std::vector<PrintedLine> PlacePrintedLines(int lineCount, int pageHeight) {
    std::vector<PrintedLine> out;
    int page = 0, k = 0;
    for (int i = 0; i < lineCount; ++i) {
        if (k > 0 && kPrintMargin + kPrintLineHeight * (k + 1) > pageHeight - kPrintMargin) {
            ++page;
            k = 0;
        }
        out.push_back({page, kPrintMargin + kPrintLineHeight * k});
        ++k;
    }
    return out;
}

PageRange PrintedPages(const std::vector<PrintedLine>& places, int from, int to) {
    if (from > 0) return {from, std::max(to, from)};
    return {1, places.empty() ? 1 : places.back().page + 1};
}

int LeadingTabs(const std::string& line) {
    int tabs = 0;
    while (tabs < static_cast<int>(line.size()) && line[static_cast<size_t>(tabs)] == '\t')
        ++tabs;
    return tabs;
}

} // namespace tools
