// Scoped lock over the POSIX mutexes that the endpoints and the buffer pool
// keep in their exported records.
#ifndef ZENTROVA_USB_MUTEXLOCK_H
#define ZENTROVA_USB_MUTEXLOCK_H

#include <pthread.h>

class MutexLock {
public:
    explicit MutexLock(pthread_mutex_t& m) : m(m) { pthread_mutex_lock(&m); }
    ~MutexLock() { pthread_mutex_unlock(&m); }
    MutexLock(const MutexLock&) = delete;
    MutexLock& operator=(const MutexLock&) = delete;

private:
    pthread_mutex_t& m;
};

#endif
