// Serial ports on termios. The line is kept raw with parity checking on; what the
// driver holds is taken with one FIONREAD and one read per poll, and writes are
// bounded by the same time-outs a controller line has always had: 20 ms plus
// 20 ms per byte.
#include "port_slot.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

// serial_driver.cpp: parity + framing errors the driver has counted, -1 when it
// does not report them (ptys, many USB adapters).
int64_t ComDriverErrorCount(int fd);

namespace {

constexpr int kWriteConstantMs = 20;
constexpr int kWritePerByteMs = 20;

int64_t SteadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

speed_t StandardSpeed(uint32_t baud) {
    switch (baud) {
    case 50:
        return B50;
    case 75:
        return B75;
    case 110:
        return B110;
    case 134:
        return B134;
    case 150:
        return B150;
    case 200:
        return B200;
    case 300:
        return B300;
    case 600:
        return B600;
    case 1200:
        return B1200;
    case 1800:
        return B1800;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    case 460800:
        return B460800;
    case 500000:
        return B500000;
    case 576000:
        return B576000;
    case 921600:
        return B921600;
    case 1000000:
        return B1000000;
    case 1152000:
        return B1152000;
    case 1500000:
        return B1500000;
    case 2000000:
        return B2000000;
    case 2500000:
        return B2500000;
    case 3000000:
        return B3000000;
    case 3500000:
        return B3500000;
    case 4000000:
        return B4000000;
    default:
        return B0;
    }
}

constexpr tcflag_t kLineBits = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB;

// Unix98 pseudo-terminal slaves (majors 136 to 143) have no wire: the kernel
// stores every setting but always reports 8 data bits without parity.
bool IsPseudoTerminal(int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) return false;
    const unsigned m = major(st.st_rdev);
    return m >= 136 && m <= 143;
}

int Fail(PortSlot& s, int code) {
    s.lastErrno = code;
    return code;
}

// Takes what the driver holds: one FIONREAD, one read of that many bytes.
// Returns the bytes read (empty when none or on error).
std::vector<uint8_t> TakeDriverBytes(PortSlot& s) {
    std::vector<uint8_t> bytes;
    if (s.fd < 0) return bytes;
    int n = 0;
    if (ioctl(s.fd, FIONREAD, &n) != 0) {
        s.lastErrno = errno;
        return bytes;
    }
    if (n <= 0) return bytes;
    bytes.resize(static_cast<size_t>(n));
    const ssize_t got = read(s.fd, bytes.data(), bytes.size());
    if (got < 0) {
        if (errno != EAGAIN && errno != EINTR) s.lastErrno = errno;
        bytes.clear();
    } else {
        bytes.resize(static_cast<size_t>(got));
    }
    return bytes;
}

} // namespace

std::string ComPathOf(const char* name) {
    if (name[0] == '/') return name;
    if (std::strncmp(name, "COM", 3) == 0) {
        const char* digits = name + 3;
        const size_t len = std::strlen(digits);
        bool allDigits = len > 0 && len <= 6;
        for (size_t i = 0; allDigits && i < len; ++i)
            allDigits = digits[i] >= '0' && digits[i] <= '9';
        const long n = allDigits ? std::strtol(digits, nullptr, 10) : 0;
        if (n >= 1) return "/dev/ttyS" + std::to_string(n - 1);
    }
    return std::string("/dev/") + name;
}

std::string PortDevicePath(const char* name) {
    return ComPathOf(name);
}

