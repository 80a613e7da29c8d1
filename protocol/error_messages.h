// Controller error texts from don.msg: lines "group,code,text" in CP866.
//
// A line whose first character is ';' is a comment; empty lines and lines that
// do not start with two decimal integers separated by a comma are skipped. The
// text runs to the end of the line; "\xHH" (digits and upper-case A-F) stands
// for that byte, any other backslash is copied. Lines are taken in pieces of at
// most 253 characters. A line with two numbers and no text gives an empty text.
// At most 3200 entries and 127000 bytes of text are kept: the rest of a larger
// file is ignored.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

constexpr int kErrorTableEntries = 3200;
constexpr size_t kErrorTablePool = 127000;
constexpr size_t kErrorLinePiece = 253;
// Bytes of don.msg read at most; a larger file is read up to here.
constexpr size_t kErrorFileMax = 16u << 20;

class ErrorMessageTable {
public:
    // Reads the file; false when it cannot be opened or read (a folder, an I/O
    // error): the table is then empty.
    // A second load replaces the table.
    bool Load(const std::string& path = "don.msg");
    // Parses text already in memory (the content of a don.msg file).
    void Parse(std::string_view content);
    void Clear();

    // The first entry in file order with this group and code; "" when none.
    // The text is in CP866.
    std::string Lookup(int group, int32_t code) const;

    int Count() const { return static_cast<int>(entries_.size()); }
    size_t TextBytes() const { return pool_.size(); }
    bool Loaded() const { return loaded_; }

private:
    struct Entry {
        uint32_t offset;
        int32_t code;
        int32_t group;
        uint8_t length;
    };
    std::vector<Entry> entries_;
    std::string pool_;
    bool loaded_ = false;
};

// The text of a controller error code: the entry under group 16 of the table,
// converted to CP1251 (empty when there is no entry).
std::string ControllerErrorCodeText(const ErrorMessageTable& table, int code);
// Runs QueryErrorCode on the port until it ends (waiting about 1 ms between
// steps) and returns the text of the code it left in Protocol().lastErrorCode,
// looked up in Protocol().errorMessages. The query's own result (1, -6 or -3)
// goes to *queryResult when given.
std::string ControllerErrorText(int port, int ctrl, int* queryResult = nullptr);
// The message shown for a controller error: "Ошибка! " followed by the text,
// as UTF-8.
std::string ControllerErrorMessageUtf8(const std::string& text1251);
// ControllerErrorText handed to Protocol().controllerErrorSink (when set).
void ShowControllerError(int port, int ctrl);
