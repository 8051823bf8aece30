// Bulk OUT and IN endpoints through the real libusb against a simulated gadget.
#include <errno.h>
#include <libusb.h>

#include <chrono>

#include "usbblocks/GadgetFixture.h"
#include "zentrova/usb/UsbBulkInEndpoint.h"
#include "zentrova/usb/UsbBulkOutEndpoint.h"
#include "zentrova/usb/UsbDescriptors.h"
#include "zentrova/usb/UsbInterruptInEndpoint.h"

using zentrova::sim::BulkAction;
using zentrova::sim::GadgetModel;
using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;
using Sizes = std::vector<size_t>;

namespace {

constexpr uint8_t OUT = 0x01;
constexpr uint8_t IN = 0x81;

Bytes pattern(size_t n, unsigned seed = 1)
{
    Bytes v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(i * 31 + seed * 7 + i / 251); // no period of a power of two
    return v;
}

// The lengths of the URBs the gadget saw on `endpoint`, from the `from`-th on.
Sizes urbLengths(const GadgetModel& gadget, uint8_t endpoint, size_t from = 0)
{
    Sizes v;
    for (const auto& u : gadget.urbs(endpoint))
        v.push_back(u.length);
    v.erase(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(from));
    return v;
}

long long msSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// An endpoint whose transfer another part of a program cancels.
template <typename Endpoint>
struct Cancellable : Endpoint {
    using Endpoint::Endpoint;
    int cancel() { return libusb_cancel_transfer(this->transfer); }
};

using BulkEndpointTest = OpenGadgetTest;

// OUT blocks one after the other on one endpoint, each showing it usable
// after the one before: what wait() gives, the URBs and the bytes that arrived.
TEST_F(BulkEndpointTest, OutBlocksChunksAndEveryCompletionStatus)
{
    const struct {
        const char* name;
        size_t size, sent;
        std::vector<BulkAction> script;
        const char* outcome;
        Sizes urbs;
    } cases[] = {
        {"nothing: one zero-length transfer", 0, 0, {}, "0", {0}},
        {"200000 bytes", 200000, 200000, {}, "200000", {65536, 65536, 65536, 3392}},
        {"a chunk taken short ends the block", 200000, 66536, {BulkAction::accept(), BulkAction::shortOf(1000)},
         "66536", {65536, 65536}},
        {"exactly one chunk", 65536, 65536, {}, "65536", {65536}},
        {"timeout inside the second chunk", 100000, 65536 + 500, {BulkAction::accept(), BulkAction::noAnswer(500)},
         "timeout", {65536, 100000 - 65536}},
        {"bus error", 512, 0, {BulkAction::fail(-EPROTO)}, "IO error", {512}},
        {"cancelled", 512, 0, {BulkAction::noAnswer()}, "cancelled", {512}}, // by hand, well before the timeout
        {"stall", 512, 0, {BulkAction::fail(-EPIPE)}, "stall", {512}},
        {"device gone", 512, 0, {BulkAction::fail(-ENODEV)}, "no such device (it may have been disconnected)", {512}},
        {"overflow", 512, 0, {BulkAction::fail(-EOVERFLOW)}, "overflow error", {512}},
        {"completed", 512, 512, {}, "512", {512}},
    };
    Cancellable<UsbBulkOutEndpoint> out(driver(), OUT);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t urbsBefore = gadget->urbs(OUT).size(), receivedBefore = gadget->received(OUT).size();
        const bool cancel = std::string(c.outcome) == "cancelled";
        gadget->script(OUT, c.script);
        auto data = pattern(std::max<size_t>(c.size, 1));
        out.submit(data.data(), c.size, cancel ? 5000 : c.sent == c.size ? 1000 : 150);
        if (cancel) {
            ASSERT_TRUE(waitFor([&] { return gadget->pending(OUT) == 1; }));
            EXPECT_EQ(out.cancel(), 0);
        }
        std::string outcome;
        const std::string thrown = failureOf<UsbException>([&] { outcome = std::to_string(out.wait()); });
        EXPECT_EQ(thrown == "(nothing thrown)" ? outcome : thrown, c.outcome);
        EXPECT_EQ(urbLengths(*gadget, OUT, urbsBefore), c.urbs);
        const auto received = gadget->received(OUT);
        EXPECT_EQ(Bytes(received.begin() + static_cast<std::ptrdiff_t>(receivedBefore), received.end()),
                  Bytes(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(c.sent)));
    }
}

