#include "port_slot.h"

#include <cstring>

// One side writes `write`, the other writes `read`. Bytes are stored before the
// write index is published (release), and read after it is seen (acquire), so
// the worker thread and the user-interface thread share a ring without a lock.

void ByteRing::allocate() {
    if (!buf) buf = std::make_unique<uint8_t[]>(kRingSize);
    reset();
}

void ByteRing::release() {
    buf.reset();
    reset();
}

void ByteRing::reset() {
    write.store(0, std::memory_order_release);
    read.store(0, std::memory_order_release);
}

int ByteRing::waiting() const {
    const int w = write.load(std::memory_order_acquire);
    const int r = read.load(std::memory_order_acquire);
    return (w - r + kRingSize) % kRingSize;
}

int ByteRing::put(const uint8_t* bytes, int n) {
    if (n <= 0) return 0;
    if (!buf) return n;
    const int r = read.load(std::memory_order_acquire);
    int w = write.load(std::memory_order_relaxed);
    const int free = kRingSize - 1 - (w - r + kRingSize) % kRingSize;
    // Unread bytes are never written over: what does not fit is dropped.
    const int take = n < free ? n : free;
    int first = kRingSize - w;
    if (first > take) first = take;
    std::memcpy(buf.get() + w, bytes, static_cast<size_t>(first));
    std::memcpy(buf.get(), bytes + first, static_cast<size_t>(take - first));
    w = (w + take) % kRingSize;
    write.store(static_cast<uint16_t>(w), std::memory_order_release);
    return n - take;
}

void ByteRing::peek(uint8_t* dst, int n) const {
    if (!buf) return;
    const int avail = waiting(); // acquire: the producer's bytes are visible
    if (n > avail) n = avail;
    if (n <= 0) return;
    const int r = read.load(std::memory_order_relaxed);
    int first = kRingSize - r;
    if (first > n) first = n;
    std::memcpy(dst, buf.get() + r, static_cast<size_t>(first));
    std::memcpy(dst + first, buf.get(), static_cast<size_t>(n - first));
}

void ByteRing::drop(int n) {
    const int avail = waiting();
    if (n > avail) n = avail;
    if (n <= 0) return;
    const int r = read.load(std::memory_order_relaxed);
    read.store(static_cast<uint16_t>((r + n) % kRingSize), std::memory_order_release);
}
