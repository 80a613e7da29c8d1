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
