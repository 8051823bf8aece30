// Probing devices during an enumeration: ProbeSlot lends a driver's `handle`
// member to the probes (the device the driver holds open, if any, is set
// aside and put back on every way out; a probe still open is closed), and
// describeOpenDevice reads the record of the device being probed.
#ifndef ZENTROVA_USB_PROBESLOT_H
#define ZENTROVA_USB_PROBESLOT_H

#include <libusb.h>

#include "util/failure_detail.h"
#include "zentrova/usb/UsbDriver.h"

class ProbeSlot {
public:
    explicit ProbeSlot(libusb_device_handle*& handle) : handle(handle), saved(handle) { handle = nullptr; }
    ~ProbeSlot()
    {
        if (handle)
            libusb_close(handle);
        handle = saved;
    }
    ProbeSlot(const ProbeSlot&) = delete;
    ProbeSlot& operator=(const ProbeSlot&) = delete;

private:
    libusb_device_handle*& handle;
    libusb_device_handle* saved;
};

// The record of a device that `driver` holds open for a probe: IDs from the
// device descriptor and the three strings (empty where the index is 0). A
// failing string read throws; the ProbeSlot releases the probe.
inline UsbDeviceInfo describeOpenDevice(UsbDriver& driver, libusb_device* device,
                                        const libusb_device_descriptor& desc)
{
    UsbDeviceInfo info;
    info.vid = desc.idVendor;
    info.pid = desc.idProduct;
    info.bcdDevice = desc.bcdDevice;
    info.device = device;
    if (desc.iManufacturer)
        driver.getString(info.manufacturer, desc.iManufacturer);
    if (desc.iProduct)
        driver.getString(info.product, desc.iProduct);
    if (desc.iSerialNumber)
        driver.getString(info.serialNumber, desc.iSerialNumber);
    return info;
}

// Opens `device` into the probe slot `handle` and reads its record into
// `info`, closing the probe again. 0, or the libusb code of what failed: the
// open (access denied, the device gone) or a string request (stalled, not
// answered, the device gone).
inline int probeDevice(UsbDriver& driver, libusb_device_handle*& handle, libusb_device* device,
                       const libusb_device_descriptor& desc, UsbDeviceInfo& info)
{
    int rc = libusb_open(device, &handle);
    if (rc < 0) {
        handle = nullptr;
        return rc;
    }
    try {
        info = describeOpenDevice(driver, device, desc);
    } catch (const UsbException& e) {
        const zentrova::FailureDetail* detail = zentrova::failureDetail(e);
        rc = detail && detail->usbCode ? detail->usbCode : LIBUSB_ERROR_OTHER;
    }
    libusb_close(handle);
    handle = nullptr;
    return rc;
}

#endif
