// Control interface of the fake USB library the USB tests load in place of
// libusb 0.1. The test reaches these functions with dlsym on the handle of the
// same library file the port layer loaded, so both see one set of devices.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

struct FakeUsbDeviceConfig {
    uint16_t vendor = 0x16C0;
    const char* manufacturer = nullptr; // UTF-8; nullptr: the device has no such string
    const char* product = nullptr;
    const char* serial = nullptr;
    uint32_t deviceNumber = 0; // request 0x20, bytes 0..3
    uint32_t clock = 16000000; // request 0x20, bytes 4..7
    int channels = 1;          // request 0x23; -1: that request fails
    int clockFails = 0;        // request 0x20 fails
    int openFails = 0;         // usb_open gives nullptr
    int stringSimpleFails = 0; // usb_get_string_simple fails (the reader falls back to GET_DESCRIPTOR)
    int descriptorType = 3;    // type byte of the string descriptors it answers
};

// Called (outside the library's lock, on the thread that made the transfer)
// with the bytes a send request carried.
typedef void (*FakeUsbLineHook)(void* context, int device, int channel, const uint8_t* bytes, size_t n);

enum FakeUsbEventKind {
    kFakeUsbControl = 1,
    kFakeUsbOpen = 2,
    kFakeUsbClose = 3,
    kFakeUsbReset = 4,
};

struct FakeUsbEvent {
    int kind = 0;
    int device = -1;
    int requestType = 0, request = 0, value = 0, index = 0, size = 0;
    int result = 0;
};

// Forgets every device, hook and event (usb_device records stay valid).
void fake_usb_clear(void);
// Adds a plugged device; returns its id.
int fake_usb_add(const FakeUsbDeviceConfig* config);
// Unplugged devices vanish from the next bus scan; their handles fail every call.
void fake_usb_plug(int device, int plugged);
// The next `count` control transfers of the device fail; -1: all of them until
// the device is reset; 0: none.
void fake_usb_fail_transfers(int device, int count);
// Bytes the device holds for a channel, as if they came from the line.
void fake_usb_queue_input(int device, int channel, const uint8_t* bytes, size_t n);
size_t fake_usb_input_left(int device, int channel);
// Takes what send requests carried on a channel (up to max bytes); returns the count.
size_t fake_usb_take_output(int device, int channel, uint8_t* out, size_t max);
void fake_usb_set_hook(int device, int channel, FakeUsbLineHook hook, void* context);
// Copies up to max events into out; returns how many there are in all.
size_t fake_usb_events(FakeUsbEvent* out, size_t max);
void fake_usb_clear_events(void);
int fake_usb_open_handles(void);
int fake_usb_init_calls(void);
}
