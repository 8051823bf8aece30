#include "zentrova/usb/UsbBulkOutEndpoint.h"

#include "usb/UsbBulkTransfer.h"

UsbBulkOutEndpoint::UsbBulkOutEndpoint(UsbDriver& driver, unsigned char endpointAddress)
    : driver(driver), endpointAddress(endpointAddress)
{
    UsbBulkTransfer::init(*this);
}

UsbBulkOutEndpoint::~UsbBulkOutEndpoint()
{
    UsbBulkTransfer::destroy(*this);
}

void UsbBulkOutEndpoint::submit(void* data, size_t size, unsigned int timeoutMs)
{
    UsbBulkTransfer::start(*this, data, size, timeoutMs, &UsbBulkOutEndpoint::libusb_out_callback);
}

size_t UsbBulkOutEndpoint::wait()
{
    const UsbBulkTransfer::Outcome o = UsbBulkTransfer::waitDone(*this);
    if (o.result < 0)
        throwUsbError(o.result);
    if (const char* message = UsbBulkTransfer::failureMessage(o.status))
        throw UsbException(message);
    return o.transferred;
}

void UsbBulkOutEndpoint::libusb_out_callback(libusb_transfer* t)
{
    static_cast<UsbBulkOutEndpoint*>(t->user_data)->callback(t);
}

void UsbBulkOutEndpoint::callback(libusb_transfer* t)
{
    UsbBulkTransfer::complete(*this, t, &UsbBulkOutEndpoint::libusb_out_callback);
}
