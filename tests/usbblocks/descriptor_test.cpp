// getDescriptors through the real libusb against simulated gadgets, and the
// ownership of the endpoint records.
#include <cstdio>
#include <type_traits>

#include "usbblocks/GadgetFixture.h"
#include "zentrova/usb/UsbDescriptors.h"

using zentrova::sim::configurationBytes;
using zentrova::sim::ControlReply;
using zentrova::sim::GadgetConfig;
using zentrova::sim::hidDescriptorBytes;
using zentrova::sim::InterfaceSpec;
using zentrova::sim::vendorInterface;
using Bytes = std::vector<uint8_t>;

namespace {

static_assert(!std::is_copy_constructible_v<UsbInterfaceDescriptor> &&
                  std::is_nothrow_move_constructible_v<UsbConfigDescriptor>,
              "records own their endpoint records: they move, never copy");

// The tree in one line. Device: bLength, type, bcdUSB, bMaxPacketSize0,
// IDs, bcdDevice, string indices, bNumConfigurations; then per configuration
// "| c<value> <wTotalLength> <attributes> <MaxPower>", per interface
// "i<number>.<alternate> <class>", per endpoint
// "<address>/<attributes>/<wMaxPacketSize>/<bInterval>", followed by
// "(<bLength>,<type>)" unless 7 and endpoint, and "/<bRefresh>/<bSynchAddress>"
// when set. "!" marks a pointer or extra bytes set where none may be.
std::string treeOf(const UsbDescriptors& d)
{
    std::string s;
    auto add = [&s](const char* format, auto... values) {
        char text[80];
        std::snprintf(text, sizeof text, format, values...);
        s += text;
    };
    const auto& dev = d.deviceDescriptor;
    add("%u %u %04x %u %04x:%04x %04x %u%u%u %u", dev.bLength, dev.bDescriptorType, dev.bcdUSB, dev.bMaxPacketSize0,
        dev.idVendor, dev.idProduct, dev.bcdDevice, dev.iManufacturer, dev.iProduct, dev.iSerialNumber,
        dev.bNumConfigurations);
    for (const auto& c : d.configurations) {
        const auto& cd = c.descriptor;
        add(" | c%u %u %02x %u%s", cd.bConfigurationValue, cd.wTotalLength, cd.bmAttributes, cd.MaxPower,
            cd.interface || cd.extra || cd.extra_length ? "!" : "");
        for (const auto& i : c.interfaces) {
            const auto& id = i.descriptor;
            add(" i%u.%u %02x%s", id.bInterfaceNumber, id.bAlternateSetting, id.bInterfaceClass,
                id.endpoint || id.extra || id.extra_length ? "!" : "");
            for (const auto* e : i.endpoints) {
                add(" %02x/%u/%u/%u", e->bEndpointAddress, e->bmAttributes, e->wMaxPacketSize, e->bInterval);
                if (e->bLength != LIBUSB_DT_ENDPOINT_SIZE || e->bDescriptorType != LIBUSB_DT_ENDPOINT)
                    add("(%u,%02x)", e->bLength, e->bDescriptorType);
                if (e->bRefresh || e->bSynchAddress)
                    add("/%u/%02x", e->bRefresh, e->bSynchAddress);
                s += e->extra || e->extra_length ? "!" : "";
            }
        }
    }
    return s;
}

const std::string device = "18 1 0200 64 1209:0001 0100 123 ";
const std::string vendorTree = " i0.0 ff 01/2/512/0 81/2/512/0 82/3/64/1";
const InterfaceSpec hid{0, 0, 3, 1, 2, 0, hidDescriptorBytes(52), {{0x81, 3, 8, 10}}};

class DescriptorTest : public GadgetTest {
protected:
    // Attaches a gadget answering these configurations (sysfs keeps a sane
    // one, since libusb parses it at enumeration), opens it and reads its tree.
    std::string readTree(std::vector<Bytes> configurations, UsbDescriptors& out)
    {
        GadgetConfig config;
        config.device.bNumConfigurations = static_cast<uint8_t>(configurations.size());
        config.configurations = std::move(configurations);
        config.sysfsConfigurations = {configurationBytes(1, {vendorInterface()})};
        openGadget(config);
        return failureOf<UsbException>([&] { driver().getDescriptors(out); });
    }
};

TEST_F(DescriptorTest, TreesOfAPlainAndOfASeveralConfigurationDevice)
{
    UsbDescriptors d;
    ASSERT_EQ(readTree({configurationBytes(1, {vendorInterface()})}, d), "(nothing thrown)");
    EXPECT_EQ(treeOf(d), device + "1 | c1 39 80 50" + vendorTree);

    InterfaceSpec second = vendorInterface(1);
    second.endpoints = {{0x03, 2, 64, 0}};
    // An endpoint in the 9-byte audio layout, and a configuration with no interface.
    Bytes audio = configurationBytes(3, {InterfaceSpec{0, 0, 1, 2, 0, 0, {}, {}}});
    audio[4] = 1;  // bNumInterfaces
    audio[13] = 1; // bNumEndpoints of the interface
    audio.insert(audio.end(), {9, 5, 0x84, 0x05, 0xC0, 0x00, 0x01, 0x07, 0x85});
    audio[2] = static_cast<uint8_t>(audio.size());
    freshBus();
    ASSERT_EQ(readTree({configurationBytes(1, {vendorInterface(0)}),
                        configurationBytes(2, {vendorInterface(0), second}, 0xC0, 10), configurationBytes(4, {}),
                        audio},
                       d),
              "(nothing thrown)");
    EXPECT_EQ(treeOf(d), device + "4 | c1 39 80 50" + vendorTree + " | c2 55 c0 10" + vendorTree +
                             " i1.0 ff 03/2/64/0 | c4 9 80 50 | c3 27 80 50 i0.0 01 84/5/192/1(9,05)/7/85");
}

// Descriptors of other types between the records are stepped over; records
// out of place and malformed lengths end with "unknown error", without
// reading past the received bytes or writing past a record (the sanitizer
// builds watch that).
TEST_F(DescriptorTest, OtherDescriptorsAreSteppedOverAndMisplacedOrMalformedOnesFail)
{
    const Bytes plain = configurationBytes(1, {vendorInterface(0)});
    const size_t interfaceAt = 9, firstEndpointAt = 18, lastEndpointAt = 32;
    auto patched = [](Bytes bytes, size_t at, uint8_t value) {
        bytes.at(at) = value;
        return bytes;
    };
    // `plain` with `extra` inserted at `at` and wTotalLength counting it.
    auto inserted = [&](size_t at, const Bytes& extra) {
        Bytes b = plain;
        b.insert(b.begin() + static_cast<std::ptrdiff_t>(at), extra.begin(), extra.end());
        b[2] = static_cast<uint8_t>(b.size() & 0xFF);
        b[3] = static_cast<uint8_t>(b.size() >> 8);
        return b;
    };
    InterfaceSpec alt = vendorInterface(0);
    alt.alternate = 1;

    const struct {
        const char* name;
        Bytes bytes;
        std::string tree; // of the configuration, after the device's part
    } stepped[] = {
        {"HID class descriptor between interface and endpoint", configurationBytes(1, {hid}),
         "1 | c1 34 80 50 i0.0 03 81/3/8/10"},
        {"interface association descriptor", inserted(interfaceAt, {8, 0x0B, 0, 1, 0xFF, 0, 0, 0}),
         "1 | c1 47 80 50" + vendorTree},
        {"class-specific descriptor behind the last endpoint", inserted(plain.size(), {3, 0x25, 1}),
         "1 | c1 42 80 50" + vendorTree},
    };
    for (const auto& c : stepped) {
        SCOPED_TRACE(c.name);
        freshBus();
        UsbDescriptors d;
        EXPECT_EQ(readTree({c.bytes}, d), "(nothing thrown)");
        EXPECT_EQ(treeOf(d), device + c.tree);
    }

    const struct {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"second alternate setting", configurationBytes(1, {vendorInterface(0), alt})},
        {"endpoint where the interface belongs", patched(plain, interfaceAt + 1, LIBUSB_DT_ENDPOINT)},
        {"interface where an endpoint belongs", patched(plain, firstEndpointAt + 1, LIBUSB_DT_INTERFACE)},
        {"descriptor to step over one byte long", inserted(interfaceAt, {1, 0x0B})},
        {"configuration of another type", patched(plain, 1, LIBUSB_DT_STRING)},
        {"wTotalLength one short of the walk", patched(plain, 2, static_cast<uint8_t>(plain.size() - 1))},
        {"wTotalLength beyond the bytes sent", patched(plain, 2, static_cast<uint8_t>(plain.size() + 20))},
        {"configuration length 0", patched(plain, 0, 0)},
        {"endpoint running past the received bytes", patched(plain, lastEndpointAt, 8)},
        {"interface longer than its record", patched(inserted(plain.size(), Bytes(561)), interfaceAt, 200)},
        {"endpoint longer than its record", // 33 bytes: one more than libusb's endpoint record
         patched(inserted(firstEndpointAt + 7, Bytes(26, 0xEE)), firstEndpointAt, 33)},
        {"empty answer", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        freshBus();
        UsbDescriptors d;
        EXPECT_EQ(readTree({c.bytes}, d), "unknown error");
        EXPECT_EQ(d.configurations.size(), 1u) << "the configuration entry stays, partly filled";
    }
}

// Every read replaces the tree; a failed or short one keeps what arrived
// (LeakSanitizer checks the old endpoint records are released, not dropped).
TEST_F(DescriptorTest, EachReadReplacesTheTreeAndAFailedOneKeepsWhatArrived)
{
    GadgetConfig config;
    config.device.bNumConfigurations = 2; // the gadget stalls the request for the second
    config.sysfsConfigurations = {configurationBytes(1, {vendorInterface()})};
    gadget = openGadget(config);
    UsbDescriptors d;
    for (int round = 0; round < 3; ++round)
        EXPECT_EQ(failureOf<UsbException>([&] { driver().getDescriptors(d); }), "stall");
    EXPECT_EQ(treeOf(d), device + "2 | c1 39 80 50" + vendorTree + " | c0 0 00 0");

    // A walk that fails part way keeps the records it filled.
    Bytes cut = configurationBytes(1, {hid, hid});
    cut[cut.size() - 7] = 0; // the second interface's endpoint has length 0
    gadget->overrideDescriptor(LIBUSB_DT_CONFIG, 0, ControlReply::answer(cut));
    EXPECT_EQ(failureOf<UsbException>([&] { driver().getDescriptors(d); }), "unknown error");
    EXPECT_EQ(treeOf(d), device + "2 | c1 59 80 50 i0.0 03 81/3/8/10 i0.0 03 | c0 0 00 0");

    // A device descriptor cut short is refused; what arrived stays.
    gadget->overrideDescriptor(LIBUSB_DT_DEVICE, 0, ControlReply::answer({18, 1, 0x00, 0x02, 0, 0, 0, 64}));
    EXPECT_EQ(failureOf<UsbException>([&] { driver().getDescriptors(d); }), "unknown error");
    EXPECT_EQ(treeOf(d), "18 1 0200 64 0000:0000 0000 000 0");
    EXPECT_TRUE(driver().isOpened());
}

TEST(UsbInterfaceDescriptorRecord, MovingHandsOverTheEndpointRecords)
{
    UsbInterfaceDescriptor a, c;
    a.endpoints = {new libusb_endpoint_descriptor{}, new libusb_endpoint_descriptor{}};
    c.endpoints = {new libusb_endpoint_descriptor{}}; // released by the assignment
    libusb_endpoint_descriptor* first = a.endpoints[0];
    UsbInterfaceDescriptor b(std::move(a));
    c = std::move(b);
    EXPECT_TRUE(a.endpoints.empty() && b.endpoints.empty());
    ASSERT_EQ(c.endpoints.size(), 2u);
    EXPECT_EQ(c.endpoints[0], first);
}

} // namespace
