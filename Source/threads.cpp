#include "threads.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "driver.h"
#include "records.h"
#include "timecontrol.h"

SpinLock result_lock;
SpinLock output_lock;

namespace {

// Index slot i holds i for the whole life of the program; its address is the
// start argument of thread i.
int index_slots[MAX_THREADS];

// The record a slot held before its thread was replaced. The next thread
// started in that slot frees it; until then the slot of the thread table is
// empty, so nobody writes into a record that is about to be freed.
ThreadData* retired_records[MAX_THREADS];

// Set by a new thread of the slot that could not allocate its record.
std::atomic<u8> start_failed[MAX_THREADS];

// 1 while a thread runs in the slot (from its record's installation until
// its last touch of it).
std::atomic<u8> slot_alive[MAX_THREADS];

// An idle thread sleeps on its slot's signal, and its command byte is only
// set under the slot's mutex: a wake-up can then never fall between the
// sleeper's look at the byte and its sleep. (std::atomic::wait does not
// promise that where the C++ library builds it without a futex: MinGW's
// checks a counter outside its mutex, and a notify landing in that gap is
// lost, leaving the thread asleep through its search.)
struct IdleSignal {
    std::mutex lock;
    std::condition_variable wake;
};

// Never destroyed: a detached thread may still sleep on its signal while the
// process exits.
IdleSignal* const idle_signals = new IdleSignal[MAX_THREADS];

}  // namespace

std::atomic<int> idle_recheck_ms{100};

namespace {

void set_thread_command(int i, ThreadData* td, u8 command)
{
    IdleSignal& signal = idle_signals[i];
    {
        std::lock_guard<std::mutex> guard(signal.lock);
        td->command.store(command, std::memory_order_release);
    }
    signal.wake.notify_one();
}

// Sleeps until the slot's command byte is no longer idle.
void wait_for_command(int i, const ThreadData* td)
{
    IdleSignal& signal = idle_signals[i];
    std::unique_lock<std::mutex> guard(signal.lock);
    while (td->command.load(std::memory_order_acquire) == THREAD_IDLE)
        signal.wake.wait_for(guard, std::chrono::milliseconds(idle_recheck_ms.load(std::memory_order_relaxed)));
}

// Tells the thread of a slot to leave (ending its search first) and waits
// until it has; nothing when no thread lives there.
void retire_thread(int i)
{
    if (!slot_alive[i].load(std::memory_order_acquire)) return;
    ThreadData* td = thread_table[i].load(std::memory_order_acquire);
    while (td->command.load(std::memory_order_acquire) != THREAD_IDLE) {
        u8 running = STOP_RUN;
        search_state.stop.compare_exchange_strong(running, STOP_ABORT);
        sleep_ms(1);
    }
    set_thread_command(i, td, THREAD_LEAVE);
    while (slot_alive[i].load(std::memory_order_acquire)) sleep_ms(1);
}

int count_busy(int count)
{
    int busy = 0;
    for (int i = 0; i < count && i < MAX_THREADS; i++) {
        const ThreadData* td = thread_table[i].load(std::memory_order_acquire);
        if (td && td->command.load(std::memory_order_acquire) != THREAD_IDLE) busy++;
    }
    return busy;
}

// Waits until none of the first `count` threads is busy: 1 ms sleeps while
// the search runs, only yields once it has been told to stop.
void wait_while_busy(int count)
{
    while (count_busy(count) > 0) {
        if (search_state.stop.load() == STOP_RUN) sleep_ms(1);
        else std::this_thread::yield();
    }
}

// Thread 0's head start over the helpers: 5 ms, less when the search must
// stop sooner (the main thread cannot look at the clock meanwhile).
int head_start_ms()
{
    const double left = search_state.hard_time_limit - search_state.elapsed_time.load(std::memory_order_relaxed);
    return left >= 0.005 ? 5 : left > 0 ? int(left * 1000) : 0;
}

}  // namespace

void reset_thread_search_fields(ThreadData* td)
{
    td->current_depth.store(0, std::memory_order_relaxed);
    td->search_ply = 1;
    td->iteration_multipv.store(u8(search_state.multipv.load(std::memory_order_relaxed)), std::memory_order_relaxed);
    td->completed_depth = 0;
    td->sel_depth = 0;
    td->completed_score.store(0, std::memory_order_relaxed);
    for (CounterCell& counter : td->counters) counter = 0;
    td->result_kind.store(RESULT_NONE, std::memory_order_relaxed);
    set_thread_root_move(td, 0);
}

