// Helpers shared by the protocol and the upload code of ZentrovaDriver:
// one vendor control transfer; their "driver.log" lines go through logTo.
#ifndef ZENTROVA_DEVICE_ZENTROVATRANSFER_H
#define ZENTROVA_DEVICE_ZENTROVATRANSFER_H

#include <cstdint>
#include <cstdio>

#include "util/log_line.h"

struct libusb_device_handle;

namespace zentrova_device {

// One control transfer with wValue 0 and the protocol's 1000 ms timeout.
// A negative libusb result is thrown as UsbException; a transfer that moved
// fewer than `length` bytes (a short answer, a chunk the mouse took only in
// part) throws ZentrovaException "short transfer: N of M bytes", which the
// callers treat like any protocol failure of the mouse. With no device open
// it throws "no such device" instead of handing libusb a null handle.
void vendorTransfer(libusb_device_handle* handle, uint8_t requestType, uint8_t request,
                   uint16_t index, unsigned char* data, uint16_t length);

} // namespace zentrova_device

#endif
