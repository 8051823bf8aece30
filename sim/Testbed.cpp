// usbfs emulation: umockdev hands every ioctl on a simulated device node to
// handle(); URBs are kept per client until the device model finishes them
// and the host reaps them.
#include "sim/Testbed.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>
#include <sys/stat.h>
#include <unistd.h>

#include <umockdev.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <list>
#include <mutex>
#include <stdexcept>

#include "sim/Preload.h"

namespace zentrova::sim {

namespace {

struct UrbRecord;

// A simulated device as the ioctl handler tracks it.
struct DeviceEntry {
    SimDevice info;
    int fifo = -1;          // our end of the device node
    bool fifoFull = false;  // full: poll() on the node does not report POLLOUT
    bool gone = false;      // unplugged
    std::list<std::shared_ptr<UrbRecord>> urbs; // submitted and not yet reaped, oldest first
};

// One submitted URB.
struct UrbRecord {
    DeviceEntry* device = nullptr;
    UMockdevIoctlClient* client = nullptr; // reference held
    UMockdevIoctlData* urb = nullptr;      // local copy of struct usbdevfs_urb, reference held
    UMockdevIoctlData* buffer = nullptr;   // local copy of its buffer (may be null), reference held
    unsigned long clientAddr = 0;          // the URB's address in the client
    uint8_t type = 0;
    uint8_t endpoint = 0;
    bool in = false;
    size_t dataOffset = 0;    // 8 for control URBs: the setup packet comes first
    size_t capacity = 0;      // data-stage bytes the host buffer has room for
    std::vector<uint8_t> out; // OUT data stage
    std::weak_ptr<Transfer> transfer; // bulk/interrupt: the object the model holds

    // Written under the core's mutex until `finished` is set, read by reap() after.
    bool finished = false;
    int status = 0;
    int actual = 0;
    std::vector<uint8_t> data; // IN answer
    size_t outAccepted = SIZE_MAX;  // OUT bytes the device takes on success
    std::vector<uint8_t> partialIn; // moved before a discard (setPartial)
    size_t partialOut = 0;

    UrbRecord() = default;
    UrbRecord(const UrbRecord&) = delete;
    UrbRecord& operator=(const UrbRecord&) = delete;
    ~UrbRecord()
    {
        if (buffer)
            umockdev_ioctl_data_unref(buffer);
        if (urb)
            umockdev_ioctl_data_unref(urb);
        if (client)
            g_object_unref(client);
    }
};

void fillFifo(int fd)
{
    static const char block[4096] = {};
    while (write(fd, block, sizeof block) > 0) {
    }
    while (write(fd, block, 1) > 0) {
    }
}

void drainFifo(int fd)
{
    char block[4096];
    while (read(fd, block, sizeof block) > 0) {
    }
}

void makeDirs(const std::string& path)
{
    for (size_t pos = 1; (pos = path.find('/', pos)) != std::string::npos; ++pos)
        mkdir(path.substr(0, pos).c_str(), 0755);
    mkdir(path.c_str(), 0755);
}

std::string hex(const std::vector<uint8_t>& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    for (uint8_t b : bytes) {
        s += digits[b >> 4];
        s += digits[b & 15];
    }
    return s;
}

// The root hub: answers nothing but opens, so that a scan that opens every
// device can get past it.
class RootHub : public DeviceModel {
public:
    std::vector<uint8_t> descriptors() const override
    {
        return {0x12, 0x01, 0x00, 0x02, 0x09, 0x00, 0x01, 0x40, 0x6B, 0x1D, 0x02, 0x00, 0x06, 0x05, 0x00,
                0x00, 0x00, 0x01, 0x09, 0x02, 0x19, 0x00, 0x01, 0x01, 0x00, 0xE0, 0x00, 0x09, 0x04, 0x00,
                0x00, 0x01, 0x09, 0x00, 0x00, 0x00, 0x07, 0x05, 0x81, 0x03, 0x04, 0x00, 0x0C};
    }
    std::string speed() const override { return "480"; }
    ControlReply control(const SetupPacket&, const std::vector<uint8_t>&) override { return ControlReply::stall(); }
};

} // namespace

struct Testbed::Core : std::enable_shared_from_this<Testbed::Core> {
    UMockdevTestbed* testbed = nullptr;
    UMockdevIoctlBase* handler = nullptr;
    std::string root;
    std::mutex mutex;
    std::vector<std::unique_ptr<DeviceEntry>> devices; // stable addresses
    int nextDevnum = 1;

