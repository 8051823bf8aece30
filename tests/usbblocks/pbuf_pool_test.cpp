// PbufPool: exhaustion, LIFO order, the low-water mark, reset, buffers given
// back wrongly, and a pool shared by two threads.
#include <cstring>
#include <new>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "zentrova/usb/PbufPool.h"

namespace {

TEST(PbufPool, HandsOutEveryBufferOnceTakesThemBackLastInFirstOutAndTracksTheLowWaterMark)
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
    EXPECT_EQ(pool.palloc(), nullptr);
    EXPECT_EQ(pool.getMinFree(), 0u);

    out[2]->data += 3; // a holder may have moved the window
    out[2]->length = 9;
    pool.free_internal(out[0]);
    pool.free_internal(out[2]);
    EXPECT_EQ(pool.getFreeCount(), 2u);
    EXPECT_EQ(pool.getMinFree(), 0u) << "the lowest count, not the current one";
    EXPECT_EQ(pool.palloc(), out[2]);
    EXPECT_EQ(out[2]->data, out[2]->base) << "prepared afresh";
    EXPECT_EQ(out[2]->length, 0u);
    EXPECT_EQ(pool.palloc(), out[0]);
    EXPECT_EQ(pool.palloc(), nullptr);
    for (pbuf_t* p : out)
        p->pool->free_internal(p);
    pool.reset();
    EXPECT_EQ(pool.getMinFree(), 3u);
    EXPECT_NE(pool.palloc(), nullptr);
    EXPECT_EQ(pool.getMinFree(), 2u);
}

TEST(PbufPool, WrongGiveBacksAndSizeLimits)
{
    PbufPool pool(3, 8);
    PbufPool other(1, 8);
    pbuf_t* a = pool.palloc();
    ASSERT_NE(pool.palloc(), nullptr); // still out while `a` goes back twice
    pool.free_internal(nullptr);
    pool.free_internal(other.palloc()); // a buffer of another pool
    pool.free_internal(a);
    pool.free_internal(a); // twice: linked in once, so the free list neither loops nor repeats
    EXPECT_EQ(pool.getFreeCount(), 2u);
    pbuf_t* x = pool.palloc();
    EXPECT_NE(x, pool.palloc());
    EXPECT_EQ(pool.palloc(), nullptr);

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
            while (pbuf_t* p = held.size() < 5 ? pool.palloc() : nullptr) {
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
