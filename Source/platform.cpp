#include "platform.h"

#include <pthread.h>
#include <sys/select.h>

#include <ctime>

double monotonic_seconds()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

void sleep_ms(int milliseconds)
{
    // select with no descriptors: a plain timed wait that signals do not
    // turn into an error the caller must handle.
    timeval wait = {milliseconds / 1000, (milliseconds % 1000) * 1000};
    select(0, nullptr, nullptr, nullptr, &wait);
}

int start_detached_thread(void* (*fn)(void*), void* argument)
{
    pthread_attr_t attributes;
    int error = pthread_attr_init(&attributes);
    if (error != 0) return error;
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    error = pthread_create(&thread, &attributes, fn, argument);
    pthread_attr_destroy(&attributes);
    return error;
}
