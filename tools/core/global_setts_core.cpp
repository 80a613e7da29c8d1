#include "global_setts_core.h"

#include "block_layout.h"
#include "block_transfer.h"
#include "checksum.h"
#include "conversions.h"
#include "little_endian.h"

#include <algorithm>
#include <set>

namespace tools {

using namespace settings;

const char* const kLinkError = "Ошибка связи с ТРК";
const char* const kNoLinkLine = "Связь с контроллером не установлена";
const char* const kGlobalChecksum = "Внимание!!! КСМ не верна! КСМ была пересчитана";
const char* const kChannelReadError = "Ошибка чтения";
const char* const kSidesRepaired = "Ошибка чтения к-ва сторон. Установлено значение 1";
const char* const kNozzlesRepaired = "Ошибка чтения к-ва пистолетов. Установлено значение 1";
const char* const kTableRepaired = "Ошибка чтения типа табло. Установлен тип - T-209";
const char* const kWriteError = "Ошибка записи!";

std::string NozRegsNotWritten(int channel) {
    return "Не удалось считать состояние канала " + std::to_string(channel + 1) +
           ". Состояние каналов не записано, фискальные счетчики в контроллере сохранены без изменений.";
}

namespace {

constexpr int kParamReadAttempts = 3;
constexpr int kHydroHitGlobalMax = 255; // in hundredths: the byte, as the settings tab takes it
constexpr int kChannelReadFailures = 3;
constexpr int kMapPairs = 5;
constexpr uint8_t kNoChannel = 255;
const int kPulsesOfItem[4] = {100, 256, 132, 200};

int ValidSides(uint8_t b) {
    return b == 1 || b == 2 ? b : 1;
}
int ValidNozzles(uint8_t b) {
    return b >= 1 && b <= kGlobalNozzleItems ? b : 1;
}

// The form shows the slow start byte × 100 whatever it holds (the settings
// tab shows 255, "start on both valve signals", as it is).
constexpr fields::Field ShownScaled(fields::Field f) {
    f.asIs = -1;
    return f;
}

// The additional boxes (the rows with a label, in the order the form shows
// them): checked and stored on every exit.
const fields::Field kGlobalFields[] = {
    fields::Bind(ctrlrparams::SlowLoad,
                 {.name = "eSlowLoadGlobal", .label = "Конец на доливе", .min = 0, .max = 25599}),
    ShownScaled(
        fields::Bind(ctrlrparams::SlowStart,
                     {.name = "eSlowStartGlobal", .label = "Начало на доливе", .min = 0, .max = 25599})),
    fields::Bind(ctrlrparams::NozzleFat,
                 {.name = "eNozzleFatGlobal",
                  .label = "Компенсация раздутия шланга",
                  .min = 0,
                  .max = kBoundNozzleFat - 1}), // as the settings tab: what the byte holds after the scale
    fields::Bind(ctrlrparams::MetTOut,
                 {.name = "eMetTimeoutGlobal", .label = "Таймаут крыльчатки", .min = 0, .max = 255}),
    fields::Bind(ctrlrparams::PcTimeout, {.name = "ePcTimeoutGlobal",
                                          .label = "Таймаут связи с СУ",
                                          .min = 3,
                                          .max = 60,
                                          .zeroAllowed = true}),
    fields::Bind(ctrlrparams::MinSpeed,
                 {.name = "eMinSpeedGlobal", .label = "Мин производительность", .min = 0, .max = 30}),
    fields::Bind(ctrlrparams::MinSpTime, {.name = "eMinSpTimeGlobal",
                                          .label = "Время работы с мин производительностью",
                                          .min = 3,
                                          .max = 180,
                                          .zeroAllowed = true}),
    fields::Bind(
        ctrlrparams::NozzleWait,
        {.name = "eNozzleWaitGlobal", .label = "Пауза пуска двигателя", .min = 0, .max = 20, .maxLength = 5}),
    {.name = "cbNumSideGlobal",
     .helpButton = "helpSideGlobal",
     .hint =
         "Количество сторон, обслуживаемых контроллером. Выберите из списка или вызовите контексное меню"},
    {.name = "cbNumNozGlobal",
     .helpButton = "helpNozGlobal",
     .hint = "Количество пистолетов, обслуживаемых контроллером. Выберите из списка или вызовите контексное "
             "меню"},
    {.name = "eAdrUtrkGlobal",
     .helpButton = "helpUtrkGlobal",
     .hint = "Адреса сторон контроллера. Вводятся через запятую"},
    {.name = "eAdrNaraGlobal",
     .helpButton = "helpNaraGlobal",
     .hint = "Адреса каналов(пистолетов) контроллера. Вводятся через запятую"},
    {.name = "cbTblTypeGlobal", .helpButton = "helpTblGlobal", .hint = "Тип табло."},
};

} // namespace

int GlobalSetts::channelCount() const {
    return std::clamp(sideCount * nozzleCount, 0, kMaxChannels);
}

fields::Table GlobalSettsFields() {
    return kGlobalFields;
}

GlobalOpening ReadGlobalSetts(int port, int ctrl, GlobalSetts& m) {
    GlobalOpening o;
    int len = 0;
    for (int attempt = 0; attempt < kParamReadAttempts && len == 0; ++attempt)
        len = ReadBlock(port, ctrl, kAddrParamLength, -1, m.params.working.data(), kBoardMain);
    if (len <= 0) {
        o.result = len < 0 ? GlobalOpening::LinkFailed : GlobalOpening::LinkEmpty;
        o.messages.emplace_back(kLinkError);
        return o;
    }
    m.params.loaded(len);
    uint8_t* p = m.p();

    // The counts the form works with. A side count the block cannot mean (0
    // included) is taken as one side, as the repair below sets it.
    m.sideCount = ValidSides(p[kSideCount]);
    m.nozzleCount = std::min(ValidNozzles(p[kNozzlesPerSide]), kMaxChannels / m.sideCount);
    for (int i = 0; i < m.channelCount(); ++i)
        m.channelAddrs[i] = p[kNaraAddrs + i];
    m.sideAddrs[0] = p[kAddrSideA];
    if (m.sideCount == 2) m.sideAddrs[1] = p[kAddrSideB];
    o.textsReady = true;

    if (len != CtrlrParams.length) o.messages.emplace_back(kSizeWarning);
    const uint8_t sum = FrameChecksum(p, static_cast<size_t>(len - 1));
    if (sum != p[len - 1]) {
        o.messages.emplace_back(kGlobalChecksum);
        p[len - 1] = sum;
    }

    int failures = 0;
    for (int i = 0; i < kMaxChannels; ++i) {
        for (;;) {
            NozSettsPair& ch = m.channels[i];
            const int r = ReadBlock(port, ctrl, ChannelAddress(NozSetts, i), NozSetts.length,
                                    ch.working.data(), kBoardMain);
            if (r == NozSetts.length) {
                ch.loaded(r);
                break;
            }
            if (++failures >= kChannelReadFailures) {
                o.messages.emplace_back(kChannelReadError);
                o.result = GlobalOpening::ChannelsFailed;
                return o;
            }
        }
    }

    GlobalItems& it = o.items;
    if (p[kSideCount] != 1 && p[kSideCount] != 2) {
        o.messages.emplace_back(kSidesRepaired);
        p[kSideCount] = 1;
    }
    it.side = p[kSideCount] - 1;
    if (p[kNozzlesPerSide] < 1 || p[kNozzlesPerSide] > kGlobalNozzleItems) {
        o.messages.emplace_back(kNozzlesRepaired);
        p[kNozzlesPerSide] = 1;
    }
    it.nozzle = m.nozzleCount - 1;
    if (p[kMeterType] == kMeterManual) {
        it.meter = kGlobalMeterManual;
    } else if (p[kMeterType] < kGlobalMeterItems) {
        it.meter = p[kMeterType];
    } else {
        it.meter = 0;
        p[kMeterType] = 0;
    }
    it.phase = p[kMeterPhase] < kGlobalPhaseItems ? p[kMeterPhase] : 0;
    if (p[kDisplayTypes] < kGlobalTableItems) {
        it.table = p[kDisplayTypes];
    } else {
        o.messages.emplace_back(kTableRepaired);
        it.table = kGlobalTableFallback;
        p[kDisplayTypes] = kGlobalTableFallback;
    }
    o.result = GlobalOpening::Done;
    return o;
}

std::string AddressText(const int* values, int count) {
    std::string s;
    for (int i = 0; i < count; ++i) {
        if (i) s += ',';
        s += std::to_string(values[i]);
    }
    return s;
}

std::string HydroHitText(uint8_t value) {
    std::string s = std::to_string(value / 100);
    const int frac = value % 100;
    if (frac == 0) return s;
    s += ',';
    s += static_cast<char>('0' + frac / 10);
    if (frac % 10) s += static_cast<char>('0' + frac % 10);
    return s;
}

std::optional<uint8_t> HydroHitByte(std::string_view text) {
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    size_t i = 0;
    bool digits = false;
    int hundredths = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        digits = true;
        hundredths = std::min(hundredths * 10 + 100 * (text[i] - '0'), 100000); // far above the limit
    }
    bool rest = false;
    if (i < text.size() && (text[i] == ',' || text[i] == '.')) {
        ++i;
        int n = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i, ++n) {
            digits = true;
            const int d = text[i] - '0';
            if (n == 0)
                hundredths += 10 * d;
            else if (n == 1)
                hundredths += d;
            else if (d != 0)
                rest = true;
        }
        if (n == 0) return std::nullopt;
    }
    if (!digits || i != text.size()) return std::nullopt;
    if (hundredths > kHydroHitGlobalMax || (hundredths == kHydroHitGlobalMax && rest)) return std::nullopt;
    return static_cast<uint8_t>(hundredths);
}

