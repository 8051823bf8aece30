// The outcome of a device operation of the C++ API: what happened, in a cause
// a program can act on and a text a person can read.
#ifndef ZENTROVA_DEVICE_RESULT_H
#define ZENTROVA_DEVICE_RESULT_H

#include <string>

#include "zentrova/export.h"

namespace zentrova {

enum class Cause {
    Done,           // the operation was carried out
    NothingToDo,    // an argument selects nothing (slot 0, program above 64, a value beyond 0..255, ...); nothing was sent
    NoMouse,        // no mouse matches the selection
    SeveralMice,    // more than one mouse matches; select one by hand or serial number
    AccessDenied,   // the device node may not be opened (Result::deviceNode names it)
    Disconnected,   // the mouse went away
    Timeout,        // the mouse did not answer a request in time
    Busy,           // the mouse kept answering busy past the handshake or operation bound
    DeviceError,    // the mouse reported an error (status 2), refused a request or an image
    UsbError,       // any other USB failure
    InvalidFile,    // the image failed its checks
    UnreadableFile, // the file could not be opened or read
    Unexpected      // anything else (out of memory, ...)
};

// A short, stable name of the cause: "done", "nothing to do", "no mouse",
// "several mice", "access denied", "disconnected", "timeout", "busy",
// "device error", "USB error", "invalid file", "unreadable file", "unexpected".
ZENTROVA_API const char* causeName(Cause cause);

struct Result {
    Cause cause = Cause::Done;
    std::string message;    // what happened, for a person ("stall", "2 mice attached: ...")
    std::string deviceNode; // the node concerned, e.g. "/dev/bus/usb/001/002" (set for AccessDenied)

    // True when nothing failed: Done or NothingToDo.
    bool ok() const { return cause == Cause::Done || cause == Cause::NothingToDo; }
    explicit operator bool() const { return ok(); }
};

} // namespace zentrova

#endif
