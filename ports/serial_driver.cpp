// The driver calls that need the kernel's own termios2 and serial structures,
// which clash with <termios.h>; kept apart in this one small file.
#include <asm/termbits.h>
#include <cerrno>
#include <cstdint>
#include <linux/serial.h>
#include <sys/ioctl.h>

int ComSetCustomBaud(int fd, uint32_t baud);
int64_t ComDriverErrorCount(int fd);

// A rate without a B constant (256000 and the like): BOTHER with the rate in
// c_ispeed/c_ospeed. The driver picks the nearest rate its clock allows; more
// than 3 % off would garble every character, so that is refused.
int ComSetCustomBaud(int fd, uint32_t baud) {
    struct termios2 t {};
    if (ioctl(fd, TCGETS2, &t) != 0) return errno;
    t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = baud;
    t.c_ospeed = baud;
    if (ioctl(fd, TCSETS2, &t) != 0) return errno;
    struct termios2 back {};
    if (ioctl(fd, TCGETS2, &back) != 0) return errno;
    const int64_t diff = static_cast<int64_t>(back.c_ospeed) - baud;
    if ((diff < 0 ? -diff : diff) * 100 > static_cast<int64_t>(baud) * 3) return EINVAL;
    return 0;
}

int64_t ComDriverErrorCount(int fd) {
    struct serial_icounter_struct c {};
    if (ioctl(fd, TIOCGICOUNT, &c) != 0) return -1;
    return static_cast<int64_t>(c.parity) + c.frame;
}

// The rest needs the slot; port_slot.h brings no termios of its own.
#include "port_slot.h"

void ComAskLowLatency(PortSlot& s) {
    struct serial_struct ss {};
    if (ioctl(s.fd, TIOCGSERIAL, &ss) != 0) return; // ptys and some drivers have no such settings
    if (ss.flags & ASYNC_LOW_LATENCY) return;
    const int before = ss.flags;
    ss.flags |= ASYNC_LOW_LATENCY;
    if (ioctl(s.fd, TIOCSSERIAL, &ss) != 0) return; // refused: the port works as it is
    s.serialFlagsSaved = before;
}

void ComRestoreDriver(PortSlot& s) {
    if (s.serialFlagsSaved >= 0) {
        struct serial_struct ss {};
        if (ioctl(s.fd, TIOCGSERIAL, &ss) == 0) {
            ss.flags = (ss.flags & ~ASYNC_LOW_LATENCY) | (s.serialFlagsSaved & ASYNC_LOW_LATENCY);
            ioctl(s.fd, TIOCSSERIAL, &ss);
        }
        s.serialFlagsSaved = -1;
    }
    if (s.rs485Saved) {
        struct serial_rs485 r {};
        if (ioctl(s.fd, TIOCGRS485, &r) == 0) {
            r.flags = s.rs485FlagsBefore;
            r.delay_rts_before_send = s.rs485DelayBefore[0];
            r.delay_rts_after_send = s.rs485DelayBefore[1];
            ioctl(s.fd, TIOCSRS485, &r);
        }
        s.rs485Saved = false;
    }
}

int ComOutputGone(int fd) {
    int queued = 0;
    if (ioctl(fd, TIOCOUTQ, &queued) != 0) return -1;
    if (queued > 0) return 0;
    // The queue is empty; a UART that reports its line status also tells
    // whether the last character has left the shift register.
    unsigned int lsr = 0;
    if (ioctl(fd, TIOCSERGETLSR, &lsr) != 0) return 1;
    return (lsr & TIOCSER_TEMT) ? 1 : 0;
}

int ComSetRs485(PortSlot& s, bool on) {
    struct serial_rs485 r {};
    if (ioctl(s.fd, TIOCGRS485, &r) != 0) return errno; // ENOTTY: no RS-485 support
    if (!s.rs485Saved) {
        s.rs485FlagsBefore = r.flags;
        s.rs485DelayBefore[0] = r.delay_rts_before_send;
        s.rs485DelayBefore[1] = r.delay_rts_after_send;
        s.rs485Saved = true;
    }
    if (on) {
        // RTS drives the transmitter: raised while sending, dropped after.
        r.flags |= SER_RS485_ENABLED | SER_RS485_RTS_ON_SEND;
        r.flags &= ~static_cast<uint32_t>(SER_RS485_RTS_AFTER_SEND);
    } else {
        r.flags &= ~static_cast<uint32_t>(SER_RS485_ENABLED);
    }
    if (ioctl(s.fd, TIOCSRS485, &r) != 0) return errno;
    struct serial_rs485 back {};
    if (ioctl(s.fd, TIOCGRS485, &back) != 0) return errno;
    if (((back.flags & SER_RS485_ENABLED) != 0) != on) return EINVAL; // the driver kept its own mode
    return 0;
}

int ComRs485Supported(int fd) {
    struct serial_rs485 r {};
    if (ioctl(fd, TIOCGRS485, &r) == 0) return 1;
    return errno == ENOTTY || errno == EINVAL ? 0 : -errno;
}

int ComLowLatency(int fd) {
    struct serial_struct ss {};
    if (ioctl(fd, TIOCGSERIAL, &ss) != 0) return -1;
    return (ss.flags & ASYNC_LOW_LATENCY) ? 1 : 0;
}