std::optional<std::vector<long>> ParseAddressList(std::string_view text, int count) {
    std::vector<long> values;
    size_t i = 0;
    for (int k = 0; k < count; ++k) {
        while (i < text.size() && text[i] == ' ')
            ++i;
        bool negative = false;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
        const size_t start = i;
        long v = 0;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
            v = std::min(v * 10 + (text[i] - '0'), 100000L); // far beyond any address
        if (i == start) return std::nullopt;
        values.push_back(negative ? -v : v);
        if (k + 1 < count) {
            if (i >= text.size() || text[i] != ',') return std::nullopt;
            ++i;
        }
    }
    if (i != text.size()) return std::nullopt;
    return values;
}

bool AddressesValid(const std::vector<long>& values) {
    std::set<long> seen;
    for (long v : values)
        if (v < 1 || v > 255 || !seen.insert(v).second) return false;
    return true;
}

void AutoFillSideAddresses(GlobalSetts& m, int sides) {
    for (int i = 0; i < sides && i < 2; ++i)
        m.sideAddrs[i] = i + 1;
}

void AutoFillChannelAddresses(GlobalSetts& m, int sides, int nozzles) {
    if (sides < 1) sides = 1;
    if (kMaxChannels / sides < nozzles) nozzles = kMaxChannels / sides;
    for (int i = 0; i < sides; ++i)
        for (int j = 0; j < nozzles && i * nozzles + j + 1 <= kMaxChannels; ++j)
            m.channelAddrs[i * nozzles + j] = i * 4 + j + 1;
    m.nozzleCount = nozzles;
}

