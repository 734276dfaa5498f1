// The engine start-up of every test that searches (tables, keys,
// parameters, a 16 MB transposition table, the game record), the pool of
// search threads, and helpers for whole searches through the deepening
// driver: search a FEN to a fixed depth, publish a thread's result.
#pragma once

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "bitbase.h"
#include "bitboard.h"
#include "driver.h"
#include "fen.h"
#include "params.h"
#include "platform.h"
#include "pruning.h"
#include "records.h"
#include "threads.h"
#include "timecontrol.h"
#include "tt.h"
#include "zobrist.h"

namespace search_setup {

// The engine start-up of the tests and benchmarks that search; idempotent.
// Search lines are not printed and nothing is logged.
inline void init_engine_once()
{
    static bool done = false;
    engine_config.output_delay = OUTPUT_DELAY_QUIET;
    engine_config.log = 0;
    engine_config.protocol = PROTOCOL_UCI;
    if (done) return;
    done = true;
    init_board_tables();
    generate_zobrist_keys();
    build_kpk_bitbase();
    write_default_params(params);
    engine_config.builtin_pst = 1;
    init_evaluation_tables();
    init_pruning_tables();
    search_state.hash_size = 16;
    setup_hash_table();
    if (!game_record) setup_game_record();
}

// Number of live search threads that the tests started (0: none). Threads
// are started and ended only through use_search_threads, so a new pool never
// replaces threads that still run on their old records.
inline int live_threads = 0;

// Ends the live pool, if any, and starts n threads (n = 0: ends it only);
// the search state's thread count follows. A pool of n already live is kept.
inline void use_search_threads(int n)
{
    if (live_threads != n) {
        if (live_threads > 0) end_search_threads(live_threads);
        live_threads = 0;
        if (n > 0) {
            ASSERT_EQ(create_search_threads(n), 0);
            live_threads = n;
        }
    }
    if (n > 0) search_state.thread_count = u8(n);
}

// The engine set up as above with one live search thread.
inline void init_engine_with_one_thread()
{
    init_engine_once();
    use_search_threads(1);
}

// Thread 0's record for tests that use it without a search: the live pool's,
// or else a record of its own put in slot 0.
inline ThreadData* thread_zero_record()
{
    ThreadData* td = thread_table[0].load();
    if (!td) {
        td = allocate_thread_data();
        reset_thread_links(td);
        thread_table[0].store(td);
    }
    return td;
}

// The suites that read or set thread 0's record without a search (the
// reports, the clock): the engine started once and that record in `td`.
struct ThreadZeroTest : ::testing::Test {
    static inline ThreadData* td = nullptr;

    static void SetUpTestSuite()
    {
        init_engine_once();
        td = thread_zero_record();
    }
};

// Limits of a fixed-depth search with no clock.
inline void set_depth_limit(int depth)
{
    search_state.depth_limit = u8(depth);
    search_state.time_mode = TIME_MODE_FIXED;
    search_state.move_time = 1e7;
    search_state.node_limit = 0;
    search_state.search_command = SEARCH_THINK;
}

// Sets the game position; false when the FEN is refused.
inline bool set_game_fen(const char* fen) { return set_position_from_fen(game_record->pos, fen) == 1; }

// The FEN of the game position.
inline std::string game_fen()
{
    char fen[128];
    position_to_fen(game_record->pos, fen);
    return fen;
}

// Publishes a thread's finished iteration the way the driver does: the
// thread's result (score, root move, no further line), then the merge into
// the shared result.
inline void publish_thread_result(ThreadData* td, int depth, int score, Move move)
{
    td->completed_depth = u8(depth);
    td->completed_score = i16(score);
    set_thread_root_move(td, move);
    td->pv[2] = 0;
    merge_thread_result(td);
}

// Searches the game position to the depth on the calling thread with thread
// 0's record, from a cleared table.
inline void search_single_thread(int depth)
{
    set_depth_limit(depth);
    clear_hash_table();
    start_search_clock();
    run_single_thread_search();
    search_state.search_state = SEARCH_NONE;
    search_state.search_command = SEARCH_NONE;
}

// Searches the game position with the thread pool and waits for the end,
// running the clock like the main loop does.
inline void search_with_threads(int depth)
{
    set_depth_limit(depth);
    clear_hash_table();
    start_search_clock();
    wake_search_threads();
    while (count_searching_threads() > 0) {
        check_search_time();
        sleep_ms(1);
    }
    update_elapsed_time();
    search_state.search_state = SEARCH_NONE;
    search_state.search_command = SEARCH_NONE;
}

}  // namespace search_setup
