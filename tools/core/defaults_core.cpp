#include "defaults_core.h"

#include "block_layout.h"
#include "block_transfer.h"
#include "checksum.h"
#include "ctrl_params_core.h"
#include "little_endian.h"
#include "nara_core.h"
#include "snapshot.h"

#include <algorithm>
#include <cctype>

namespace tools {

const char* const kDefaultTypeNames[kDefaultTypes] = {"Шельф", "Нара", "УЗСГ", "УНСГ"};
const char* const kNotSupported = "Не поддерживается работа с данным устройством";
const char* const kDemoWriteFailed = "Ошибка записи";
const char* const kTooManyChannels =
    "Контроллер обслуживает не более 10 каналов: уменьшите количество сторон "
    "или РК на сторону. Запись невозможна.";

namespace {

constexpr int kAddressBytes = kMaxChannels; // parameter bytes 6..15
constexpr uint8_t kNoChannel = 255;
constexpr int kMapPairs = 5;
constexpr int kMaxCellDigits = 3;

using namespace settings;

// A cell or box text as a number; -1 when it is not one (or too long to be an address).
int Number(const std::string& text) {
    if (text.empty() || text.size() > kMaxCellDigits) return -1;
    int v = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return -1;
        v = v * 10 + (c - '0');
    }
    return v;
}

bool UsableAddress(int v) {
    return v >= 1 && v <= 255;
}

} // namespace

int DefaultTypeFromText(const std::string& text) {
    for (int t = 0; t < kDefaultTypes; ++t)
        if (text == kDefaultTypeNames[t] || text == std::to_string(t)) return t;
    return kNoType;
}

void ChangePhysToLog(uint8_t* params, int sides, int nozzles) {
    for (int j = 0; j < kMapPairs; ++j) {
        uint8_t a = kNoChannel, b = kNoChannel;
        if (j < nozzles) {
            a = static_cast<uint8_t>(j);
            if (sides == 2) b = static_cast<uint8_t>(j + nozzles);
        }
        params[kPhysToLog + 2 * j] = a;
        params[kPhysToLog + 2 * j + 1] = b;
    }
}

FixedImage DefaultImage(int type) {
    if (type < 0 || type >= kDefaultTypes) type = 0;
    const bool uzsg = type >= 2; // types 2 and 3
    FixedImage img{};
    uint8_t* p = img.data() + kFixParams;
    p[kSpeed1] = 3;
    p[kSpeed2] = 3;
    p[kAddrSideA] = 1;
    p[kAddrSideB] = type == 3 ? 0 : 2;
    const int nozzles = uzsg ? 1 : 4;
    const int sides = type == 3 ? 1 : 2;
    p[kNozzlesPerSide] = static_cast<uint8_t>(nozzles);
    p[kSideCount] = static_cast<uint8_t>(sides);
    for (int i = 0; i < kAddressBytes; ++i)
        p[kNaraAddrs + i] = uzsg ? (i < 2 ? static_cast<uint8_t>(i + 1) : 0) : static_cast<uint8_t>(i + 1);
    p[kMeterType] = 0;
    p[kMeterPhase] = type == 0 ? 0 : 1;
    p[kSlowStart] = 1;
    p[kSlowLoad] = 3;
    p[kNozzleFat] = 30;
    p[kMetTOut] = 15;
    static const uint16_t kMasks[kDefaultTypes] = {0x1401, 0x1400, 0x0403, 0x0403};
    PutU16(p, kModeMask, kMasks[type]);
    PutU16(p, kModeMask2, uzsg ? 0x0080 : 0);
    static const uint8_t kDisplays[kDefaultTypes] = {6, 3, 7, 4};
    p[kDisplayTypes] = kDisplays[type];
    ChangePhysToLog(p, sides, nozzles);
    if (uzsg) {
        p[kMinSpeed] = 5;
        p[kMinSpTime] = 3;
        p[kHydroHit] = 255;
    }

    for (int n = 0; n < kMaxChannels; ++n) {
        uint8_t* s = img.data() + FixNozSetts(n);
        PutU32(s, nozsetts::ImpWLo.offset, uzsg ? 0x4E000000u : 0x80000000u);
        PutU32(s, nozsetts::ImpWkLo.offset, 0x80000000u);
        PutU16(s, nozsetts::ImpLit.offset, 200);
        s[nozsetts::MeterPhase.offset] = type == 0 ? 0 : 1;
    }

    uint8_t* nara = img.data() + kFixNara;
    PutU16(nara, kNaraChannelMask, static_cast<uint16_t>((1u << (sides * nozzles)) - 1));
    if (uzsg) nara[kShimDuration] = 4;
    return img;
}

