// Primary setup: reading the parameter block and the ten channel settings with
// their repairs, the address lists and number boxes of the form, the summary,
// and the write of the parameter block, the channel settings and the channel
// state registers (reset to a clean state that keeps the fiscal totalizer).
#pragma once

#include "block_pair.h"
#include "ctrl_params_core.h"
#include "field_table.h"
#include "guarded_write.h"
#include "memory_map.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tools {

using NozSettsPair = BlockPair<NozSetts.length>;

constexpr int kGlobalNozzleItems = 8;
constexpr int kGlobalTableItems = 7; // "T_107" .. "T_209_17", codes 0..6
constexpr int kGlobalTableFallback = 5;
constexpr int kGlobalMeterItems = 5; // "100", "256", "132", "200", "Ручной выбор"
constexpr int kGlobalMeterManual = 4;
constexpr int kGlobalPhaseItems = 3;
constexpr uint16_t kGlobalModeMask = 0x1401;
constexpr uint16_t kCleanPrice = 1000;
constexpr int kNozRegsReadAttempts = 3;

// Messages of the opening and the write (the system's own texts).
extern const char* const kLinkError;  // "Ошибка связи с ТРК"
extern const char* const kNoLinkLine; // "Связь с контроллером не установлена"
extern const char* const kGlobalChecksum; // "Внимание!!! КСМ не верна! КСМ была пересчитана"
extern const char* const kChannelReadError; // "Ошибка чтения"
extern const char* const kSidesRepaired;
extern const char* const kNozzlesRepaired;
extern const char* const kTableRepaired;
extern const char* const kWriteError; // "Ошибка записи!"
// Ours: the channel state registers were left alone because one could not be read.
std::string NozRegsNotWritten(int channel);

// The window's own copies of the blocks and its lists; they live as long as
// the window and every opening reads them again.
struct GlobalSetts {
    settings::ParamsPair params; // working = the parameter buffer, asRead = its copy, length of the last read
    std::array<NozSettsPair, kMaxChannels> channels;
    int sideCount = 1;
    int nozzleCount = 1;
    std::array<int, 2> sideAddrs{1, 2};
    std::array<int, kMaxChannels> channelAddrs{1, 2, 3, 4, 5, 6, 7, 8, 0, 0};

    uint8_t* p() { return params.working.data(); }
    const uint8_t* p() const { return params.working.data(); }
    int channelCount() const;
};

// Item indexes of the choice controls.
struct GlobalItems {
    int side = 0;   // cbNumSideGlobal
    int nozzle = 0; // cbNumNozGlobal
    int meter = 0;  // ImpE
    int phase = 0;  // PhaseMeterGlobal
    int table = 0;  // cbTblTypeGlobal
};

struct GlobalOpening {
    enum Result { Done, LinkFailed, LinkEmpty, ChannelsFailed };
    Result result = LinkFailed;
    // The address texts and the first four additional boxes may be shown
    // (the parameter block was read).
    bool textsReady = false;
    std::vector<std::string> messages; // message boxes, in the order shown
    GlobalItems items;                 // valid when Done
};

// FormShow's transfers and repairs. A side count of 0 or above 2 and a nozzle
// count outside 1..8 are repaired with their messages; the counts the form
// works with follow the repaired bytes (nozzles cut to 10 / sides), so the
// lists, the address boxes and the bytes written always agree.
GlobalOpening ReadGlobalSetts(int port, int ctrl, GlobalSetts& m);

// Decimal numbers joined by ",".
std::string AddressText(const int* values, int count);
// eHydroHitGlobal's text for byte 55: the byte / 100 as a general number with
// a decimal comma ("0,25", "0", "2,55").
std::string HydroHitText(uint8_t value);
// A non-empty decimal number (comma or full stop) x with x * 100 <= 255 (what
// the byte holds, as the settings tab takes it); the byte is x * 100 with the
// fraction dropped.
std::optional<uint8_t> HydroHitByte(std::string_view text);

// An address box's text: exactly `count` decimal integers separated by
// commas, nothing after the last; blanks and a sign may come before each
// number, the comma directly after it. The numbers, or nothing when the text
// does not have that shape.
std::optional<std::vector<long>> ParseAddressList(std::string_view text, int count);
// The numbers are addresses: each 1..255, all different.
bool AddressesValid(const std::vector<long>& values);

// AutoFillUtrkAdr and AutoFillNaraAdr; the nozzle count may be cut to 10 / sides.
void AutoFillSideAddresses(GlobalSetts& m, int sides);
void AutoFillChannelAddresses(GlobalSetts& m, int sides, int nozzles);

// MonSettsFill: the summary lines.
std::vector<std::string> GlobalSummary(const GlobalSetts& m, int ctrl);

// The rows of the number boxes (checked and stored on every exit) and the
// hints of the "?" buttons.
fields::Table GlobalSettsFields();

// Step 3 and 4 of the write: the parameter buffer and the ten channel
// settings buffers as they will be written.
void BuildGlobalParams(GlobalSetts& m, const GlobalItems& items);
void BuildGlobalChannels(GlobalSetts& m, const GlobalItems& items);
// A channel state register block as the primary setup leaves it: all zero but
// Price = 1000 and the fiscal totalizer (FCount, FCMil) as it was.
void CleanNozRegs(uint8_t* regs);

constexpr int GlobalWriteTotal(int paramLength) {
    return paramLength + kMaxChannels * NozSetts.length + kMaxChannels * NozRegs.length;
}
// The blocks of the write, for the guarded whole-controller write: the
// parameter block, the ten channel settings and the ten channel state
// registers. The state registers are all read first: when any read fails none
// of them is written (`nozRegsUnread` names the channel), so no fiscal
// totalizer is ever replaced by one not read.
struct GlobalPlan {
    std::vector<image::WholeBlock> blocks;
    int nozRegsUnread = -1;
};
GlobalPlan PlanGlobalSetts(int port, int ctrl, const GlobalSetts& m);
// The copies of the blocks written and held as sent take what was written.
void AcceptGlobalWrite(GlobalSetts& m, const image::WholeWriteResult& r);

} // namespace tools