// IN blocks end at a short packet or when full; a timeout returns false with
// what arrived before it.
TEST_F(BulkEndpointTest, InBlocksEndShortFullOrAtATimeout)
{
    const struct {
        const char* name;
        size_t message, bufferSize; // message: queued by the device
        std::vector<BulkAction> script;
        const char* outcome; // the result of receive() and the bytes received
        Sizes urbs;
    } cases[] = {
        {"short packet", 700, 4096, {}, "true 700", {4096}},
        {"chunks until the short one", 2 * 65536 + 100, 4 * 65536, {}, "true 131172", {65536, 65536, 65536}},
        {"buffer filled exactly", 1024, 1024, {}, "true 1024", {1024}},
        {"timeout after 1024 of 4096 bytes", 4096, 4096, {BulkAction::noAnswer(1024)}, "false 1024", {4096}},
        {"timeout on the second chunk", 65536, 2 * 65536, {BulkAction::accept(), BulkAction::noAnswer()},
         "false 65536", {65536, 65536}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        freshBus();
        gadget = openGadget();
        UsbBulkInEndpoint in(driver(), IN);
        auto message = pattern(c.message);
        gadget->queueIn(IN, message);
        gadget->script(IN, c.script);
        Bytes buffer(c.bufferSize + 1, 0xAA);
        size_t received = 12345;
        const auto start = Clock::now();
        const bool completed = in.receive(buffer.data(), c.bufferSize, received, c.script.empty() ? 1000 : 150);
        EXPECT_EQ((completed ? "true " : "false ") + std::to_string(received), c.outcome);
        EXPECT_GE(msSince(start), completed ? 0 : 140);
        ASSERT_LE(received, c.message);
        EXPECT_TRUE(std::equal(message.begin(), message.begin() + static_cast<std::ptrdiff_t>(received),
                               buffer.begin()));
        EXPECT_EQ(buffer[received], 0xAA) << "nothing written past the data received";
        EXPECT_EQ(gadget->queuedIn(IN), c.message - received);
        EXPECT_EQ(urbLengths(*gadget, IN), c.urbs);
    }
}

// flush waits out one 50 ms read, reports other failures and drops stale input.
TEST_F(BulkEndpointTest, FlushDropsStaleInputAndFailuresAreReported)
{
    UsbBulkInEndpoint in(driver(), IN);
    const auto start = Clock::now();
    in.flush();
    EXPECT_GE(msSince(start), 45);
    EXPECT_LT(msSince(start), 1000);
    EXPECT_EQ(urbLengths(*gadget, IN), Sizes{4096});

    Bytes buffer(512);
    size_t received = 0;
    gadget->script(IN, {BulkAction::fail(-EPIPE), BulkAction::fail(-EPIPE)});
    EXPECT_EQ(failureOf<UsbException>([&] { in.flush(); }), "stall");
    EXPECT_EQ(failureOf<UsbException>([&] { in.receive(buffer.data(), buffer.size(), received, 1000); }), "stall");
    for (size_t n : {5000u, 100u, 4096u})
        gadget->queueIn(IN, pattern(n, static_cast<unsigned>(n)));
    in.flush();
    EXPECT_EQ(gadget->queuedIn(IN), 0u);
    auto fresh = pattern(10, 4);
    gadget->queueIn(IN, fresh);
    EXPECT_TRUE(in.receive(buffer.data(), buffer.size(), received, 1000));
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(received)), fresh);
}

// A second submit meanwhile is refused; the destructor cancels the transfer
// in flight, also one between two chunks.
TEST_F(BulkEndpointTest, DestructionCancelsTheTransferInFlight)
{
    auto data = pattern(10 * 65536);
    gadget->script(OUT, {BulkAction::noAnswer()});
    const auto start = Clock::now();
    {
        UsbBulkOutEndpoint out(driver(), OUT);
        out.submit(data.data(), data.size(), 0); // no timeout at all
        ASSERT_TRUE(waitFor([&] { return gadget->pending(OUT) == 1; }));
        EXPECT_EQ(failureOf<UsbException>([&] { out.submit(data.data(), 100, 1000); }), "resource busy");
    }
    EXPECT_LT(msSince(start), 2000);
    EXPECT_EQ(gadget->discards(), 1u);
    EXPECT_EQ(gadget->pending(OUT), 0u);
    gadget->script(OUT, {BulkAction::accept(), BulkAction::noAnswer()}); // the second chunk hangs
    {
        UsbBulkOutEndpoint out(driver(), OUT);
        out.submit(data.data(), data.size(), 0);
        ASSERT_TRUE(waitFor([&] { return gadget->urbs(OUT).size() == 3 && gadget->pending(OUT) == 1; }));
    }
    EXPECT_EQ(gadget->discards(), 2u);
    EXPECT_EQ(gadget->pending(OUT), 0u);
    {
        UsbBulkOutEndpoint out(driver(), OUT);
        out.submit(data.data(), data.size(), 1000);
    }
    UsbBulkOutEndpoint again(driver(), OUT);
    again.submit(data.data(), 100, 1000);
    EXPECT_EQ(again.wait(), 100u);
}

TEST_F(BulkEndpointTest, WithoutAnOpenDeviceNothingIsSubmitted)
{
    driver().close();
    UsbBulkOutEndpoint out(driver(), OUT);
    UsbBulkInEndpoint in(driver(), IN);
    uint8_t data[512] = {};
    size_t received = 0;
    UsbDescriptors d;
    const std::string gone = "no such device (it may have been disconnected)";
    EXPECT_EQ(failureOf<UsbException>([&] { out.submit(data, sizeof data, 100); }), gone);
    EXPECT_EQ(failureOf<UsbException>([&] { in.receive(data, sizeof data, received, 100); }), gone);
    EXPECT_EQ(failureOf<UsbException>([&] { in.flush(); }), gone);
    EXPECT_EQ(failureOf<UsbException>([&] { UsbInterruptInEndpoint intr(driver(), 0x82); }), gone);
    EXPECT_EQ(failureOf<UsbException>([&] { driver().getDescriptors(d); }), gone);
    EXPECT_EQ(out.wait(), 0u) << "nothing is in progress";
}

TEST_F(BulkEndpointTest, ReceiveSizeMustBeWholePackets)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    UsbBulkInEndpoint in(driver(), IN);
    uint8_t buffer[1024];
    size_t received = 0;
    EXPECT_DEATH(in.receive(buffer, 1000, received, 100),
                 "UsbDriver:492: bool UsbBulkInEndpoint::receive\\(void\\*, size_t, size_t&, uint32_t\\): "
                 "Assertion `\\(size & 0x1FF\\) == 0' failed\\.");
}

} // namespace
