// The interrupt IN endpoint through the real libusb against a simulated
// gadget whose packets the tests inject: with no handler, with a handler
// that copies, with one that keeps its buffers, after an error, and torn
// down with a transfer or a delivery in progress.
#include <errno.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "usbblocks/GadgetFixture.h"
#include "zentrova/usb/UsbInterruptInEndpoint.h"

using zentrova::sim::BulkAction;
using zentrova::sim::GadgetModel;

namespace {

constexpr uint8_t INTR = 0x82;

std::vector<uint8_t> packet(unsigned n)
{
    // Lengths 1..64, contents derived from the number.
    std::vector<uint8_t> p(1 + n % 64);
    for (size_t i = 0; i < p.size(); ++i)
        p[i] = static_cast<uint8_t>(n * 13 + i);
    return p;
}

// What a handler saw, filled on the event thread.
struct Deliveries {
    std::mutex mutex;
    std::vector<std::vector<uint8_t>> packets;
    std::vector<pbuf_t*> kept;

    size_t count()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return packets.size();
    }
    std::vector<std::vector<uint8_t>> all()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return packets;
    }
};

class InterruptEndpointTest : public GadgetTest {
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

    bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(5))
    {
        return gadget->waitUntil([&](const GadgetModel&) { return done(); }, timeout);
    }

    std::shared_ptr<GadgetModel> gadget;
    std::unique_ptr<GadgetDriver> driver;
};

TEST_F(InterruptEndpointTest, WithoutHandlerEveryPacketGoesBackAndReceivingGoesOn)
{
    UsbInterruptInEndpoint intr(*driver, INTR);
    ASSERT_TRUE(waitFor([&] { return gadget->pending(INTR) == 1; }));
    EXPECT_TRUE(intr.isReceiving());
    EXPECT_EQ(gadget->urbs(INTR)[0].length, 512u) << "one whole pool buffer per transfer";

    for (unsigned n = 0; n < 40; ++n)
        gadget->inject(INTR, packet(n));
    ASSERT_TRUE(waitFor([&] { return gadget->urbs(INTR).size() == 41 && gadget->pending(INTR) == 1; }));
    EXPECT_EQ(gadget->queuedPackets(INTR), 0u);
    EXPECT_TRUE(intr.isReceiving());
    // One buffer in flight; the delivered one goes back before the next completion.
    EXPECT_TRUE(waitFor([&] { return intr.bufferPool().getFreeCount() == 7; }));
    EXPECT_EQ(intr.bufferPool().getMinFree(), 6u);
}

TEST_F(InterruptEndpointTest, HandlerReceivesEveryPacketInOrder)
{
    Deliveries seen;
    UsbInterruptInEndpoint intr(*driver, INTR);
    ASSERT_TRUE(waitFor([&] { return gadget->pending(INTR) == 1; }));
    intr.setHandler([&seen](pbuf_t* p) { // while the endpoint runs
        {
            std::lock_guard<std::mutex> lock(seen.mutex);
            seen.packets.emplace_back(p->data, p->data + p->length);
        }
        p->pool->free_internal(p);
    });
    std::vector<std::vector<uint8_t>> sent;
    for (unsigned n = 0; n < 30; ++n) {
        sent.push_back(packet(n));
        gadget->inject(INTR, sent.back());
    }
    ASSERT_TRUE(waitFor([&] { return seen.count() == 30; }));
    EXPECT_EQ(seen.all(), sent);
    EXPECT_TRUE(intr.isReceiving());
}

