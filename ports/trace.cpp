// port.out: the traffic trace. Records are formatted from UTF-8 texts, written in
// code page 866 and flushed one by one, so the file is complete up to the last
// record even when the program dies.
#include "cp866.h"
#include "port_slot.h"

#include "port_layer.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

std::atomic<uint32_t> TraceMask{0};

namespace {

std::mutex traceMutex;
FILE* traceFile = nullptr;
std::string tracePath = "port.out";
long rotateBytes = kTraceRotateBytes;

// Opened for appending when it is a regular file (or absent): a FIFO in its
// place would block the program in open or write.
FILE* OpenTrace() {
    const int fd = open(tracePath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return nullptr;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    FILE* f = fdopen(fd, "ab");
    if (!f) close(fd);
    return f;
}

bool Traced(int handle) {
    if (handle < 1 || handle > kPortSlots) return false;
    return (TraceMask.load() >> (handle - 1)) & 1u;
}

struct Stamp {
    int day, month, year, hour, minute, second, millisecond;
};

Stamp Now() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    localtime_r(&ts.tv_sec, &local);
    return {local.tm_mday,
            local.tm_mon + 1,
            local.tm_year % 100,
            local.tm_hour,
            local.tm_min,
            local.tm_sec,
            static_cast<int>(ts.tv_nsec / 1000000)};
}

std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    char small[256];
    const int len = vsnprintf(small, sizeof small, fmt, ap);
    va_end(ap);
    if (len < 0) return {};
    if (static_cast<size_t>(len) < sizeof small) return std::string(small, static_cast<size_t>(len));
    std::string big(static_cast<size_t>(len) + 1, '\0');
    va_start(ap, fmt);
    vsnprintf(big.data(), big.size(), fmt, ap);
    va_end(ap);
    big.resize(static_cast<size_t>(len));
    return big;
}

void AppendHex(std::string& out, const uint8_t* bytes, int n) {
    static const char digits[] = "0123456789ABCDEF";
    for (int i = 0; i < n; ++i) {
        out.push_back(digits[bytes[i] >> 4]);
        out.push_back(digits[bytes[i] & 0x0F]);
        out.push_back(' ');
    }
}

// Writes one UTF-8 record in CP866 and flushes it.
void Emit(const std::string& utf8) {
    const std::string bytes = Utf8ToCp866(utf8);
    std::lock_guard<std::mutex> lock(traceMutex);
    if (!traceFile) return;
    fwrite(bytes.data(), 1, bytes.size(), traceFile);
    fflush(traceFile);
    if (rotateBytes > 0 && ftell(traceFile) >= rotateBytes) {
        fclose(traceFile);
        rename(tracePath.c_str(), (tracePath + ".1").c_str());
        traceFile = OpenTrace();
    }
}

void BytesRecord(const char* fmt, int handle, const uint8_t* bytes, int n) {
    const Stamp t = Now();
    std::string rec = Format(fmt, t.day, t.month, t.year, t.hour, t.minute, t.second, t.millisecond, handle);
    if (bytes && n > 0) AppendHex(rec, bytes, n);
    rec.push_back('\n');
    Emit(rec);
}

int ClampInt(uint64_t v) {
    return v > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(v);
}

} // namespace

void TraceOpen() {
    {
        std::lock_guard<std::mutex> lock(traceMutex);
        if (!traceFile) traceFile = OpenTrace();
    }
    Emit("\r\nВход в программу\r\n");
}

void PortSetTraceFile(const std::string& path) {
    std::lock_guard<std::mutex> lock(traceMutex);
    tracePath = path.empty() ? "port.out" : path;
}

void PortSetTraceRotateBytes(long bytes) {
    std::lock_guard<std::mutex> lock(traceMutex);
    rotateBytes = bytes;
}

void TraceClose(bool writeCounters, const PortErrorCounters& counters) {
    if (writeCounters)
        Emit(Format("\r\nОшибок паритета=%d, пакетов( стоп-бит)=%d\r\n", ClampInt(counters.parityFraming),
                    ClampInt(counters.overrunDropped)));
    std::lock_guard<std::mutex> lock(traceMutex);
    if (traceFile) fclose(traceFile);
    traceFile = nullptr;
}

void TraceWritten(int handle, const uint8_t* bytes, int n) {
    if (!Traced(handle)) return;
    BytesRecord("\n\n %02d.%02d.%02d (%02d:%02d:%02d:%03d) Запись (порт %d)-> ", handle, bytes, n);
}

void TraceRead(int handle, const uint8_t* bytes, int n) {
    if (!Traced(handle)) return;
    BytesRecord("\n %02d.%02d.%02d (%02d:%02d:%02d:%03d) Чтение  порта %d<- ", handle, bytes, n);
}

void TracePurged(int handle, const uint8_t* bytes, int n) {
    if (!Traced(handle)) return;
    BytesRecord("\n %02d.%02d.%02d (%02d:%02d:%02d:%03d) Очистка буфера порта %d<> ", handle, bytes, n);
}

void TraceWriteFailure(int handle, int code) {
    if (!Traced(handle)) return;
    const Stamp t = Now();
    Emit(Format("\r\n %02d.%02d.%02d (%02d:%02d:%02d:%03d) Ошибка записи в порт %d<> (код %d)", t.day,
                t.month, t.year, t.hour, t.minute, t.second, t.millisecond, handle, code));
}