std::vector<std::string> GlobalSummary(const GlobalSetts& m, int ctrl) {
    const uint8_t* p = m.p();
    std::vector<std::string> v{
        "Установлена связь с контроллером №" + std::to_string(ctrl),
        "",
        "   Основные настройки контроллера",
        "Количество сторон - " + std::to_string(p[kSideCount]),
        "Количество пистолетов - " + std::to_string(p[kNozzlesPerSide]),
        "Величина долива - " + std::to_string(p[kSlowLoad] * 100) + " мл",
        "Величина компенсации раздутия шланга - " + std::to_string(p[kNozzleFat] * 10) + " мл",
        "Величина таймаута крыльчатки - " + std::to_string(p[kMetTOut]) + " сек",
        "Величина старта на пониженной производительности - " + std::to_string(p[kSlowStart] * 100)};
    static const char* const kTables[kGlobalTableItems] = {
        "Табло типа T-107", "Табло типа T-105", "Табло типа T-202",   "Табло типа T-217",
        "Табло типа T-218", "Табло типа T-209", "Табло типа T-209-17"};
    v.emplace_back(p[kDisplayTypes] < kGlobalTableItems ? kTables[p[kDisplayTypes]]
                                                        : "Тип табло неопределен");
    v.emplace_back("");
    v.emplace_back("     Настройки каналов");
    static const char* const kPhases[kGlobalPhaseItems] = {"Датчик импульсов с пересчетом одной фазы 1",
                                                           "Датчик импульсов с пересчетом двух фаз",
                                                           "Датчик импульсов с пересчетом одной фазы 2"};
    for (int i = 0; i < p[kNozzlesPerSide] * p[kSideCount] && i < kMaxChannels; ++i) {
        const uint8_t* ch = m.channels[i].working.data();
        v.emplace_back("");
        v.emplace_back("Настройки канала с адресом " + std::to_string(p[kNaraAddrs + i]));
        v.emplace_back("Датчик - " + std::to_string(GetU16(ch, nozsetts::ImpLit.offset) / 2) + " импульсов");
        if (ch[nozsetts::MeterPhase.offset] < kGlobalPhaseItems)
            v.emplace_back(kPhases[ch[nozsetts::MeterPhase.offset]]);
    }
    return v;
}

