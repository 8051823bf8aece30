// UsbDriver through the real libusb against simulated devices: the error
// table, enumeration, open/close with their hooks.
#include <libusb.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "support/SimFixture.h"
#include "zentrova/device/ZentrovaException.h"

using zentrova::sim::MouseConfig;

namespace {

// A device class that counts its hooks and can be told to fail in them.
class ProbeDriver : public virtual UsbDriver {
public:
    ~ProbeDriver() override
    {
        if (closeOnDestroy)
            UsbDriver::close();
    }
    void find(std::vector<UsbDeviceInfo>& devices) override { findByVidPid(devices, 0x7A51, -1); }

    int opens = 0, closes = 0;
    bool failHooks = false, closeOnDestroy = true;

protected:
    void open_callback() override { hook(opens); }
    void close_callback() override { hook(closes); }
    void hook(int& count)
    {
        ++count;
        if (failHooks)
            throw UsbException("hook failed");
    }
};

} // namespace

// The messages the simulated failures cannot bring about (the others are
// pinned where those failures are).
TEST(UsbError, CodesWithoutASimulatedFailureHaveTheirFixedMessage)
{
    const struct {
        int code;
        const char* message;
    } table[] = {
        {LIBUSB_ERROR_NOT_FOUND, "entity not found"},
        {LIBUSB_ERROR_INTERRUPTED, "system call interrupted (perhaps due to signal)"},
        {LIBUSB_ERROR_NO_MEM, "insufficient memory"},
        {LIBUSB_ERROR_NOT_SUPPORTED, "operation not supported or unimplemented on this platform"},
        {LIBUSB_ERROR_OTHER, "unknown error"},
        {-13, "unknown error"},
        {0, "unknown error"},
    };
    for (const auto& row : table)
        EXPECT_EQ(failureOf<UsbException>([&] { throwUsbError(row.code); }), row.message) << "code " << row.code;
    EXPECT_STREQ(UsbException(nullptr).what(), "");
    EXPECT_STREQ(ZentrovaException(nullptr).what(), "");
}

// --- enumeration ----------------------------------------------------------

TEST_F(SimTest, FindByVidPidMatchesExactlyAndReadsTheStrings)
{
    MouseConfig second, left = MouseConfig::left(), bare;
    second.serialNumber = "B2";
    left.bcdDevice = 0x0207;
    bare.productId = 5;
    bare.iManufacturer = bare.iProduct = bare.iSerialNumber = 0; // no strings at all
    addMouse();
    addMouse(second);
    addMouse(left);
    auto bareMouse = addMouse(bare);

    ProbeDriver driver;
    const struct {
        int vid, pid;
        std::vector<std::string> serials;
    } table[] = {
        {0x7A51, 2, {"B2", "ZV-R-0001"}},
        {0x7A51, 3, {"ZV-L-0001"}},
        {0x7A51, 5, {""}},
        {0x7A51, -1, {"", "B2", "ZV-L-0001", "ZV-R-0001"}},
        {-1, -1, {"", "", "B2", "ZV-L-0001", "ZV-R-0001"}}, // with the root hub, which has no strings
        {0x7A51, 4, {}},                                     // -1 is the only wildcard
        {-2, -1, {}},
        {-1, -2, {}},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(::testing::Message() << row.vid << ":" << row.pid);
        std::vector<UsbDeviceInfo> devices(2); // emptied first
        driver.findByVidPid(devices, row.vid, row.pid);
        std::vector<std::string> serials;
        for (const auto& d : devices)
            serials.push_back(d.serialNumber);
        std::sort(serials.begin(), serials.end());
        EXPECT_EQ(serials, row.serials);
    }
    EXPECT_TRUE(bareMouse->transcript().empty()); // index 0: no string request

    std::vector<UsbDeviceInfo> devices;
    driver.findByVidPid(devices, 0x7A51, 3);
    ASSERT_EQ(devices.size(), 1u);
    const UsbDeviceInfo& d = devices[0];
    EXPECT_EQ(std::tie(d.vid, d.pid, d.bcdDevice, d.manufacturer, d.product),
              std::make_tuple(0x7A51, 3, 0x0207, "Zentrova", "Zentrova Mouse (left hand)"));
    EXPECT_NE(d.device, nullptr);
    EXPECT_FALSE(driver.isOpened()); // the probes are released
}

// --- open, close and the hooks ------------------------------------------

TEST_F(SimTest, OpenCloseAndTheirHooks)
{
    addMouse();
    addMouse(MouseConfig::left());
    ProbeDriver driver;
    std::string text = "old";
    EXPECT_THROW(driver.getString(text, 1), UsbException);
    UsbDeviceInfo empty;
    EXPECT_EQ(failureOf<UsbException>([&] { driver.open(empty); }), "invalid parameter");
    EXPECT_EQ(driver.opens, 0);

    std::vector<UsbDeviceInfo> devices;
    driver.find(devices);
    ASSERT_EQ(devices.size(), 2u);
    driver.open(devices[0]);
    libusb_device_handle* first = driver.deviceHandle();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(libusb_get_device(first), devices[0].device);
    driver.open(devices[1]); // ignored: already open
    EXPECT_EQ(driver.deviceHandle(), first);
    EXPECT_EQ(driver.opens, 1);

    // A new enumeration sets the open device aside and puts it back.
    driver.find(devices);
    EXPECT_EQ(driver.deviceHandle(), first);
    driver.getString(text, 1);
    EXPECT_EQ(text, "Zentrova");
    EXPECT_EQ(failureOf<UsbException>([&] { driver.getString(text, 9); }), "stall"); // no such string
    EXPECT_EQ(text, "Zentrova");

    driver.close();
    EXPECT_FALSE(driver.isOpened());
    driver.close(); // nothing open: no hook
    EXPECT_EQ(driver.closes, 1);

    driver.open(devices[1]);
    EXPECT_EQ(driver.opens, 2);
    driver.forceClose(); // never the hook
    EXPECT_FALSE(driver.isOpened());
    EXPECT_EQ(driver.closes, 1);
    driver.forceClose(); // nothing open

    // Failing hooks leave the handle open.
    driver.failHooks = true;
    EXPECT_THROW(driver.open(devices[0]), UsbException);
    EXPECT_TRUE(driver.isOpened());
    EXPECT_THROW(driver.close(), UsbException);
    EXPECT_TRUE(driver.isOpened());
    EXPECT_EQ(driver.closes, 2);
    driver.forceClose();
    EXPECT_FALSE(driver.isOpened());
}

TEST_F(SimTest, BaseDestructorReleasesADeviceTheDerivedClassLeftOpen)
{
    addMouse();
    ProbeDriver driver;
    driver.closeOnDestroy = false;
    openOnly(driver);
    ASSERT_TRUE(driver.isOpened());
} // the base destructor must neither call the (gone) hook nor leak the handle
