#include "tools/toolsupport.h"

#include <cstring>
#include <string>

#include "records.h"
#include "driver.h"
#include "log.h"
#include "platform.h"
#include "report.h"
#include "threads.h"
#include "timecontrol.h"

void stop_search_and_wait()
{
    search_state.stop = STOP_ABORT;
    while (count_searching_threads() > 0) sleep_ms(1);
}

void report_unopened_file(const char* what, const char* path)
{
    std::string text = std::string("can't open ") + what + " " + path;
    send_line(text.c_str());
}

void clear_thread_evaluation_caches(ThreadData* td)
{
    if (!td) return;
    std::memset(td->eval_cache, 0, sizeof td->eval_cache);
    std::memset(td->pawn_hash, 0, sizeof td->pawn_hash);
}

void clear_evaluation_caches()
{
    for (auto& slot : thread_table) clear_thread_evaluation_caches(slot.load(std::memory_order_relaxed));
}
