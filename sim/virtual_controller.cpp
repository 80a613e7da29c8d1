#include "virtual_controller.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iterator>

#include "block_layout.h"
#include "checksum.h"
#include "cp866.h"
#include "sim_memory_map.h"

namespace zelsim {

namespace {

void PutLe(std::vector<uint8_t>& mem, size_t at, uint64_t value, int width) {
    for (int i = 0; i < width; ++i)
        mem[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

bool PasswordSet(const uint8_t pw[2]) {
    return pw[0] != 0 || pw[1] != 0;
}

bool UsableAddress(uint8_t a) {
    return a != 0 && a != kReserve;
}

// The text a controller of this type reports when asked for its identification.
std::string DefaultIdentText(uint8_t type) {
    switch (type) {
    case 0x22:
        return Utf8ToCp866("Контроллер ТРК stm32-УЗСГ, тип 22h, версия 1.08\r\nИмитатор линии");
    case 0x27:
        return Utf8ToCp866("Контроллер ТРК stm32-УЗСГ, тип 27h, версия 2.01\r\nИмитатор линии");
    case 0x17:
        return Utf8ToCp866("Контроллер ТРК, тип 17h, версия 4.15\r\nИмитатор линии");
    default:
        return Utf8ToCp866("Контроллер ТРК, тип 21h, версия 3.12\r\nИмитатор линии");
    }
}

} // namespace

VirtualController::VirtualController(uint8_t address, uint8_t deviceType)
    : address_(UsableAddress(address) ? address : 1), type_(deviceType), ident_(DefaultIdentText(deviceType)),
      mem0_(kMemSize), mem2_(kRegSize), mem4_(kMemSize) {
    setDefaultsLocked();
}

// Defaults of a controller as shipped for a two-sided dispenser with four
// nozzles a side, plus a little life in the state registers.
void VirtualController::setDefaultsLocked() {
    std::fill(mem0_.begin(), mem0_.end(), 0);
    std::fill(mem2_.begin(), mem2_.end(), 0);
    std::fill(mem4_.begin(), mem4_.end(), 0);

    std::copy(std::begin(kDefaultSizes), std::end(kDefaultSizes), mem0_.begin() + kSizesRecord);
    const size_t paramLen = kDefaultSizes[0];
    mem0_[kParamLength] = static_cast<uint8_t>(paramLen);
    static_assert(
        kDefaultSizes[kSizeParams] == CtrlrParams.length && kDefaultSizes[kSizeNozSetts] == NozSetts.length &&
        kDefaultSizes[kSizeNozRegs] == NozRegs.length && kDefaultSizes[kSizeSides] == SidesSetts.length);
    std::vector<uint8_t> p(paramLen, 0);
    using namespace ctrlrparams;
    auto put = [&p](const fields::Layout& f, uint32_t v, int i = 0) { fields::PutField(f, p.data(), v, i); };
    put(Speed1, 3); // 4800 baud on both channels
    put(Speed2, 3);
    put(AddrSideA, address_);
    put(AddrSideB, (address_ < 0xFF && UsableAddress(static_cast<uint8_t>(address_ + 1))) ? address_ + 1 : 0);
    put(NozzlesPerSide, 4);
    put(SideCount, 2);
    for (int i = 0; i < NaraAddr.count; ++i)
        put(NaraAddr, static_cast<uint32_t>(i + 1), i);
    put(MeterType, 0);  // 100 pulses per litre
    put(MeterPhase, 0); // one phase
    put(SlowStart, 1);  // 100 ml
    put(SlowLoad, 3);   // 300 ml
    put(NozzleFat, 30); // hose swelling 300 ml
    put(MetTOut, 15);
    put(ModeMask, 0x1401);
    put(DisplayTypes, 6);
    for (int j = 0; j < PhysToLogA.count; ++j) {
        put(PhysToLogA, j < 4 ? static_cast<uint32_t>(j) : 0xFF, j);
        put(PhysToLogB, j < 4 ? static_cast<uint32_t>(j + 4) : 0xFF, j);
    }
    put(TempHeatLow, 5); // heater on at 5 degrees
    put(TempHeatHigh, 15);
    put(PcTimeout, 30); // loss-of-link time-out
    p[paramLen - 1] = FrameChecksum(p.data(), paramLen - 1);
    std::copy(p.begin(), p.end(), mem0_.begin() + kParams);

    for (uint32_t n = 0; n < 10; ++n) {
        uint8_t* s = &mem0_[kNozSetts + n * kChannelStep];
        fields::PutField(nozsetts::ImpWLo, s, 0x80000000u); // pulse weight of a 100-pulse meter
        fields::PutField(nozsetts::ImpWkLo, s, 0x80000000u);
        fields::PutField(nozsetts::ImpLit, s, 200);
        uint8_t* r = &mem0_[kNozRegs + n * kChannelStep];
        fields::PutField(nozregs::Price, r, 5290 + 10 * n);
        fields::PutField(nozregs::FCount, r, 1000 + 137 * n); // fiscal totalizer
        fields::PutField(nozregs::FCMil, r, 7 * n);
    }
    // Reserved bytes 0..1 of the advanced block: eight channels in use, as shipped.
    PutLe(mem0_, kNara, 0x00FF, 2);
    fields::PutField(naraspecific::PbTimeoutNara, &mem0_[kNara], 15);
    for (size_t i = 0; i < kBlock3000Len; ++i)
        mem0_[kBlock3000 + i] = static_cast<uint8_t>(i + 1);

    // Thermistor table: Rn 10 kOhm at 25 degrees, B 3950, A = Rn / (Rt + Rn) * 1024,
    // one entry each 4 degrees from -50.
    for (int i = 0; i < 39; ++i) {
        const double t = -50.0 + 4.0 * i + 273.15;
        const double rt = 10.0 * std::exp(3950.0 * (1.0 / t - 1.0 / 298.15));
        const auto a = static_cast<uint16_t>(std::lround(10.0 / (rt + 10.0) * 1024.0));
        PutLe(mem0_, kTempTable + 2 * i, a, 2);
    }

    mem2_[0x24] = 0x05; // simulator off; the other bits carry firmware flags
    for (int i = 0; i < 6; ++i)
        mem2_[0x28 + i] = static_cast<uint8_t>(0x10 + i);
}

uint8_t VirtualController::address() const {
    std::lock_guard lk(m_);
    return address_;
}

void VirtualController::setSideAddressLocked(uint8_t address) {
    const size_t len = mem0_[kParamLength];
    if (len < 4 || mem0_[kParams + 2] == address) return;
    mem0_[kParams + 2] = address;
    mem0_[kParams + len - 1] = FrameChecksum(&mem0_[kParams], len - 1);
}

void VirtualController::setAddress(uint8_t address) {
    std::lock_guard lk(m_);
    if (!UsableAddress(address)) return;
    address_ = address;
    setSideAddressLocked(address);
}

uint8_t VirtualController::deviceType() const {
    std::lock_guard lk(m_);
    return type_;
}

void VirtualController::setDeviceType(uint8_t type) {
    std::lock_guard lk(m_);
    type_ = type;
}

uint8_t VirtualController::extraByte() const {
    std::lock_guard lk(m_);
    return extra_;
}

void VirtualController::setExtraByte(uint8_t b) {
    std::lock_guard lk(m_);
    extra_ = b;
}

std::string VirtualController::identText() const {
    std::lock_guard lk(m_);
    return ident_;
}

void VirtualController::setIdentText(const std::string& cp866) {
    std::lock_guard lk(m_);
    ident_ = cp866;
}

void VirtualController::setIdentTextUtf8(const std::string& utf8) {
    setIdentText(Utf8ToCp866(utf8));
}

Faults VirtualController::faults() const {
    std::lock_guard lk(m_);
    return faults_;
}

void VirtualController::setFaults(const Faults& f) {
    std::lock_guard lk(m_);
    faults_ = f;
}

std::vector<uint8_t> VirtualController::peek(uint8_t board, uint32_t address, size_t n) const {
    std::lock_guard lk(m_);
    const std::vector<uint8_t>* mem = board == 0   ? &mem0_
                                      : board == 2 ? &mem2_
                                      : board == 4 ? &mem4_
                                                   : nullptr;
    std::vector<uint8_t> out(n, 0);
    if (!mem) return out;
    for (size_t i = 0; i < n; ++i)
        if (address + i < mem->size()) out[i] = (*mem)[address + i];
    return out;
}

void VirtualController::poke(uint8_t board, uint32_t address, const std::vector<uint8_t>& bytes) {
    std::lock_guard lk(m_);
    std::vector<uint8_t>* mem = board == 0 ? &mem0_ : board == 2 ? &mem2_ : board == 4 ? &mem4_ : nullptr;
    if (!mem) return;
    for (size_t i = 0; i < bytes.size(); ++i)
        if (address + i < mem->size()) (*mem)[address + i] = bytes[i];
}

void VirtualController::resetToDefaults() {
    std::lock_guard lk(m_);
    setDefaultsLocked();
    admin_[0] = admin_[1] = adjust_[0] = adjust_[1] = 0;
    adminWrong_ = adjustWrong_ = 0;
    adminPresented_ = adjustPresented_ = false;
    lastError_ = kErrNone;
}

int VirtualController::loadImage(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return kImageCannotOpen;
    // Images are a few kilobytes; anything far bigger is not one.
    std::vector<uint8_t> bytes;
    char buf[4096];
    while (f.read(buf, sizeof buf) || f.gcount() > 0) {
        bytes.insert(bytes.end(), buf, buf + f.gcount());
        if (bytes.size() > kMemSize) return kImageBad;
    }
    return loadImageBytes(bytes);
}

int VirtualController::loadImageBytes(const std::vector<uint8_t>& image) {
    if (image.size() < 7) return kImageBad;
    const uint8_t* h = image.data();
    const size_t need =
        7 + h[0] + 10u * h[3] + 2u * h[4] + 2u * h[6] + 10u * h[5] + kNaraImageLen + kBlock3000Len;
    if (image.size() < need) return kImageBad;

    std::lock_guard lk(m_);
    setDefaultsLocked();
    size_t pos = 7;
    auto take = [&](uint32_t to, size_t n) {
        std::copy_n(image.begin() + pos, n, mem0_.begin() + to);
        pos += n;
    };
    std::copy_n(h, 7, mem0_.begin() + kSizesRecord);
    mem0_[kParamLength] = h[0];
    std::fill_n(mem0_.begin() + kParams, 0xFF, 0);
    take(kParams, h[0]);
    for (uint32_t n = 0; n < 10; ++n)
        take(kNozSetts + n * kChannelStep, h[3]);
    if (h[4] != 0) {
        take(kBlock0, h[4]);
        take(kBlock100, h[4]);
    }
    take(kSide1, h[6]);
    take(kSide2, h[6]);
    for (uint32_t n = 0; n < 10; ++n)
        take(kNozRegs + n * kChannelStep, h[5]);
    take(kNara, kNaraImageLen);
    take(kBlock3000, kBlock3000Len);
    setSideAddressLocked(address_);
    return kImageOk;
}

std::vector<uint8_t> VirtualController::imageLocked(bool demo) const {
    const uint8_t* h = &mem0_[kSizesRecord];
    std::vector<uint8_t> out(h, h + 7);
    auto put = [&](uint32_t from, size_t n) { out.insert(out.end(), &mem0_[from], &mem0_[from] + n); };
    if (demo) {
        // The demo file has fixed places whatever the sizes say.
        put(kParams, 58);
        for (uint32_t n = 0; n < 10; ++n)
            put(kNozSetts + n * kChannelStep, 20);
        put(kSide1, 12);
        put(kSide2, 12);
        put(kNara, 128);
        for (uint32_t n = 0; n < 10; ++n)
            put(kNozRegs + n * kChannelStep, 69);
        const size_t writeBack = h[0] + 10u * h[3] + 10u * h[5] + 2u * h[4] + 2u * h[6] + 263;
        out.resize(std::max(out.size(), writeBack), 0);
        return out;
    }
    put(kParams, h[0]);
    for (uint32_t n = 0; n < 10; ++n)
        put(kNozSetts + n * kChannelStep, h[3]);
    if (h[4] != 0) {
        put(kBlock0, h[4]);
        put(kBlock100, h[4]);
    }
    put(kSide1, h[6]);
    put(kSide2, h[6]);
    for (uint32_t n = 0; n < 10; ++n)
        put(kNozRegs + n * kChannelStep, h[5]);
    put(kNara, kNaraImageLen);
    put(kBlock3000, kBlock3000Len);
    return out;
}

std::vector<uint8_t> VirtualController::imageBytes() const {
    std::lock_guard lk(m_);
    return imageLocked(false);
}

std::vector<uint8_t> VirtualController::demoImageBytes() const {
    std::lock_guard lk(m_);
    return imageLocked(true);
}

void VirtualController::setPasswords(int admin, int adjust) {
    // Two byte values, value / 100 and value % 100: 0..25599 can be expressed.
    admin = std::clamp(admin, 0, 25599);
    adjust = std::clamp(adjust, 0, 25599);
    std::lock_guard lk(m_);
    admin_[0] = static_cast<uint8_t>(admin / 100);
    admin_[1] = static_cast<uint8_t>(admin % 100);
    adjust_[0] = static_cast<uint8_t>(adjust / 100);
    adjust_[1] = static_cast<uint8_t>(adjust % 100);
    adminWrong_ = adjustWrong_ = 0;
    adminPresented_ = adjustPresented_ = false;
}

void VirtualController::setPasswordsSupported(bool on) {
    std::lock_guard lk(m_);
    passwordsSupported_ = on;
}

bool VirtualController::adminPresented() const {
    std::lock_guard lk(m_);
    return adminPresented_;
}

bool VirtualController::adjustPresented() const {
    std::lock_guard lk(m_);
    return adjustPresented_;
}

int VirtualController::adminWrongEntries() const {
    std::lock_guard lk(m_);
    return adminWrong_;
}

int VirtualController::adjustWrongEntries() const {
    std::lock_guard lk(m_);
    return adjustWrong_;
}

std::vector<uint8_t> VirtualController::passwordStatus() const {
    std::lock_guard lk(m_);
    std::vector<uint8_t> out(kPwStatusLen);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = readByteLocked(0, kPwStatus + static_cast<uint32_t>(i));
    return out;
}

void VirtualController::setAdoptAddressOnRestart(bool on) {
    std::lock_guard lk(m_);
    adoptAddress_ = on;
}

int VirtualController::restartCount() const {
    std::lock_guard lk(m_);
    return restarts_;
}

void VirtualController::setTemperature(uint16_t adc, int8_t degrees) {
    std::lock_guard lk(m_);
    adc_ = adc;
    degrees_ = degrees;
}

void VirtualController::setFirmwareCrc(uint16_t crc) {
    std::lock_guard lk(m_);
    crc_ = crc;
}

bool VirtualController::simulatorOn() const {
    std::lock_guard lk(m_);
    return (mem2_[0x24] & 0x40) != 0;
}

int VirtualController::displayMode() const {
    std::lock_guard lk(m_);
    return displayMode_;
}

int VirtualController::relayTestCount() const {
    std::lock_guard lk(m_);
    return relayTests_;
}

std::vector<uint8_t> VirtualController::lastFitting() const {
    std::lock_guard lk(m_);
    return {mem2_[0x28], mem2_[0x29]};
}

uint8_t VirtualController::lastErrorCode() const {
    std::lock_guard lk(m_);
    return lastError_;
}

int VirtualController::writeCount() const {
    std::lock_guard lk(m_);
    return writes_;
}

int VirtualController::refusedWriteCount() const {
    std::lock_guard lk(m_);
    return refused_;
}

void VirtualController::noteError(uint8_t code) {
    std::lock_guard lk(m_);
    lastError_ = code;
}

uint8_t VirtualController::readByteLocked(uint8_t board, uint32_t address) const {
    if (board == 2) {
        switch (address) {
        case 0x25:
            return static_cast<uint8_t>(adc_);
        case 0x26:
            return static_cast<uint8_t>(adc_ >> 8);
        case 0x27:
            return static_cast<uint8_t>(degrees_);
        case 0x36:
            return static_cast<uint8_t>(crc_);
        case 0x37:
            return static_cast<uint8_t>(crc_ >> 8);
        default:
            return mem2_[address];
        }
    }
    if (board == 4) return mem4_[address];
    if (address >= kPwStatus && address < kPwAreaEnd) {
        const uint32_t i = address - kPwStatus;
        if (!passwordsSupported_) return i < kPwStatusLen ? 0x11 : 0;
        if (i == 0)
            return static_cast<uint8_t>((PasswordSet(admin_) ? 1 : 0) | (PasswordSet(adjust_) ? 2 : 0));
        if (i == 1) return static_cast<uint8_t>(adminWrong_ | (adjustWrong_ << 3));
        return 0; // the passwords themselves are never readable
    }
    return mem0_[address];
}

bool VirtualController::handleRead(uint8_t board, uint32_t address, uint8_t n, std::vector<uint8_t>& out) {
    std::lock_guard lk(m_);
    if (board == 0 && address >= faults_.silentReadFrom && address < faults_.silentReadTo) return false;
    const uint32_t size = board == 0 || board == 4 ? kMemSize : board == 2 ? kRegSize : 0;
    if (address + n > size) {
        lastError_ = kErrBadAddress;
        return false;
    }
    if (board == 0 && address < faults_.unreadableTo && address + n > faults_.unreadableFrom) return false;
    const size_t start = out.size();
    for (uint32_t i = 0; i < n; ++i)
        out.push_back(readByteLocked(board, address + i));
    // The trailing byte: the checksum of the data, which the tool drops.
    out.push_back(FrameChecksum(out.data() + start, n));
    return true;
}

bool VirtualController::writeAllowedLocked(uint32_t address, size_t n) const {
    if (!passwordsSupported_) return true;
    const bool adminSet = PasswordSet(admin_);
    const bool adjustSet = PasswordSet(adjust_);
    const bool any = adminPresented_ || !adminSet;
    // Channel settings carry the metrology: the adjustment password opens them
    // too, unless an administrator password guards the controller.
    const bool metrology = adminPresented_ || (!adminSet && (!adjustSet || adjustPresented_));
    for (size_t i = 0; i < n; ++i) {
        const uint32_t a = address + static_cast<uint32_t>(i);
        const bool isMetrology = a >= kNozSetts && a < kNozSetts + 10 * kChannelStep;
        if (!(isMetrology ? metrology : any)) return false;
    }
    return true;
}

uint8_t VirtualController::passwordWriteLocked(uint32_t address, const std::vector<uint8_t>& data) {
    if (!passwordsSupported_) return kErrBadAddress;
    if (address != kPwAdmin && address != kPwAdjust && address != kPwNewAdmin && address != kPwNewAdjust)
        return kErrBadAddress;
    if (data.size() != 2) return kErrBadLength;
    const bool adminRow = address == kPwAdmin || address == kPwNewAdmin;
    uint8_t* pw = adminRow ? admin_ : adjust_;
    int& wrong = adminRow ? adminWrong_ : adjustWrong_;
    bool& presented = adminRow ? adminPresented_ : adjustPresented_;

    if (address == kPwAdmin || address == kPwAdjust) {
        if (!PasswordSet(pw)) return kErrNone; // nothing to open
        if (wrong >= kMaxWrongEntries) return kErrPasswordBlocked;
        if (data[0] == pw[0] && data[1] == pw[1]) {
            presented = true;
            wrong = 0;
            return kErrNone;
        }
        presented = false;
        ++wrong;
        return kErrWrongPassword;
    }
    // A new password: the row's own password opens it; the administrator's
    // also resets the adjustment password (and unblocks it).
    const bool open = !PasswordSet(pw) || presented || (!adminRow && adminPresented_);
    if (!open) return kErrProtected;
    pw[0] = data[0];
    pw[1] = data[1];
    wrong = 0;
    presented = PasswordSet(pw);
    return kErrNone;
}

uint8_t VirtualController::handleWrite(uint8_t board, uint32_t address, const std::vector<uint8_t>& data) {
    std::lock_guard lk(m_);
    uint8_t status = kErrNone;
    if (faults_.refuseWrites) {
        status = kErrWriteRefused;
    } else if (data.empty() || data.size() > 64) {
        status = kErrBadLength;
    } else if (board == 0 && address == kRestart) {
        if (data.size() != 1 || data[0] != 0x01) {
            status = kErrBadLength;
        } else {
            ++restarts_;
            adminPresented_ = adjustPresented_ = false;
            const uint8_t side = mem0_[kParamLength] >= 4 ? mem0_[kParams + 2] : 0;
            if (adoptAddress_ && UsableAddress(side)) address_ = side;
        }
    } else if (board == 0) {
        const uint32_t end = address + static_cast<uint32_t>(data.size());
        if (end > kMemSize) {
            status = kErrBadAddress;
        } else if (address < kPwAreaEnd && end > kPwStatus) {
            status = passwordWriteLocked(address, data);
        } else if (!writeAllowedLocked(address, data.size())) {
            status = kErrProtected;
        } else {
            const std::vector<uint8_t> old(mem0_.begin() + address, mem0_.begin() + end);
            std::vector<uint8_t> kept = data;
            if (faults_.flipWrites) kept[0] ^= 0x01;
            if (!faults_.loseWrites) std::copy(kept.begin(), kept.end(), mem0_.begin() + address);
            // Offline work: the write counts only once the file holds it.
            if (persist_ && !persist_(imageLocked(false))) {
                std::copy(old.begin(), old.end(), mem0_.begin() + address);
                status = kErrWriteRefused;
            }
        }
    } else if (board == 2) {
        if (address + data.size() > kRegSize) {
            status = kErrBadAddress;
        } else {
            for (size_t i = 0; i < data.size(); ++i) {
                const uint32_t a = address + static_cast<uint32_t>(i);
                if (a == 0x25)
                    displayMode_ = data[i];
                else if (a == 0x27)
                    ++relayTests_;
                else if (a == 0x26 || a == 0x36 || a == 0x37)
                    continue; // read-only
                else
                    mem2_[a] = data[i];
            }
        }
    } else if (board == 4) {
        if (address + data.size() > kMemSize) {
            status = kErrBadAddress;
        } else if (!faults_.loseWrites) {
            std::copy(data.begin(), data.end(), mem4_.begin() + address);
            if (faults_.flipWrites) mem4_[address] ^= 0x01;
        }
    } else {
        status = kErrBadAddress;
    }
    lastError_ = status;
    if (status == kErrNone)
        ++writes_;
    else
        ++refused_;
    return status;
}

void VirtualController::setPersist(std::function<bool(const std::vector<uint8_t>&)> persist) {
    std::lock_guard lk(m_);
    persist_ = std::move(persist);
}

void VirtualController::identifyAnswer(std::vector<uint8_t>& out) const {
    std::lock_guard lk(m_);
    const uint8_t a[3] = {address_, faults_.badType ? kUnsupportedDeviceType : type_, extra_};
    uint8_t chk = FrameChecksum(a, 3);
    if (faults_.badIdentChecksum) chk ^= 0x01;
    out.insert(out.end(), {a[0], a[1], a[2], chk});
}

void VirtualController::identTextAnswer(std::vector<uint8_t>& out) const {
    std::lock_guard lk(m_);
    for (char ch : ident_) {
        if (ch == 0) break;
        out.push_back(static_cast<uint8_t>(ch));
    }
    out.push_back(0);
}

void VirtualController::errorAnswer(std::vector<uint8_t>& out) const {
    std::lock_guard lk(m_);
    uint8_t a[16] = {};
    a[0] = address_;
    a[1] = type_;
    a[7] = lastError_;
    a[15] = FrameChecksum(a, 15);
    out.insert(out.end(), a, a + 16);
}

} // namespace zelsim
