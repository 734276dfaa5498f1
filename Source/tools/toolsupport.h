// Small services the development tools share: bringing the search threads
// to rest before a tool borrows thread 0's record, and emptying the
// evaluation caches when the parameters they were filled under change.
#pragma once

struct ThreadData;

// Aborts a running search or analysis (stop byte 2) and waits in 1 ms
// sleeps until no search thread is busy any more.
void stop_search_and_wait();

// Sends "can't open WHAT PATH": a tool's input or output file that could
// not be opened.
void report_unopened_file(const char* what, const char* path);

// Empties the evaluation cache and the pawn hash of every search thread:
// their entries hold scores computed under the parameters then in use.
void clear_evaluation_caches();
// The same for one thread's record.
void clear_thread_evaluation_caches(ThreadData* td);
