// UsbDriver through the real libusb against simulated devices: the error
// table, enumeration, open/close with their hooks.
#include <libusb.h>

#include <cstring>
#include <string>
#include <vector>

#include "sim/StandardDevice.h"
#include "usb/SimFixture.h"
#include "zentrova/usb/UsbDriver.h"

using zentrova::sim::MouseConfig;

namespace {

// A device class that records its hooks and can be told to fail in them.
class ProbeDriver : public virtual UsbDriver {
public:
    explicit ProbeDriver(int vid = 0x7A51, int pid = -1) : vid(vid), pid(pid) {}
    ~ProbeDriver() override
    {
        if (closeOnDestroy)
            UsbDriver::close();
    }
    void find(std::vector<UsbDeviceInfo>& devices) override { findByVidPid(devices, vid, pid); }

    int opens = 0;
    int closes = 0;
    bool failOpenHook = false;
    bool failCloseHook = false;
    bool closeOnDestroy = true;
    using UsbDriver::handle;

protected:
    void open_callback() override
    {
        ++opens;
        if (failOpenHook)
            throw UsbException("open hook failed");
    }
    void close_callback() override
    {
        ++closes;
        if (failCloseHook)
            throw UsbException("close hook failed");
    }

private:
    int vid, pid;
};

std::string messageOf(int code)
{
    try {
        throwUsbError(code);
    } catch (const UsbException& e) {
        return e.what();
    }
    return "(nothing thrown)";
}

} // namespace

TEST(UsbError, EveryLibusbCodeHasItsFixedMessage)
{
    const struct {
        int code;
        const char* message;
    } table[] = {
        {LIBUSB_ERROR_IO, "IO error"},
        {LIBUSB_ERROR_INVALID_PARAM, "invalid parameter"},
        {LIBUSB_ERROR_ACCESS, "access denied (insufficient permissions)"},
        {LIBUSB_ERROR_NO_DEVICE, "no such device (it may have been disconnected)"},
        {LIBUSB_ERROR_NOT_FOUND, "entity not found"},
        {LIBUSB_ERROR_BUSY, "resource busy"},
        {LIBUSB_ERROR_TIMEOUT, "timeout"},
        {LIBUSB_ERROR_OVERFLOW, "overflow error"},
        {LIBUSB_ERROR_PIPE, "stall"},
        {LIBUSB_ERROR_INTERRUPTED, "system call interrupted (perhaps due to signal)"},
        {LIBUSB_ERROR_NO_MEM, "insufficient memory"},
        {LIBUSB_ERROR_NOT_SUPPORTED, "operation not supported or unimplemented on this platform"},
        {LIBUSB_ERROR_OTHER, "unknown error"},
        {-13, "unknown error"},
        {0, "unknown error"},
        {1, "unknown error"},
        {-2147483647 - 1, "unknown error"},
    };
    for (const auto& row : table)
        EXPECT_EQ(messageOf(row.code), row.message) << "code " << row.code;
}

TEST(UsbError, EachCopyOwnsItsText)
{
    auto original = std::make_unique<UsbException>("stall");
    UsbException copy(*original);
    UsbException assigned("x");
    assigned = *original;
    EXPECT_NE(copy.what(), original->what());
    original.reset();
    EXPECT_STREQ(copy.what(), "stall");
    EXPECT_STREQ(assigned.what(), "stall");
    assigned = assigned;
    EXPECT_STREQ(assigned.what(), "stall");
    UsbException moved(std::move(copy));
    EXPECT_STREQ(moved.what(), "stall");
    EXPECT_STREQ(copy.what(), ""); // a moved-from exception still answers
    EXPECT_STREQ(UsbException(nullptr).what(), "");
}

// --- enumeration ----------------------------------------------------------

TEST_F(SimTest, FindByProductSelectsTheHand)
{
    MouseConfig left = MouseConfig::left();
    left.bcdDevice = 0x0207;
    addMouse(MouseConfig::right());
    addMouse(left);

    for (int pid : {2, 3}) {
        ProbeDriver driver(0x7A51, pid);
        std::vector<UsbDeviceInfo> devices(3); // emptied first
        driver.find(devices);
        ASSERT_EQ(devices.size(), 1u) << "product " << pid;
        const UsbDeviceInfo& d = devices[0];
        EXPECT_EQ(d.vid, 0x7A51);
        EXPECT_EQ(d.pid, pid);
        EXPECT_EQ(d.bcdDevice, pid == 2 ? 0x0123 : 0x0207);
        EXPECT_EQ(d.manufacturer, "Zentrova");
        EXPECT_EQ(d.product, pid == 2 ? "Zentrova Mouse (right hand)" : "Zentrova Mouse (left hand)");
        EXPECT_EQ(d.serialNumber, pid == 2 ? "ZV-R-0001" : "ZV-L-0001");
        EXPECT_NE(d.device, nullptr);
        EXPECT_FALSE(driver.isOpened()); // the probe is released
    }
}

