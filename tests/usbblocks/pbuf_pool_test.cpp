// PbufPool: exhaustion, LIFO order, the low-water mark, reset, buffers given
// back wrongly, and a producer and a consumer on two threads.
#include <atomic>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "zentrova/usb/PbufPool.h"

namespace {

TEST(PbufPool, HandsOutEveryBufferOnceThenNothing)
{
    PbufPool pool(4, 64);
    std::set<pbuf_t*> out;
    for (int i = 0; i < 4; ++i) {
        pbuf_t* p = pool.palloc();
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->pool, &pool);
        EXPECT_EQ(p->data, p->base);
        EXPECT_EQ(p->length, 0u);
        EXPECT_EQ(p->capacity, 64u);
        EXPECT_EQ(p->next, nullptr);
        std::memset(p->base, 0xA5, p->capacity); // the whole block is the buffer's
        out.insert(p);
    }
    EXPECT_EQ(out.size(), 4u);
    EXPECT_EQ(pool.palloc(), nullptr);
    EXPECT_EQ(pool.palloc(), nullptr);
    EXPECT_EQ(pool.getFreeCount(), 0u);
    EXPECT_EQ(pool.getMinFree(), 0u);
}

TEST(PbufPool, LastBufferBackIsTheNextOut)
{
    PbufPool pool(3, 16);
    pbuf_t* a = pool.palloc();
    pbuf_t* b = pool.palloc();
    pbuf_t* c = pool.palloc();
    pool.free_internal(a);
    pool.free_internal(c);
    c->data += 3; // a holder may have moved the window
    c->length = 9;
    pbuf_t* again = pool.palloc();
    EXPECT_EQ(again, c);
    EXPECT_EQ(again->data, again->base) << "prepared afresh";
    EXPECT_EQ(again->length, 0u);
    EXPECT_EQ(pool.palloc(), a);
    EXPECT_EQ(pool.palloc(), nullptr);
    b->pool->free_internal(b);
    EXPECT_EQ(pool.palloc(), b);
}

TEST(PbufPool, LowWaterMarkAndOrderRestartAtReset)
{
    PbufPool pool(8, 32);
    EXPECT_EQ(pool.getMinFree(), 8u);
    std::vector<pbuf_t*> held;
    for (int i = 0; i < 5; ++i)
        held.push_back(pool.palloc());
    for (pbuf_t* p : held)
        pool.free_internal(p);
    held.clear();
    held.push_back(pool.palloc());
    held.push_back(pool.palloc());
    EXPECT_EQ(pool.getFreeCount(), 6u);
    EXPECT_EQ(pool.getMinFree(), 3u);

    for (pbuf_t* p : held)
        pool.free_internal(p);
    pool.reset();
    EXPECT_EQ(pool.getFreeCount(), 8u);
    EXPECT_EQ(pool.getMinFree(), 8u);
    // After a reset the buffers come out in creation order again.
    std::vector<pbuf_t*> order;
    for (int i = 0; i < 8; ++i)
        order.push_back(pool.palloc());
    pool.reset();
    for (pbuf_t* p : order)
        EXPECT_EQ(pool.palloc(), p);
}

TEST(PbufPool, WrongGiveBacksAreIgnored)
{
    PbufPool pool(2, 8);
    PbufPool other(1, 8);
    pbuf_t* p = pool.palloc();
    pool.free_internal(nullptr);
    pool.free_internal(other.palloc()); // a buffer of another pool
    EXPECT_EQ(pool.getFreeCount(), 1u);
    pool.free_internal(p);
    pool.free_internal(p); // twice: the free list must not loop
    EXPECT_EQ(pool.getFreeCount(), 2u);
    pbuf_t* x = pool.palloc();
    pbuf_t* y = pool.palloc();
    EXPECT_NE(x, y);
    EXPECT_EQ(pool.palloc(), nullptr);
}

TEST(PbufPool, SizeLimits)
{
    EXPECT_THROW(PbufPool(SIZE_MAX / 4, 1), std::bad_array_new_length);
    PbufPool empty(0, 512);
    EXPECT_EQ(empty.palloc(), nullptr);
    PbufPool zeroSized(2, 0);
    ASSERT_NE(zeroSized.palloc(), nullptr);
}

// The event thread takes buffers while the consumer gives them back.
TEST(PbufPool, ProducerAndConsumerOnTwoThreads)
{
    PbufPool pool(8, 512);
    std::mutex queueMutex;
    std::deque<pbuf_t*> queue;
    std::atomic<bool> producing{true};
    std::atomic<size_t> produced{0}, starved{0};

    std::thread producer([&] {
        for (unsigned i = 0; i < 20000; ++i) {
            pbuf_t* p = pool.palloc();
            if (!p) {
                ++starved;
                std::this_thread::yield();
                continue;
            }
            p->data[0] = static_cast<uint8_t>(i);
            p->length = 1;
            std::lock_guard<std::mutex> lock(queueMutex);
            queue.push_back(p);
            ++produced;
        }
        producing = false;
    });
    size_t consumed = 0;
    for (;;) {
        pbuf_t* p = nullptr;
        {
            std::lock_guard<std::mutex> lock(queueMutex);
            if (!queue.empty()) {
                p = queue.front();
                queue.pop_front();
            }
        }
        if (p) {
            EXPECT_EQ(p->length, 1u);
            p->pool->free_internal(p);
            ++consumed;
        } else if (!producing) {
            std::lock_guard<std::mutex> lock(queueMutex);
            if (queue.empty())
                break;
        } else {
            std::this_thread::yield();
        }
    }
    producer.join();
    EXPECT_EQ(consumed, produced.load());
    EXPECT_EQ(pool.getFreeCount(), 8u);
    EXPECT_LE(pool.getMinFree(), 8u);
}

} // namespace
