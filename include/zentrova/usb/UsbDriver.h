// Base class of the USB device classes: owns a libusb context and the thread
// that services its events, enumerates devices, opens and closes one device.
#ifndef ZENTROVA_USB_USBDRIVER_H
#define ZENTROVA_USB_USBDRIVER_H

#include <pthread.h>
#include <sys/types.h>

#include <atomic>
#include <string>
#include <vector>

#include "zentrova/export.h"
#include "zentrova/usb/UsbDeviceInfo.h"
#include "zentrova/usb/UsbException.h"
#include "zentrova/usb/UsbInterface.h"

struct libusb_context;
struct libusb_device;
struct libusb_device_handle;
class UsbDescriptors;

// Lifecycle seen by a derived class: construct; find(devices);
// open(devices[i]) -> open_callback(); transfers on `handle`;
// close() -> close_callback(); destroy. A derived class calls close() in its
// own destructor so that its close_callback still runs; a device still open
// when the base destructor runs is released without the hook.
//
// One thread at a time calls the operations; the event thread runs beside it.
class ZENTROVA_API UsbDriver : public virtual UsbInterface {
public:
    // Creates the libusb context and starts the event thread. Throws
    // UsbException when either fails; nothing is left behind then.
    UsbDriver();
    UsbDriver(const UsbDriver&) = delete;
    UsbDriver& operator=(const UsbDriver&) = delete;

    // Opens info.device with automatic kernel-driver detaching, then runs
    // open_callback(). Does nothing when a device is already open.
    void open(UsbDeviceInfo& info) override;
    bool isOpened() const override;
    // close_callback(), then releases the handle. Nothing when none is open.
    void close() override;

    virtual ~UsbDriver();

    // Releases the handle without close_callback(); for shutting down after a
    // failure. Nothing when no device is open.
    void forceClose();

    // Replaces deviceList with a fresh libusb device list.
    void refreshDeviceList();
    // Reads ASCII string descriptor `index` of the open device into `out`.
    void getString(std::string& out, unsigned char index);
    // Lists the devices with the given IDs (-1 matches any) in libusb order,
    // probing each one (through `handle`) for its strings. A device that went
    // away since the listing, or whose string requests fail (stalled, not
    // answered), is left out; one this process may not open throws "access
    // denied". Call it only while no device is open.
    void findByVidPid(std::vector<UsbDeviceInfo>& devices, int vid, int pid);
    // Reads the open device's device and configuration descriptors over
    // endpoint 0 into `out` (replacing its content). Class-specific and other
    // descriptors between interfaces and endpoints are stepped over. A short
    // device descriptor, or a configuration whose descriptors are not
    // interface, endpoints, interface, ... as wTotalLength says, or are
    // malformed, throws "unknown error".
    void getDescriptors(UsbDescriptors& out);
    // Lists every device whose manufacturer, product and serial-number
    // strings contain the given patterns (case-sensitive; an empty pattern
    // matches anything), in libusb order. Devices this process may not open,
    // that went away or whose string requests fail are skipped. Call it only
    // while no device is open.
    void findByStrings(std::vector<UsbDeviceInfo>& devices, const std::string& manufacturer,
                       const std::string& product, const std::string& serialNumber);

    // Event thread entry; `arg` is the UsbDriver.
    static void* libusb_thread(void* arg);

    // For companions that issue transfers on the driver's context and device.
    libusb_context* usbContext() const { return context; }
    libusb_device_handle* deviceHandle() const { return handle; }

protected:
    // A device of an enumeration that could not be described: the libusb
    // code of the open or string request that failed.
    struct Unprobed {
        libusb_device* device;
        int usbCode;
    };
    // Lists the devices of vendor `vid` whose product ID is one of `pids`
    // (any when empty) as findByVidPid does. With `unprobed`, every device
    // that could not be opened or read goes there instead, access denied
    // included; only a search that runs out of memory or cannot list the
    // devices throws.
    __attribute__((visibility("hidden"))) void probeByIds(std::vector<UsbDeviceInfo>& devices, int vid,
                                                           const std::vector<int>& pids,
                                                           std::vector<Unprobed>* unprobed);

    virtual void open_callback() = 0;
    virtual void close_callback() = 0;

    libusb_context* context = nullptr;
    libusb_device** deviceList = nullptr;   // from the last refreshDeviceList
    ssize_t deviceCount = 0;
    libusb_device_handle* handle = nullptr; // the open device, or null
    pthread_t eventThread{};
    std::atomic<bool> running{false};
};

#endif
