// A umockdev testbed with a root hub on bus 1 and simulated USB devices
// behind it. The real, unmodified libusb of the process (or of a child
// process that inherits UMOCKDEV_DIR and runs under the preload) enumerates
// the devices from the mocked sysfs and talks to them through usbfs ioctls,
// which this testbed answers with the devices' DeviceModels.
//
// Rules of umockdev that shape its use:
//  - the process must run under libumockdev-preload (see Preload.h);
//  - create the testbed before libusb_init() and before any other thread;
//    one testbed per process at a time (it sets UMOCKDEV_DIR);
//  - add devices before libusb_init() (later additions send an "add" uevent).
#ifndef ZENTROVA_SIM_TESTBED_H
#define ZENTROVA_SIM_TESTBED_H

#include <memory>
#include <string>

#include "sim/DeviceModel.h"

namespace zentrova::sim {

// A device attached to the testbed.
struct SimDevice {
    int busnum = 1;
    int devnum = 0;
    std::string devnode;  // "/dev/bus/usb/001/002"
    std::string syspath;  // "/sys/devices/usb1/1-1"
    std::shared_ptr<DeviceModel> model;
};

class Testbed {
public:
    // Throws std::runtime_error when the umockdev preload is not active.
    Testbed();
    ~Testbed();
    Testbed(const Testbed&) = delete;
    Testbed& operator=(const Testbed&) = delete;

    // Attaches `model` on bus 1 at the next free address (2, 3, ...). The
    // device node is a FIFO that poll() sees writable only while a URB is
    // ready to reap, so libusb's event loop sleeps as on real hardware.
    SimDevice addDevice(std::shared_ptr<DeviceModel> model);

    // Unplugs the device of `model`: URBs in flight finish with -ESHUTDOWN,
    // later ones fail with ENODEV, a "remove" uevent is sent and the device
    // leaves sysfs. Safe from any thread; a second call does nothing.
    void unplug(const DeviceModel& model);

    // The temporary directory that stands in for / (sys/, dev/).
    std::string rootDir() const;

    struct Core;

private:
    std::shared_ptr<Core> core;
};

} // namespace zentrova::sim

#endif