TEST_F(SimTest, EnumeratesSeveralMiceAndMatchesNothingForOtherIds)
{
    for (const char* serial : {"A1", "B2", "C3"}) {
        MouseConfig c;
        c.serialNumber = serial;
        addMouse(c);
    }
    addMouse(MouseConfig::left());

    ProbeDriver driver;
    std::vector<UsbDeviceInfo> devices;
    driver.findByVidPid(devices, 0x7A51, 2);
    ASSERT_EQ(devices.size(), 3u);
    std::vector<std::string> serials;
    for (const auto& d : devices)
        serials.push_back(d.serialNumber);
    std::sort(serials.begin(), serials.end());
    EXPECT_EQ(serials, (std::vector<std::string>{"A1", "B2", "C3"}));

    driver.findByVidPid(devices, 0x7A51, -1);
    EXPECT_EQ(devices.size(), 4u);

    // -1 is the only wildcard; other negative values and other IDs match nothing.
    for (auto [vid, pid] : {std::pair{0x7A51, 4}, std::pair{0x1234, -1}, std::pair{-2, -1}, std::pair{-1, -2}}) {
        devices.resize(2);
        driver.findByVidPid(devices, vid, pid);
        EXPECT_TRUE(devices.empty()) << vid << ":" << pid;
    }
}

TEST_F(SimTest, AnyIdListsEveryDeviceWithTheRootHub)
{
    addMouse();
    ProbeDriver driver;
    std::vector<UsbDeviceInfo> devices;
    driver.findByVidPid(devices, -1, -1);
    ASSERT_EQ(devices.size(), 2u);
    int hubs = 0;
    for (const auto& d : devices) {
        if (d.vid == 0x1D6B) {
            ++hubs;
            EXPECT_EQ(d.manufacturer, ""); // the hub has no strings
        }
    }
    EXPECT_EQ(hubs, 1);
}

TEST_F(SimTest, StringIndicesZeroGiveEmptyStringsWithoutAnyRequest)
{
    MouseConfig c;
    c.iManufacturer = c.iProduct = c.iSerialNumber = 0;
    auto mouse = addMouse(c);
    ProbeDriver driver;
    std::vector<UsbDeviceInfo> devices;
    driver.find(devices);
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].manufacturer, "");
    EXPECT_EQ(devices[0].product, "");
    EXPECT_EQ(devices[0].serialNumber, "");
    EXPECT_TRUE(mouse->transcript().empty());
}

TEST_F(SimTest, StringsAreReadWithStandardRequests)
{
    auto mouse = addMouse();
    ProbeDriver driver;
    std::vector<UsbDeviceInfo> devices;
    driver.find(devices);
    const auto t = mouse->transcript();
    ASSERT_FALSE(t.empty());
    for (const auto& r : t) {
        EXPECT_EQ(r.setup.bmRequestType, 0x80);
        EXPECT_EQ(r.setup.bRequest, 6);           // GET_DESCRIPTOR
        EXPECT_EQ(r.setup.wValue >> 8, 3);        // string
    }
    EXPECT_EQ(t.back().setup.wValue, 0x0303);     // the serial number comes last
}

TEST_F(SimTest, FailingStringReadEndsTheEnumerationAndReleasesTheProbe)
{
    using namespace zentrova::sim;
    // Two devices whose product string index points at no string: the
    // device stalls that request.
    for (int i = 0; i < 2; ++i) {
        DeviceDescriptorFields f;
        f.idVendor = 0x7A51;
        f.idProduct = 9;
        f.iProduct = 5;
        testbed->addDevice(std::make_shared<StandardDevice>(deviceDescriptorBytes(f),
                                                            std::vector<std::vector<uint8_t>>{{9, 2, 9, 0, 0, 1, 0, 0x80, 50}},
                                                            std::map<uint8_t, std::string>{}));
    }
    addMouse();
    ProbeDriver driver(0x7A51, 9);
    std::vector<UsbDeviceInfo> devices(1);
    try {
        driver.find(devices);
        FAIL() << "no exception";
    } catch (const UsbException& e) {
        EXPECT_STREQ(e.what(), "stall");
    }
    EXPECT_TRUE(devices.empty()); // nothing appended before the failing device
    EXPECT_FALSE(driver.isOpened());
    EXPECT_EQ(driver.handle, nullptr);

    // The driver stays usable.
    ProbeDriver other(0x7A51, 2);
    other.find(devices);
    EXPECT_EQ(devices.size(), 1u);
}

