// The chunked asynchronous transfer shared by the bulk OUT and IN endpoints:
// one libusb transfer re-submitted from its completion callback, chunk after
// chunk of at most 64 KiB, until the block has moved, a chunk comes back
// short, or a chunk fails. The owner's thread waits for the end on the
// endpoint's condition variable.
//
// Every field of an endpoint that the event thread touches is read and
// written under the endpoint's mutex; the completion runs wholly under it.
#ifndef ZENTROVA_USB_USBBULKTRANSFER_H
#define ZENTROVA_USB_USBBULKTRANSFER_H

#include <libusb.h>
#include <pthread.h>

#include <algorithm>
#include <cstddef>

#include "zentrova/usb/UsbDriver.h"
#include "usb/MutexLock.h"

struct UsbBulkTransfer {
    static constexpr size_t MAX_CHUNK = 0x10000;

    // The outcome of a finished operation, read under the mutex.
    struct Outcome {
        int status;
        int result;
        size_t transferred;
    };

    template <class Endpoint>
    static void init(Endpoint& ep)
    {
        ep.transfer = libusb_alloc_transfer(0);
        if (!ep.transfer)
            throwUsbError(LIBUSB_ERROR_NO_MEM);
        pthread_cond_init(&ep.cond, nullptr);
        pthread_mutex_init(&ep.mutex, nullptr);
    }

    // Cancels a transfer in flight and waits until its completion has run,
    // then releases the transfer and the synchronisation objects.
    template <class Endpoint>
    static void destroy(Endpoint& ep)
    {
        pthread_mutex_lock(&ep.mutex);
        ep.cancelling = true; // no re-submission from now on
        if (ep.busy)
            libusb_cancel_transfer(ep.transfer);
        while (ep.busy)
            pthread_cond_wait(&ep.cond, &ep.mutex);
        pthread_mutex_unlock(&ep.mutex);
        libusb_free_transfer(ep.transfer);
        pthread_cond_destroy(&ep.cond);
        pthread_mutex_destroy(&ep.mutex);
    }

    // Under the mutex.
    template <class Endpoint>
    static void fill(Endpoint& ep, libusb_device_handle* handle, libusb_transfer_cb_fn callback)
    {
        libusb_transfer* t = ep.transfer;
        t->dev_handle = handle;
        t->endpoint = ep.endpointAddress;
        t->type = LIBUSB_TRANSFER_TYPE_BULK;
        t->timeout = ep.timeoutMs;
        t->length = static_cast<int>(ep.chunk);
        t->callback = callback;
        t->user_data = &ep;
        t->buffer = ep.cursor;
    }

    // Starts an operation on `size` bytes at `data`; throws when the first
    // chunk cannot be submitted.
    template <class Endpoint>
    static void start(Endpoint& ep, void* data, size_t size, uint32_t timeoutMs, libusb_transfer_cb_fn callback)
    {
        libusb_device_handle* handle = ep.driver.deviceHandle();
        if (!handle)
            throwUsbError(LIBUSB_ERROR_NO_DEVICE);
        int rc;
        {
            MutexLock lock(ep.mutex);
            if (ep.busy)
                throwUsbError(LIBUSB_ERROR_BUSY);
            ep.timeoutMs = timeoutMs;
            ep.cursor = static_cast<uint8_t*>(data);
            ep.remaining = size;
            ep.transferred = 0;
            ep.done = false;
            ep.status = LIBUSB_TRANSFER_COMPLETED;
            ep.result = 0;
            ep.chunk = std::min(size, MAX_CHUNK);
            fill(ep, handle, callback);
            // Set before submitting: a completion that arrives at once waits
            // for the lock and then finds the operation in its proper state.
            ep.busy = true;
            rc = libusb_submit_transfer(ep.transfer);
            if (rc < 0) {
                ep.busy = false;
                ep.done = true;
            }
        }
        if (rc < 0)
            throwUsbError(rc);
    }

    // The completion of one chunk, on the event thread.
    template <class Endpoint>
    static void complete(Endpoint& ep, libusb_transfer* t, libusb_transfer_cb_fn callback)
    {
        MutexLock lock(ep.mutex);
        ep.busy = false;
        ep.status = t->status;
        size_t moved = t->actual_length > 0 ? static_cast<size_t>(t->actual_length) : 0;
        moved = std::min(moved, ep.chunk);
        ep.cursor += moved;
        ep.remaining -= moved;
        ep.transferred += moved;
        ep.result = 0;
        if (t->status == LIBUSB_TRANSFER_COMPLETED && ep.remaining != 0 && moved == ep.chunk && !ep.cancelling) {
            ep.chunk = std::min(ep.remaining, MAX_CHUNK);
            fill(ep, t->dev_handle, callback);
            ep.result = libusb_submit_transfer(t);
            if (ep.result == 0) {
                ep.busy = true;
                return;
            }
        }
        ep.done = true;
        pthread_cond_broadcast(&ep.cond);
    }

    template <class Endpoint>
    static Outcome waitDone(Endpoint& ep)
    {
        MutexLock lock(ep.mutex);
        while (!ep.done)
            pthread_cond_wait(&ep.cond, &ep.mutex);
        return {ep.status, ep.result, ep.transferred};
    }

    // The message a finished status is thrown with; null for a completion
    // and for statuses the caller judges itself (timeout on IN).
    static const char* failureMessage(int status)
    {
        switch (status) {
        case LIBUSB_TRANSFER_ERROR:     return "IO error";
        case LIBUSB_TRANSFER_TIMED_OUT: return "timeout";
        case LIBUSB_TRANSFER_CANCELLED: return "cancelled";
        case LIBUSB_TRANSFER_STALL:     return "stall";
        case LIBUSB_TRANSFER_NO_DEVICE: return "no such device (it may have been disconnected)";
        case LIBUSB_TRANSFER_OVERFLOW:  return "overflow error";
        default:                        return nullptr;
        }
    }
};

#endif
