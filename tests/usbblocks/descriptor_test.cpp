// getDescriptors through the real libusb against simulated gadgets: the
// descriptor tree of plain and multi-configuration devices, the layouts the
// strict walk refuses, malformed lengths, transfer failures, and ownership of
// the endpoint records.
#include <type_traits>

#include "usbblocks/GadgetFixture.h"
#include "zentrova/usb/UsbDescriptors.h"

using zentrova::sim::configurationBytes;
using zentrova::sim::ControlReply;
using zentrova::sim::EndpointSpec;
using zentrova::sim::GadgetConfig;
using zentrova::sim::hidDescriptorBytes;
using zentrova::sim::InterfaceSpec;
using zentrova::sim::vendorInterface;

namespace {

static_assert(!std::is_copy_constructible_v<UsbInterfaceDescriptor> &&
                  !std::is_copy_assignable_v<UsbInterfaceDescriptor>,
              "an interface record owns its endpoint records and is never copied");
static_assert(std::is_nothrow_move_constructible_v<UsbInterfaceDescriptor> &&
                  std::is_nothrow_move_constructible_v<UsbConfigDescriptor>,
              "records move without copying the endpoint records");

class DescriptorTest : public GadgetTest {
protected:
    // Attaches a gadget with these wire configurations (sysfs keeps a sane
    // one, since libusb parses it at enumeration), opens it and reads its tree.
    std::string readTree(std::vector<std::vector<uint8_t>> configurations, UsbDescriptors& out)
    {
        GadgetConfig config;
        config.device.bNumConfigurations = static_cast<uint8_t>(configurations.size());
        config.configurations = std::move(configurations);
        config.sysfsConfigurations = {configurationBytes(1, {vendorInterface()})};
        addGadget(config);
        GadgetDriver driver;
        openGadget(driver);
        return usbErrorOf([&] { driver.getDescriptors(out); });
    }
};

TEST_F(DescriptorTest, PlainVendorDeviceYieldsTheFullTree)
{
    addGadget();
    GadgetDriver driver;
    openGadget(driver);
    UsbDescriptors d;
    driver.getDescriptors(d);

    EXPECT_EQ(d.deviceDescriptor.bLength, 18);
    EXPECT_EQ(d.deviceDescriptor.bDescriptorType, LIBUSB_DT_DEVICE);
    EXPECT_EQ(d.deviceDescriptor.bcdUSB, 0x0200);
    EXPECT_EQ(d.deviceDescriptor.idVendor, 0x1209);
    EXPECT_EQ(d.deviceDescriptor.idProduct, 0x0001);
    EXPECT_EQ(d.deviceDescriptor.bcdDevice, 0x0100);
    EXPECT_EQ(d.deviceDescriptor.iSerialNumber, 3);
    ASSERT_EQ(d.configurations.size(), 1u);

    const auto& c = d.configurations[0];
    EXPECT_EQ(c.descriptor.bLength, 9);
    EXPECT_EQ(c.descriptor.wTotalLength, 9 + 9 + 3 * 7);
    EXPECT_EQ(c.descriptor.bConfigurationValue, 1);
    EXPECT_EQ(c.descriptor.bmAttributes, 0x80);
    EXPECT_EQ(c.descriptor.MaxPower, 50);
    EXPECT_EQ(c.descriptor.interface, nullptr);
    EXPECT_EQ(c.descriptor.extra, nullptr);
    EXPECT_EQ(c.descriptor.extra_length, 0);
    ASSERT_EQ(c.interfaces.size(), 1u);

    const auto& i = c.interfaces[0];
    EXPECT_EQ(i.descriptor.bInterfaceClass, 0xFF);
    EXPECT_EQ(i.descriptor.bNumEndpoints, 3);
    EXPECT_EQ(i.descriptor.endpoint, nullptr);
    EXPECT_EQ(i.descriptor.extra, nullptr);
    ASSERT_EQ(i.endpoints.size(), 3u);
    const struct {
        uint8_t address, attributes;
        uint16_t maxPacket;
        uint8_t interval;
    } expected[] = {{0x01, 2, 512, 0}, {0x81, 2, 512, 0}, {0x82, 3, 64, 1}};
    for (size_t k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        const libusb_endpoint_descriptor* e = i.endpoints[k];
        EXPECT_EQ(e->bLength, 7);
        EXPECT_EQ(e->bDescriptorType, LIBUSB_DT_ENDPOINT);
        EXPECT_EQ(e->bEndpointAddress, expected[k].address);
        EXPECT_EQ(e->bmAttributes, expected[k].attributes);
        EXPECT_EQ(e->wMaxPacketSize, expected[k].maxPacket);
        EXPECT_EQ(e->bInterval, expected[k].interval);
        EXPECT_EQ(e->bRefresh, 0);
        EXPECT_EQ(e->extra, nullptr);
        EXPECT_EQ(e->extra_length, 0);
    }
}

TEST_F(DescriptorTest, EveryConfigurationIsReadInIndexOrder)
{
    InterfaceSpec second = vendorInterface(1);
    second.endpoints = {{0x03, 2, 64, 0}};
    // An endpoint in the 9-byte audio layout, and a configuration with no interface.
    std::vector<uint8_t> audio = configurationBytes(3, {InterfaceSpec{0, 0, 1, 2, 0, 0, {}, {}}});
    audio[4] = 1;                        // bNumInterfaces
    audio[13] = 1;                       // bNumEndpoints of the interface
    audio.insert(audio.end(), {9, 5, 0x84, 0x05, 0xC0, 0x00, 0x01, 0x07, 0x85});
    audio[2] = static_cast<uint8_t>(audio.size());
    UsbDescriptors d;
    ASSERT_EQ(readTree({configurationBytes(1, {vendorInterface(0)}),
                        configurationBytes(2, {vendorInterface(0), second}, 0xC0, 10),
                        configurationBytes(4, {}), audio},
                       d),
              "(nothing thrown)");

    ASSERT_EQ(d.configurations.size(), 4u);
    EXPECT_EQ(d.configurations[0].descriptor.bConfigurationValue, 1);
    EXPECT_EQ(d.configurations[1].descriptor.bConfigurationValue, 2);
    EXPECT_EQ(d.configurations[1].descriptor.bmAttributes, 0xC0);
    ASSERT_EQ(d.configurations[1].interfaces.size(), 2u);
    EXPECT_EQ(d.configurations[1].interfaces[1].descriptor.bInterfaceNumber, 1);
    ASSERT_EQ(d.configurations[1].interfaces[1].endpoints.size(), 1u);
    EXPECT_EQ(d.configurations[1].interfaces[1].endpoints[0]->bEndpointAddress, 0x03);
    EXPECT_EQ(d.configurations[2].descriptor.wTotalLength, 9);
    EXPECT_TRUE(d.configurations[2].interfaces.empty());

    ASSERT_EQ(d.configurations[3].interfaces.size(), 1u);
    ASSERT_EQ(d.configurations[3].interfaces[0].endpoints.size(), 1u);
    const libusb_endpoint_descriptor* e = d.configurations[3].interfaces[0].endpoints[0];
    EXPECT_EQ(e->bLength, 9);
    EXPECT_EQ(e->wMaxPacketSize, 0xC0);
    EXPECT_EQ(e->bRefresh, 0x07);
    EXPECT_EQ(e->bSynchAddress, 0x85);
    EXPECT_EQ(e->extra, nullptr);
}

// Layouts the walk does not take (anything but interface, endpoints,
// interface, ...) and malformed lengths all end with "unknown error",
// without reading past the received bytes or writing past a record (the
// sanitizer builds watch that).
TEST_F(DescriptorTest, LayoutsOtherThanInterfacesAndEndpointsAndMalformedLengthsFail)
{
    auto withInterface = [](InterfaceSpec i) { return configurationBytes(1, {i}); };
    InterfaceSpec hid{0, 0, 3, 1, 2, 0, hidDescriptorBytes(52), {{0x81, 3, 8, 10}}};
    InterfaceSpec alt = vendorInterface(0);
    alt.alternate = 1;
    std::vector<uint8_t> iad = configurationBytes(1, {vendorInterface(0)});
    iad.insert(iad.begin() + 9, {8, 0x0B, 0, 1, 0xFF, 0, 0, 0});
    iad[2] = static_cast<uint8_t>(iad.size());

    auto patched = [](std::vector<uint8_t> bytes, size_t at, uint8_t value) {
        bytes.at(at) = value;
        return bytes;
    };
    const std::vector<uint8_t> plain = configurationBytes(1, {vendorInterface(0)});
    const size_t interfaceAt = 9, firstEndpointAt = 18, lastEndpointAt = 32;
    std::vector<uint8_t> longInterface = plain; // bLength 200: more than the record holds
    longInterface[interfaceAt] = 200;
    longInterface.resize(600, 0);
    longInterface[2] = static_cast<uint8_t>(600 & 0xFF);
    longInterface[3] = static_cast<uint8_t>(600 >> 8);
    std::vector<uint8_t> longEndpoint = plain; // 33 bytes: one more than libusb's endpoint record
    longEndpoint[firstEndpointAt] = 33;
    longEndpoint.insert(longEndpoint.begin() + firstEndpointAt + 7, 26, 0xEE);
    longEndpoint[2] = static_cast<uint8_t>(longEndpoint.size());

    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"HID interface: class descriptor between interface and endpoint", withInterface(hid)},
        {"second alternate setting", configurationBytes(1, {vendorInterface(0), alt})},
        {"interface association descriptor", iad},
        {"trailing descriptor beyond the interfaces", [&] {
             auto b = plain;
             b.insert(b.end(), {4, 0x24, 1, 2});
             b[2] = static_cast<uint8_t>(b.size());
             return b;
         }()},
        {"wTotalLength one short of the walk", patched(plain, 2, static_cast<uint8_t>(plain.size() - 1))},
        {"wTotalLength beyond the bytes sent", patched(plain, 2, static_cast<uint8_t>(plain.size() + 20))},
        {"more endpoints announced than sent", patched(plain, interfaceAt + 4, 5)},
        {"more interfaces announced than sent", patched(plain, 4, 3)},
        {"configuration length 0", patched(plain, 0, 0)},
        {"configuration shorter than its header", patched(plain, 0, 4)},
        {"interface length 0", patched(plain, interfaceAt, 0)},
        {"endpoint length 0", patched(plain, lastEndpointAt, 0)},
        {"endpoint shorter than its header", patched(plain, firstEndpointAt, 3)},
        {"endpoint running past the received bytes", patched(plain, lastEndpointAt, 8)},
        {"interface longer than its record", longInterface},
        {"endpoint longer than its record", longEndpoint},
        {"empty answer", {}},
        {"one byte", {9}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        freshBus();
        UsbDescriptors d;
        EXPECT_EQ(readTree({c.bytes}, d), "unknown error");
        EXPECT_EQ(d.configurations.size(), 1u) << "the configuration entry stays, partly filled";
    }
}