void BuildGlobalParams(GlobalSetts& m, const GlobalItems& items) {
    uint8_t* p = m.p();
    p[kSideCount] = static_cast<uint8_t>(items.side + 1);
    p[kNozzlesPerSide] = static_cast<uint8_t>(items.nozzle + 1);
    PutU16(p, kModeMask, kGlobalModeMask);
    p[kAddrSideA] = static_cast<uint8_t>(m.sideAddrs[0]);
    if (m.sideCount == 2) p[kAddrSideB] = static_cast<uint8_t>(m.sideAddrs[1]);
    const int count = m.channelCount();
    for (int i = 0; i < kMaxChannels; ++i)
        p[kNaraAddrs + i] = i < count ? static_cast<uint8_t>(m.channelAddrs[i]) : 0;
    const int n = m.nozzleCount;
    for (int j = 0; j < kMapPairs; ++j) {
        uint8_t a = kNoChannel, b = kNoChannel;
        if (m.sideCount == 1 && n == 2) {
            if (j == 0) a = 0, b = 1;
        } else if (j < n) {
            a = static_cast<uint8_t>(j);
            if (m.sideCount == 2) b = static_cast<uint8_t>(j + n);
        }
        p[kPhysToLog + 2 * j] = a;
        p[kPhysToLog + 2 * j + 1] = b;
    }
    p[kMeterType] = items.meter == kGlobalMeterManual ? kMeterManual : static_cast<uint8_t>(items.meter);
    p[kMeterPhase] = static_cast<uint8_t>(items.phase);
    p[kDisplayTypes] = static_cast<uint8_t>(items.table);
    m.params.sealChecksum();
}

void BuildGlobalChannels(GlobalSetts& m, const GlobalItems& items) {
    for (NozSettsPair& ch : m.channels) {
        uint8_t* b = ch.working.data();
        if (items.meter != kGlobalMeterManual && items.meter >= 0 && items.meter < 4) {
            const int old = GetU16(b, nozsetts::ImpLit.offset);
            const int code = kPulsesOfItem[items.meter] * 2;
            // Weights that cannot be rescaled keep their code with them.
            if (code != old && ScalePulseWeights(b, old, code) == 1) PutU16(b, nozsetts::ImpLit.offset, code);
        }
        b[nozsetts::MeterPhase.offset] = static_cast<uint8_t>(items.phase);
    }
}

void CleanNozRegs(uint8_t* regs) {
    uint8_t total[5];
    std::copy(regs + nozregs::FCount.offset, regs + nozregs::FCMil.offset + 1, total);
    std::fill(regs, regs + NozRegs.length, 0);
    PutU16(regs, nozregs::Price.offset, kCleanPrice);
    std::copy(total, total + 5, regs + nozregs::FCount.offset);
}

GlobalPlan PlanGlobalSetts(int port, int ctrl, const GlobalSetts& m) {
    GlobalPlan p;
    const int len = m.params.length;
    p.blocks.push_back({CtrlrParams.address, std::vector<uint8_t>(m.p(), m.p() + len), kWriteError});
    for (int i = 0; i < kMaxChannels; ++i) {
        const auto& ch = m.channels[i].working;
        p.blocks.push_back({ChannelAddress(NozSetts, i),
                            std::vector<uint8_t>(ch.begin(), ch.begin() + NozSetts.length), kWriteError});
    }
    std::array<std::array<uint8_t, NozRegs.length>, kMaxChannels> regs{};
    for (int c = 0; c < kMaxChannels && p.nozRegsUnread < 0; ++c) {
        int r = -1;
        for (int attempt = 0; attempt < kNozRegsReadAttempts && r != NozRegs.length; ++attempt)
            r = ReadBlock(port, ctrl, ChannelAddress(NozRegs, c), NozRegs.length, regs[c].data(), kBoardMain);
        if (r != NozRegs.length) p.nozRegsUnread = c;
    }
    if (p.nozRegsUnread < 0) {
        for (int c = 0; c < kMaxChannels; ++c) {
            CleanNozRegs(regs[c].data());
            p.blocks.push_back({ChannelAddress(NozRegs, c),
                                std::vector<uint8_t>(regs[c].begin(), regs[c].end()), kWriteError});
        }
    }
    return p;
}

void AcceptGlobalWrite(GlobalSetts& m, const image::WholeWriteResult& r) {
    for (const image::WholeBlockResult& b : r.blocks) {
        if (!b.written || b.check == image::WholeBlockResult::Check::Differs ||
            b.check == image::WholeBlockResult::Check::Unread)
            continue;
        if (b.address == CtrlrParams.address) m.params.accept();
        for (int i = 0; i < kMaxChannels; ++i)
            if (b.address == ChannelAddress(NozSetts, i)) m.channels[i].accept();
    }
}

} // namespace tools
