// The USB library (libusb 0.1 interface), bound at run time so that the
// program runs on machines without it.
//
// The library file is "libusb-0.1.so.4" (Debian package libusb-0.1-4); the
// environment variable STARTZEL_LIBUSB names another file instead. Every entry
// point of the interface is looked up by name; each call goes through a wrapper
// here that answers -2 when the entry point is missing (0 for the bus and device
// searches, nullptr for the calls that give a pointer, nothing for the calls
// without a result). A library that cannot be loaded leaves every entry point
// missing: USB is then simply absent.
#pragma once

#include <cstddef>
#include <usb.h>

// Manufacturer string our converters and keys report. Only vendor 0x16C0
// devices that report exactly this text are ours; the udev rule shipped in
// data/60-startzel-usb.rules matches the same text.
constexpr char ManufacturerString[] = "StartZel";
constexpr int kUsbVendorId = 0x16C0;

namespace usblib {

// Version record of the libusb-win32 flavour of the interface.
struct Version {
    struct {
        int major, minor, micro, nano;
    } dll, driver;
};

// The first time: loads the library, looks up every entry point and calls
// usb_init; later calls only report the outcome. True when the library is loaded.
bool Load();
bool Loaded();
// Forgets the binding so that the next Load() reads STARTZEL_LIBUSB again.
// Test seam: only while no USB port is open.
void Unload();
// The file Load() opens: STARTZEL_LIBUSB when set and not empty, else the default.
const char* LibraryFile();
// Whether the named entry point was found ("usb_reset_ex" only exists in the
// Windows flavour of the library).
bool Has(const char* entryPoint);

usb_dev_handle* Open(struct usb_device* dev);
int Close(usb_dev_handle* dev);
int GetString(usb_dev_handle* dev, int index, int langid, char* buf, size_t buflen);
int GetStringSimple(usb_dev_handle* dev, int index, char* buf, size_t buflen);
int GetDescriptorByEndpoint(usb_dev_handle* dev, int ep, unsigned char type, unsigned char index, void* buf,
                            int size);
int GetDescriptor(usb_dev_handle* dev, unsigned char type, unsigned char index, void* buf, int size);
int BulkWrite(usb_dev_handle* dev, int ep, const char* bytes, int size, int timeout);
int BulkRead(usb_dev_handle* dev, int ep, char* bytes, int size, int timeout);
int InterruptWrite(usb_dev_handle* dev, int ep, const char* bytes, int size, int timeout);
int InterruptRead(usb_dev_handle* dev, int ep, char* bytes, int size, int timeout);
int ControlMsg(usb_dev_handle* dev, int requestType, int request, int value, int index, char* bytes, int size,
               int timeout);
int SetConfiguration(usb_dev_handle* dev, int configuration);
int ClaimInterface(usb_dev_handle* dev, int interface);
int ReleaseInterface(usb_dev_handle* dev, int interface);
int SetAltinterface(usb_dev_handle* dev, int alternate);
int Resetep(usb_dev_handle* dev, unsigned int ep);
int ClearHalt(usb_dev_handle* dev, unsigned int ep);
int Reset(usb_dev_handle* dev);
int ResetEx(usb_dev_handle* dev, unsigned int resetType);
const char* Strerror();
void Init();
void SetDebug(int level);
int FindBusses();
int FindDevices();
struct usb_device* Device(usb_dev_handle* dev);
struct usb_bus* GetBusses();
int InstallServiceNp();
int UninstallServiceNp();
int InstallDriverNp(const char* infFile);
const Version* GetVersion();
int IsochronousSetupAsync(usb_dev_handle* dev, void** context, unsigned char ep, int pktsize);
int BulkSetupAsync(usb_dev_handle* dev, void** context, unsigned char ep);
int InterruptSetupAsync(usb_dev_handle* dev, void** context, unsigned char ep);
int SubmitAsync(void* context, char* bytes, int size);
int ReapAsync(void* context, int timeout);
int FreeAsync(void** context);

} // namespace usblib