TEST_F(DescriptorTest, TransferFailuresUseTheErrorTable)
{
    const struct {
        const char* name;
        uint8_t type, index;
        ControlReply reply;
        uint8_t numConfigurations;
        const char* message;
        size_t configurationsAfter;
    } cases[] = {
        {"configuration stalled", LIBUSB_DT_CONFIG, 0, ControlReply::stall(), 1, "stall", 1},
        {"second configuration missing", LIBUSB_DT_CONFIG, 9, ControlReply::stall(), 2, "stall", 2},
        {"device descriptor stalled", LIBUSB_DT_DEVICE, 0, ControlReply::stall(), 1, "stall", 0},
        {"device descriptor unanswered", LIBUSB_DT_DEVICE, 0, ControlReply::noAnswer(), 1, "timeout", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        freshBus();
        GadgetConfig config;
        config.device.bNumConfigurations = c.numConfigurations;
        config.sysfsConfigurations = {configurationBytes(1, {vendorInterface()})};
        auto gadget = addGadget(config);
        gadget->overrideDescriptor(c.type, c.index, c.reply);
        GadgetDriver driver;
        openGadget(driver);
        UsbDescriptors d;
        EXPECT_EQ(usbErrorOf([&] { driver.getDescriptors(d); }), c.message);
        EXPECT_EQ(d.configurations.size(), c.configurationsAfter);
        EXPECT_TRUE(driver.isOpened());
    }
}

TEST_F(DescriptorTest, ShortDeviceDescriptorLeavesTheRestZero)
{
    GadgetConfig config;
    auto gadget = addGadget(config);
    // Only the first 8 bytes: no bNumConfigurations arrives.
    gadget->overrideDescriptor(LIBUSB_DT_DEVICE, 0,
                               ControlReply::answer({18, 1, 0x00, 0x02, 0, 0, 0, 64}));
    GadgetDriver driver;
    openGadget(driver);
    UsbDescriptors d;
    driver.getDescriptors(d);
    EXPECT_EQ(d.deviceDescriptor.bMaxPacketSize0, 64);
    EXPECT_EQ(d.deviceDescriptor.idVendor, 0);
    EXPECT_EQ(d.deviceDescriptor.bNumConfigurations, 0);
    EXPECT_TRUE(d.configurations.empty());
}

TEST_F(DescriptorTest, NeedsAnOpenDevice)
{
    addGadget();
    GadgetDriver driver;
    UsbDescriptors d;
    EXPECT_EQ(usbErrorOf([&] { driver.getDescriptors(d); }), "no such device (it may have been disconnected)");
}

// A second read replaces the tree: no endpoint record of the first one stays
// (LeakSanitizer checks the records are released, not just dropped).
TEST_F(DescriptorTest, SecondReadOnTheSameRecordReplacesTheTree)
{
    auto gadget = addGadget();
    GadgetDriver driver;
    openGadget(driver);
    UsbDescriptors d;
    for (int round = 0; round < 3; ++round)
        driver.getDescriptors(d);
    ASSERT_EQ(d.configurations.size(), 1u);
    ASSERT_EQ(d.configurations[0].interfaces.size(), 1u);
    const auto* firstEndpoint = d.configurations[0].interfaces[0].endpoints.at(0);
    EXPECT_EQ(firstEndpoint->bEndpointAddress, 0x01);

    InterfaceSpec one = vendorInterface(0);
    one.endpoints = {{0x86, 2, 512, 0}};
    gadget->overrideDescriptor(LIBUSB_DT_CONFIG, 0, ControlReply::answer(configurationBytes(1, {one})));
    driver.getDescriptors(d);
    ASSERT_EQ(d.configurations[0].interfaces[0].endpoints.size(), 1u);
    EXPECT_EQ(d.configurations[0].interfaces[0].endpoints[0]->bEndpointAddress, 0x86);

    // A failing read clears the old tree as well.
    InterfaceSpec hid{0, 0, 3, 1, 2, 0, hidDescriptorBytes(52), {{0x81, 3, 8, 10}}};
    gadget->overrideDescriptor(LIBUSB_DT_CONFIG, 0, ControlReply::answer(configurationBytes(1, {hid, hid})));
    EXPECT_EQ(usbErrorOf([&] { driver.getDescriptors(d); }), "unknown error");
    // What was parsed before the failure stays: the HID descriptor went in
    // as the first interface's endpoint, copied only as far as an endpoint's
    // standard fields go.
    ASSERT_EQ(d.configurations.size(), 1u);
    ASSERT_EQ(d.configurations[0].interfaces.size(), 2u);
    ASSERT_EQ(d.configurations[0].interfaces[0].endpoints.size(), 1u);
    EXPECT_EQ(d.configurations[0].interfaces[0].endpoints[0]->bDescriptorType, 0x21);
    EXPECT_EQ(d.configurations[0].interfaces[0].endpoints[0]->extra, nullptr);
    EXPECT_TRUE(d.configurations[0].interfaces[1].endpoints.empty());
}

TEST(UsbInterfaceDescriptorRecord, MovingHandsOverTheEndpointRecords)
{
    UsbInterfaceDescriptor a;
    a.descriptor.bInterfaceNumber = 4;
    a.endpoints.push_back(new libusb_endpoint_descriptor{});
    a.endpoints.push_back(new libusb_endpoint_descriptor{});
    libusb_endpoint_descriptor* first = a.endpoints[0];

    UsbInterfaceDescriptor b(std::move(a));
    EXPECT_TRUE(a.endpoints.empty());
    ASSERT_EQ(b.endpoints.size(), 2u);
    EXPECT_EQ(b.endpoints[0], first);
    EXPECT_EQ(b.descriptor.bInterfaceNumber, 4);

    UsbInterfaceDescriptor c;
    c.endpoints.push_back(new libusb_endpoint_descriptor{}); // released by the assignment
    c = std::move(b);
    EXPECT_TRUE(b.endpoints.empty());
    EXPECT_EQ(c.endpoints.size(), 2u);

    std::vector<UsbInterfaceDescriptor> grown(1);
    grown[0] = std::move(c);
    for (int i = 0; i < 40; ++i)
        grown.emplace_back(); // reallocations move the records
    EXPECT_EQ(grown[0].endpoints.size(), 2u);
    EXPECT_EQ(grown[0].endpoints[0], first);
}

} // namespace