    ~Core()
    {
        if (testbed)
            g_object_unref(testbed); // stops the worker thread, removes the directory
        if (handler)
            g_object_unref(handler);
        std::lock_guard<std::mutex> lock(mutex);
        for (auto& d : devices) {
            d->urbs.clear();
            if (d->fifo >= 0)
                ::close(d->fifo);
        }
    }

    SimDevice add(std::shared_ptr<DeviceModel> model, const char* parent);
    void unplug(DeviceEntry& dev);
    gboolean handle(UMockdevIoctlClient* client);

    // Makes poll() on the node report POLLOUT exactly while a URB is reapable.
    void updateReady(DeviceEntry& dev)
    {
        const bool ready = std::any_of(dev.urbs.begin(), dev.urbs.end(), [](auto& u) { return u->finished; });
        if (ready && dev.fifoFull) {
            drainFifo(dev.fifo);
            dev.fifoFull = false;
        } else if (!ready && !dev.fifoFull) {
            fillFifo(dev.fifo);
            dev.fifoFull = true;
        }
    }

    // Finishes `urb` once; under the mutex.
    bool finishLocked(UrbRecord& urb, int status, std::vector<uint8_t> data)
    {
        if (urb.finished)
            return false;
        urb.finished = true;
        urb.status = status;
        if (urb.in) {
            if (status != 0 && data.empty())
                data = std::move(urb.partialIn);
            if (data.size() > urb.capacity)
                data.resize(urb.capacity);
            urb.actual = static_cast<int>(data.size());
            urb.data = std::move(data);
        } else {
            urb.actual = static_cast<int>(std::min(urb.out.size(), status == 0 ? urb.outAccepted : urb.partialOut));
        }
        updateReady(*urb.device);
        return true;
    }

    bool finish(UrbRecord& urb, int status, std::vector<uint8_t> data = {})
    {
        std::lock_guard<std::mutex> lock(mutex);
        return finishLocked(urb, status, std::move(data));
    }

private:
    void submit(DeviceEntry& dev, UMockdevIoctlClient* client, UMockdevIoctlData* arg);
    void reap(DeviceEntry& dev, UMockdevIoctlClient* client, UMockdevIoctlData* arg);
    void discard(DeviceEntry& dev, UMockdevIoctlClient* client, UMockdevIoctlData* arg);
};

namespace {

class TransferImpl : public Transfer {
public:
    TransferImpl(std::weak_ptr<Testbed::Core> core, std::shared_ptr<UrbRecord> urb)
        : core(std::move(core)), urb(std::move(urb))
    {
    }
    uint8_t type() const override { return urb->type; }
    uint8_t endpoint() const override { return urb->endpoint; }
    const std::vector<uint8_t>& outData() const override { return urb->out; }
    size_t length() const override { return urb->in ? urb->capacity : urb->out.size(); }
    bool complete(int status, std::vector<uint8_t> data) override
    {
        auto c = core.lock();
        if (!c)
            return false;
        return c->finish(*urb, status, std::move(data));
    }
    bool completeOut(int status, size_t accepted) override
    {
        auto c = core.lock();
        if (!c)
            return false;
        std::lock_guard<std::mutex> lock(c->mutex);
        if (!urb->finished)
            urb->outAccepted = accepted;
        return c->finishLocked(*urb, status, {});
    }
    void setPartial(std::vector<uint8_t> inData, size_t outBytes) override
    {
        auto c = core.lock();
        if (!c)
            return;
        std::lock_guard<std::mutex> lock(c->mutex);
        urb->partialIn = std::move(inData);
        urb->partialOut = outBytes;
    }
    bool finished() const override
    {
        auto c = core.lock();
        if (!c)
            return true;
        std::lock_guard<std::mutex> lock(c->mutex);
        return urb->finished;
    }

private:
    std::weak_ptr<Testbed::Core> core;
    std::shared_ptr<UrbRecord> urb;
};

gboolean onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer core)
{
    return static_cast<Testbed::Core*>(core)->handle(client);
}

} // namespace

