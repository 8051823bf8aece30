#include "zentrova/usb/PbufPool.h"

#include <new>

#include "usb/MutexLock.h"

PbufPool::PbufPool(size_t count, size_t bufferSize) : count(count), bufferSize(bufferSize)
{
    // new[] throws std::bad_array_new_length when count * sizeof overflows.
    buffers = new pbuf_t*[count]();
    size_t made = 0;
    try {
        for (; made < count; ++made) {
            buffers[made] = new pbuf_t;
            buffers[made]->base = new uint8_t[bufferSize];
            buffers[made]->data = buffers[made]->base;
            buffers[made]->capacity = bufferSize;
            buffers[made]->pool = this;
        }
    } catch (...) {
        for (size_t i = 0; i <= made && i < count; ++i) {
            if (buffers[i]) {
                delete[] buffers[i]->base;
                delete buffers[i];
            }
        }
        delete[] buffers;
        throw;
    }
    pthread_mutex_init(&mutex, nullptr);
    reset();
}

PbufPool::~PbufPool()
{
    pthread_mutex_destroy(&mutex);
    for (size_t i = 0; i < count; ++i) {
        delete[] buffers[i]->base;
        delete buffers[i];
    }
    delete[] buffers;
}

void PbufPool::reset()
{
    MutexLock lock(mutex);
    for (size_t i = 0; i < count; ++i)
        buffers[i]->next = i + 1 < count ? buffers[i + 1] : nullptr;
    freeList = count ? buffers[0] : nullptr;
    freeCount = minFree = count;
}

pbuf_t* PbufPool::palloc()
{
    pbuf_t* p;
    {
        MutexLock lock(mutex);
        p = freeList;
        if (!p)
            return nullptr;
        freeList = p->next;
        --freeCount;
        if (freeCount < minFree)
            minFree = freeCount;
    }
    // Nobody else holds the buffer now.
    p->data = p->base;
    p->length = 0;
    p->capacity = bufferSize;
    p->next = nullptr;
    return p;
}

void PbufPool::free_internal(pbuf_t* p)
{
    if (!p || p->pool != this)
        return;
    MutexLock lock(mutex);
    // A buffer given back twice must not be linked in twice: the free list
    // would then hand it to two holders, or loop.
    for (const pbuf_t* q = freeList; q; q = q->next) {
        if (q == p)
            return;
    }
    p->next = freeList;
    freeList = p;
    ++freeCount;
}

size_t PbufPool::getFreeCount() const
{
    MutexLock lock(mutex);
    return freeCount;
}

size_t PbufPool::getMinFree() const
{
    MutexLock lock(mutex);
    return minFree;
}
