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
#include <memory>

#include "mainloop.h"
#include "root.h"
#include "search.h"
#include "search_setup.h"
#include "tablebase/tablebase.h"
#include "tools/tune.h"

namespace {

struct EngineSnapshot {
    alignas(SearchState) unsigned char search_state_bytes[sizeof(SearchState)];
    alignas(EngineConfig) unsigned char engine_config_bytes[sizeof(EngineConfig)];
    ParamRecord params;
    ParamRecord saved_params;
    EvalTables eval_tables;
    i16 pruning_margins[8];
    u8 reduction_pv[REDUCTION_DEPTHS][REDUCTION_MOVES];
    u8 reduction_non_pv[REDUCTION_DEPTHS][REDUCTION_MOVES];
    i32 self_play, extra_report, single_thread_bench, runner_up_score;
    bool search_selective;
    double search_start_time;
    ThreadData* game_record;
    std::unique_ptr<unsigned char[]> game_record_bytes;
    u64 hash_entries;
    int live_threads;
    bool tables_registered;
    TuneParam tune_table[TUNE_TABLE_SIZE];
    int tune_count;
    bool tune_registered;
    u32 tune_sample_seed;
};

i16* const pruning_globals[8] = {&FP_depth, &FP_margin, &SEP_depth, &SEP_margin,
                                 &NMP_depth, &LMP_depth, &LMP_count, &LMR_depth};

void save_engine_state(EngineSnapshot& s)
{
    // The records hold atomics: copied as bytes while no search runs.
    std::memcpy(s.search_state_bytes, static_cast<void*>(&search_state), sizeof search_state);
    std::memcpy(s.engine_config_bytes, static_cast<void*>(&engine_config), sizeof engine_config);
    s.params = params;
    s.saved_params = saved_params;
    s.eval_tables = eval_tables;
    for (int i = 0; i < 8; i++) s.pruning_margins[i] = *pruning_globals[i];
    std::memcpy(s.reduction_pv, reduction_pv, sizeof reduction_pv);
    std::memcpy(s.reduction_non_pv, reduction_non_pv, sizeof reduction_non_pv);
    s.self_play = self_play;
    s.extra_report = extra_report;
    s.single_thread_bench = single_thread_bench;
    s.runner_up_score = runner_up_score;
    s.search_selective = search_selective;
    s.search_start_time = search_start_time;
    s.game_record = game_record;
    if (game_record) {
        if (!s.game_record_bytes) s.game_record_bytes.reset(new unsigned char[sizeof(ThreadData)]);
        std::memcpy(s.game_record_bytes.get(), static_cast<void*>(game_record), sizeof(ThreadData));
    }
    s.hash_entries = transposition_table.entry_count;
    s.live_threads = search_setup::live_threads;
    s.tables_registered = tb_largest_piece_count.load() != 0;
    std::memcpy(s.tune_table, tune_table, sizeof tune_table);
    s.tune_count = tune_count;
    s.tune_registered = tune_registered;
    s.tune_sample_seed = tune_sample_seed;
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

    std::memcpy(static_cast<void*>(&search_state), s.search_state_bytes, sizeof search_state);
    std::memcpy(static_cast<void*>(&engine_config), s.engine_config_bytes, sizeof engine_config);
    params = s.params;
    saved_params = s.saved_params;
    eval_tables = s.eval_tables;
    for (int i = 0; i < 8; i++) *pruning_globals[i] = s.pruning_margins[i];
    std::memcpy(reduction_pv, s.reduction_pv, sizeof reduction_pv);
    std::memcpy(reduction_non_pv, s.reduction_non_pv, sizeof reduction_non_pv);
    self_play = s.self_play;
    extra_report = s.extra_report;
    single_thread_bench = s.single_thread_bench;
    runner_up_score = s.runner_up_score;
    search_selective = s.search_selective;
    search_start_time = s.search_start_time;
    std::memcpy(tune_table, s.tune_table, sizeof tune_table);
    tune_count = s.tune_count;
    tune_registered = s.tune_registered;
    tune_sample_seed = s.tune_sample_seed;
    // A game record made during the test is set-up that later tests share.
    if (s.game_record && game_record == s.game_record)
        std::memcpy(static_cast<void*>(game_record), s.game_record_bytes.get(), sizeof(ThreadData));
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

    EngineSnapshot snapshot;
    save_engine_state(snapshot);
    search_setup::use_search_threads(3);
    search_state.hash_size = 1;
    setup_hash_table();
    params.pawn_value[0] = i16(pawn + 7);
    search_state.ponder = u16(!ponder);
    engine_config.log = u16(!log);
    FP_depth = i16(fp_depth + 1);
    reduction_non_pv[10][10] = u8(reduction + 1);
    ASSERT_TRUE(search_setup::set_game_fen("4k3/8/8/8/8/8/8/4K2R b K -"));
    game_record->undo_count = u16(undo_count + 5);
    scan_tablebase_paths(VANT_SOURCE_DIR "/../shared/testdata/syzygy");
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
    EXPECT_EQ(tb_largest_piece_count.load(), 0u);
    // The restored pool searches.
    ASSERT_TRUE(search_setup::set_game_fen("6k1/5ppp/8/8/8/8/8/R5K1 w - -"));
    search_setup::search_with_threads(4);
    EXPECT_EQ(search_state.best_score, 9998);
}

}  // namespace
