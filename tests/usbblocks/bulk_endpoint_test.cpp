// Bulk OUT and IN endpoints through the real libusb against a simulated
// gadget: chunking, short packets, every completion status, timeouts with
// partial data, flush, one operation at a time, and destruction with a
// transfer in flight.
#include <errno.h>
#include <libusb.h>

#include <chrono>
#include <numeric>
#include <thread>

#include "usbblocks/GadgetFixture.h"
#include "zentrova/usb/UsbBulkInEndpoint.h"
#include "zentrova/usb/UsbBulkOutEndpoint.h"

using zentrova::sim::BulkAction;
using zentrova::sim::GadgetModel;
using Clock = std::chrono::steady_clock;

namespace {

constexpr uint8_t OUT = 0x01;
constexpr uint8_t IN = 0x81;

std::vector<uint8_t> pattern(size_t n, unsigned seed = 1)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>((i * 31 + seed * 7 + i / 251) & 0xFF);
    return v;
}

std::vector<size_t> lengths(const std::vector<zentrova::sim::UrbLog>& urbs)
{
    std::vector<size_t> v;
    for (const auto& u : urbs)
        v.push_back(u.length);
    return v;
}

long long msSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// The endpoints with their transfer in reach, to cancel it as another part
// of a program would.
class OutEndpoint : public UsbBulkOutEndpoint {
public:
    using UsbBulkOutEndpoint::UsbBulkOutEndpoint;
    int cancel() { return libusb_cancel_transfer(transfer); }
};

class InEndpoint : public UsbBulkInEndpoint {
public:
    using UsbBulkInEndpoint::UsbBulkInEndpoint;
    int cancel() { return libusb_cancel_transfer(transfer); }
};

class BulkEndpointTest : public GadgetTest {
protected:
    void SetUp() override
    {
        GadgetTest::SetUp();
        gadget = addGadget();
        driver = std::make_unique<GadgetDriver>();
        openGadget(*driver);
    }
    void TearDown() override
    {
        driver.reset();
        GadgetTest::TearDown();
    }

    std::shared_ptr<GadgetModel> gadget;
    std::unique_ptr<GadgetDriver> driver;
};

// Sizes, chunking and early ends of OUT blocks, one after the other on the
// same endpoint.
TEST_F(BulkEndpointTest, OutBlocksGoInChunksOf64KiB)
{
    const struct {
        const char* name;
        size_t size;
        std::vector<BulkAction> script;
        size_t sent;
        std::vector<size_t> urbs;
    } cases[] = {
        {"nothing: one zero-length transfer", 0, {}, 0, {0}},
        {"200000 bytes", 200000, {}, 200000, {65536, 65536, 65536, 3392}},
        {"a chunk taken short ends the block", 200000, {BulkAction::accept(), BulkAction::shortOf(1000)}, 66536,
         {65536, 65536}},
        {"exactly one chunk, after the short one", 65536, {}, 65536, {65536}},
    };
    UsbBulkOutEndpoint out(*driver, OUT);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto urbsBefore = static_cast<std::ptrdiff_t>(gadget->urbs(OUT).size());
        const auto receivedBefore = static_cast<std::ptrdiff_t>(gadget->received(OUT).size());
        gadget->script(OUT, c.script);
        auto data = pattern(std::max<size_t>(c.size, 1));
        out.submit(data.data(), c.size, 1000);
        EXPECT_EQ(out.wait(), c.sent);
        const auto urbs = gadget->urbs(OUT);
        EXPECT_EQ(lengths({urbs.begin() + urbsBefore, urbs.end()}), c.urbs);
        const auto received = gadget->received(OUT);
        EXPECT_EQ(std::vector<uint8_t>(received.begin() + receivedBefore, received.end()),
                  std::vector<uint8_t>(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(c.sent)));
    }
}

