// TEMPORARY: trivial stand-ins, see stubs.h. None of them searches.
#include "stubs.h"

#include <sys/select.h>

#include <chrono>

#include "records.h"

double search_start_time = 0.0;  // replace

double monotonic_seconds()  // replace
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// replace: makes the records the threads would own, without threads.
int create_search_threads(int count)
{
    for (int i = 0; i < count; i++) {
        if (thread_table[i]) continue;
        ThreadData* td = allocate_thread_data();
        if (!td) return 1;
        reset_thread_links(td);
        td->index = u8(i);
        td->seed = u32(i) * 123;
        thread_table[i] = td;
    }
    return 0;
}
void end_search_threads(int) { search_state.stop = STOP_LEAVE; }  // replace
void wake_search_threads() { search_state.stop = STOP_NORMAL; }  // replace
int count_searching_threads() { return 0; }  // replace

void sleep_ms(int milliseconds)  // replace
{
    timeval wait = {milliseconds / 1000, (milliseconds % 1000) * 1000};
    select(0, nullptr, nullptr, nullptr, &wait);
}

void prepare_thread_for_search(int index)  // replace: the game copy only
{
    ThreadData* td = thread_table[index];
    td->pos = game_record->pos;
    td->pos.owner = td;
    for (int i = 0; i < game_record->undo_count; i++) td->undo[i] = game_record->undo[i];
    td->undo_count = game_record->undo_count;
    td->undo[td->undo_count].move = 0;
    td->search_ply = 1;
    td->last_move = game_record->last_move;
    for (u64& c : td->counters) c = 0;
}
void run_single_thread_search() {}  // replace

void start_search_clock()  // replace
{
    search_start_time = monotonic_seconds();
    search_state.elapsed_time = 0.0;
    search_state.best_line[1] = 0;
    search_state.best_line[2] = 0;
    search_state.stop = STOP_RUN;
    search_state.best_score = -10000;
    search_state.best_depth = 0;
    search_state.search_state = search_state.search_command.load();
}

void check_search_time() { update_elapsed_time(); }  // replace
void update_elapsed_time() { search_state.elapsed_time = monotonic_seconds() - search_start_time; }  // replace
void print_pv_line_if_due(u32, u32, int, int, const u16*) {}  // replace
void sum_thread_counters() {}  // replace
double effective_branching_factor() { return 2.0; }  // replace
void run_console_command(char*) {}  // replace