// --- open, close and the hooks ------------------------------------------

TEST_F(SimTest, OpenRunsItsHookOnceAndIgnoresASecondOpen)
{
    addMouse();
    addMouse(MouseConfig::left());
    ProbeDriver driver;
    std::vector<UsbDeviceInfo> devices;
    driver.find(devices);
    ASSERT_EQ(devices.size(), 2u);
    driver.open(devices[0]);
    libusb_device_handle* first = driver.handle;
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(libusb_get_device(first), devices[0].device);
    driver.open(devices[1]); // ignored: already open
    EXPECT_EQ(driver.handle, first);
    EXPECT_EQ(driver.opens, 1);

    driver.close();
    EXPECT_FALSE(driver.isOpened());
    EXPECT_EQ(driver.closes, 1);
    driver.close(); // nothing open: no hook
    EXPECT_EQ(driver.closes, 1);

    driver.open(devices[1]);
    EXPECT_EQ(driver.opens, 2);
    driver.forceClose(); // never the hook
    EXPECT_FALSE(driver.isOpened());
    EXPECT_EQ(driver.closes, 1);
    driver.forceClose(); // nothing open
}

TEST_F(SimTest, FailingHooksLeaveTheHandleOpen)
{
    addMouse();
    ProbeDriver driver;
    std::vector<UsbDeviceInfo> devices;
    driver.find(devices);
    ASSERT_EQ(devices.size(), 1u);

    driver.failOpenHook = true;
    EXPECT_THROW(driver.open(devices[0]), UsbException);
    EXPECT_TRUE(driver.isOpened());

    driver.failCloseHook = true;
    EXPECT_THROW(driver.close(), UsbException);
    EXPECT_TRUE(driver.isOpened());
    EXPECT_EQ(driver.closes, 1);
    driver.forceClose();
    EXPECT_FALSE(driver.isOpened());
}

TEST_F(SimTest, BaseDestructorReleasesADeviceTheDerivedClassLeftOpen)
{
    addMouse();
    int closes = 0;
    {
        ProbeDriver driver;
        driver.closeOnDestroy = false;
        std::vector<UsbDeviceInfo> devices;
        driver.find(devices);
        ASSERT_EQ(devices.size(), 1u);
        driver.open(devices[0]);
        closes = driver.closes;
    } // must neither call the (gone) hook nor leak the handle
    EXPECT_EQ(closes, 0);
}

TEST_F(SimTest, OpenRejectsARecordWithoutDevice)
{
    ProbeDriver driver;
    UsbDeviceInfo empty;
    try {
        driver.open(empty);
        FAIL() << "no exception";
    } catch (const UsbException& e) {
        EXPECT_STREQ(e.what(), "invalid parameter");
    }
    EXPECT_FALSE(driver.isOpened());
    EXPECT_EQ(driver.opens, 0);
}

TEST_F(SimTest, GetStringNeedsAnOpenDeviceAndReadsTheText)
{
    addMouse();
    ProbeDriver driver;
    std::string text = "old";
    EXPECT_THROW(driver.getString(text, 1), UsbException);
    std::vector<UsbDeviceInfo> devices;
    driver.find(devices);
    driver.open(devices[0]);
    driver.getString(text, 2);
    EXPECT_EQ(text, "Zentrova Mouse (right hand)");
    try {
        driver.getString(text, 9); // no such string: the device stalls
        FAIL() << "no exception";
    } catch (const UsbException& e) {
        EXPECT_STREQ(e.what(), "stall");
    }
    EXPECT_EQ(text, "Zentrova Mouse (right hand)");
}

TEST_F(SimTest, EnumeratingWhileOpenKeepsTheOpenDevice)
{
    addMouse();
    ProbeDriver driver;
    std::vector<UsbDeviceInfo> devices;
    driver.find(devices);
    driver.open(devices[0]);
    libusb_device_handle* open = driver.handle;
    std::vector<UsbDeviceInfo> again;
    driver.find(again);
    EXPECT_EQ(again.size(), 1u);
    EXPECT_EQ(driver.handle, open);
    std::string text;
    driver.getString(text, 1); // still usable
    EXPECT_EQ(text, "Zentrova");
}