// IN blocks end at a short packet or when full; a timeout reports what
// arrived before it (also inside a chunk) and returns false.
TEST_F(BulkEndpointTest, InBlocksEndShortFullOrAtATimeout)
{
    const struct {
        const char* name;
        size_t message; // queued by the device
        std::vector<BulkAction> script;
        size_t bufferSize;
        uint32_t timeout;
        bool completed;
        size_t received;
        std::vector<size_t> urbs;
    } cases[] = {
        {"short packet", 700, {}, 4096, 1000, true, 700, {4096}},
        {"chunks until the short one", 2 * 65536 + 100, {}, 4 * 65536, 1000, true, 2 * 65536 + 100,
         {65536, 65536, 65536}},
        {"buffer filled exactly", 1024, {}, 1024, 1000, true, 1024, {1024}},
        {"timeout after 1024 of 4096 bytes", 4096, {BulkAction::noAnswer(1024)}, 4096, 200, false, 1024, {4096}},
        {"timeout on the second chunk", 65536, {BulkAction::accept(), BulkAction::noAnswer()}, 2 * 65536, 100,
         false, 65536, {65536, 65536}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        freshBus();
        driver.reset();
        gadget = addGadget();
        driver = std::make_unique<GadgetDriver>();
        openGadget(*driver);
        UsbBulkInEndpoint in(*driver, IN);

        auto message = pattern(c.message);
        gadget->queueIn(IN, message);
        gadget->script(IN, c.script);
        std::vector<uint8_t> buffer(c.bufferSize + 1, 0xAA);
        size_t received = 12345;
        const auto start = Clock::now();
        EXPECT_EQ(in.receive(buffer.data(), c.bufferSize, received, c.timeout), c.completed);
        if (!c.completed) {
            EXPECT_GE(msSince(start), c.timeout - 10);
        }
        ASSERT_EQ(received, c.received);
        EXPECT_TRUE(std::equal(message.begin(), message.begin() + static_cast<std::ptrdiff_t>(c.received),
                               buffer.begin()));
        EXPECT_EQ(buffer[c.received], 0xAA) << "nothing written past the data received";
        EXPECT_EQ(gadget->queuedIn(IN), c.message - c.received);
        EXPECT_EQ(lengths(gadget->urbs(IN)), c.urbs);
    }
}

TEST_F(BulkEndpointTest, OutTimeoutThrowsWhateverMoved)
{
    UsbBulkOutEndpoint out(*driver, OUT);
    gadget->script(OUT, {BulkAction::accept(), BulkAction::noAnswer(500)});
    auto data = pattern(100000);
    out.submit(data.data(), data.size(), 150);
    EXPECT_EQ(usbErrorOf([&] { out.wait(); }), "timeout");
    EXPECT_EQ(gadget->received(OUT).size(), 65536u + 500u);
}

// Every completion status, in both directions; after each failure the
// endpoint is idle and moves the next block.
TEST_F(BulkEndpointTest, CompletionStatusTable)
{
    enum class How { Script, Cancel };
    const struct {
        const char* name;
        How how;
        BulkAction action;
        const char* outcome; // thrown message, or null: completes
        bool inReturnsFalse; // IN: reported by a false result instead
    } cases[] = {
        {"completed", How::Script, BulkAction::accept(), nullptr, false},
        {"bus error", How::Script, BulkAction::fail(-EPROTO), "IO error", false},
        {"timed out", How::Script, BulkAction::noAnswer(), "timeout", true},
        {"cancelled", How::Cancel, BulkAction::noAnswer(), "cancelled", false},
        {"stall", How::Script, BulkAction::fail(-EPIPE), "stall", false},
        {"device gone", How::Script, BulkAction::fail(-ENODEV), "no such device (it may have been disconnected)",
         false},
        {"overflow", How::Script, BulkAction::fail(-EOVERFLOW), "overflow error", false},
    };
    OutEndpoint out(*driver, OUT);
    InEndpoint in(*driver, IN);
    auto block = pattern(512);
    std::vector<uint8_t> buffer(512);

    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // OUT
        gadget->script(OUT, {c.action});
        // Cancelled by hand, well before any timeout.
        const uint32_t timeout = c.how == How::Cancel ? 5000 : 100;
        out.submit(block.data(), block.size(), timeout);
        if (c.how == How::Cancel) {
            ASSERT_TRUE(gadget->waitUntil([](const GadgetModel& g) { return g.pending(OUT) == 1; }));
            EXPECT_EQ(out.cancel(), 0);
        }
        if (c.outcome)
            EXPECT_EQ(usbErrorOf([&] { out.wait(); }), c.outcome);
        else
            EXPECT_EQ(out.wait(), 512u);
        out.submit(block.data(), block.size(), 1000);
        EXPECT_EQ(out.wait(), 512u) << "idle and usable after the failure";

        // IN
        gadget->script(IN, {c.action});
        gadget->queueIn(IN, block);
        std::thread canceller;
        if (c.how == How::Cancel)
            canceller = std::thread([&] {
                if (gadget->waitUntil([](const GadgetModel& g) { return g.pending(IN) == 1; }))
                    in.cancel();
            });
        size_t received = 7;
        if (c.inReturnsFalse) {
            EXPECT_FALSE(in.receive(buffer.data(), buffer.size(), received, timeout));
            EXPECT_EQ(received, 0u);
        } else if (c.outcome) {
            EXPECT_EQ(usbErrorOf([&] { in.receive(buffer.data(), buffer.size(), received, timeout); }), c.outcome);
        } else {
            EXPECT_TRUE(in.receive(buffer.data(), buffer.size(), received, timeout));
            EXPECT_EQ(received, 512u);
        }
        if (canceller.joinable())
            canceller.join();
        // Drop what the failed case left unread, then receive afresh.
        while (gadget->queuedIn(IN) > 0)
            in.receive(buffer.data(), buffer.size(), received, 100);
        gadget->queueIn(IN, pattern(100, 9));
        EXPECT_TRUE(in.receive(buffer.data(), buffer.size(), received, 1000));
        EXPECT_EQ(received, 100u) << "idle and usable after the failure";
    }
}