SimDevice Testbed::Core::add(std::shared_ptr<DeviceModel> model, const char* parent)
{
    auto dev = std::make_unique<DeviceEntry>();
    const int devnum = nextDevnum++;
    char node[64];
    std::snprintf(node, sizeof node, "/dev/bus/usb/001/%03d", devnum);
    dev->info.busnum = 1;
    dev->info.devnum = devnum;
    dev->info.devnode = node;
    dev->info.syspath = parent ? std::string("/sys/devices/usb1/1-") + std::to_string(devnum - 1)
                               : std::string("/sys/devices/usb1");
    dev->info.model = model;

    // The node is a FIFO of our own, created before the device so that
    // umockdev leaves it alone; kept full while nothing is reapable.
    const std::string path = root + node;
    makeDirs(path.substr(0, path.rfind('/')));
    if (mkfifo(path.c_str(), 0666) != 0)
        throw std::runtime_error("cannot create " + path + ": " + std::strerror(errno));
    dev->fifo = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (dev->fifo < 0)
        throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
    fcntl(dev->fifo, F_SETPIPE_SZ, 4096);
    fillFifo(dev->fifo);
    dev->fifoFull = true;

    GError* error = nullptr;
    if (!umockdev_testbed_attach_ioctl(testbed, node, handler, &error)) {
        std::string message = error ? error->message : "unknown error";
        g_clear_error(&error);
        throw std::runtime_error("cannot attach the ioctl handler to " + std::string(node) + ": " + message);
    }

    char numbers[16];
    std::snprintf(numbers, sizeof numbers, "%03d", devnum);
    std::string description = "P: " + dev->info.syspath.substr(4) + "\n"
        "E: SUBSYSTEM=usb\n"
        "E: DEVTYPE=usb_device\n"
        "E: DRIVER=usb\n"
        "E: BUSNUM=001\n"
        "E: DEVNUM=" + std::string(numbers) + "\n"
        "E: DEVNAME=" + node + "\n"
        "A: busnum=1\\n\n"
        "A: devnum=" + std::to_string(devnum) + "\\n\n"
        "A: speed=" + model->speed() + "\\n\n"
        "A: bConfigurationValue=1\\n\n"
        "A: dev=189:" + std::to_string(devnum - 1) + "\\n\n"
        "H: descriptors=" + hex(model->descriptors()) + "\n";
    {
        std::lock_guard<std::mutex> lock(mutex);
        devices.push_back(std::move(dev));
    }
    if (!umockdev_testbed_add_from_string(testbed, description.c_str(), &error)) {
        std::string message = error ? error->message : "unknown error";
        g_clear_error(&error);
        throw std::runtime_error("cannot add device " + std::string(node) + ": " + message);
    }
    std::lock_guard<std::mutex> lock(mutex);
    return devices.back()->info;
}

void Testbed::Core::unplug(DeviceEntry& dev)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (dev.gone)
            return;
        dev.gone = true;
        for (auto& urb : dev.urbs)
            finishLocked(*urb, -ESHUTDOWN, {});
        updateReady(dev);
    }
    dev.info.model->unplugged();
    umockdev_testbed_uevent(testbed, dev.info.syspath.c_str(), "remove");
    umockdev_testbed_remove_device(testbed, dev.info.syspath.c_str());
}

gboolean Testbed::Core::handle(UMockdevIoctlClient* client)
{
    const char* node = umockdev_ioctl_client_get_devnode(client);
    DeviceEntry* dev = nullptr;
    bool gone = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (auto& d : devices)
            if (node && d->info.devnode == node)
                dev = d.get();
        if (!dev)
            return FALSE;
        // URBs of clients that closed the node are never reaped.
        dev->urbs.remove_if([](auto& u) { return !umockdev_ioctl_client_get_connected(u->client); });
        updateReady(*dev);
        gone = dev->gone;
    }

    const gulong request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    switch (request) {
    case USBDEVFS_SUBMITURB:
        submit(*dev, client, arg);
        return TRUE;
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY:
        reap(*dev, client, arg);
        return TRUE;
    case USBDEVFS_DISCARDURB:
        discard(*dev, client, arg);
        return TRUE;
    default:
        break;
    }
    if (gone) {
        umockdev_ioctl_client_complete(client, -1, ENODEV);
        return TRUE;
    }
    switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
        GError* error = nullptr;
        UMockdevIoctlData* caps = umockdev_ioctl_data_resolve(arg, 0, sizeof(uint32_t), &error);
        if (!caps) {
            g_clear_error(&error);
            umockdev_ioctl_client_complete(client, -1, EFAULT);
            return TRUE;
        }
        // Scatter-gather, as most host controllers: libusb submits each bulk
        // transfer as one URB.
        const uint32_t value = USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                               USBDEVFS_CAP_BULK_SCATTER_GATHER |
                               USBDEVFS_CAP_REAP_AFTER_DISCONNECT | USBDEVFS_CAP_ZERO_PACKET;
        std::memcpy(caps->data, &value, sizeof value);
        umockdev_ioctl_client_complete(client, 0, 0);
        umockdev_ioctl_data_unref(caps);
        return TRUE;
    }
    case USBDEVFS_GETDRIVER:
        umockdev_ioctl_client_complete(client, -1, ENODATA); // no kernel driver bound
        return TRUE;
    case USBDEVFS_CLAIMINTERFACE:
    case USBDEVFS_RELEASEINTERFACE:
    case USBDEVFS_SETINTERFACE:
    case USBDEVFS_SETCONFIGURATION:
    case USBDEVFS_CLEAR_HALT:
    case USBDEVFS_RESET:
    case USBDEVFS_RESETEP:
    case USBDEVFS_IOCTL:
    case USBDEVFS_DISCONNECT_CLAIM:
    case USBDEVFS_FORBID_SUSPEND:
    case USBDEVFS_ALLOW_SUSPEND:
        umockdev_ioctl_client_complete(client, 0, 0);
        return TRUE;
    default:
        umockdev_ioctl_client_complete(client, -1, ENOTTY);
        return TRUE;
    }
}