// --- the form ---

int DefaultsForm::sides() const {
    return sideIndex >= 0 && sideIndex < static_cast<int>(sideItems.size()) ? sideItems[sideIndex] : 1;
}

int DefaultsForm::nozzles() const {
    return nozzleIndex >= 0 && nozzleIndex < static_cast<int>(nozzleItems.size()) ? nozzleItems[nozzleIndex]
                                                                                  : 1;
}

bool DefaultsForm::tooManyChannels() const {
    return channels() > kMaxChannels;
}

bool DefaultsForm::writeEnabled() const {
    if (tooManyChannels() || redSide[0] || redGrid[0]) return false;
    return !(sideBVisible && (redSide[1] || redGrid[1]));
}

int DefaultsForm::cellChannel(int side, int cell) const {
    const int c = side == 0 ? cell : nozzles() + cell;
    return c >= 0 && c < kAddressBytes ? c : -1;
}

int DefaultsForm::address(int channel) const {
    return image[kFixParams + kNaraAddrs + channel];
}

void DefaultsForm::open() {
    defaultset(type);
    sidesChanged();
}

void DefaultsForm::typeChanged(int newType) {
    defaultset(newType);
    sidesChanged();
    designTimeSummary = false;
    redGrid[0] = redGrid[1] = false;
}

void DefaultsForm::defaultset(int newType) {
    type = newType >= 0 && newType < kDefaultTypes ? newType : kNoType;
    const int t = baseType();
    if (t <= 1) {
        nozzleItems = {1, 2, 3, 4, 5, 6, 7, 8};
        nozzleIndex = 3;
    } else {
        nozzleItems = {1};
        nozzleIndex = 0;
    }
    sideItems = {1, 2};
    sideIndex = t == 3 ? 0 : 1;
    sideText[0] = "1";
    sideText[1] = "2";
    redSide[0] = redSide[1] = false;
    sideBVisible = true;
    image = DefaultImage(t);
    if (t <= 1) nozzlesChanged();
    const int n = nozzles();
    for (auto& c : cells)
        c.assign(static_cast<size_t>(n), std::string());
    for (int k = 0; k < n; ++k) {
        cells[0][k] = std::to_string(k + 1);
        cells[1][k] = std::to_string(n + k + 1);
    }
}

void DefaultsForm::layOutGrids() {
    const int n = nozzles();
    image[kFixParams + kNozzlesPerSide] = static_cast<uint8_t>(n);
    for (int side = 0; side < 2; ++side) {
        const int had = static_cast<int>(cells[side].size());
        cells[side].resize(static_cast<size_t>(n));
        for (int c = had; c < n; ++c) {
            const int ch = cellChannel(side, c);
            cells[side][c] = ch >= 0 ? std::to_string(address(ch)) : std::string();
        }
    }
}

