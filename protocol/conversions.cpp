#include "conversions.h"

#include "hex_text.h"

#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

uint64_t ReadWeight(const uint8_t* p) {
    uint64_t lo = uint64_t(p[0]) | uint64_t(p[1]) << 8 | uint64_t(p[2]) << 16 | uint64_t(p[3]) << 24;
    return (uint64_t(p[4]) << 32) | lo;
}

void StoreWeight(uint8_t* p, uint64_t w) {
    for (int i = 0; i < 5; ++i)
        p[i] = static_cast<uint8_t>(w >> (8 * i));
}

} // namespace

int CheckNumberText(std::string_view text, uint32_t maximum, int flags) {
    if (text.empty()) return -3;
    const bool hex = (flags & kCheckHex) != 0;
    uint64_t value = 0;
    bool beyond = false; // more than 32 bits
    for (char c : text) {
        int d = hex ? HexDigitValue(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
        if (d < 0) return -1;
        value = value * (hex ? 16 : 10) + static_cast<uint64_t>(d);
        if (value > 0xFFFFFFFFull) {
            beyond = true;
            value = 0xFFFFFFFFull; // keeps scanning the remaining characters
        }
    }
    if (flags & kCheckNoMaximum) return 1;
    if (beyond || value > maximum) return -2;
    return 1;
}

uint32_t HexTextToNumber(char* text) {
    if (!text) return 0;
    uint32_t value = 0;
    for (char* p = text; *p; ++p) {
        if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
        int d = HexDigitValue(*p);
        value = (value << 4) | static_cast<uint32_t>(d < 0 ? 0 : d);
    }
    return value;
}

uint32_t HexTextToNumber(std::string& text) {
    if (text.empty()) return 0;
    return HexTextToNumber(text.data());
}

int NumberToHexText(uint32_t value, char* dst) {
    static const char kDigits[] = "0123456789ABCDEF";
    int bytes = 1;
    while (bytes < 4 && (value >> (8 * bytes)) != 0)
        ++bytes;
    int pos = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        uint8_t b = static_cast<uint8_t>(value >> (8 * i));
        dst[pos++] = kDigits[b >> 4];
        dst[pos++] = kDigits[b & 0x0F];
    }
    dst[pos] = '\0';
    return 1;
}

std::string NumberToHexText(uint32_t value) {
    char buf[9];
    NumberToHexText(value, buf);
    return buf;
}

std::string ByteToHexDigits(uint8_t b) {
    return HexByte(b);
}

int ScalePulseWeights(uint8_t* record, int oldCode, int newCode) {
    if (!record || newCode == 0) return -1;
    long double w = static_cast<long double>(ReadWeight(record));
    long double wk = static_cast<long double>(ReadWeight(record + 5));
    if (oldCode != 0) {
        const long double ratio = static_cast<long double>(oldCode) / static_cast<long double>(newCode);
        w *= ratio;
        wk *= ratio;
    } else {
        w = wk = 2147483648.0L / (static_cast<long double>(newCode) * 0.01L);
    }
    w = std::floor(w + 0.5L);
    wk = std::floor(wk + 0.5L);
    // A weight lives in 40 bits; anything else cannot be stored.
    const long double limit = 1099511627776.0L;
    if (!(w >= 0 && w < limit && wk >= 0 && wk < limit)) return -2;
    const uint64_t wi = static_cast<uint64_t>(w);
    const uint64_t wki = static_cast<uint64_t>(wk);
    StoreWeight(record, wi);
    StoreWeight(record + 5, wki);
    const uint32_t diff = static_cast<uint32_t>(wki - wi);
    for (int i = 0; i < 4; ++i)
        record[10 + i] = static_cast<uint8_t>(diff >> (8 * i));
    return 1;
}

std::FILE* OpenRegularFile(const std::string& path) {
    // Non-blocking: opening a FIFO without a writer would wait forever.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int e = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        errno = e;
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* f = ::fdopen(fd, "rb");
    if (!f) ::close(fd);
    return f;
}

int CheckImageFileHeader(const std::string& fileName) {
    std::FILE* f = OpenRegularFile(fileName);
    if (!f) return -3;
    uint8_t h[7];
    size_t got = std::fread(h, 1, sizeof h, f);
    std::fclose(f);
    if (got < sizeof h) return -2;
    // Sizes 1 and 2 are used by nothing and usually 0; size 4 is 0 for a
    // controller without the 0x0/0x100 blocks.
    for (int i : {0, 3, 5, 6})
        if (h[i] == 0) return -1;
    return 1;
}

long ReadWholeFile(uint8_t* dst, size_t capacity, size_t* outCount, std::FILE* file) {
    size_t n = 0;
    long result = 0;
    if (file) {
        int c;
        while ((c = std::fgetc(file)) != EOF) {
            if (n == capacity) {
                std::ungetc(c, file);
                result = -1;
                break;
            }
            dst[n++] = static_cast<uint8_t>(c);
        }
    }
    if (outCount) *outCount = n;
    return result < 0 ? -1 : static_cast<long>(n);
}

int AllBytesEqual(const uint8_t* data, long length, uint8_t value) {
    for (long i = 0; i < length; ++i)
        if (data[i] != value) return 0;
    return 1;
}
