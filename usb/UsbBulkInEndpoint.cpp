#include "zentrova/usb/UsbBulkInEndpoint.h"

#include <errno.h>

#include <cstdio>
#include <cstdlib>

#include "usb/UsbBulkTransfer.h"

namespace {

// Reports a violated precondition the way the C library's assert() does,
// then aborts.
[[noreturn]] void assertionFailed(const char* expression, const char* file, unsigned line, const char* function)
{
    std::fprintf(stderr, "%s: %s:%u: %s: Assertion `%s' failed.\n", program_invocation_short_name, file, line,
                 function, expression);
    std::fflush(stderr);
    std::abort();
}

} // namespace

UsbBulkInEndpoint::UsbBulkInEndpoint(UsbDriver& driver, unsigned char endpointAddress)
    : driver(driver), endpointAddress(endpointAddress)
{
    UsbBulkTransfer::init(*this);
}

UsbBulkInEndpoint::~UsbBulkInEndpoint()
{
    UsbBulkTransfer::destroy(*this);
}

bool UsbBulkInEndpoint::receive(void* data, size_t size, size_t& received, uint32_t timeoutMs)
{
    // Whole 512-byte packets only, so that the device can never send more
    // than the buffer holds. Checked in every build; the report names the
    // UsbDriver source unit.
    if ((size & 0x1FF) != 0)
        assertionFailed("(size & 0x1FF) == 0", "UsbDriver", 492,
                        "bool UsbBulkInEndpoint::receive(void*, size_t, size_t&, uint32_t)");

    UsbBulkTransfer::start(*this, data, size, timeoutMs, &UsbBulkInEndpoint::libusb_in_callback);
    const UsbBulkTransfer::Outcome o = UsbBulkTransfer::waitDone(*this);
    if (o.result < 0)
        throwUsbError(o.result);
    if (o.status == LIBUSB_TRANSFER_TIMED_OUT) {
        received = o.transferred;
        return false;
    }
    if (const char* message = UsbBulkTransfer::failureMessage(o.status))
        throw UsbException(message);
    received = o.transferred;
    return o.status == LIBUSB_TRANSFER_COMPLETED;
}

void UsbBulkInEndpoint::flush()
{
    libusb_device_handle* handle = driver.deviceHandle();
    if (!handle)
        throwUsbError(LIBUSB_ERROR_NO_DEVICE);
    unsigned char scratch[4096];
    for (;;) {
        int actual = 0;
        const int rc = libusb_bulk_transfer(handle, endpointAddress, scratch, sizeof scratch, &actual, 50);
        if (rc == 0)
            continue;
        if (rc == LIBUSB_ERROR_TIMEOUT)
            return;
        throwUsbError(rc);
    }
}

void UsbBulkInEndpoint::libusb_in_callback(libusb_transfer* t)
{
    static_cast<UsbBulkInEndpoint*>(t->user_data)->callback(t);
}

void UsbBulkInEndpoint::callback(libusb_transfer* t)
{
    UsbBulkTransfer::complete(*this, t, &UsbBulkInEndpoint::libusb_in_callback);
}