void DefaultsForm::sidesChanged() {
    const int s = sides();
    if (baseType() == 2) {
        nozzleItems = s == 2 ? std::vector<int>{1} : std::vector<int>{1, 2};
        nozzleIndex = 0;
    } else {
        nozzleItems = {1, 2, 3, 4, 5, 6, 7, 8};
        nozzleIndex = std::clamp(nozzleIndex, 0, kMaxDefaultNozzles - 1);
    }
    layOutGrids();
    const int n = nozzles();
    uint8_t* p = image.data() + kFixParams;
    if (s == 2) {
        sideBVisible = true;
        p[kSideCount] = 2;
        p[kAddrSideA] = 1;
        p[kAddrSideB] = 2;
        sideText[0] = "1";
        sideText[1] = "2";
        redSide[0] = redSide[1] = false;
        redGrid[0] = redGrid[1] = false;
        if (s * n > 2) {
            for (int i = 0; i < kAddressBytes; ++i)
                p[kNaraAddrs + i] = static_cast<uint8_t>(i + 1);
            for (int k = 0; k < n; ++k) {
                cells[0][k] = std::to_string(k + 1);
                cells[1][k] = std::to_string(n + k + 1);
            }
        }
    } else {
        sideBVisible = false;
        p[kSideCount] = 1;
        p[kAddrSideB] = 0;
        for (int i = n; i < 2 * n && i < kAddressBytes; ++i)
            p[kNaraAddrs + i] = 0;
        redSide[0] = false;
        redGrid[0] = false;
        if (n > 2) {
            for (int i = 0; i < kAddressBytes; ++i)
                p[kNaraAddrs + i] = static_cast<uint8_t>(i + 1);
            for (int k = 0; k < n; ++k)
                cells[0][k] = std::to_string(k + 1);
        }
    }
    ChangePhysToLog(p, s, n);
}

void DefaultsForm::nozzlesChanged() {
    redGrid[0] = redGrid[1] = false;
    const int n = nozzles();
    if (baseType() == 2) {
        const int s = sides();
        sideItems = n == 2 ? std::vector<int>{1} : std::vector<int>{1, 2};
        // The side list offers the count already chosen whenever it can: the
        // bytes then keep showing what the lists show.
        auto it = std::find(sideItems.begin(), sideItems.end(), s);
        sideIndex = it == sideItems.end() ? 0 : static_cast<int>(it - sideItems.begin());
    } else {
        sideItems = {1, 2};
    }
    cells[0].clear();
    cells[1].clear();
    layOutGrids();
    uint8_t* p = image.data() + kFixParams;
    for (int i = 0; i < kMapPairs && i < n; ++i) {
        cells[0][i] = std::to_string(i + 1);
        p[kNaraAddrs + i] = static_cast<uint8_t>(i + 1);
        cells[1][i] = std::to_string(n + i + 1);
        if (const int ch = cellChannel(1, i); ch >= 0) p[kNaraAddrs + ch] = static_cast<uint8_t>(n + i + 1);
    }
    if (sides() != p[kSideCount]) sidesChanged();
    ChangePhysToLog(p, sides(), n);
}

void DefaultsForm::sideItemChosen(int index) {
    if (index == sideIndex || index < 0 || index >= static_cast<int>(sideItems.size())) return;
    sideIndex = index;
    sidesChanged();
}

void DefaultsForm::nozzleItemChosen(int index) {
    if (index == nozzleIndex || index < 0 || index >= static_cast<int>(nozzleItems.size())) return;
    nozzleIndex = index;
    nozzlesChanged();
}

namespace {

// "1" and "01" are one address: the values are compared, not the texts.
bool SameSideAddress(const std::string& a, const std::string& b) {
    const int x = Number(a), y = Number(b);
    return x >= 0 ? x == y : a == b;
}

} // namespace

void DefaultsForm::checkSideAddresses() {
    for (int side = 0; side < 2; ++side)
        if (!UsableAddress(Number(sideText[side]))) redSide[side] = true;
}

void DefaultsForm::sideAddressChanged(int side, const std::string& text) {
    sideText[side] = text;
    const int v = Number(text);
    if (v >= 0 && v <= 255)
        image[kFixParams + (side == 0 ? kAddrSideA : kAddrSideB)] = static_cast<uint8_t>(v);
    // The two addresses may not be equal; with one side the hidden box does not count.
    if ((sideBVisible && SameSideAddress(sideText[0], sideText[1])) || v > 255) {
        redSide[side] = true;
    } else {
        redSide[0] = redSide[1] = false;
    }
}

void DefaultsForm::sideAddressLeft(int side) {
    if (image[kFixParams + (side == 0 ? kAddrSideA : kAddrSideB)] == 0 ||
        !UsableAddress(Number(sideText[side])))
        redSide[side] = true;
}

