// Abstract interface of a USB device class: find candidates, open one, close it.
#ifndef ZENTROVA_USB_USBINTERFACE_H
#define ZENTROVA_USB_USBINTERFACE_H

#include <vector>

#include "zentrova/export.h"
#include "zentrova/usb/UsbDeviceInfo.h"

// Without a virtual destructor: objects are owned and destroyed through
// their concrete class (UsbDriver has the virtual destructor).
class ZENTROVA_API UsbInterface {
public:
    virtual void open(UsbDeviceInfo& info) = 0;
    virtual bool isOpened() const = 0;
    virtual void close() = 0;
    virtual void find(std::vector<UsbDeviceInfo>& devices) = 0;

protected:
    ~UsbInterface() = default;
};

#endif
