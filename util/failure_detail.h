// What the library knows about a failure beyond its message text. The
// exported exception classes carry only their text; the library throws
// internal types derived from them and from this record, so that its own
// callers can tell the causes apart while every other catcher sees the
// exported class with the same text as before.
#ifndef ZENTROVA_UTIL_FAILURE_DETAIL_H
#define ZENTROVA_UTIL_FAILURE_DETAIL_H

#include <string>

namespace zentrova {

struct FailureDetail {
    FailureDetail() = default;
    FailureDetail(int code, std::string node, bool busy = false)
        : usbCode(code), deviceNode(std::move(node)), stillBusy(busy) {}
    virtual ~FailureDetail() = default;

    int usbCode = 0;        // the libusb error code (LIBUSB_ERROR_*), 0 when none
    std::string deviceNode; // "/dev/bus/usb/001/002" when the failure concerns one device
    bool stillBusy = false; // the mouse kept answering busy past the handshake bound
};

// The detail attached to `e`, or null when it carries none.
template <typename E>
const FailureDetail* failureDetail(const E& e)
{
    return dynamic_cast<const FailureDetail*>(&e);
}

} // namespace zentrova

#endif
