// A fixed set of equal-size packet buffers handed out and taken back through
// a free list under a mutex, shared between a producer (the USB event thread)
// and a consumer.
#ifndef ZENTROVA_USB_PBUFPOOL_H
#define ZENTROVA_USB_PBUFPOOL_H

#include <pthread.h>

#include <cstddef>
#include <cstdint>

#include "zentrova/export.h"

class PbufPool;

// One buffer of a pool. `data`/`length` describe the valid bytes inside the
// block `base` of `capacity` bytes; a holder gives the buffer back with
// p->pool->free_internal(p).
struct ZENTROVA_API pbuf_t {
    uint8_t* data = nullptr;
    size_t length = 0;
    pbuf_t* next = nullptr; // free-list link; null while handed out
    size_t capacity = 0;
    uint8_t* base = nullptr;
    PbufPool* pool = nullptr;
};

// The pool owns every buffer, handed out or not, until it is destroyed.
class ZENTROVA_API PbufPool {
public:
    // `count` buffers of `bufferSize` bytes each. A count whose array size
    // overflows throws std::bad_array_new_length. A pool of 0 buffers is
    // always exhausted.
    PbufPool(size_t count, size_t bufferSize);
    ~PbufPool();
    PbufPool(const PbufPool&) = delete;
    PbufPool& operator=(const PbufPool&) = delete;

    // Makes every buffer free again, in creation order, and restarts the
    // low-water mark. Only for a pool whose buffers are all back.
    void reset();
    // The buffer freed last (LIFO), emptied; null when none is free.
    pbuf_t* palloc();
    // Gives `p` back. A null buffer, one of another pool, or one that is
    // already free is ignored.
    void free_internal(pbuf_t* p);

    size_t getFreeCount() const;   // buffers on the free list now
    size_t getMinFree() const;     // lowest free count since the last reset
    size_t getCount() const { return count; }
    size_t getBufferSize() const { return bufferSize; }

private:
    size_t freeCount = 0;
    size_t minFree = 0;
    size_t count;
    size_t bufferSize;
    pbuf_t** buffers = nullptr; // all `count` records, in creation order
    pbuf_t* freeList = nullptr;
    mutable pthread_mutex_t mutex;
};

#endif
