// The advisory lock that one program holds on a mouse for the length of an
// operation, so that a second program (or a second Session) waits instead
// of interleaving its requests with ours.
//
// The lock is an flock() on the mouse's device node itself: it is keyed by
// the device (a mouse plugged in again gets a new node), is there for every
// user who may open the mouse, leaves no file behind, and two simulated
// testbeds never share it, since each has nodes of its own.
#ifndef ZENTROVA_DEVICE_DEVICELOCK_H
#define ZENTROVA_DEVICE_DEVICELOCK_H

#include <chrono>
#include <string>

namespace zentrova {

class DeviceLock {
public:
    DeviceLock() = default;
    ~DeviceLock();
    DeviceLock(DeviceLock&& other) noexcept;
    DeviceLock& operator=(DeviceLock&& other) noexcept;

    // Takes the lock on `node`, waiting at most `wait` while another holds
    // it; then throws a UsbException "another program is using the mouse at
    // NODE" whose detail is "still busy" (Cause::Busy). A node that cannot be
    // opened is not locked: the operation then meets what is wrong with it.
    static DeviceLock acquire(const std::string& node, std::chrono::milliseconds wait);

    bool held() const { return fd >= 0; }

private:
    explicit DeviceLock(int fd) : fd(fd) {}
    int fd = -1;
};

} // namespace zentrova

#endif
