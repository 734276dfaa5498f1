// Every test leaves the engine as it found it, so that the tests pass in any
// order, in one process or in shards: a listener takes a snapshot of the
// engine's shared state before each test suite and each test, and puts it
// back after them. The snapshot covers the records (search state, process
// switches, parameters, evaluation and pruning tables, the game record, the
// tuner's table, the loose globals), the size of the transposition table,
// the pool of search threads the tests started, and whether tablebases are
// registered.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "console.h"
#include "root.h"
#include "search.h"
#include "search_setup.h"
#include "tablebase/tablebase.h"
#include "test_data.h"
#include "tools/tune.h"

namespace {

// A block of the engine's memory that a snapshot copies as bytes (the
// records hold atomics: copied while no search runs).
struct StateBlock {
    void* at;
    size_t size;
};

template <typename T>
StateBlock block(T& object)
{
    return {static_cast<void*>(&object), sizeof object};
}

const StateBlock plain_state[] = {
    block(search_state), block(engine_config), block(params), block(saved_params), block(eval_tables),
    block(FP_depth), block(FP_margin), block(SEP_depth), block(SEP_margin), block(NMP_depth), block(LMP_depth),
    block(LMP_count), block(LMR_depth), block(reduction_pv), block(reduction_non_pv), block(self_play),
    block(extra_report), block(single_thread_bench), block(runner_up_score), block(search_selective),
    block(search_start_time), block(tune_table), block(tune_count), block(tune_registered), block(tune_sample_seed),
};

struct EngineSnapshot {
    std::vector<unsigned char> plain;
    ThreadData* game_record = nullptr;
    std::vector<unsigned char> game_record_bytes;
    u64 hash_entries = 0;
    int live_threads = 0;
    bool tables_registered = false;
};

void save_engine_state(EngineSnapshot& s)
{
    s.plain.clear();
    for (const StateBlock& b : plain_state) {
        const unsigned char* bytes = static_cast<const unsigned char*>(b.at);
        s.plain.insert(s.plain.end(), bytes, bytes + b.size);
    }
    s.game_record = game_record;
    if (game_record) {
        const unsigned char* bytes = reinterpret_cast<const unsigned char*>(game_record);
        s.game_record_bytes.assign(bytes, bytes + sizeof(ThreadData));
    }
    s.hash_entries = transposition_table.entry_count;
    s.live_threads = search_setup::live_threads;
    s.tables_registered = tb_largest_piece_count.load() != 0;
}

void restore_engine_state(const EngineSnapshot& s)
{
    // Resources first: ending a pool writes the stop byte, a new table
    // resets the table's fields of the search state; the byte copies below
    // then put every field back.
    if (search_setup::live_threads != s.live_threads) search_setup::use_search_threads(s.live_threads);
    if (transposition_table.entry_count != s.hash_entries) {
        search_state.hash_size = i16(s.hash_entries * sizeof(TTEntry) >> 20);
        setup_hash_table();
    }
    // A suite that registered tables for itself leaves them to its own
    // tear-down; tables that a test left registered where there were none
    // go.
    if (!s.tables_registered && tb_largest_piece_count.load() != 0) scan_tablebase_paths("");

    const unsigned char* bytes = s.plain.data();
    for (const StateBlock& b : plain_state) {
        std::memcpy(b.at, bytes, b.size);
        bytes += b.size;
    }
    // A game record made during the test is set-up that later tests share.
    if (s.game_record && game_record == s.game_record)
        std::memcpy(static_cast<void*>(game_record), s.game_record_bytes.data(), sizeof(ThreadData));
}

struct EngineStateGuard : ::testing::EmptyTestEventListener {
    EngineSnapshot before_suite;
    EngineSnapshot before_test;

    // What every test may take as set up (tables, parameters, a 16 MB
    // transposition table, the game record) is set up before the first
    // test, so that no snapshot is taken of an engine half set up.
    void OnTestProgramStart(const ::testing::UnitTest&) override { search_setup::init_engine_once(); }

    void OnTestSuiteStart(const ::testing::TestSuite&) override { save_engine_state(before_suite); }
    void OnTestStart(const ::testing::TestInfo&) override { save_engine_state(before_test); }
    void OnTestEnd(const ::testing::TestInfo&) override { restore_engine_state(before_test); }
    void OnTestSuiteEnd(const ::testing::TestSuite&) override { restore_engine_state(before_suite); }
};

const bool guard_installed = [] {
    ::testing::UnitTest::GetInstance()->listeners().Append(new EngineStateGuard);
    return true;
}();

TEST(EngineStateGuardTest, PutsBackWhatATestChanged)
{
    ASSERT_TRUE(guard_installed);
    search_setup::init_engine_with_one_thread();
    ASSERT_EQ(tb_largest_piece_count.load(), 0u);
    const u64 entries = transposition_table.entry_count;
    const int pawn = params.pawn_value[0];
    const u16 ponder = search_state.ponder;
    const u16 log = engine_config.log;
    const i16 fp_depth = FP_depth;
    const u8 reduction = reduction_non_pv[10][10];
    const u8 side = game_record->pos.side;
    const u16 undo_count = game_record->undo_count;
    const bool tunes_registered = tune_registered;

    EngineSnapshot snapshot;
    save_engine_state(snapshot);
    search_setup::use_search_threads(3);  // ends the live thread first
    search_state.hash_size = 1;
    setup_hash_table();
    params.pawn_value[0] = i16(pawn + 7);
    search_state.ponder = u16(!ponder);
    engine_config.log = u16(!log);
    FP_depth = i16(fp_depth + 1);
    reduction_non_pv[10][10] = u8(reduction + 1);
    ASSERT_TRUE(search_setup::set_game_fen("4k3/8/8/8/8/8/8/4K2R b K -"));
    game_record->undo_count = u16(undo_count + 5);
    tune_registered = !tunes_registered;
    ASSERT_TRUE(test_tables_present());
    scan_tablebase_paths(test_table_dir());
    ASSERT_NE(tb_largest_piece_count.load(), 0u);
    restore_engine_state(snapshot);

    EXPECT_EQ(search_setup::live_threads, 1);
    EXPECT_EQ(search_state.thread_count, 1);
    EXPECT_EQ(transposition_table.entry_count, entries);
    EXPECT_EQ(params.pawn_value[0], pawn);
    EXPECT_EQ(search_state.ponder, ponder);
    EXPECT_EQ(engine_config.log, log);
    EXPECT_EQ(FP_depth, fp_depth);
    EXPECT_EQ(reduction_non_pv[10][10], reduction);
    EXPECT_EQ(game_record->pos.side, side);
    EXPECT_EQ(game_record->undo_count, undo_count);
    EXPECT_EQ(tune_registered, tunes_registered);
    EXPECT_EQ(tb_largest_piece_count.load(), 0u);
    // The restored pool searches.
    ASSERT_TRUE(search_setup::set_game_fen("6k1/5ppp/8/8/8/8/8/R5K1 w - -"));
    search_setup::search_with_threads(4);
    EXPECT_EQ(search_state.best_score, 9998);
}

}  // namespace
