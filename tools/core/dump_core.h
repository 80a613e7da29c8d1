// The memory dump: any range of one of the controller's three memory areas as
// a hexadecimal dump with a character column, edited digit by digit and
// written back whole.
//
// DumpSheet keeps the cells of the grid and the bytes they stand for
// together: a read that fails leaves both as they were, so a digit typed
// afterwards always lands in the bytes the grid shows, and a write sends the
// range of the read the grid came from.
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace tools {

// Memory areas and the board they are read from.
enum class DumpArea : uint8_t { ER = 0, IR = 2, IM = 4 };
const char* AreaName(DumpArea area); // "ER", "IR", "IM"
// "ER", "IR" or "IM" in any case; nothing otherwise.
std::optional<DumpArea> AreaByName(std::string_view name);

// Grid layout: column 0 the row's address, then three columns a byte (high
// digit, low digit, an empty spacer) for 16 bytes, then the bytes as characters.
constexpr int kDumpBytesPerRow = 16;
constexpr int kDumpColumns = 50;
constexpr int kDumpCharColumn = 49;
constexpr int kDumpLastSpacer = 48;

// Address and count boxes: non-empty, hexadecimal digits only.
bool DumpTextValid(std::string_view text);
// The value of such a text (leading zeros allowed); nothing when the text is
// not valid or the value does not fit 32 bits.
std::optional<uint32_t> DumpHexValue(std::string_view text);
// The controller's areas are 64 KiB banks addressed with 24 bits: a dump may
// reach from its address to the end of the address's bank, never beyond.
constexpr uint32_t kDumpMaxAddress = 0xFFFFFF;
uint32_t DumpCountLimit(uint32_t address);
// The message for a count (as typed) above that limit (UTF-8); without an
// address, the size of a whole bank.
std::string CountTooLargeText(std::optional<uint32_t> address, std::string_view countText);
std::string AddressTooLargeText();

// The character the dump shows for a byte: code page 866 as the OEM font draws
// it (the IBM symbols for the control bytes 01-1F and 7F, box drawing,
// Cyrillic), and a blank for 0.
char16_t OemChar(uint8_t b);

// Status texts (UTF-8).
std::string ReadOkText(DumpArea area);     // "Чтение(ER) прошло успешно."
std::string ReadFailedText(DumpArea area); // "Ошибка чтения ER"
std::string WriteOkText(DumpArea area);    // "Запись(ER) прошла успешно."
extern const char* const kWriteFailedText; // "Ошибка записи"

// Reads count bytes at address from the area into `bytes` (resized to count
// only when the read succeeds). 1, or the ReadBlock result / -1. A count of 0
// or above the limit is refused with -1 before any traffic.
int ReadDump(int port, int ctrl, DumpArea area, uint32_t address, uint32_t count,
             std::vector<uint8_t>& bytes);
// Writes the bytes back. The WriteBlock result (1 = written); -1 for a range
// above the limit.
int WriteDump(int port, int ctrl, DumpArea area, uint32_t address, const std::vector<uint8_t>& bytes);

// count bytes of pseudo-random values 0..254 (the demo "read").
std::vector<uint8_t> DemoDumpBytes(uint32_t count, std::mt19937& random);

class DumpSheet {
public:
    // OutputDump: the grid of these bytes read at `address` in `area`; the
    // editing state starts over (nothing may be edited, the saved cell is
    // column 1 of row 0 with an empty text).
    void show(uint32_t address, DumpArea area, std::vector<uint8_t> bytes);

    bool empty() const { return bytes_.empty(); }
    int rows() const { return static_cast<int>(cells_.size() / kDumpColumns); }
    const std::u16string& cell(int column, int row) const;
    const std::vector<uint8_t>& bytes() const { return bytes_; }
    uint32_t address() const { return address_; }
    DumpArea area() const { return area_; }

    // sg1SelectCell: false for the columns that can never be selected (the
    // fixed address column, the last spacer and the characters). Otherwise editing is allowed exactly
    // when the cell holds text; a saved cell left with other than one
    // character gets its saved text back; the new cell is saved.
    bool select(int column, int row);
    bool editingAllowed() const { return editing_; }
    int savedColumn() const { return savedColumn_; }
    int savedRow() const { return savedRow_; }
    // "37%": the position of the row in the dump.
    std::string pointerText(int row) const;

    // sg1SetEditText: the text the editor of the saved cell now holds. One
    // hexadecimal digit (or nothing) is taken and a digit rebuilds the byte;
    // anything else is refused: the cell gets its saved text back and the byte
    // is rebuilt from it, so the bytes always match the digits shown. Returns
    // the text the cell holds afterwards (nothing when editing is not allowed
    // or the cell is not the saved one: the edit is ignored).
    std::optional<std::u16string> editText(int column, int row, std::u16string_view text);
    // Enter in the grid: rebuilds the byte of the cell (when editing is allowed).
    bool enter(int column, int row);

private:
    std::u16string& at(int column, int row);
    // The byte of a digit cell from its two digit cells, into the bytes and the
    // character column.
    void rebuild(int column, int row);

    uint32_t address_ = 0;
    DumpArea area_ = DumpArea::ER;
    std::vector<uint8_t> bytes_;
    std::vector<std::u16string> cells_; // rows x kDumpColumns
    bool editing_ = false;
    int savedColumn_ = 1, savedRow_ = 0;
    std::u16string savedText_;
};

} // namespace tools