int ComOpen(PortSlot& s, const char* name) {
    const std::string path = ComPathOf(name);
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return Fail(s, errno);
    auto failClosing = [&](int code) {
        close(fd);
        return Fail(s, code);
    };
    // Exclusive use: the lock keeps out every other opener (root included, which
    // TIOCEXCL alone would let through). A held port reads as "busy".
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) return failClosing(errno == EWOULDBLOCK ? EBUSY : errno);
    if (ioctl(fd, TIOCEXCL) != 0) return failClosing(errno);

    termios t{};
    if (tcgetattr(fd, &t) != 0) return failClosing(errno);
    cfmakeraw(&t);
    t.c_iflag |= INPCK;
    t.c_iflag &= ~(IGNPAR | PARMRK | IXOFF | IXANY);
    t.c_cflag &= ~(kLineBits | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, B4800);
    cfsetospeed(&t, B4800);
    if (tcsetattr(fd, TCSANOW, &t) != 0) return failClosing(errno);
    // Whatever the driver held from before (a late answer to whoever used the
    // line last) is not for us; nothing of ours is queued yet either.
    tcflush(fd, TCIOFLUSH);

    s.fd = fd;
    s.icountBase = ComDriverErrorCount(fd);
    // USB adapters otherwise hold received bytes up to their latency timer.
    ComAskLowLatency(s);
    return 0;
}

void ComClose(PortSlot& s) {
    if (s.fd < 0) return;
    if (s.icountBase >= 0) {
        const int64_t now = ComDriverErrorCount(s.fd);
        if (now > s.icountBase) CountParityFraming(static_cast<int>(now - s.icountBase));
    }
    ComRestoreDriver(s);
    ioctl(s.fd, TIOCNXCL);
    close(s.fd); // also drops the lock
    s.fd = -1;
}

void ComPoll(PortSlot& s) {
    const std::vector<uint8_t> bytes = TakeDriverBytes(s);
    if (!bytes.empty()) ReceiveBytes(s, bytes.data(), static_cast<int>(bytes.size()));
}

void ComDrainDriver(PortSlot& s, int handle) {
    const std::vector<uint8_t> bytes = TakeDriverBytes(s);
    if (!bytes.empty()) TracePurged(handle, bytes.data(), static_cast<int>(bytes.size()));
}

int ComWrite(PortSlot& s, const uint8_t* bytes, int n) {
    if (s.fd < 0) {
        s.lastErrno = EBADF;
        return 0;
    }
    const int64_t deadline = SteadyMs() + kWriteConstantMs + static_cast<int64_t>(kWritePerByteMs) * n;
    int done = 0;
    while (done < n) {
        const ssize_t w = write(s.fd, bytes + done, static_cast<size_t>(n - done));
        if (w > 0) {
            done += static_cast<int>(w);
            continue;
        }
        if (w < 0 && errno != EAGAIN && errno != EINTR) {
            s.lastErrno = errno;
            return 0;
        }
        const int64_t left = deadline - SteadyMs();
        if (left <= 0) {
            s.lastErrno = ETIMEDOUT; // the line did not take the bytes in time
            return 0;
        }
        pollfd p{s.fd, POLLOUT, 0};
        if (poll(&p, 1, static_cast<int>(left)) < 0 && errno != EINTR) {
            s.lastErrno = errno;
            return 0;
        }
        if (p.revents & (POLLERR | POLLNVAL)) {
            s.lastErrno = EIO;
            return 0;
        }
    }
    return 1;
}

bool ComWaitReadable(PortSlot& s, int timeoutMs) {
    if (s.fd < 0) return false;
    pollfd p{s.fd, POLLIN, 0};
    const int r = poll(&p, 1, timeoutMs);
    return r > 0 && p.revents != 0;
}