TEST_F(BulkEndpointTest, FlushOnAnIdleEndpointWaitsOneTimeout)
{
    UsbBulkInEndpoint in(*driver, IN);
    const auto start = Clock::now();
    in.flush();
    const auto took = msSince(start);
    EXPECT_GE(took, 45);
    EXPECT_LT(took, 1000);
    const auto urbs = gadget->urbs(IN);
    ASSERT_EQ(urbs.size(), 1u);
    EXPECT_EQ(urbs[0].length, 4096u);
    EXPECT_TRUE(urbs[0].discarded);
}

TEST_F(BulkEndpointTest, FlushDiscardsStaleInputOnlyAndReportsFailures)
{
    UsbBulkInEndpoint in(*driver, IN);
    gadget->queueIn(IN, pattern(5000, 1));
    gadget->queueIn(IN, pattern(100, 2));
    gadget->queueIn(IN, pattern(4096, 3));
    in.flush();
    EXPECT_EQ(gadget->queuedIn(IN), 0u);

    auto fresh = pattern(10, 4);
    gadget->queueIn(IN, fresh);
    std::vector<uint8_t> buffer(512);
    size_t received = 0;
    EXPECT_TRUE(in.receive(buffer.data(), buffer.size(), received, 1000));
    ASSERT_EQ(received, 10u);
    EXPECT_TRUE(std::equal(fresh.begin(), fresh.end(), buffer.begin()));

    // Failures other than the timeout are reported.
    gadget->script(IN, {BulkAction::fail(-EPIPE)});
    EXPECT_EQ(usbErrorOf([&] { in.flush(); }), "stall");
}

TEST_F(BulkEndpointTest, SecondSubmitWhileInFlightIsRefused)
{
    UsbBulkOutEndpoint out(*driver, OUT);
    gadget->script(OUT, {BulkAction::noAnswer()});
    auto first = pattern(1000, 1);
    auto second = pattern(2000, 2);
    out.submit(first.data(), first.size(), 200);
    EXPECT_EQ(usbErrorOf([&] { out.submit(second.data(), second.size(), 200); }), "resource busy");
    EXPECT_EQ(usbErrorOf([&] { out.wait(); }), "timeout") << "the first operation went on undisturbed";
    EXPECT_EQ(lengths(gadget->urbs(OUT)), (std::vector<size_t>{1000}));
}

TEST_F(BulkEndpointTest, DestructionCancelsTheTransferInFlight)
{
    for (uint32_t timeout : {0u, 5000u}) { // 0: no timeout at all
        SCOPED_TRACE(timeout);
        const size_t discardsBefore = gadget->discards();
        gadget->script(OUT, {BulkAction::noAnswer()});
        auto data = pattern(300000);
        const auto start = Clock::now();
        {
            UsbBulkOutEndpoint out(*driver, OUT);
            out.submit(data.data(), data.size(), timeout);
            ASSERT_TRUE(gadget->waitUntil([](const GadgetModel& g) { return g.pending(OUT) == 1; }));
        }
        EXPECT_LT(msSince(start), 2000);
        EXPECT_EQ(gadget->discards(), discardsBefore + 1);
        EXPECT_EQ(gadget->pending(OUT), 0u);
    }
    // A transfer between two chunks: the destructor stops the chain.
    {
        UsbBulkOutEndpoint out(*driver, OUT);
        auto data = pattern(10 * 65536);
        out.submit(data.data(), data.size(), 1000);
    }
    UsbBulkOutEndpoint again(*driver, OUT);
    auto data = pattern(100);
    again.submit(data.data(), data.size(), 1000);
    EXPECT_EQ(again.wait(), 100u);
}

TEST_F(BulkEndpointTest, WithoutAnOpenDeviceNothingIsSubmitted)
{
    driver->close();
    UsbBulkOutEndpoint out(*driver, OUT);
    UsbBulkInEndpoint in(*driver, IN);
    uint8_t data[512] = {};
    size_t received = 0;
    const std::string gone = "no such device (it may have been disconnected)";
    EXPECT_EQ(usbErrorOf([&] { out.submit(data, sizeof data, 100); }), gone);
    EXPECT_EQ(usbErrorOf([&] { in.receive(data, sizeof data, received, 100); }), gone);
    EXPECT_EQ(usbErrorOf([&] { in.flush(); }), gone);
    EXPECT_EQ(out.wait(), 0u) << "nothing is in progress";
}

TEST_F(BulkEndpointTest, ReceiveSizeMustBeWholePackets)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    UsbBulkInEndpoint in(*driver, IN);
    uint8_t buffer[1024];
    size_t received = 0;
    EXPECT_DEATH(in.receive(buffer, 1000, received, 100),
                 "UsbDriver:492: bool UsbBulkInEndpoint::receive\\(void\\*, size_t, size_t&, uint32_t\\): "
                 "Assertion `\\(size & 0x1FF\\) == 0' failed\\.");
}

} // namespace