void Testbed::Core::submit(DeviceEntry& dev, UMockdevIoctlClient* client, UMockdevIoctlData* arg)
{
    GError* error = nullptr;
    UMockdevIoctlData* urbData = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), &error);
    if (!urbData) {
        g_clear_error(&error);
        umockdev_ioctl_client_complete(client, -1, EFAULT);
        return;
    }
    auto urb = std::make_shared<UrbRecord>();
    urb->device = &dev;
    urb->urb = urbData;
    urb->client = static_cast<UMockdevIoctlClient*>(g_object_ref(client));
    urb->clientAddr = urbData->client_addr;

    usbdevfs_urb u;
    std::memcpy(&u, urbData->data, sizeof u);
    urb->type = u.type;
    urb->endpoint = u.endpoint;
    if (u.buffer && u.buffer_length > 0) {
        urb->buffer = umockdev_ioctl_data_resolve(urbData, offsetof(usbdevfs_urb, buffer),
                                                  static_cast<gsize>(u.buffer_length), &error);
        g_clear_error(&error);
    }
    const size_t bufferLength = urb->buffer ? static_cast<size_t>(urb->buffer->data_len) : 0;

    SetupPacket setup;
    const bool control = u.type == USBDEVFS_URB_TYPE_CONTROL;
    if (control) {
        if (bufferLength < 8) {
            umockdev_ioctl_client_complete(client, -1, EINVAL);
            return;
        }
        const uint8_t* s = urb->buffer->data;
        setup.bmRequestType = s[0];
        setup.bRequest = s[1];
        setup.wValue = static_cast<uint16_t>(s[2] | s[3] << 8);
        setup.wIndex = static_cast<uint16_t>(s[4] | s[5] << 8);
        setup.wLength = static_cast<uint16_t>(s[6] | s[7] << 8);
        urb->dataOffset = 8;
        urb->capacity = std::min<size_t>(setup.wLength, bufferLength - 8);
        urb->in = setup.isIn();
    } else if (u.type == USBDEVFS_URB_TYPE_BULK || u.type == USBDEVFS_URB_TYPE_INTERRUPT) {
        urb->capacity = bufferLength;
        urb->in = u.endpoint & 0x80;
    } else {
        umockdev_ioctl_client_complete(client, -1, EINVAL); // isochronous: not simulated
        return;
    }
    if (!urb->in && urb->capacity)
        urb->out.assign(urb->buffer->data + urb->dataOffset, urb->buffer->data + urb->dataOffset + urb->capacity);

    {
        // Checked together with queueing, so an unplug either sees this URB or refuses it.
        std::lock_guard<std::mutex> lock(mutex);
        if (!dev.gone)
            dev.urbs.push_back(urb);
        else
            urb.reset();
    }
    if (!urb) {
        umockdev_ioctl_client_complete(client, -1, ENODEV);
        return;
    }
    umockdev_ioctl_client_complete(client, 0, 0);

    // The model runs without our lock: it may finish transfers from its own
    // threads, which takes the lock.
    if (control) {
        ControlReply reply;
        try {
            reply = dev.info.model->control(setup, urb->out);
        } catch (...) {
            reply = ControlReply::stall();
        }
        switch (reply.kind) {
        case ControlReply::Kind::Answer:
            urb->outAccepted = reply.accepted;
            finish(*urb, 0, std::move(reply.data));
            break;
        case ControlReply::Kind::Stall:
            finish(*urb, -EPIPE);
            break;
        case ControlReply::Kind::NoAnswer:
            break;
        case ControlReply::Kind::Unplug:
            unplug(dev);
            break;
        }
    } else {
        auto transfer = std::make_shared<TransferImpl>(weak_from_this(), urb);
        urb->transfer = transfer;
        try {
            dev.info.model->transfer(transfer);
        } catch (...) {
            transfer->complete(-EPIPE, {});
        }
    }
}

