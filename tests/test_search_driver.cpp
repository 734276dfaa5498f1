// The deepening driver and the root search: the shared result's merge rule,
// the aspiration window, the reading kept for interrupted root moves, the
// easy-move flag, MultiPV lines, the quiescence-only search and the root
// tablebase move.
#include <gtest/gtest.h>

#include <string>

#include "driver.h"
#include "movetext.h"
#include "root.h"
#include "search_setup.h"
#include "tablebase/tb_registry.h"
#include "test_data.h"

namespace {

struct SearchDriverTest : ::testing::Test {
    static void SetUpTestSuite()
    {
        search_setup::init_engine_with_one_thread();
    }
    void SetUp() override
    {
        search_setup::init_engine_once();
        search_state.multipv = 1;
    }
    static ThreadData* main_td() { return thread_table[0].load(); }
};

constexpr Move E2E4 = make_move(12, 28);
constexpr Move D2D4 = make_move(11, 27);

TEST_F(SearchDriverTest, MergeTakesDeeperBetterAndMateResults)
{
    SearchState& ss = search_state;
    ThreadData* td = main_td();
    ss.search_command = SEARCH_THINK;
    start_search_clock();
    ss.search_state = SEARCH_NONE;
    auto offer = [&](int depth, int score, Move move) { search_setup::publish_thread_result(td, depth, score, move); };
    offer(3, 20, E2E4);
    EXPECT_EQ(ss.best_depth, 3);
    EXPECT_EQ(ss.best_line[1], E2E4);
    EXPECT_EQ(ss.score_by_depth[3], 20);
    EXPECT_EQ(ss.last_change_depth, 3);
    offer(3, 10, D2D4);  // same depth, worse: refused
    EXPECT_EQ(ss.best_line[1], E2E4);
    offer(2, 90, D2D4);  // shallower: refused
    EXPECT_EQ(ss.best_line[1], E2E4);
    offer(3, 25, D2D4);  // same depth, better: taken, the move changed
    EXPECT_EQ(ss.best_line[1], D2D4);
    EXPECT_EQ(ss.last_change_depth, 3);
    offer(5, 25, D2D4);  // deeper, same move: no change of move
    EXPECT_EQ(ss.best_depth, 5);
    EXPECT_EQ(ss.last_change_depth, 3);
    td->completed_depth = 6;
    merge_thread_result(td, BOUND_LOWER);  // a fail high taken when the search was cut short
    EXPECT_EQ(ss.best_bound, BOUND_LOWER);  // for the closing line
    offer(7, 25, D2D4);
    EXPECT_EQ(ss.best_bound, BOUND_EXACT);
    offer(2, 9996, E2E4);  // a mate is taken at any depth
    EXPECT_EQ(ss.best_score, 9996);
    EXPECT_EQ(ss.best_line[1], E2E4);
    offer(9, 500, D2D4);  // nothing deeper replaces a mate
    EXPECT_EQ(ss.best_line[1], E2E4);
    // A tablebase move carries TB_ROOT_MOVE_DEPTH: taken, by-depth tables untouched.
    ss.best_score = 0;
    offer(TB_ROOT_MOVE_DEPTH, 9799, D2D4);
    EXPECT_EQ(ss.best_depth, TB_ROOT_MOVE_DEPTH);
    EXPECT_EQ(ss.best_line[1], D2D4);
}

TEST_F(SearchDriverTest, AspirationWindowHalfWidths)
{
    EXPECT_EQ(aspiration_delta(1, 50, false), 10000);
    EXPECT_EQ(aspiration_delta(2, 50, false), 100);
    EXPECT_EQ(aspiration_delta(10, 160, true), 30);  // 20 + 160 / 16
    EXPECT_EQ(aspiration_delta(10, 0, true), 20);
    EXPECT_EQ(aspiration_delta(14, -320, true), 35);  // max(15, 4) + 20
}

// When the stop byte cuts a root move's search short, only thread 0 keeps
// the score that search recorded (a fail high over the window), and only
// when it beats the shared best by more than 25 in an iteration that already
// has a best move.
TEST_F(SearchDriverTest, InterruptedRootMoveReading)
{
    EXPECT_EQ(interrupted_move_score(true, 300, 250, 100), 300);
    EXPECT_EQ(interrupted_move_score(true, 275, 250, 100), -10000);
    EXPECT_EQ(interrupted_move_score(false, 300, 250, 100), -10000);
    EXPECT_EQ(interrupted_move_score(true, 300, 250, -10000), -10000);
    EXPECT_EQ(interrupted_move_score(true, 300, 250, -9999), 300);
}

TEST_F(SearchDriverTest, SingleLegalMoveIsAnEasyMove)
{
    ASSERT_TRUE(search_setup::set_game_fen("k7/8/8/8/8/8/1r6/K7 w - -"));
    search_setup::search_single_thread(8);
    EXPECT_EQ(search_state.best_line[1], make_move(0, 9));  // Kxb2
    EXPECT_EQ(search_state.easy_move.load(), EASY_ONLY_MOVE);
    EXPECT_EQ(search_state.best_depth, 8);
}

TEST_F(SearchDriverTest, MultiPvPrintsEveryLineFromDepthOne)
{
    engine_config.output_delay = 0;
    search_state.multipv = 3;
    ASSERT_TRUE(search_setup::set_game_fen("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -"));
    testing::internal::CaptureStdout();
    search_setup::search_single_thread(3);
    std::string out = testing::internal::GetCapturedStdout();
    for (int d = 1; d <= 3; d++)
        for (int k = 1; k <= 3; k++) {
            const std::string head = "info multipv " + std::to_string(k) + " depth " + std::to_string(d) + " ";
            EXPECT_NE(out.find(head), std::string::npos) << head << "\n" << out;
        }

    // Console mode: an empty line after each block of lines.
    engine_config.protocol = PROTOCOL_CONSOLE;
    testing::internal::CaptureStdout();
    search_setup::search_single_thread(2);
    out = testing::internal::GetCapturedStdout();
    engine_config.protocol = PROTOCOL_UCI;
    engine_config.output_delay = OUTPUT_DELAY_QUIET;
    search_state.multipv = 1;
    EXPECT_NE(out.find(" 01. "), std::string::npos) << out;
    EXPECT_NE(out.find("\n\n"), std::string::npos) << out;
}

TEST_F(SearchDriverTest, DepthLimitZeroGivesTheQuiescenceScore)
{
    // White wins a queen by a capture: the quiescence score sees it.
    ASSERT_TRUE(search_setup::set_game_fen("4k3/8/8/3q4/4P3/8/7P/R3K3 w - -"));
    search_setup::search_single_thread(0);
    EXPECT_GT(search_state.best_score, 500);
    EXPECT_EQ(main_td()->completed_score.load(), search_state.best_score);
    // In check: no search, the best score stays -10000.
    ASSERT_TRUE(search_setup::set_game_fen("4k3/8/8/8/8/8/4q3/4K3 w - -"));
    search_setup::search_single_thread(0);
    EXPECT_EQ(search_state.best_score, -10000);
}

TEST_F(SearchDriverTest, TablebaseRootMove)
{
    ASSERT_TRUE(test_tables_present());
    scan_tablebase_paths(test_table_dir());
    ASSERT_GE(tb_largest_piece_count.load(), 3u);
    // KQ v K with a half-move clock above 6: the table's move at once.
    ASSERT_TRUE(search_setup::set_game_fen("8/8/8/4k3/8/8/8/3QK3 w - -"));
    game_record->pos.halfmove_clock = 10;
    search_setup::search_single_thread(10);
    EXPECT_EQ(search_state.best_depth, TB_ROOT_MOVE_DEPTH);
    EXPECT_EQ(search_state.best_score, 9799);
    EXPECT_NE(search_state.best_line[1], 0);
    EXPECT_EQ(search_state.root_tb_result, TB_CODE_WIN);
    EXPECT_EQ(search_state.stop.load(), STOP_NORMAL);
    // With a fresh clock the position is searched knowing the result.
    ASSERT_TRUE(search_setup::set_game_fen("8/8/8/4k3/8/8/8/3QK3 w - -"));
    search_setup::search_single_thread(6);
    EXPECT_EQ(search_state.best_depth, 6);
    EXPECT_EQ(search_state.root_tb_result, TB_CODE_WIN);
    EXPECT_NE(search_state.best_line[1], 0);
    scan_tablebase_paths("");
}

}  // namespace
