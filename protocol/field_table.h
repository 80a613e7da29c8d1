// Fields of controller blocks as the forms show them: one row per control,
// declared once. A row says where its value lives in the block, how it is
// shown and typed, which values are accepted, and the hint of the control.
// The same rows fill the boxes after a read, check and store what the engineer
// typed, set the hints, and name the fields in image listings.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace fields {

enum class Codec : uint8_t {
    None,       // no value: a control that only carries a hint (buttons, lists, grids); in a
                // block layout, bytes that are reserved (carried unchanged)
    Decimal,    // decimal digits; shown = stored × scale / divide, stored = typed × divide / scale
    Signed,     // an optional minus and decimal digits; two's complement in the width
    Hex,        // hexadecimal digits; shown in whole bytes, two upper-case digits a byte, "00" for 0
    Hundredths, // "%lu,%02d" of the stored value; typed as digits with an optional comma or
                // full stop and one or two decimals
    Choice,     // the code a choice box stores; written as a decimal number
    Bits,       // a word of flags a check list or radio group edits; written as Hex
    Date,       // three bytes day, month, two-digit year: "%02d.%02d.%02d"; the tab types it
};

// Where a field of a block lives and how its value is written: one entry of a
// block layout. A repeated field (count > 1) has its elements every `stride`
// bytes, named "Field[i]".
struct Layout {
    const char* field = nullptr; // "SlowLoad"; nullptr for reserved bytes
    int offset = 0;
    int width = 1; // bytes of one element, little-endian
    Codec codec = Codec::None;
    int scale = 1;     // Decimal: shown = stored × scale / divide
    int divide = 1;    // (ImpLit holds twice the pulses per litre it shows)
    int64_t asIs = -1; // a stored value shown as it is, without the scale (SlowStart's 255)
    int digits = 0;    // Decimal: at least this many digits, zero padded in front
    int count = 1;     // elements of a repeated field
    int stride = 0;    // bytes from one element to the next
};

// An item of a choice box (the code it stores) or of a check list, radio
// group or check box (the bits it sets; an item of several bits is checked
// when all of them are set).
struct Item {
    const char* text;
    uint32_t code;
};

struct Field {
    const char* name = nullptr;  // objectName of the control
    const char* label = nullptr; // the caption of its line in the form ("Малый пуск, мл")
    const char* field = nullptr; // name of the block field ("SetVol"), for listings
    int offset = 0;              // in the block
    int width = 0;               // 1, 2 or 4 bytes, little-endian (a Date 3); 0 for Codec::None
    Codec codec = Codec::None;
    // Accepted typed values (Hundredths: in hundredths). min > max means the
    // whole width (and for Decimal/Signed: what the width holds after scaling).
    int64_t min = 1, max = 0;
    bool zeroAllowed = false;         // 0 accepted besides min..max
    int scale = 1;                    // Decimal only
    int divide = 1;                   // Decimal only
    int64_t asIs = -1;                // Decimal only: a stored value shown unscaled
    int digits = 0;                   // Decimal only: zero padded to this many digits
    int maxLength = 0;                // a typing limit the box keeps; 0 = long enough for any accepted value
    bool custom = false;              // filled from the block, but checked and stored by the tab's own
                                      // handlers (or never: display-only boxes)
    const char* helpButton = nullptr; // the "?" button (or a second control) with the same hint
    const char* hint = nullptr;
    // Choice and Bits: the items of the control, in the order it lists them.
    std::span<const Item> items = {};
    // Choice: a box that shares its bytes with another keeps to its part: the
    // code it shows for a stored value, and the stored value after choosing a code.
    uint32_t (*codeOf)(uint32_t stored) = nullptr;
    uint32_t (*storeCode)(uint32_t stored, uint32_t code) = nullptr;
    int64_t unread = -1; // Bits: a stored value that is no word of flags (not read): a fill leaves the marks
};

using Table = std::span<const Field>;

// A row of a tab for a field of a block layout: the place, width and codec
// come from the layout entry, the rest (control, range, limit, hint) from the row.
constexpr Field Bind(const Layout& l, Field row) {
    row.field = l.field;
    row.offset = l.offset;
    row.width = l.width;
    row.codec = l.codec;
    row.scale = l.scale;
    row.divide = l.divide;
    row.asIs = l.asIs;
    row.digits = l.digits;
    return row;
}
// Element i of a layout entry as a row of its own (for listings).
Field ElementField(const Layout& l, int i);

// The value stored in the block (unsigned, the field's width: 1 to 4 bytes).
uint32_t StoredValue(const Field& f, const uint8_t* block);
// The text a box shows for the field of this block ("" for Codec::None).
std::string FieldText(const Field& f, const uint8_t* block);
// The typed value the text stands for, when the text is valid for the field
// (Hundredths: in hundredths; Decimal: before the scale is applied).
std::optional<int64_t> ParseFieldText(const Field& f, std::string_view text);
// Checks the text and stores its value into the block. False: the text is not
// valid for the field and the block is untouched.
bool StoreFieldText(const Field& f, std::string_view text, uint8_t* block);
// The lowest and highest typed value the field accepts.
int64_t MinValue(const Field& f);
int64_t MaxValue(const Field& f);
// Characters needed for the longest value the field accepts (at least the
// longest text FieldText can give, so a stored value is never cut).
int TextLength(const Field& f);
// The row of a control, or nullptr.
const Field* FindField(Table table, std::string_view name);

// Choice: the item the stored code selects, or -1 when no item has that code.
int ChoiceIndex(const Field& f, const uint8_t* block);
// Choice: stores the code of item `index`; an index outside the items stores nothing.
void StoreChoice(const Field& f, int index, uint8_t* block);
// Bits: whether item `index` is checked (all its bits set).
bool ItemChecked(const Field& f, int index, const uint8_t* block);
// Bits: the stored word with the bits of item `index` set or cleared (other
// bits kept). A check list's edit makes its word from the marks alone.
uint32_t WithItem(const Field& f, int index, bool checked, uint32_t stored);
// Stores `v` in the field's width.
void StoreValue(const Field& f, uint32_t v, uint8_t* block);

// "%lu,%02d" of v / 100 and v % 100.
std::string HundredthsText(uint32_t v);
// Hexadecimal in whole bytes ("05", "1234", "012345", "00").
std::string WholeByteHex(uint32_t v);

// Date: stores the day, month and two-digit year of a typed "d.m.y" (at most
// three digits each, blanks around them): a date of 2000..2099, or 00.00.00
// for "none yet". False for any other text, and the block is untouched.
bool StoreDateText(const Field& f, std::string_view text, uint8_t* block);

} // namespace fields
