// The pool of search threads: 1 to 80 detached threads that live as long as
// the engine, each owning one ThreadData. The main thread wakes them through
// their command bytes and learns that a search has ended when every command
// byte is back at 0. Also the two short locks of the search.
#pragma once

#include "platform.h"
#include "types.h"

// Guards the shared result (merge_thread_result) and readers that need a
// consistent view of it.
extern SpinLock result_lock;
// Guards the search's "info" lines: one line at a time.
extern SpinLock output_lock;

// Starts n search threads (slot i gets thread i) and waits until each has
// installed its new record. Returns 0 or the first thread-creation error
// (threads already started keep running).
int create_search_threads(int count);

// The start routine of a search thread; its argument points at the thread's
// index slot. Returns when the thread's command byte asks it to leave.
void* search_thread_main(void* index_slot);

// Resets the per-search fields of every thread and sets their command bytes
// to 1: thread 0 first, the others 5 ms later (thread 0 probes the tables and
// publishes the first iterations before the helpers join).
void wake_search_threads();

// Number of threads among the first "Threads" whose command byte is not 0.
int count_searching_threads();

// Stops any running search (stop byte 99), tells the first n threads to
// leave and waits until they have. Their records stay in the thread table.
void end_search_threads(int count);

// Per-search fields of one thread: current, completed and selective depth,
// score, counters, result kind, search ply and the root move.
void reset_thread_search_fields(ThreadData* td);
