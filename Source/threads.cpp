#include "threads.h"

#include <cstdio>
#include <cstdlib>

#include "driver.h"
#include "records.h"

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

int count_busy(int count)
{
    int busy = 0;
    for (int i = 0; i < count && i < MAX_THREADS; i++) {
        const ThreadData* td = thread_table[i].load(std::memory_order_acquire);
        if (td && td->command.load(std::memory_order_acquire) != 0) busy++;
    }
    return busy;
}

}  // namespace

void reset_thread_search_fields(ThreadData* td)
{
    td->current_depth.store(0, std::memory_order_relaxed);
    td->search_ply = 1;
    td->completed_depth = 0;
    td->sel_depth = 0;
    td->completed_score.store(0, std::memory_order_relaxed);
    for (CounterCell& counter : td->counters) counter = 0;
    td->result_kind.store(0, std::memory_order_relaxed);
    set_thread_root_move(td, 0);
}

int create_search_threads(int count)
{
    if (count < 1) count = 1;
    if (count > MAX_THREADS) count = MAX_THREADS;
    for (int i = 0; i < count; i++) {
        index_slots[i] = i;
        ThreadData* old = thread_table[i].exchange(nullptr);
        if (old) {
            delete retired_records[i];  // a record whose successor never started
            retired_records[i] = old;
        }
        int error = start_detached_thread(search_thread_main, &index_slots[i]);
        if (error != 0) return error;
    }
    // Wait for every thread's own new record before anyone writes into it.
    for (int i = 0; i < count; i++) {
        while (!thread_table[i].load(std::memory_order_acquire)) sleep_ms(1);
    }
    // "-numa" (Windows): each thread moved itself onto its node's processor
    // group before allocating its record (search_thread_main).
    spin_unlock(result_lock);
    spin_unlock(output_lock);
    return 0;
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
        std::fprintf(stderr, "Could not allocate the record of search thread %d.\n", i);
        std::fflush(nullptr);
        std::_Exit(1);  // other threads still run: no destructors at exit
    }
    reset_thread_links(td);
    td->command.store(0, std::memory_order_relaxed);
    td->undo[0].move = 0;
    td->index = u8(i);
    td->seed = u32(i) * 123;
    thread_table[i].store(td, std::memory_order_release);

    for (;;) {
        const u8 command = td->command.load(std::memory_order_acquire);
        if (command == 0) {
            sleep_ms(1);
            continue;
        }
        if (i8(command) > 98) {
            td->command.store(0, std::memory_order_release);
            return nullptr;
        }
        run_search_driver(i);
        td->command.store(0, std::memory_order_release);
        sleep_ms(1);
    }
}

void wake_search_threads()
{
    // Every thread is idle here (the main thread wakes only idle threads), so
    // the main thread can reset their per-search fields without racing them.
    const int count = search_state.thread_count;
    for (int j = 0; j < count; j++) {
        if (ThreadData* td = thread_table[j].load(std::memory_order_acquire)) reset_thread_search_fields(td);
    }
    for (int i = 0; i < search_state.thread_count; i++) {
        if (ThreadData* td = thread_table[i].load(std::memory_order_acquire))
            td->command.store(1, std::memory_order_release);
        if (i == 0 && search_state.thread_count >= 2) sleep_ms(5);
    }
}

int count_searching_threads() { return count_busy(search_state.thread_count); }

void end_search_threads(int count)
{
    search_state.stop.store(STOP_LEAVE);
    while (count_busy(count) != 0) sleep_ms(1);
    for (int i = 0; i < count && i < MAX_THREADS; i++) {
        if (ThreadData* td = thread_table[i].load(std::memory_order_acquire))
            td->command.store(99, std::memory_order_release);
    }
    while (count_busy(count) != 0) sleep_ms(1);
}
