// USB driver core: libusb context and event thread, enumeration, open/close.
#include "zentrova/usb/UsbDriver.h"

#include "usb/ProbeSlot.h"
#include "usb/UsbFailure.h"

#include <libusb.h>

#include <algorithm>
#include <cstring>
#include <new>

// ---------------------------------------------------------------------------
// UsbDriver

UsbDriver::UsbDriver()
{
    int rc = libusb_init(&context);
    if (rc < 0) {
        context = nullptr;
        throwUsbError(rc);
    }
    // True before the thread starts, so a driver destroyed at once still stops it.
    running.store(true, std::memory_order_relaxed);
    if (pthread_create(&eventThread, nullptr, &UsbDriver::libusb_thread, this) != 0) {
        libusb_exit(context);
        context = nullptr;
        throw UsbException("cannot start USB thread");
    }
}

UsbDriver::~UsbDriver()
{
    // The derived class's close_callback is no longer in force here: a device
    // it left open is released without the hook.
    forceClose();
    if (deviceList) {
        libusb_free_device_list(deviceList, 1);
        deviceList = nullptr;
        deviceCount = 0;
    }
    running.store(false, std::memory_order_relaxed);
    // Wake the event thread now rather than at the end of its 50 ms wait. An
    // interrupt raised before the thread enters its wait is kept by libusb
    // and ends the next wait at once.
    libusb_interrupt_event_handler(context);
    pthread_join(eventThread, nullptr);
    libusb_exit(context);
}

void* UsbDriver::libusb_thread(void* arg)
{
    auto* self = static_cast<UsbDriver*>(arg);
    while (self->running.load(std::memory_order_relaxed)) {
        timeval timeout{0, 50000};
        libusb_handle_events_timeout(self->context, &timeout);
    }
    pthread_exit(nullptr);
}

void UsbDriver::open(UsbDeviceInfo& info)
{
    if (handle)
        return;
    if (!info.device)
        throwUsbError(LIBUSB_ERROR_INVALID_PARAM);
    int rc = libusb_open(info.device, &handle);
    if (rc < 0) {
        handle = nullptr;
        throwUsbErrorAt(rc, info.device);
    }
    // On failure the handle stays open; the caller releases it.
    rc = libusb_set_auto_detach_kernel_driver(handle, 1);
    if (rc < 0)
        throwUsbError(rc);
    open_callback();
}

bool UsbDriver::isOpened() const
{
    return handle != nullptr;
}

void UsbDriver::close()
{
    if (!handle)
        return;
    close_callback();
    libusb_close(handle);
    handle = nullptr;
}

void UsbDriver::forceClose()
{
    if (!handle)
        return;
    libusb_close(handle);
    handle = nullptr;
}

void UsbDriver::refreshDeviceList()
{
    if (deviceList) {
        libusb_free_device_list(deviceList, 1);
        deviceList = nullptr;
        deviceCount = 0;
    }
    libusb_device** list = nullptr;
    ssize_t count = libusb_get_device_list(context, &list);
    if (count < 0)
        throwUsbError(static_cast<int>(count));
    deviceList = list;
    deviceCount = count;
}

void UsbDriver::getString(std::string& out, unsigned char index)
{
    if (!handle)
        throwUsbError(LIBUSB_ERROR_NO_DEVICE);
    unsigned char buffer[4096];
    int rc = libusb_get_string_descriptor_ascii(handle, index, buffer, sizeof buffer);
    if (rc < 0)
        throwUsbError(rc);
    const char* text = reinterpret_cast<const char*>(buffer);
    out.assign(text, strnlen(text, static_cast<size_t>(rc)));
}

void UsbDriver::findByVidPid(std::vector<UsbDeviceInfo>& devices, int vid, int pid)
{
    probeByIds(devices, vid, pid == -1 ? std::vector<int>() : std::vector<int>{pid}, nullptr);
}

void UsbDriver::probeByIds(std::vector<UsbDeviceInfo>& devices, int vid, const std::vector<int>& pids,
                           std::vector<Unprobed>* unprobed)
{
    refreshDeviceList();
    devices.clear();
    if (unprobed)
        unprobed->clear();
    ProbeSlot probe(handle);
    for (ssize_t i = 0; i < deviceCount; ++i) {
        libusb_device* dev = deviceList[i];
        libusb_device_descriptor desc{};
        int rc = libusb_get_device_descriptor(dev, &desc);
        if (rc < 0)
            throwUsbError(rc);
        if (vid != -1 && desc.idVendor != vid)
            continue;
        if (!pids.empty() && std::find(pids.begin(), pids.end(), desc.idProduct) == pids.end())
            continue;
        // A device may go away between the listing and its probe, or hang
        // in a string request: it is set aside, and the search goes on.
        UsbDeviceInfo info;
        rc = probeDevice(*this, handle, dev, desc, info);
        if (rc == LIBUSB_ERROR_NO_MEM || (rc == LIBUSB_ERROR_ACCESS && !unprobed)) {
            devices.clear();
            throwUsbErrorAt(rc, dev);
        }
        if (rc == 0)
            devices.push_back(std::move(info));
        else if (unprobed)
            unprobed->push_back({dev, rc});
    }
}
