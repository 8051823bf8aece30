// Keeps one transfer permanently in flight on an interrupt IN endpoint of the
// device open on a UsbDriver and hands each filled packet to a handler, in
// 512-byte buffers from an owned pool of eight.
#ifndef ZENTROVA_USB_USBINTERRUPTINENDPOINT_H
#define ZENTROVA_USB_USBINTERRUPTINENDPOINT_H

#include <pthread.h>

#include <cstdint>
#include <functional>
#include <memory>

#include "zentrova/export.h"
#include "zentrova/usb/PbufPool.h"

class UsbDriver;
struct libusb_device_handle;
struct libusb_transfer;

// The handler runs on the driver's event thread: it must be short and must
// not wait for that thread. It takes each buffer and gives it back with
// p->pool->free_internal(p); buffers it keeps bound how far it may fall
// behind (the next transfer always gets a buffer first, so at most seven).
// When no buffer is free the endpoint stops; so it does after a failed
// transfer (stall, lost device, ...). Nothing restarts it.
//
// Buffers are valid only while the endpoint lives. Destroy the endpoint
// before its driver closes the device.
class ZENTROVA_API UsbInterruptInEndpoint {
public:
    using Handler = std::function<void(pbuf_t*)>;

    // Starts receiving at once, so the device must be open. Without a
    // handler every packet goes straight back to the pool. Throws
    // UsbException when the first transfer cannot be submitted.
    UsbInterruptInEndpoint(UsbDriver& driver, unsigned char endpointAddress, Handler handler = Handler());
    // Cancels the transfer in flight, waits for it and for a delivery in
    // progress, then releases the buffers (also those a handler still holds).
    ~UsbInterruptInEndpoint();
    UsbInterruptInEndpoint(const UsbInterruptInEndpoint&) = delete;
    UsbInterruptInEndpoint& operator=(const UsbInterruptInEndpoint&) = delete;

    // Replaces the handler; waits for a delivery in progress. Not from
    // inside the handler.
    void setHandler(Handler newHandler);
    // Whether a transfer is in flight (false once the endpoint has stopped).
    bool isReceiving() const;
    const PbufPool& bufferPool() const { return *pool; }

    static void libusb_in_callback(libusb_transfer* t);
    void callback(libusb_transfer* t);

protected:
    void fillTransfer(libusb_device_handle* handle, pbuf_t* buffer);

    UsbDriver& driver;
    uint8_t endpointAddress;
    Handler handler;
    std::unique_ptr<PbufPool> pool;
    pbuf_t* current = nullptr;
    libusb_transfer* transfer = nullptr;
    bool busy = false;
    pthread_cond_t cond;
    mutable pthread_mutex_t mutex;
    pthread_mutex_t handlerMutex;   // guards `handler` between its owner and deliveries
    bool stopping = false;          // the destructor runs: no more submissions
    bool delivering = false;        // a packet is being handed to the handler
};

#endif
