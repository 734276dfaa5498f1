// TEMPORARY: trivial stand-ins, see stubs.h. None of them searches.
#include "stubs.h"

#include <sys/select.h>

#include <chrono>

#include "records.h"

namespace {
double search_start = 0.0;
double now_seconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}
}  // namespace

int create_search_threads(int) { return 0; }  // replace
void end_search_threads(int) { search_state.stop = STOP_LEAVE; }  // replace
void wake_search_threads() { search_state.stop = STOP_NORMAL; }  // replace
int count_searching_threads() { return 0; }  // replace

void sleep_ms(int milliseconds)  // replace
{
    timeval wait = {milliseconds / 1000, (milliseconds % 1000) * 1000};
    select(0, nullptr, nullptr, nullptr, &wait);
}

void prepare_thread_for_search(int) {}  // replace
void run_single_thread_search() {}  // replace

void start_search_clock()  // replace
{
    search_start = now_seconds();
    search_state.elapsed_time = 0.0;
    search_state.best_line[1] = 0;
    search_state.best_line[2] = 0;
    search_state.stop = STOP_RUN;
    search_state.best_score = -10000;
    search_state.best_depth = 0;
    search_state.search_state = search_state.search_command.load();
}

void check_search_time() { update_elapsed_time(); }  // replace
void update_elapsed_time() { search_state.elapsed_time = now_seconds() - search_start; }  // replace
void print_pv_line_if_due(u32, u32, int, int, const u16*) {}  // replace
void sum_thread_counters() {}  // replace
double effective_branching_factor() { return 2.0; }  // replace
void run_console_command(char*) {}  // replace
void run_speed_test() {}  // replace (start-up speed test waits for the evaluation and the picker)