void Testbed::Core::reap(DeviceEntry& dev, UMockdevIoctlClient* client, UMockdevIoctlData* arg)
{
    std::shared_ptr<UrbRecord> urb;
    bool gone;
    {
        std::lock_guard<std::mutex> lock(mutex);
        auto it = std::find_if(dev.urbs.begin(), dev.urbs.end(),
                               [client](auto& u) { return u->client == client && u->finished; });
        if (it != dev.urbs.end()) {
            urb = *it;
            dev.urbs.erase(it);
        }
        updateReady(dev);
        gone = dev.gone;
    }
    if (!urb) {
        umockdev_ioctl_client_complete(client, -1, gone ? ENODEV : EAGAIN);
        return;
    }

    // All writes into client data happen here, on the worker thread.
    usbdevfs_urb u;
    std::memcpy(&u, urb->urb->data, sizeof u);
    u.status = urb->status;
    u.actual_length = urb->actual;
    std::memcpy(urb->urb->data, &u, sizeof u);
    if (urb->in && urb->buffer && urb->actual > 0) {
        const size_t room = static_cast<size_t>(urb->buffer->data_len) - urb->dataOffset;
        std::memcpy(urb->buffer->data + urb->dataOffset, urb->data.data(),
                    std::min(room, static_cast<size_t>(urb->actual)));
    }

    GError* error = nullptr;
    UMockdevIoctlData* pointer = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), &error);
    if (!pointer) {
        g_clear_error(&error);
        umockdev_ioctl_client_complete(client, -1, EFAULT);
        return;
    }
    umockdev_ioctl_data_set_ptr(pointer, 0, urb->urb);
    umockdev_ioctl_client_complete(client, 0, 0);
    umockdev_ioctl_data_unref(pointer);
}

void Testbed::Core::discard(DeviceEntry& dev, UMockdevIoctlClient* client, UMockdevIoctlData* arg)
{
    unsigned long address = 0;
    std::memcpy(&address, arg->data, std::min(sizeof address, static_cast<size_t>(arg->data_len)));
    std::shared_ptr<UrbRecord> hit;
    {
        std::lock_guard<std::mutex> lock(mutex);
        for (auto& u : dev.urbs) {
            if (u->client == client && u->clientAddr == address) {
                if (finishLocked(*u, -ENOENT, {}))
                    hit = u;
                break;
            }
        }
    }
    if (!hit) {
        umockdev_ioctl_client_complete(client, -1, EINVAL); // unknown or already finished
        return;
    }
    umockdev_ioctl_client_complete(client, 0, 0);
    if (auto transfer = hit->transfer.lock())
        dev.info.model->discarded(*transfer);
}

// ---------------------------------------------------------------------------

Testbed::Testbed() : core(std::make_shared<Core>())
{
    if (!preloadActive())
        throw std::runtime_error("the simulated USB devices need libumockdev-preload.so.0 in LD_PRELOAD");
    core->testbed = umockdev_testbed_new();
    if (!core->testbed)
        throw std::runtime_error("cannot create the umockdev testbed");
    gchar* root = umockdev_testbed_get_root_dir(core->testbed);
    core->root = root;
    g_free(root);
    core->handler = umockdev_ioctl_base_new();
    g_signal_connect(core->handler, "handle-ioctl", G_CALLBACK(onIoctl), core.get());
    core->add(std::make_shared<RootHub>(), nullptr);
}

Testbed::~Testbed() = default;

SimDevice Testbed::addDevice(std::shared_ptr<DeviceModel> model)
{
    if (!model)
        throw std::invalid_argument("Testbed::addDevice: no model");
    return core->add(std::move(model), "usb1");
}

void Testbed::unplug(const DeviceModel& model)
{
    DeviceEntry* dev = nullptr;
    {
        std::lock_guard<std::mutex> lock(core->mutex);
        for (auto& d : core->devices)
            if (d->info.model.get() == &model)
                dev = d.get();
    }
    if (dev)
        core->unplug(*dev);
}

std::string Testbed::rootDir() const
{
    return core->root;
}

} // namespace zentrova::sim
