#include "zentrova/usb/UsbInterruptInEndpoint.h"

#include <libusb.h>

#include <cstdio>

#include "zentrova/usb/UsbDriver.h"
#include "usb/MutexLock.h"

namespace {

constexpr size_t POOL_BUFFERS = 8;
constexpr size_t BUFFER_SIZE = 512;

} // namespace

UsbInterruptInEndpoint::UsbInterruptInEndpoint(UsbDriver& driver, unsigned char endpointAddress, Handler handler)
    : driver(driver), endpointAddress(endpointAddress), handler(std::move(handler)),
      pool(new PbufPool(POOL_BUFFERS, BUFFER_SIZE))
{
    pool->reset();
    current = pool->palloc();
    libusb_device_handle* handle = driver.deviceHandle();
    if (!handle)
        throwUsbError(LIBUSB_ERROR_NO_DEVICE);
    transfer = libusb_alloc_transfer(0);
    if (!transfer)
        throwUsbError(LIBUSB_ERROR_NO_MEM);
    pthread_cond_init(&cond, nullptr);
    pthread_mutex_init(&mutex, nullptr);
    pthread_mutex_init(&handlerMutex, nullptr);

    int rc;
    {
        MutexLock lock(mutex);
        fillTransfer(handle, current);
        busy = true;
        rc = libusb_submit_transfer(transfer);
        if (rc < 0)
            busy = false;
    }
    if (rc < 0) {
        libusb_free_transfer(transfer);
        pthread_cond_destroy(&cond);
        pthread_mutex_destroy(&mutex);
        pthread_mutex_destroy(&handlerMutex);
        throwUsbError(rc);
    }
}

UsbInterruptInEndpoint::~UsbInterruptInEndpoint()
{
    {
        MutexLock lock(mutex);
        stopping = true; // no re-submission from now on
        bool cancelled = false;
        while (busy || delivering) {
            if (busy && !cancelled) {
                libusb_cancel_transfer(transfer);
                cancelled = true;
            }
            pthread_cond_wait(&cond, &mutex);
        }
    }
    libusb_free_transfer(transfer);
    pthread_cond_destroy(&cond);
    pthread_mutex_destroy(&mutex);
    pthread_mutex_destroy(&handlerMutex);
    // The pool, with every buffer, and the handler go with the members.
}

void UsbInterruptInEndpoint::setHandler(Handler newHandler)
{
    MutexLock lock(handlerMutex);
    handler = std::move(newHandler);
}

bool UsbInterruptInEndpoint::isReceiving() const
{
    MutexLock lock(mutex);
    return busy;
}

void UsbInterruptInEndpoint::fillTransfer(libusb_device_handle* handle, pbuf_t* buffer)
{
    transfer->dev_handle = handle;
    transfer->endpoint = endpointAddress;
    transfer->type = LIBUSB_TRANSFER_TYPE_INTERRUPT;
    transfer->timeout = 0;
    transfer->length = static_cast<int>(buffer->capacity);
    transfer->callback = &UsbInterruptInEndpoint::libusb_in_callback;
    transfer->user_data = this;
    transfer->buffer = buffer->data;
}

void UsbInterruptInEndpoint::libusb_in_callback(libusb_transfer* t)
{
    static_cast<UsbInterruptInEndpoint*>(t->user_data)->callback(t);
}

void UsbInterruptInEndpoint::callback(libusb_transfer* t)
{
    pbuf_t* filled;
    {
        MutexLock lock(mutex);
        busy = false;
        if (t->status != LIBUSB_TRANSFER_COMPLETED || stopping) {
            // Stopped: nothing is delivered and nothing submitted again.
            pthread_cond_broadcast(&cond);
            return;
        }
        filled = current;
        const size_t actual = t->actual_length > 0 ? static_cast<size_t>(t->actual_length) : 0;
        filled->length = actual < filled->capacity ? actual : filled->capacity;

        // The next transfer starts before the filled buffer is delivered.
        current = pool->palloc();
        if (current) {
            fillTransfer(t->dev_handle, current);
            if (libusb_submit_transfer(transfer) < 0) {
                std::fputs("\r\nCannot submit INTR transfer", stdout);
                std::fflush(stdout);
                pool->free_internal(current);
                current = nullptr;
            } else {
                busy = true;
            }
        }
        delivering = true;
    }

    {
        MutexLock lock(handlerMutex);
        if (handler) {
            // Nothing may escape into libusb: a failing handler loses the
            // packet (and the buffer, unless it gave it back).
            try {
                handler(filled);
            } catch (...) {
            }
        } else {
            filled->pool->free_internal(filled);
        }
    }

    MutexLock lock(mutex);
    delivering = false;
    pthread_cond_broadcast(&cond);
}
