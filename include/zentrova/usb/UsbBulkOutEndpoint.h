// Sends blocks of any size on a bulk OUT endpoint of the device open on a
// UsbDriver, asynchronously, in transfers of at most 64 KiB.
#ifndef ZENTROVA_USB_USBBULKOUTENDPOINT_H
#define ZENTROVA_USB_USBBULKOUTENDPOINT_H

#include <pthread.h>

#include <cstddef>
#include <cstdint>

#include "zentrova/export.h"

class UsbDriver;
struct libusb_transfer;
struct UsbBulkTransfer;

// One operation at a time: submit(), then wait() before the next submit().
// The completions run on the driver's event thread. Destroy the endpoint
// before its driver closes the device; a transfer still in flight is
// cancelled by the destructor.
class ZENTROVA_API UsbBulkOutEndpoint {
public:
    UsbBulkOutEndpoint(UsbDriver& driver, unsigned char endpointAddress);
    ~UsbBulkOutEndpoint();
    UsbBulkOutEndpoint(const UsbBulkOutEndpoint&) = delete;
    UsbBulkOutEndpoint& operator=(const UsbBulkOutEndpoint&) = delete;

    // Starts sending `size` bytes from `data` (which must stay valid until
    // wait() returns) and returns at once. A failed submission throws
    // UsbException, as does a submit while a transfer is in flight
    // ("resource busy").
    void submit(void* data, size_t size, unsigned int timeoutMs);
    // Blocks until the operation has finished; returns the bytes sent (fewer
    // when the device took a chunk short). Throws UsbException on a
    // timeout, stall, bus error, cancellation, overflow or lost device.
    size_t wait();

    static void libusb_out_callback(libusb_transfer* t);
    void callback(libusb_transfer* t);

protected:
    friend struct UsbBulkTransfer;

    UsbDriver& driver;
    uint8_t endpointAddress;
    libusb_transfer* transfer = nullptr;
    bool busy = false;
    int status = 0;
    int result = 0;
    bool done = true;
    pthread_cond_t cond;
    pthread_mutex_t mutex;
    uint32_t timeoutMs = 0;
    uint8_t* cursor = nullptr;
    size_t chunk = 0;
    size_t remaining = 0;
    size_t transferred = 0;
    bool cancelling = false; // the destructor is stopping the endpoint
};

#endif
