#include "device/DeviceLock.h"

#include <fcntl.h>
#include <libusb.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>
#include <utility>

#include "util/failure_detail.h"
#include "zentrova/usb/UsbException.h"

namespace zentrova {

namespace {

class DeviceInUse : public UsbException, public FailureDetail {
public:
    explicit DeviceInUse(const std::string& node)
        : UsbException(("another program is using the mouse at " + node + "; try again when it is done").c_str()),
          FailureDetail(LIBUSB_ERROR_BUSY, node, true)
    {
    }
};

} // namespace

DeviceLock::~DeviceLock()
{
    if (fd >= 0)
        ::close(fd); // releases the lock
}

DeviceLock::DeviceLock(DeviceLock&& other) noexcept : fd(std::exchange(other.fd, -1)) {}

DeviceLock& DeviceLock::operator=(DeviceLock&& other) noexcept
{
    if (this != &other) {
        if (fd >= 0)
            ::close(fd);
        fd = std::exchange(other.fd, -1);
    }
    return *this;
}

DeviceLock DeviceLock::acquire(const std::string& node, std::chrono::milliseconds wait)
{
    // Read-only and without blocking: the node is only a key here; the
    // transfers go through libusb's own descriptor.
    DeviceLock lock(::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (!lock.held())
        return lock;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + wait;
    // The holder's operation usually ends within milliseconds; a long one
    // (a firmware image) is not polled for more than 20 times a second.
    std::chrono::milliseconds pause(1);
    while (::flock(lock.fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK)
            return DeviceLock(); // no locks on this node: go on without
        if (Clock::now() >= end)
            throw DeviceInUse(node);
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
    return lock;
}

} // namespace zentrova