void DefaultsForm::checkGrids(int editedSide) {
    const int n = nozzles();
    const int count = std::min(channels(), kAddressBytes);
    bool dup = false;
    bool zero[2] = {false, false};
    for (int i = 0; i < count; ++i) {
        if (address(i) == 0) zero[i < n ? 0 : 1] = true;
        for (int j = i + 1; j < count; ++j)
            if (address(i) == address(j)) dup = true;
    }
    bool bad[2] = {false, false};
    for (int side = 0; side < 2; ++side)
        for (const std::string& t : cells[side])
            if (!t.empty() && Number(t) > 255) bad[side] = true;
    if (dup) {
        redGrid[editedSide] = true;
    } else {
        redGrid[0] = zero[0] || bad[0];
        redGrid[1] = zero[1] || bad[1];
    }
}

void DefaultsForm::cellEdited(int side, int cell, const std::string& text) {
    if (cell < 0 || cell >= static_cast<int>(cells[side].size())) return;
    cells[side][cell] = text;
    const int v = Number(text);
    const int ch = cellChannel(side, cell);
    if (!text.empty() && v >= 0 && v <= 255 && ch >= 0)
        image[kFixParams + kNaraAddrs + ch] = static_cast<uint8_t>(v);
    checkGrids(side);
}

void DefaultsForm::gridLeft(int side) {
    for (int c = 0; c < static_cast<int>(cells[side].size()); ++c) {
        const int ch = cellChannel(side, c);
        std::string& t = cells[side][c];
        if (t.empty()) {
            if (ch >= 0) t = std::to_string(address(ch));
            continue;
        }
        const int v = Number(t);
        if (v < 0 || v > 255) {
            redGrid[side] = true;
            continue;
        }
        if (ch < 0) continue;
        image[kFixParams + kNaraAddrs + ch] = static_cast<uint8_t>(v);
        if (v == 0) redGrid[side] = true;
    }
}

bool DefaultsForm::checkForWrite() {
    gridLeft(0);
    gridLeft(1);
    bool ok = !tooManyChannels();
    const uint8_t* p = image.data() + kFixParams;
    if (p[kAddrSideA] == 0) redSide[0] = true;
    if (sides() == 2 && p[kAddrSideB] == 0) redSide[1] = true;
    checkSideAddresses();
    if (sides() == 2 && SameSideAddress(sideText[0], sideText[1])) redSide[1] = true;
    const int n = nozzles();
    const int count = std::min(channels(), kAddressBytes);
    for (int i = 0; i < count; ++i) {
        if (address(i) == 0) redGrid[i < n ? 0 : 1] = true;
        for (int j = 0; j < i; ++j)
            if (address(i) == address(j)) redGrid[i < n ? 0 : 1] = true;
    }
    if (redSide[0] || redGrid[0] || (sides() == 2 && (redSide[1] || redGrid[1]))) ok = false;
    return ok;
}

void DefaultsForm::sealForWrite() {
    uint8_t* nara = image.data() + kFixNara;
    nara[kPbTimeoutNara] = 15;
    const int count = std::min(channels(), kMaxChannels);
    PutU16(nara, kNaraChannelMask, static_cast<uint16_t>((1u << count) - 1));
    for (int n = 0; n < kMaxChannels; ++n) {
        PutU32(image.data() + FixNozRegs(n), nozregs::FCount.offset, 0);
    }
    uint8_t* p = image.data() + kFixParams;
    p[CtrlrParams.length - 1] = FrameChecksum(p, CtrlrParams.length - 1);
}

std::vector<std::string> DefaultsForm::summary() const {
    return DefaultsSummary(designTimeSummary ? 0 : baseType(), designTimeSummary);
}