int create_search_threads(int count, int* started)
{
    if (count < 1) count = 1;
    if (count > MAX_THREADS) count = MAX_THREADS;
    int launched = 0, error = 0;
    for (int i = 0; i < count; i++) {
        index_slots[i] = i;
        // A thread still living in the slot leaves before its record is
        // handed on: freeing it under a running thread would be fatal.
        retire_thread(i);
        start_failed[i].store(0, std::memory_order_relaxed);
        ThreadData* old = thread_table[i].exchange(nullptr);
        if (old) {
            delete retired_records[i];  // a record whose successor never started
            retired_records[i] = old;
        }
        error = start_detached_thread(search_thread_main, &index_slots[i]);
        if (error != 0) break;
        launched++;
    }
    // Wait for every thread's own new record (or its failure to get one)
    // before anyone writes into it.
    int running = launched;
    for (int i = 0; i < launched; i++) {
        while (!thread_table[i].load(std::memory_order_acquire) && !start_failed[i].load(std::memory_order_acquire))
            sleep_ms(1);
        if (running == launched && start_failed[i].load(std::memory_order_acquire)) running = i;
    }
    // The pool is the slots 0 .. running-1: threads started behind a failed
    // slot leave again.
    for (int i = running; i < launched; i++) retire_thread(i);
    // "-numa" (Windows): each thread moved itself onto its node's processor
    // group before allocating its record (search_thread_main).
    spin_unlock(result_lock);
    spin_unlock(output_lock);
    if (started) *started = running;
    if (running == count) return 0;
    return error != 0 ? error : -1;
}

void* search_thread_main(void* index_slot)
{
    const int i = *static_cast<int*>(index_slot);
    delete retired_records[i];
    retired_records[i] = nullptr;
    // "-numa": onto the node first, so that the record is allocated there.
    if (engine_config.numa) place_search_thread(i);

    ThreadData* td = allocate_thread_data();
    if (!td) {
        // The pool starts without this thread; its creator says so.
        std::fprintf(stderr, "Could not allocate the record of search thread %d.\n", i);
        start_failed[i].store(1, std::memory_order_release);
        return nullptr;
    }
    reset_thread_links(td);
    td->command.store(THREAD_IDLE, std::memory_order_relaxed);
    td->undo[0].move = 0;
    td->index = u8(i);
    td->seed = u32(i) * 123;
    slot_alive[i].store(1, std::memory_order_relaxed);
    thread_table[i].store(td, std::memory_order_release);

    for (;;) {
        // Idle: asleep until the command byte changes (woken by its writer),
        // so an idle engine costs no processor time.
        wait_for_command(i, td);
        const u8 command = td->command.load(std::memory_order_acquire);
        if (i8(command) >= THREAD_LEAVE) {
            td->command.store(THREAD_IDLE, std::memory_order_release);
            slot_alive[i].store(0, std::memory_order_release);
            return nullptr;
        }
        run_search_driver(i);
        td->command.store(THREAD_IDLE, std::memory_order_release);
        // The main loop reports as soon as the last thread is idle.
        wake_main_thread();
    }
}

void wake_search_threads()
{
    // Every thread is idle here (the main thread wakes only idle threads), so
    // the main thread resets their per-search fields and copies the game into
    // each record itself: no thread that the system has not yet scheduled
    // holds up the start, and the game cannot change (a "position" read
    // later) before a late thread has its copy.
    const int count = search_state.thread_count;
    for (int j = 0; j < count; j++) {
        if (ThreadData* td = thread_table[j].load(std::memory_order_acquire)) reset_thread_search_fields(td);
    }
    arm_search_deadline();
    for (int i = 0; i < count; i++) {
        // A search that ended within thread 0's head start leaves the
        // helpers asleep.
        if (i > 0 && search_state.stop.load() != STOP_RUN) break;
        if (ThreadData* td = thread_table[i].load(std::memory_order_acquire)) {
            prepare_thread_for_search(i);
            set_thread_command(i, td, THREAD_SEARCH);
        }
        if (i == 0 && count >= 2) sleep_ms(head_start_ms());
    }
}

int count_searching_threads() { return count_busy(search_state.thread_count); }

bool main_search_thread_busy() { return count_busy(1) > 0; }

void wait_for_main_search_thread() { wait_while_busy(1); }

void wait_for_search_threads() { wait_while_busy(search_state.thread_count); }

void serve_input_until_search_ends(bool (*poll_input)())
{
    for (;;) {
        check_search_time();
        if (poll_input) poll_input();
        if (count_searching_threads() == 0) return;
        if (search_state.stop.load() == STOP_RUN) sleep_ms(1);
    }
}

void abort_search_and_wait()
{
    search_state.stop = STOP_ABORT;
    wait_for_search_threads();
}

void end_search_threads(int count)
{
    search_state.stop.store(STOP_LEAVE);
    for (int i = 0; i < count && i < MAX_THREADS; i++) retire_thread(i);
}

