// The interrupt IN endpoint through the real libusb against a simulated
// gadget whose packets the tests inject.
#include <errno.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "usbblocks/GadgetFixture.h"
#include "zentrova/usb/UsbInterruptInEndpoint.h"

using zentrova::sim::BulkAction;
using zentrova::sim::GadgetModel;
using Packets = std::vector<std::vector<uint8_t>>;

namespace {

constexpr uint8_t INTR = 0x82;

// Injects `count` packets of 1..64 bytes, contents derived from their number.
Packets inject(GadgetModel& gadget, unsigned count)
{
    Packets sent(count);
    for (unsigned n = 0; n < count; ++n) {
        for (size_t i = 0; i <= n % 64; ++i)
            sent[n].push_back(static_cast<uint8_t>(n * 13 + i));
        gadget.inject(INTR, sent[n]);
    }
    return sent;
}

// A handler that records the packets it gets (on the event thread) and gives
// the buffers back, or keeps them.
struct Recorder {
    UsbInterruptInEndpoint::Handler handler(bool keep = false)
    {
        return [this, keep](pbuf_t* p) {
            std::lock_guard<std::mutex> lock(mutex);
            packets.emplace_back(p->data, p->data + p->length);
            if (!keep)
                p->pool->free_internal(p);
        };
    }
    Packets seen()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return packets;
    }

    std::mutex mutex;
    Packets packets;
};

using InterruptEndpointTest = OpenGadgetTest;

// Without a handler every packet goes straight back and receiving goes on;
// a handler set while the endpoint runs then sees every packet in order.
TEST_F(InterruptEndpointTest, WithoutAndThenWithAHandler)
{
    Recorder copying; // outlives the endpoint
    UsbInterruptInEndpoint intr(driver(), INTR);
    ASSERT_TRUE(waitFor([&] { return gadget->pending(INTR) == 1; }));
    EXPECT_EQ(gadget->urbs(INTR)[0].length, 512u) << "one whole pool buffer per transfer";
    inject(*gadget, 40);
    ASSERT_TRUE(waitFor([&] { return gadget->urbs(INTR).size() == 41 && gadget->pending(INTR) == 1; }));
    // One buffer in flight; the delivered one goes back before the next completion.
    EXPECT_TRUE(waitFor([&] { return intr.bufferPool().getFreeCount() == 7; }));
    EXPECT_EQ(intr.bufferPool().getMinFree(), 6u);

    intr.setHandler(copying.handler());
    const Packets sent = inject(*gadget, 30);
    ASSERT_TRUE(waitFor([&] { return copying.seen().size() == 30; }));
    EXPECT_EQ(copying.seen(), sent);
}

// Eight buffers: one goes to the next transfer before each delivery, so a
// handler that keeps them all gets eight packets and the endpoint stops
// with no transfer in flight. The buffers it holds go with the endpoint.
TEST_F(InterruptEndpointTest, HandlerThatKeepsBuffersStopsTheEndpointAfterEight)
{
    Recorder keeping;
    UsbInterruptInEndpoint intr(driver(), INTR, keeping.handler(true));
    const Packets sent = inject(*gadget, 10);
    ASSERT_TRUE(waitFor([&] { return keeping.seen().size() == 8 && !intr.isReceiving(); }));
    EXPECT_EQ(gadget->urbs(INTR).size(), 8u);
    EXPECT_EQ(gadget->pending(INTR), 0u);
    EXPECT_EQ(gadget->queuedPackets(INTR), 2u) << "the last two stay with the device";
    EXPECT_EQ(intr.bufferPool().getFreeCount(), 0u);
    EXPECT_EQ(keeping.seen(), Packets(sent.begin(), sent.begin() + 8));
}

TEST_F(InterruptEndpointTest, FailedTransferStopsTheEndpointWithoutDelivery)
{
    gadget->script(INTR, {BulkAction::fail(-EPROTO)});
    Recorder copying;
    UsbInterruptInEndpoint intr(driver(), INTR, copying.handler());
    ASSERT_TRUE(waitFor([&] { return !intr.isReceiving(); }));
    inject(*gadget, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_TRUE(copying.seen().empty());
    EXPECT_EQ(gadget->urbs(INTR).size(), 1u) << "nothing submitted after the failure";
    EXPECT_EQ(gadget->queuedPackets(INTR), 1u);
}

// The destructor cancels the transfer in flight and waits for a delivery in
// progress: the last one with no transfer behind it (a handler that kept all
// eight buffers), or one with the next packet already taken in, which is
// then not delivered. A transfer that cannot be submitted fails the start.
TEST_F(InterruptEndpointTest, DestructionCancelsTheTransferAndWaitsForTheHandler)
{
    const auto start = std::chrono::steady_clock::now();
    {
        UsbInterruptInEndpoint intr(driver(), INTR);
        ASSERT_TRUE(waitFor([&] { return gadget->pending(INTR) == 1; }));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(gadget->discards(), 1u);
    EXPECT_EQ(gadget->pending(INTR), 0u);

    const struct { unsigned injected, slowAt; bool keep; } cases[] = {{8, 8, true}, {2, 1, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.injected);
        std::atomic<unsigned> entered{0};
        std::atomic<bool> finished{false};
        {
            UsbInterruptInEndpoint intr(driver(), INTR, [&](pbuf_t* p) {
                if (++entered == c.slowAt) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(150));
                    p->data[0] = 0xFF; // the buffer is still alive
                    finished = true;
                }
                if (!c.keep)
                    p->pool->free_internal(p);
            });
            inject(*gadget, c.injected);
            ASSERT_TRUE(waitFor([&] { return entered == c.slowAt; }));
        }
        EXPECT_TRUE(finished) << "the endpoint went away while its handler ran";
        EXPECT_EQ(entered, c.slowAt);
    }
    testbed->unplug(*gadget);
    EXPECT_THROW(UsbInterruptInEndpoint(driver(), INTR), UsbException);
}

} // namespace