int ComSetLine(PortSlot& s, uint32_t baud, uint8_t dataBits, char parity, uint8_t stopCode) {
    if (dataBits != 7 && dataBits != 8) return Fail(s, EINVAL);
    termios t{};
    if (tcgetattr(s.fd, &t) != 0) return Fail(s, errno);

    const uint32_t rate = baud ? baud : 4800;
    const speed_t speed = StandardSpeed(rate);

    t.c_cflag &= ~CSIZE;
    t.c_cflag |= dataBits == 7 ? CS7 : CS8;
    switch (parity) {
    case 'N':
        t.c_cflag &= ~(PARENB | PARODD | CMSPAR);
        break;
    case 'O':
        t.c_cflag &= ~CMSPAR;
        t.c_cflag |= PARENB | PARODD;
        break;
    case 'E':
        t.c_cflag &= ~(PARODD | CMSPAR);
        t.c_cflag |= PARENB;
        break;
    case 'M':
        t.c_cflag |= PARENB | PARODD | CMSPAR;
        break;
    case 'S':
    case 'Z':
        t.c_cflag &= ~PARODD;
        t.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        break; // the line keeps its parity
    }
    if (stopCode == 1)
        t.c_cflag &= ~CSTOPB;
    else if (stopCode == 2)
        t.c_cflag |= CSTOPB;

    if (speed != B0) {
        cfsetispeed(&t, speed);
        cfsetospeed(&t, speed);
    }
    if (tcsetattr(s.fd, TCSANOW, &t) != 0) return Fail(s, errno);
    if (speed == B0) {
        const int rc = ComSetCustomBaud(s.fd, rate);
        if (rc != 0) return Fail(s, rc);
    }

    // tcsetattr succeeds when any part of the request was taken; a driver that
    // quietly refused a size, parity or rate must not pass for success.
    termios back{};
    if (tcgetattr(s.fd, &back) != 0) return Fail(s, errno);
    const tcflag_t checked = IsPseudoTerminal(s.fd) ? kLineBits & ~(CSIZE | PARENB) : kLineBits;
    if ((back.c_cflag & checked) != (t.c_cflag & checked)) return Fail(s, EINVAL);
    if (speed != B0 && cfgetospeed(&back) != speed) return Fail(s, EINVAL);
    return 0;
}

namespace {

bool ComPump(PortSlot& s) {
    ComPoll(s);
    return true;
}

int ComWriteTraced(PortSlot& s, int handle, const uint8_t* bytes, int n) {
    TraceWritten(handle, bytes, n);
    if (ComWrite(s, bytes, n)) return 1;
    // The first failure notes when it happened: a USB-attached port that went away.
    if (!s.writeErrorNoted) {
        s.writeErrorNoted = 1;
        s.writeErrorTime = static_cast<uint32_t>(PortClockMs());
    }
    TraceWriteFailure(handle, s.lastErrno);
    return 0;
}

int ComSetLineKept(PortSlot& s, uint32_t baud, uint8_t dataBits, char parity, uint8_t stopCode) {
    const int rc = ComSetLine(s, baud, dataBits, parity, stopCode);
    if (rc == 0) {
        s.baud = baud;
        s.dataBits = dataBits;
        s.parity = parity;
        s.stopCode = stopCode;
    }
    return rc;
}

// The driver's queue (and, where the UART tells, its shift register) empty, or
// the bound passed. A pseudo-terminal's "queue" is what its other side has not
// read yet, which says nothing of a wire: there the wire time alone counts.
bool ComDrain(PortSlot& s, int64_t boundUs) {
    if (s.fd < 0 || IsPseudoTerminal(s.fd)) return true;
    for (;;) {
        const int r = ComOutputGone(s.fd);
        if (r != 0) return true; // gone, or the driver cannot say
        const int64_t left = boundUs - SteadyUs();
        if (left <= 0) return false;
        pollfd p{s.fd, 0, 0};
        poll(&p, 0, static_cast<int>(std::min<int64_t>(1, (left + 999) / 1000)));
    }
}

} // namespace

const PortBackend kSerialBackend = {
    .open = ComOpen,
    .close = ComClose,
    .pump = ComPump,
    .write = ComWriteTraced,
    .purge = ComDrainDriver,
    .waitReadable = ComWaitReadable,
    .waitInput = nullptr,
    .setLine = ComSetLineKept,
    .hasInput = true,
    .transmitRing = false,
    .usesWorker = false,
    .drain = ComDrain,
    .hasLine = true,
};
