// TEMPORARY stand-ins for functions that other parts of the engine provide
// (search threads, deepening driver, time control, search reports, console
// interpreter). Each is marked "replace" and goes away when the real one
// lands; the declarations follow the names the engine uses everywhere.
#pragma once

#include "types.h"

// Search threads (replace with the thread pool).
int create_search_threads(int count);
void end_search_threads(int count);
void wake_search_threads();
int count_searching_threads();
void sleep_ms(int milliseconds);

// Deepening driver (replace with the search).
void prepare_thread_for_search(int index);
void run_single_thread_search();

// Time control (replace with the search clock).
extern double search_start_time;  // monotonic seconds at the search start
double monotonic_seconds();
void start_search_clock();
void check_search_time();
void update_elapsed_time();

// Search reports (replace with the report printer).
void print_pv_line_if_due(u32 thread_index, u32 pv_number, int depth, int score, const u16* pv);
void sum_thread_counters();
double effective_branching_factor();

// Console interpreter (replace with the console commands).
void run_console_command(char* line);
