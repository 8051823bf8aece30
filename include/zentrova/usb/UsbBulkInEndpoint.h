// Receives blocks whose size is a multiple of 512 bytes on a bulk IN
// endpoint of the device open on a UsbDriver, in transfers of at most 64 KiB,
// and drains stale input.
#ifndef ZENTROVA_USB_USBBULKINENDPOINT_H
#define ZENTROVA_USB_USBBULKINENDPOINT_H

#include <pthread.h>

#include <cstddef>
#include <cstdint>

#include "zentrova/export.h"

class UsbDriver;
struct libusb_transfer;
struct UsbBulkTransfer;

// The completions run on the driver's event thread while receive() waits.
// Destroy the endpoint before its driver closes the device; a transfer still
// in flight is cancelled by the destructor.
class ZENTROVA_API UsbBulkInEndpoint {
public:
    UsbBulkInEndpoint(UsbDriver& driver, unsigned char endpointAddress);
    ~UsbBulkInEndpoint();
    UsbBulkInEndpoint(const UsbBulkInEndpoint&) = delete;
    UsbBulkInEndpoint& operator=(const UsbBulkInEndpoint&) = delete;

    // Receives up to `size` bytes into `data`; `size` must be a multiple of
    // 512 (checked by an assertion). Ends early at a short packet. Returns
    // true when the transfer completed, false on a timeout; `received` holds
    // the bytes received either way. Other failures throw UsbException.
    bool receive(void* data, size_t size, size_t& received, uint32_t timeoutMs);
    // Discards whatever the device has queued on the endpoint: reads until a
    // read times out (50 ms).
    void flush();

    static void libusb_in_callback(libusb_transfer* t);
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