std::vector<std::string> DefaultsSummary(int type, bool designTime) {
    if (type < 0 || type >= kDefaultTypes) type = 0;
    const char* const kDose = "Доза, отпускаемая в режиме малой производительности,";
    std::vector<std::string> v{"Общие настройки:",
                               type == 0 ? "100 импульсов на литр, с пересчетом по одной фазе."
                                         : "100 импульсов на литр, с пересчетом по двум фазам.",
                               kDose,
                               "при старте  - 100 мл.",
                               kDose,
                               "при завершении - 300 мл."};
    if (designTime) v.emplace_back("Компенсация раздутия шланга 300 мл.");
    static const char* const kDisplay[kDefaultTypes] = {"Тип табло - Т-209-17.", "Тип табло - TBL-217",
                                                        "Тип табло - ВК-21", "Тип табло - TBL-218"};
    v.emplace_back(kDisplay[type]);
    v.emplace_back("");
    v.emplace_back("Битовая маска режимов:");
    const char* const kInverse = "Инверсный датчик положения раздаточного крана.";
    const char* const kSum = "Дополнение до суммы.";
    const char* const kContinue = "Разрешено продолжение после останова клиентом.";
    const char* const kStart = "Старт от изменения положения раздаточного крана";
    if (type == 0) {
        v.insert(v.end(), {kInverse, kSum, kContinue});
    } else if (type == 1) {
        v.insert(v.end(), {"Не инверсный датчик положения раздаточного крана.", kSum, kStart, kContinue});
    } else {
        v.insert(v.end(), {"Режим работы Север", kInverse, kSum, kContinue, kStart});
    }
    v.emplace_back("");
    v.emplace_back("Фискальные счетчики будут обнулены.");
    return v;
}

const std::vector<DefaultsBlock>& DefaultsBlocks() {
    static const std::vector<DefaultsBlock> blocks = [] {
        std::vector<DefaultsBlock> b{
            {CtrlrParams.address, kFixParams, CtrlrParams.length, "Ошибка записи параметров контроллера"},
            {SideAddress(0), kFixSide1, SidesSetts.length, "Ошибка записи состояния первой стороны"},
            {SideAddress(1), kFixSide2, SidesSetts.length, "Ошибка записи состояния второй стороны"},
            {NaraSpecific.address, kFixNara, NaraSpecific.length, "Ошибка записи настроек НАРА_АЗС"},
        };
        for (int n = 0; n < kMaxChannels; ++n)
            b.push_back({ChannelAddress(NozSetts, n), FixNozSetts(n), NozSetts.length,
                         "Ошибка записи настроек шланга"});
        for (int n = 0; n < kMaxChannels; ++n)
            b.push_back({ChannelAddress(NozRegs, n), FixNozRegs(n), NozRegs.length,
                         "Ошибка записи состояния шланга"});
        return b;
    }();
    return blocks;
}

std::vector<image::WholeBlock> DefaultsWriteBlocks(const FixedImage& image) {
    std::vector<image::WholeBlock> out;
    for (const DefaultsBlock& b : DefaultsBlocks())
        out.push_back({b.address,
                       std::vector<uint8_t>(image.begin() + b.offset, image.begin() + b.offset + b.length),
                       b.failure});
    return out;
}

image::WholeWriteRequest DefaultsWriteRequest(int port, int ctrl, const FixedImage& image) {
    image::WholeWriteRequest q;
    q.port = port;
    q.ctrl = ctrl;
    q.blocks = DefaultsWriteBlocks(image);
    q.restart = image::RestartWhen::Always; // a failed block still leaves the others to take effect
    return q;
}

std::vector<uint8_t> DemoDefaultsFile(const FixedImage& image) {
    const uint8_t* p = image.data() + kFixParams;
    std::vector<uint8_t> f(kDemoHeaderSize + kFixedImageSize, 0);
    f[0] = static_cast<uint8_t>(CtrlrParams.length);
    f[1] = p[kNozzlesPerSide];
    f[2] = p[kSideCount];
    f[3] = static_cast<uint8_t>(NozSetts.length);
    f[4] = 0;
    f[5] = static_cast<uint8_t>(NozRegs.length);
    f[6] = static_cast<uint8_t>(SidesSetts.length);
    std::copy(image.begin(), image.end(), f.begin() + kDemoHeaderSize);
    return f;
}

bool WriteDemoDefaults(const std::string& fileName, const FixedImage& image) {
    const std::vector<uint8_t> f = DemoDefaultsFile(image);
    return image::WriteFileAtomically(fileName, std::string(f.begin(), f.end()));
}

bool DeviceSupported(int port, int ctrl) {
    uint8_t b[2] = {};
    return ReadBlock(port, ctrl, kRegSimulator, 1, b, kBoardRegisters) > 0;
}

} // namespace tools
