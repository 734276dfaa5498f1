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

// Starts n search threads (slot i gets thread i; a thread still living in a
// slot leaves first) and waits until each has installed its new record.
// Returns 0, or non-zero when not all could start: then the threads of the
// slots before the first failure run and their number goes to `started`.
int create_search_threads(int count, int* started = nullptr);

// An idle thread sleeps until its command byte is set (a wake-up that
// cannot be lost) and, in case the thread library ever fails, looks at the
// byte again after this many milliseconds without one: 100, ten looks a
// second, which cost an idle engine nothing measurable. Tests raise it so
// that a lost wake-up would hang instead of costing a moment.
extern std::atomic<int> idle_recheck_ms;

// The start routine of a search thread; its argument points at the thread's
// index slot. Returns when the thread's command byte asks it to leave.
void* search_thread_main(void* index_slot);

// Resets the per-search fields of every thread, copies the game into each
// record and sets their command bytes to 1: thread 0 first, the others 5 ms
// later (thread 0 probes the tables and publishes the first iterations
// before the helpers join), unless the search has ended by then.
void wake_search_threads();

// Number of threads among the first "Threads" whose command byte is not 0.
int count_searching_threads();

// Whether thread 0, whose result is the search's answer, is still busy; and
// the wait until it is not. The helpers may still be leaving a stopped
// search then: the report waits for them once its answer is out.
bool main_search_thread_busy();
void wait_for_main_search_thread();

// Waits until no search thread is busy: 1 ms sleeps while the search runs,
// only yields once it has been told to stop (it ends within microseconds).
void wait_for_search_threads();
// Waits for the search threads of a tool or a benchmark while running the
// clock and `poll_input` (its caller's input poll, when given) between
// looks, as the main loop does while a search runs: the clock ends the
// search in time, and "stop" and "quit" reach it. The input is polled once
// before the first look too: a search of a few nodes may end before it.
void serve_input_until_search_ends(bool (*poll_input)());
// Aborts a running search (stop byte 2) and waits for its threads.
void abort_search_and_wait();

// Stops any running search (stop byte 99), tells the threads of the first n
// slots to leave and waits until they have (slots without a living thread
// are passed over). Their records stay in the thread table.
void end_search_threads(int count);

// Per-search fields of one thread: current, completed and selective depth,
// score, counters, result kind, search ply and the root move.
void reset_thread_search_fields(ThreadData* td);
