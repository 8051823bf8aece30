// libusb failures that name the device they concern.
#ifndef ZENTROVA_USB_USBFAILURE_H
#define ZENTROVA_USB_USBFAILURE_H

struct libusb_device;

// As throwUsbError, with the device node of `device` ("/dev/bus/usb/BBB/DDD")
// in the failure's detail.
[[noreturn]] void throwUsbErrorAt(int code, libusb_device* device);

#endif
