#include "usb_lib.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <mutex>
#include <string>

namespace usblib {
namespace {

// The entry points of the interface, in the order of the table below.
enum Entry {
    eOpen,
    eClose,
    eGetString,
    eGetStringSimple,
    eGetDescriptorByEndpoint,
    eGetDescriptor,
    eBulkWrite,
    eBulkRead,
    eInterruptWrite,
    eInterruptRead,
    eControlMsg,
    eSetConfiguration,
    eClaimInterface,
    eReleaseInterface,
    eSetAltinterface,
    eResetep,
    eClearHalt,
    eReset,
    eResetEx,
    eStrerror,
    eInit,
    eSetDebug,
    eFindBusses,
    eFindDevices,
    eDevice,
    eGetBusses,
    eInstallServiceNp,
    eUninstallServiceNp,
    eInstallDriverNp,
    eGetVersion,
    eIsochronousSetupAsync,
    eBulkSetupAsync,
    eInterruptSetupAsync,
    eSubmitAsync,
    eReapAsync,
    eFreeAsync,
    eEntryCount
};

const char* const kEntryNames[eEntryCount] = {
    "usb_open",
    "usb_close",
    "usb_get_string",
    "usb_get_string_simple",
    "usb_get_descriptor_by_endpoint",
    "usb_get_descriptor",
    "usb_bulk_write",
    "usb_bulk_read",
    "usb_interrupt_write",
    "usb_interrupt_read",
    "usb_control_msg",
    "usb_set_configuration",
    "usb_claim_interface",
    "usb_release_interface",
    "usb_set_altinterface",
    "usb_resetep",
    "usb_clear_halt",
    "usb_reset",
    "usb_reset_ex",
    "usb_strerror",
    "usb_init",
    "usb_set_debug",
    "usb_find_busses",
    "usb_find_devices",
    "usb_device",
    "usb_get_busses",
    "usb_install_service_np",
    "usb_uninstall_service_np",
    "usb_install_driver_np",
    "usb_get_version",
    "usb_isochronous_setup_async",
    "usb_bulk_setup_async",
    "usb_interrupt_setup_async",
    "usb_submit_async",
    "usb_reap_async",
    "usb_free_async",
};

constexpr const char* kDefaultFile = "libusb-0.1.so.4";

std::mutex loadMutex;
void* library = nullptr; // guarded by loadMutex
bool tried = false;      // guarded by loadMutex
std::string chosenFile;  // guarded by loadMutex
// The worker thread calls through the table while the user-interface thread may
// look at it: every entry is published on its own.
std::atomic<void*> entries[eEntryCount];

template <typename F> F Fn(Entry e) {
    return reinterpret_cast<F>(entries[e].load(std::memory_order_acquire));
}

} // namespace

const char* LibraryFile() {
    const char* env = std::getenv("STARTZEL_LIBUSB");
    return env && *env ? env : kDefaultFile;
}

bool Load() {
    std::lock_guard<std::mutex> lock(loadMutex);
    if (tried) return library != nullptr;
    tried = true;
    chosenFile = LibraryFile();
    library = dlopen(chosenFile.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) return false; // no library: USB stays absent, no error
    for (int i = 0; i < eEntryCount; ++i)
        entries[i].store(dlsym(library, kEntryNames[i]), std::memory_order_release);
    Init();
    return true;
}

bool Loaded() {
    std::lock_guard<std::mutex> lock(loadMutex);
    return library != nullptr;
}

void Unload() {
    std::lock_guard<std::mutex> lock(loadMutex);
    for (auto& e : entries)
        e.store(nullptr, std::memory_order_release);
    if (library) dlclose(library);
    library = nullptr;
    tried = false;
}

bool Has(const char* entryPoint) {
    for (int i = 0; i < eEntryCount; ++i)
        if (std::strcmp(kEntryNames[i], entryPoint) == 0) return entries[i].load() != nullptr;
    return false;
}

usb_dev_handle* Open(struct usb_device* dev) {
    auto f = Fn<usb_dev_handle* (*)(struct usb_device*)>(eOpen);
    return f ? f(dev) : nullptr;
}

int Close(usb_dev_handle* dev) {
    auto f = Fn<int (*)(usb_dev_handle*)>(eClose);
    return f ? f(dev) : -2;
}

int GetString(usb_dev_handle* dev, int index, int langid, char* buf, size_t buflen) {
    auto f = Fn<int (*)(usb_dev_handle*, int, int, char*, size_t)>(eGetString);
    return f ? f(dev, index, langid, buf, buflen) : -2;
}

int GetStringSimple(usb_dev_handle* dev, int index, char* buf, size_t buflen) {
    auto f = Fn<int (*)(usb_dev_handle*, int, char*, size_t)>(eGetStringSimple);
    return f ? f(dev, index, buf, buflen) : -2;
}

int GetDescriptorByEndpoint(usb_dev_handle* dev, int ep, unsigned char type, unsigned char index, void* buf,
                            int size) {
    auto f =
        Fn<int (*)(usb_dev_handle*, int, unsigned char, unsigned char, void*, int)>(eGetDescriptorByEndpoint);
    return f ? f(dev, ep, type, index, buf, size) : -2;
}

int GetDescriptor(usb_dev_handle* dev, unsigned char type, unsigned char index, void* buf, int size) {
    auto f = Fn<int (*)(usb_dev_handle*, unsigned char, unsigned char, void*, int)>(eGetDescriptor);
    return f ? f(dev, type, index, buf, size) : -2;
}

int BulkWrite(usb_dev_handle* dev, int ep, const char* bytes, int size, int timeout) {
    auto f = Fn<int (*)(usb_dev_handle*, int, const char*, int, int)>(eBulkWrite);
    return f ? f(dev, ep, bytes, size, timeout) : -2;
}

int BulkRead(usb_dev_handle* dev, int ep, char* bytes, int size, int timeout) {
    auto f = Fn<int (*)(usb_dev_handle*, int, char*, int, int)>(eBulkRead);
    return f ? f(dev, ep, bytes, size, timeout) : -2;
}

int InterruptWrite(usb_dev_handle* dev, int ep, const char* bytes, int size, int timeout) {
    auto f = Fn<int (*)(usb_dev_handle*, int, const char*, int, int)>(eInterruptWrite);
    return f ? f(dev, ep, bytes, size, timeout) : -2;
}

int InterruptRead(usb_dev_handle* dev, int ep, char* bytes, int size, int timeout) {
    auto f = Fn<int (*)(usb_dev_handle*, int, char*, int, int)>(eInterruptRead);
    return f ? f(dev, ep, bytes, size, timeout) : -2;
}

int ControlMsg(usb_dev_handle* dev, int requestType, int request, int value, int index, char* bytes, int size,
               int timeout) {
    auto f = Fn<int (*)(usb_dev_handle*, int, int, int, int, char*, int, int)>(eControlMsg);
    return f ? f(dev, requestType, request, value, index, bytes, size, timeout) : -2;
}

int SetConfiguration(usb_dev_handle* dev, int configuration) {
    auto f = Fn<int (*)(usb_dev_handle*, int)>(eSetConfiguration);
    return f ? f(dev, configuration) : -2;
}

int ClaimInterface(usb_dev_handle* dev, int interface) {
    auto f = Fn<int (*)(usb_dev_handle*, int)>(eClaimInterface);
    return f ? f(dev, interface) : -2;
}

int ReleaseInterface(usb_dev_handle* dev, int interface) {
    auto f = Fn<int (*)(usb_dev_handle*, int)>(eReleaseInterface);
    return f ? f(dev, interface) : -2;
}

int SetAltinterface(usb_dev_handle* dev, int alternate) {
    auto f = Fn<int (*)(usb_dev_handle*, int)>(eSetAltinterface);
    return f ? f(dev, alternate) : -2;
}

int Resetep(usb_dev_handle* dev, unsigned int ep) {
    auto f = Fn<int (*)(usb_dev_handle*, unsigned int)>(eResetep);
    return f ? f(dev, ep) : -2;
}

int ClearHalt(usb_dev_handle* dev, unsigned int ep) {
    auto f = Fn<int (*)(usb_dev_handle*, unsigned int)>(eClearHalt);
    return f ? f(dev, ep) : -2;
}

int Reset(usb_dev_handle* dev) {
    auto f = Fn<int (*)(usb_dev_handle*)>(eReset);
    return f ? f(dev) : -2;
}

int ResetEx(usb_dev_handle* dev, unsigned int resetType) {
    auto f = Fn<int (*)(usb_dev_handle*, unsigned int)>(eResetEx);
    return f ? f(dev, resetType) : -2;
}

const char* Strerror() {
    auto f = Fn<char* (*)()>(eStrerror);
    return f ? f() : nullptr;
}

void Init() {
    auto f = Fn<void (*)()>(eInit);
    if (f) f();
}

void SetDebug(int level) {
    auto f = Fn<void (*)(int)>(eSetDebug);
    if (f) f(level);
}

int FindBusses() {
    auto f = Fn<int (*)()>(eFindBusses);
    return f ? f() : 0;
}

int FindDevices() {
    auto f = Fn<int (*)()>(eFindDevices);
    return f ? f() : 0;
}

struct usb_device* Device(usb_dev_handle* dev) {
    auto f = Fn<struct usb_device* (*)(usb_dev_handle*)>(eDevice);
    return f ? f(dev) : nullptr;
}

struct usb_bus* GetBusses() {
    auto f = Fn<struct usb_bus* (*)()>(eGetBusses);
    return f ? f() : nullptr;
}

int InstallServiceNp() {
    auto f = Fn<int (*)()>(eInstallServiceNp);
    return f ? f() : -2;
}

int UninstallServiceNp() {
    auto f = Fn<int (*)()>(eUninstallServiceNp);
    return f ? f() : -2;
}

int InstallDriverNp(const char* infFile) {
    auto f = Fn<int (*)(const char*)>(eInstallDriverNp);
    return f ? f(infFile) : -2;
}

const Version* GetVersion() {
    auto f = Fn<const Version* (*)()>(eGetVersion);
    return f ? f() : nullptr;
}

int IsochronousSetupAsync(usb_dev_handle* dev, void** context, unsigned char ep, int pktsize) {
    auto f = Fn<int (*)(usb_dev_handle*, void**, unsigned char, int)>(eIsochronousSetupAsync);
    return f ? f(dev, context, ep, pktsize) : -2;
}

int BulkSetupAsync(usb_dev_handle* dev, void** context, unsigned char ep) {
    auto f = Fn<int (*)(usb_dev_handle*, void**, unsigned char)>(eBulkSetupAsync);
    return f ? f(dev, context, ep) : -2;
}

int InterruptSetupAsync(usb_dev_handle* dev, void** context, unsigned char ep) {
    auto f = Fn<int (*)(usb_dev_handle*, void**, unsigned char)>(eInterruptSetupAsync);
    return f ? f(dev, context, ep) : -2;
}

int SubmitAsync(void* context, char* bytes, int size) {
    auto f = Fn<int (*)(void*, char*, int)>(eSubmitAsync);
    return f ? f(context, bytes, size) : -2;
}

int ReapAsync(void* context, int timeout) {
    auto f = Fn<int (*)(void*, int)>(eReapAsync);
    return f ? f(context, timeout) : -2;
}

int FreeAsync(void** context) {
    auto f = Fn<int (*)(void**)>(eFreeAsync);
    return f ? f(context) : -2;
}

} // namespace usblib
