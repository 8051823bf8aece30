// PbufPool: exhaustion, LIFO order, the low-water mark, reset, buffers given
// back wrongly, and a pool shared by two threads.
#include <cstring>
#include <new>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "zentrova/usb/PbufPool.h"

namespace {

TEST(PbufPool, HandsOutEveryBufferOnceThenNothingAndTakesThemBackLastInFirstOut)
{
    PbufPool pool(3, 64);
    std::vector<pbuf_t*> out;
    for (int i = 0; i < 3; ++i) {
        pbuf_t* p = pool.palloc();
        ASSERT_NE(p, nullptr);
        EXPECT_TRUE(p->pool == &pool && p->data == p->base && p->length == 0 && p->capacity == 64 && !p->next);
        std::memset(p->base, 0xA5, p->capacity); // the whole block is the buffer's
        out.push_back(p);
    }
    EXPECT_EQ(std::set<pbuf_t*>(out.begin(), out.end()).size(), 3u);
    EXPECT_EQ(pool.palloc(), nullptr);
    EXPECT_EQ(pool.getFreeCount(), 0u);
    EXPECT_EQ(pool.getMinFree(), 0u);

    out[2]->data += 3; // a holder may have moved the window
    out[2]->length = 9;
    pool.free_internal(out[0]);
    pool.free_internal(out[2]);
    EXPECT_EQ(pool.palloc(), out[2]);
    EXPECT_EQ(out[2]->data, out[2]->base) << "prepared afresh";
    EXPECT_EQ(out[2]->length, 0u);
    EXPECT_EQ(pool.palloc(), out[0]);
    EXPECT_EQ(pool.palloc(), nullptr);
    out[1]->pool->free_internal(out[1]);
    EXPECT_EQ(pool.palloc(), out[1]);
}

TEST(PbufPool, LowWaterMarkRestartsAtReset)
{
    PbufPool pool(8, 32);
    EXPECT_EQ(pool.getMinFree(), 8u);
    std::vector<pbuf_t*> held(5);
    for (auto& p : held)
        p = pool.palloc();
    for (pbuf_t* p : held)
        pool.free_internal(p);
    held = {pool.palloc(), pool.palloc()};
    EXPECT_EQ(pool.getFreeCount(), 6u);
    EXPECT_EQ(pool.getMinFree(), 3u);
    for (pbuf_t* p : held)
        pool.free_internal(p);
    pool.reset();
    EXPECT_EQ(pool.getMinFree(), 8u);
}

TEST(PbufPool, WrongGiveBacksAndSizeLimits)
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
    EXPECT_NE(pool.palloc(), pool.palloc());
    EXPECT_EQ(pool.palloc(), nullptr);

    // Given back twice while another buffer is still out.
    PbufPool three(3, 8);
    pbuf_t* a = three.palloc();
    ASSERT_NE(three.palloc(), nullptr);
    three.free_internal(a);
    three.free_internal(a);
    EXPECT_EQ(three.getFreeCount(), 2u);
    pbuf_t* x = three.palloc();
    EXPECT_NE(x, three.palloc());
    EXPECT_EQ(three.palloc(), nullptr);

    EXPECT_THROW(PbufPool(SIZE_MAX / 4, 1), std::bad_array_new_length);
    EXPECT_EQ(PbufPool(0, 512).palloc(), nullptr);
    EXPECT_NE(PbufPool(2, 0).palloc(), nullptr);
}

// Two threads take and give back buffers at once, running the pool dry now
// and then. A buffer handed out twice at once would lose its holder's mark.
TEST(PbufPool, SharedByTwoThreads)
{
    PbufPool pool(8, 512);
    auto work = [&pool](uint8_t mark) {
        for (int round = 0; round < 5000; ++round) {
            std::vector<pbuf_t*> held;
            while (held.size() < 5) {
                pbuf_t* p = pool.palloc();
                if (!p)
                    break;
                p->data[0] = mark;
                held.push_back(p);
            }
            for (pbuf_t* p : held) {
                EXPECT_EQ(p->data[0], mark);
                pool.free_internal(p);
            }
        }
    };
    std::thread other(work, 1);
    work(2);
    other.join();
    EXPECT_EQ(pool.getFreeCount(), 8u);
}

} // namespace
