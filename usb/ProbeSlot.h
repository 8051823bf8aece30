// Lends a driver's `handle` member to the probes of an enumeration: the
// device the driver holds open (if any) is set aside, each probe opens into
// the member, and on every way out a probe still open is closed and the
// driver's own device is put back.
#ifndef ZENTROVA_USB_PROBESLOT_H
#define ZENTROVA_USB_PROBESLOT_H

#include <libusb.h>

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

#endif
