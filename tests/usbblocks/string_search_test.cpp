// findByStrings through the real libusb over a bus of several gadgets.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "usbblocks/GadgetFixture.h"
#include "support/Permissions.h"

using zentrova::sim::GadgetConfig;
using zentrova::sim::GadgetModel;
using Found = std::vector<std::string>;

namespace {

class StringSearchTest : public GadgetTest {
protected:
    void SetUp() override
    {
        GadgetTest::SetUp();
        // Bus order: root hub (no strings), then these two.
        first = testbed->addDevice(std::make_shared<GadgetModel>());
        GadgetConfig other;
        other.device.idProduct = 0x0002;
        other.device.bcdDevice = 0x0207;
        other.device.iSerialNumber = 0; // no serial number at all
        other.strings = {{1, "Other Maker"}, {2, "Loopback Gadget Pro"}};
        testbed->addDevice(std::make_shared<GadgetModel>(other));
    }

    // The products found, sorted (the bus order is libusb's); the records
    // are built as by findByVidPid, which checks them.
    Found productsFound(const std::string& m, const std::string& p, const std::string& s)
    {
        std::vector<UsbDeviceInfo> devices(4); // emptied first
        driver().findByStrings(devices, m, p, s);
        Found names;
        for (const auto& d : devices)
            names.push_back(d.product.empty() ? "(hub)" : d.product);
        std::sort(names.begin(), names.end());
        return names;
    }

    zentrova::sim::SimDevice first;
};

TEST_F(StringSearchTest, PatternSemantics)
{
    const struct {
        const char *manufacturer, *product, *serial;
        Found expected;
    } cases[] = {
        {"", "", "", {"(hub)", "Loopback Gadget", "Loopback Gadget Pro"}},
        {"", "Gadget", "", {"Loopback Gadget", "Loopback Gadget Pro"}}, // anywhere in the string
        {"", "Pro", "", {"Loopback Gadget Pro"}},
        {"", "gadget", "", {}},                                        // case matters
        {"", "Loopback Gadget Pro+", "", {}},                          // longer than the string
        {"", "", "GW", {"Loopback Gadget"}},                           // no serial: no match
        {"Works", "Loopback", "GW-0001", {"Loopback Gadget"}},         // all three must match
        {"Maker", "", "", {"Loopback Gadget Pro"}},
        {"o", "o", "", {"Loopback Gadget"}},                           // "Other Maker" has no 'o'
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("'") + c.manufacturer + "' '" + c.product + "' '" + c.serial + "'");
        EXPECT_EQ(productsFound(c.manufacturer, c.product, c.serial), c.expected);
        EXPECT_FALSE(driver().isOpened()) << "every probe is closed";
    }
}

using testsupport::overridePermissions;

TEST_F(StringSearchTest, DeviceThatMayNotBeOpenedIsSkipped)
{
    const std::string node = testbed->rootDir() + first.devnode;
    ASSERT_EQ(chmod(node.c_str(), 0), 0);
    driver(); // its event thread keeps the full rights
    overridePermissions(false);
    EXPECT_EQ(productsFound("", "", ""), (Found{"(hub)", "Loopback Gadget Pro"}));
    EXPECT_EQ(productsFound("", "Gadget", ""), (Found{"Loopback Gadget Pro"}));
    // Enumeration by IDs still stops at such a device.
    std::vector<UsbDeviceInfo> devices;
    EXPECT_EQ(failureOf<UsbException>([&] { driver().findByVidPid(devices, -1, -1); }),
              "access denied (insufficient permissions)");
    EXPECT_FALSE(driver().isOpened());
    overridePermissions(true);
}

// A device whose string request fails is left out of either search; the
// probe is released and the driver stays usable.
TEST_F(StringSearchTest, DeviceWhoseStringRequestFailsIsLeftOut)
{
    GadgetConfig broken;
    broken.device.idProduct = 0x0003;
    broken.device.iProduct = 7; // the gadget stalls a request for an unknown string
    testbed->addDevice(std::make_shared<GadgetModel>(broken));
    std::vector<UsbDeviceInfo> devices(1);
    driver().findByVidPid(devices, 0x1209, 3);
    EXPECT_TRUE(devices.empty());
    EXPECT_EQ(productsFound("", "", ""), (Found{"(hub)", "Loopback Gadget", "Loopback Gadget Pro"}));
    EXPECT_FALSE(driver().isOpened());
    driver().findByVidPid(devices, 0x1209, 1);
    EXPECT_EQ(devices.size(), 1u);
}

} // namespace
