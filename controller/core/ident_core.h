// Identification and main-tab computations that need no window: number entry,
// captions by device type, the password status panel, and the texts of the
// register, temperature, CRC and fiscal totalizer views.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace ident {

// Hexadecimal text as typed into the number prompts ("1A" -> 26). Spaces around
// the digits are allowed; anything else, an empty text or a value beyond
// 0x7FFFFFFF gives -1.
long ParseHexNumber(const std::string& text);

// The controller number chosen at the start-up prompt: unparsable text, 0 or
// less gives 1.
long StartupNumber(const std::string& text);

// A controller number is the one address byte of the frames: a number typed
// above it is refused, never cut to its low byte.
constexpr long kMaxControllerNumber = 0xFF;
// Said wherever a controller did not answer: a slow one answers with a larger multiplier.
constexpr const char* kSlowControllerHint =
    "Если контроллер отвечает медленно, увеличьте «Множитель таймаута» на вкладке «Основное меню».";
constexpr const char* kNumberTooLarge = "Введен неправильный номер ТРК! Номер должен быть от 1 до FF";

struct DeviceCaptions {
    const char* hydroHit;     // lHydroHit
    const char* modeItems[3]; // items 12, 13, 14 of checkbTrkModes
};
DeviceCaptions CaptionsForDevice(uint8_t deviceType);

// Items 4 and 5 of cbTypeTbl after reading the identification text (UTF-8).
struct TableCaptions {
    const char* item4;
    const char* item5;
};
TableCaptions TableCaptionsForIdentText(const std::string& utf8Text);

// The password panel after a status read.
struct PasswordRowView {
    std::string label;
    std::optional<bool> buttonEnabled; // nothing: the button keeps its state
    enum class EditAction { Keep, SetDefault, HideDefault } edit = EditAction::Keep;
};
struct PasswordPanelView {
    PasswordRowView admin;            // Label8, Edit5, Button1
    PasswordRowView adjust;           // Label9, Edit6, Button2
    std::optional<bool> resetEnabled; // Button4
};
constexpr const char* kDefaultPassword = "7391";
constexpr const char* kHiddenPassword = "????";

// Decodes the 16-byte status block. `readOk` false gives the read-error view.
// A block of sixteen 0x11 bytes (no password support) is zeroed in place.
PasswordPanelView DecodePasswordStatus(bool readOk, std::array<uint8_t, 16>& status);

// A password travels as two bytes: value / 100, then value % 100.
std::array<uint8_t, 2> PasswordBytes(long value);

std::string RegisterLine(int reg, uint8_t value);  // "IR 24h = 0F"
std::string TemperatureText(const uint8_t raw[3]); // "АЦП Т = 0x0123. Т = -5"
std::string CrcText(const uint8_t raw[2]);         // "crc16 = BEEF"

// One line of the fiscal totalizer view for channel i of S x N channels.
std::string FiscalLine(int i, int hosesPerSide, int addressA, int addressB, int32_t whole,
                       uint8_t hundredths);

// TestEdit after a successful write of `n`: n + 1, where 255 becomes 0.
long NextTableStep(long n);

// The pulse simulator as the main tab shows it: lSimulState's text, bSimImp's
// caption (nullptr: kept, as is the mark) and mark. `state` as ReadSimulator
// gives it (negative unread, 0 off, else on); the button's own switch words
// its caption without the dot of the identification's.
struct SimulatorView {
    const char* label;
    const char* caption;
    int mark;
};
SimulatorView SimulatorShown(int state, bool switched);

// Why an identification failed (IdentifyAt's result other than 1) at `number`
// (WorkingState's reserve address: the call over the reserve channel).
std::string IdentFailureText(int result, int number);

} // namespace ident
