// The few operating-system services the search needs, kept in one place so a
// port touches only this file pair: the monotonic clock, the millisecond
// sleep and the short spinlock of the search.
#pragma once

#include <atomic>

// Seconds of a monotonic clock (only differences are meaningful).
double monotonic_seconds();

// Sleeps the calling thread for the given number of milliseconds.
void sleep_ms(int milliseconds);

// A short busy-wait lock for a few dozen instructions of work (copying the
// shared result, writing one report line).
struct SpinLock {
    std::atomic_flag flag = ATOMIC_FLAG_INIT;
};

inline void spin_lock(SpinLock& lock)
{
    while (lock.flag.test_and_set(std::memory_order_acquire)) {
        while (lock.flag.test(std::memory_order_relaxed)) {
        }
    }
}

inline void spin_unlock(SpinLock& lock) { lock.flag.clear(std::memory_order_release); }

// Starts a detached thread running fn(argument). Returns 0 or the system's
// error code.
int start_detached_thread(void* (*fn)(void*), void* argument);
