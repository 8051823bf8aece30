#include "zentrova/usb/PbufPool.h"

#include <new>

namespace {

class Lock {
public:
    explicit Lock(pthread_mutex_t& m) : m(m) { pthread_mutex_lock(&m); }
    ~Lock() { pthread_mutex_unlock(&m); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

private:
    pthread_mutex_t& m;
};

} // namespace

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
    Lock lock(mutex);
    for (size_t i = 0; i < count; ++i)
        buffers[i]->next = i + 1 < count ? buffers[i + 1] : nullptr;
    freeList = count ? buffers[0] : nullptr;
    freeCount = minFree = count;
}

pbuf_t* PbufPool::palloc()
{
    pbuf_t* p;
    {
        Lock lock(mutex);
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
    Lock lock(mutex);
    if (freeCount >= count)
        return; // more back than out: a buffer given back twice
    p->next = freeList;
    freeList = p;
    ++freeCount;
}

size_t PbufPool::getFreeCount() const
{
    Lock lock(mutex);
    return freeCount;
}

size_t PbufPool::getMinFree() const
{
    Lock lock(mutex);
    return minFree;
}