// Eight buffers: one goes to the next transfer before each delivery, so a
// handler that keeps them all gets eight packets and the endpoint stops
// with no transfer in flight; giving buffers back later does not restart it.
TEST_F(InterruptEndpointTest, HandlerThatKeepsBuffersStopsTheEndpointAfterEight)
{
    Deliveries seen;
    UsbInterruptInEndpoint intr(*driver, INTR, [&seen](pbuf_t* p) {
        std::lock_guard<std::mutex> lock(seen.mutex);
        seen.packets.emplace_back(p->data, p->data + p->length);
        seen.kept.push_back(p);
    });
    std::vector<std::vector<uint8_t>> sent;
    for (unsigned n = 0; n < 10; ++n) {
        sent.push_back(packet(n));
        gadget->inject(INTR, sent.back());
    }
    ASSERT_TRUE(waitFor([&] { return seen.count() == 8; }));
    ASSERT_TRUE(waitFor([&] { return !intr.isReceiving(); }));
    EXPECT_EQ(gadget->urbs(INTR).size(), 8u);
    EXPECT_EQ(gadget->pending(INTR), 0u);
    EXPECT_EQ(gadget->queuedPackets(INTR), 2u) << "the last two stay with the device";
    EXPECT_EQ(intr.bufferPool().getFreeCount(), 0u);
    EXPECT_EQ(seen.all(), std::vector<std::vector<uint8_t>>(sent.begin(), sent.begin() + 8));

    std::vector<pbuf_t*> kept;
    {
        std::lock_guard<std::mutex> lock(seen.mutex);
        kept = seen.kept;
    }
    for (size_t i = 0; i < 3; ++i)
        kept[i]->pool->free_internal(kept[i]);
    EXPECT_EQ(intr.bufferPool().getFreeCount(), 3u);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(intr.isReceiving());
    EXPECT_EQ(gadget->urbs(INTR).size(), 8u);
    EXPECT_EQ(seen.count(), 8u);
    // The five still held are released with the endpoint.
}

TEST_F(InterruptEndpointTest, FailedTransferStopsTheEndpointWithoutDelivery)
{
    for (int status : {-EPIPE, -EPROTO, -ENODEV}) {
        SCOPED_TRACE(status);
        Deliveries seen;
        gadget->script(INTR, {BulkAction::fail(status)});
        const size_t urbsBefore = gadget->urbs(INTR).size();
        const size_t queuedBefore = gadget->queuedPackets(INTR);
        UsbInterruptInEndpoint intr(*driver, INTR, [&seen](pbuf_t* p) {
            {
                std::lock_guard<std::mutex> lock(seen.mutex);
                seen.packets.emplace_back(p->data, p->data + p->length);
            }
            p->pool->free_internal(p);
        });
        ASSERT_TRUE(waitFor([&] { return !intr.isReceiving(); }));
        gadget->inject(INTR, packet(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(seen.count(), 0u);
        EXPECT_EQ(gadget->urbs(INTR).size(), urbsBefore + 1) << "nothing submitted after the failure";
        EXPECT_EQ(gadget->queuedPackets(INTR), queuedBefore + 1);
    }
}

TEST_F(InterruptEndpointTest, DestructionCancelsTheTransferInFlight)
{
    const auto start = std::chrono::steady_clock::now();
    {
        UsbInterruptInEndpoint intr(*driver, INTR);
        ASSERT_TRUE(waitFor([&] { return gadget->pending(INTR) == 1; }));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(gadget->discards(), 1u);
    EXPECT_EQ(gadget->pending(INTR), 0u);
}

TEST_F(InterruptEndpointTest, DestructionWaitsForADeliveryInProgress)
{
    std::atomic<bool> entered{false};
    std::atomic<bool> finished{false};
    {
        UsbInterruptInEndpoint intr(*driver, INTR, [&](pbuf_t* p) {
            entered = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            p->data[0] = 0xFF; // the buffer is still alive
            p->pool->free_internal(p);
            finished = true;
        });
        gadget->inject(INTR, packet(3));
        ASSERT_TRUE(waitFor([&] { return entered.load(); }));
    }
    EXPECT_TRUE(finished) << "the endpoint went away while its handler ran";
}

TEST_F(InterruptEndpointTest, NeedsAnOpenDevice)
{
    driver->close();
    EXPECT_EQ(usbErrorOf([&] { UsbInterruptInEndpoint intr(*driver, INTR); }),
              "no such device (it may have been disconnected)");
}

} // namespace
