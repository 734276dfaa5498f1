// Time control: the target time of a move, the time limit with its
// instability and stability adjustments, and the stop decisions of the
// clock check.
#include <gtest/gtest.h>

#include "search_setup.h"

namespace {

struct TimeControlTest : search_setup::ThreadZeroTest {
    void SetUp() override
    {
        SearchState& ss = search_state;
        search_setup::init_engine_once();
        ss.thread_count = 1;
        ss.ponder = 0;
        ss.move_overhead = 0.05;
        ss.increment = 0;
        ss.time_mode = TIME_MODE_CLOCK;
        ss.moves_to_go = 0;
        ss.depth_limit = MAX_SEARCH_PLY;
        engine_config.protocol = PROTOCOL_UCI;
        ASSERT_TRUE(search_setup::set_game_fen("4k3/8/8/8/8/8/8/4K3 w - -"));
        game_record->undo_count = 0;
        reset_thread_search_fields(td);
    }

    // A search in its iteration d whose shared result is (score, move),
    // published by thread 0 from iteration d - 1, with the previous
    // iteration's score prev and the best move last changed at last_change.
    static void set_running(int d, int score, Move move, int prev, int last_change)
    {
        SearchState& ss = search_state;
        ss.search_command = SEARCH_THINK;
        start_search_clock();
        search_setup::publish_thread_result(td, d - 1, score, move);
        ss.published_iteration = u8(d);
        td->current_depth = u8(d);
        td->result_kind = RESULT_NONE;
        // What the earlier iterations left behind.
        ss.score_by_depth[d - 1] = i16(prev);
        ss.last_change_depth = u8(last_change);
    }
};

constexpr Move E2E4 = make_move(12, 28);
constexpr Move D2D4 = make_move(11, 27);

TEST_F(TimeControlTest, TargetTimesOfTheClockFormulas)
{
    SearchState& ss = search_state;
    // 60 s, no increment, game ply 0: 38 moves to go, 60 / 39.
    ss.clocks[WHITE] = 60;
    EXPECT_NEAR(compute_target_time(WHITE, 0), 60.0 / 39, 1e-9);
    EXPECT_EQ(ss.moves_to_go, 38);
    ss.ponder = 1;  // pondering stretches it by 1.3: 2.000 s
    EXPECT_NEAR(compute_target_time(WHITE, 0), 2.0, 1e-9);
    ss.ponder = 0;

    // 10 s + 1 s increment at ply 40: 10 / 25 + 1 x 10 / 12.
    ss.clocks[WHITE] = 10;
    ss.increment = 1;
    EXPECT_NEAR(compute_target_time(WHITE, 40), 10.0 / 25 + 10.0 / 12, 1e-9);
    EXPECT_NEAR(compute_target_time(WHITE, 40), 1.233, 0.0005);

    // 0.1 s left: the cap is negative, the floor of 2 ms applies.
    ss.clocks[WHITE] = 0.1;
    ss.increment = 0;
    EXPECT_DOUBLE_EQ(compute_target_time(WHITE, 40), 0.002);

    // A large increment is capped at 65 % of the clock less 4 overheads.
    ss.clocks[WHITE] = 1.0;
    ss.increment = 10;
    EXPECT_NEAR(compute_target_time(WHITE, 0), 0.65 - 0.2, 1e-9);
}

TEST_F(TimeControlTest, MoveTimeAndMovesToGo)
{
    SearchState& ss = search_state;
    ss.time_mode = TIME_MODE_FIXED;
    ss.move_time = 2.0;
    EXPECT_DOUBLE_EQ(compute_target_time(BLACK, 7), 2.0);
    EXPECT_DOUBLE_EQ(ss.clocks[BLACK], 2.0);  // the side's clock becomes the move time

    // "movestogo" in UCI: the stored count.
    ss.time_mode = TIME_MODE_MOVES_TO_GO;
    ss.moves_to_go = 9;
    ss.clocks[WHITE] = 30;
    EXPECT_NEAR(compute_target_time(WHITE, 20), 3.0, 1e-9);

    // Console "level 40" (the same value, 40 moves per control): the moves
    // left to the next control.
    engine_config.protocol = PROTOCOL_CONSOLE;
    EXPECT_NEAR(compute_target_time(WHITE, 20), 30.0 / (40 - 10 + 1), 1e-9);
    EXPECT_EQ(ss.moves_to_go, 30);
}

TEST_F(TimeControlTest, StartResetsTheSearchFields)
{
    SearchState& ss = search_state;
    ss.best_score = 55;
    ss.best_depth = 9;
    ss.best_line[1] = E2E4;
    ss.best_line[2] = D2D4;
    ss.stop = STOP_NORMAL;
    ss.easy_move = EASY_CLEAR_BEST;
    ss.last_finished_depth = 8;
    ss.nodes_by_depth[5] = 77;
    ss.root_tb_result = TB_CODE_WIN;
    ss.search_command = SEARCH_PONDER;
    game_record->undo_count = 0;
    ss.hash_size = 16;
    start_search_clock();
    EXPECT_EQ(ss.best_score, -10000);
    EXPECT_EQ(ss.best_depth, 0);
    EXPECT_EQ(ss.best_line[1], 0);
    EXPECT_EQ(ss.best_line[2], 0);  // no stale ponder move
    EXPECT_EQ(ss.stop.load(), STOP_RUN);
    EXPECT_EQ(ss.easy_move.load(), EASY_NONE);
    EXPECT_EQ(ss.last_finished_depth.load(), 0);
    EXPECT_EQ(ss.nodes_by_depth[5].load(), 0u);
    EXPECT_EQ(ss.score_by_depth[5], -10000);
    EXPECT_EQ(ss.root_tb_result, TB_CODE_NONE);
    EXPECT_EQ(ss.search_state.load(), SEARCH_PONDER);
    EXPECT_EQ(ss.hash_age, 1);
    EXPECT_EQ(ss.published_iteration.load(), 0);
    ss.search_state = SEARCH_NONE;
}

TEST_F(TimeControlTest, InstabilityFromThreadsAndScores)
{
    // Stable: the thread holds the best move with the best score.
    set_running(9, 30, E2E4, 30, 2);
    EXPECT_EQ(search_instability(9), 0);

    // The best move failed low: 20.
    td->completed_score = 10;
    td->result_kind = RESULT_FAIL_LOW;
    EXPECT_EQ(search_instability(9), 20);

    // Another move failed high over the best: 2; by more than 20: 12.
    set_thread_root_move(td, D2D4);
    td->completed_score = 40;
    td->result_kind = RESULT_FAIL_HIGH;
    EXPECT_EQ(search_instability(9), 2);
    td->completed_score = 51;
    EXPECT_EQ(search_instability(9), 12);

    // A thread not yet on the iteration does not count.
    td->current_depth = 8;
    EXPECT_EQ(search_instability(9), 0);

    // Score drops against the previous iteration (m = 30 / 16 + 15 = 16).
    set_running(9, 30 - 17, E2E4, 30, 2);
    EXPECT_EQ(search_instability(9), 4);
    set_running(9, 30 - 33, E2E4, 30, 2);
    EXPECT_EQ(search_instability(9), 8);
    set_running(9, 30 - 65, E2E4, 30, 2);
    EXPECT_EQ(search_instability(9), 20);

    // A best move that changed in the previous iteration: at least 1.
    set_running(9, 30, E2E4, 30, 8);
    EXPECT_EQ(search_instability(9), 1);
    search_state.search_state = SEARCH_NONE;
}

TEST_F(TimeControlTest, LimitsOfMoveTimeAndClock)
{
    SearchState& ss = search_state;
    // "movetime 2000" with disagreeing threads after 1 s: 2.0 + 0.2 x 1.0.
    ss.time_mode = TIME_MODE_FIXED;
    ss.move_time = 2.0;
    set_running(9, 30, E2E4, 30, 2);
    EXPECT_NEAR(search_time_limit(20, 9, 1.0), 2.2, 1e-9);
    // No overhead in time mode 1, no stability discount.
    EXPECT_NEAR(search_time_limit(0, 9, 1.0), 2.0, 1e-9);

    // Clock mode, stable from depth 8 with the move unchanged for three
    // iterations: 0.85 x target - overhead.
    ss.time_mode = TIME_MODE_CLOCK;
    ss.clocks[WHITE] = 60;
    set_running(9, 30, E2E4, 30, 5);
    const double target = ss.target_time;
    EXPECT_NEAR(search_time_limit(0, 9, 0.5), 0.85 * target - 0.05, 1e-9);
    // Changed two iterations ago: no discount.
    set_running(9, 30, E2E4, 30, 6);
    EXPECT_NEAR(search_time_limit(0, 9, 0.5), target - 0.05, 1e-9);
    ss.search_state = SEARCH_NONE;
}

// The elapsed time at which a search stops whatever its depth: the move
// time, or the clock less the move overhead, each less a margin for the
// report of 5 ms or a tenth of the time. A clock within the overhead has no
// time left: the search stops at its first look at the clock.
TEST_F(TimeControlTest, HardLimitsOfShortTimes)
{
    SearchState& ss = search_state;
    ss.time_mode = TIME_MODE_FIXED;
    const struct {
        double move_time, limit;
    } move_times[] = {{1.0, 0.995}, {0.05, 0.045}, {0.01, 0.009}, {0.001, 0.0009}, {0, 0}};
    for (const auto& m : move_times) {
        ss.move_time = m.move_time;
        EXPECT_NEAR(compute_hard_time_limit(WHITE), m.limit, 1e-12) << "movetime " << m.move_time;
    }
    ss.time_mode = TIME_MODE_CLOCK;
    const struct {
        double clock, limit;
    } clocks[] = {{10.0, 9.945}, {0.06, 0.009}, {0.05, 0}, {0.01, -0.04}};
    for (const auto& c : clocks) {
        ss.clocks[BLACK] = c.clock;
        EXPECT_NEAR(compute_hard_time_limit(BLACK), c.limit, 1e-12) << "clock " << c.clock;
    }
    // Set at the clock's start, before the search's first look at it; the
    // main thread looks every millisecond while a short time runs, every
    // tick (5 ms) otherwise and once the search is stopped.
    ss.clocks[WHITE] = 0.01;
    set_running(1, 30, 0, 30, 0);
    EXPECT_LT(ss.hard_time_limit, 0.0);
    EXPECT_EQ(milliseconds_to_time_check(), 1);
    ss.stop = STOP_NORMAL;
    EXPECT_EQ(milliseconds_to_time_check(), 5);
    ss.time_mode = TIME_MODE_FIXED;
    ss.move_time = 100;
    set_running(1, 30, 0, 30, 0);
    EXPECT_EQ(milliseconds_to_time_check(), 5);
    ss.search_state = SEARCH_NONE;
}

TEST_F(TimeControlTest, ClockCheckStopsOnlyWhenDue)
{
    SearchState& ss = search_state;
    // A move time so long that no delay of this test's own thread brings
    // the hard limit into play where another rule is checked.
    ss.time_mode = TIME_MODE_FIXED;
    ss.move_time = 100.0;
    set_running(4, 30, E2E4, 30, 2);
    ss.target_time = 0.05;
    search_start_time -= 0.1;  // 100 ms have passed: over the 50 ms target
    ss.best_depth = 1;
    check_search_time();
    EXPECT_EQ(ss.stop.load(), STOP_RUN) << "no stop before two finished iterations";
    ss.best_depth = 3;
    check_search_time();
    EXPECT_EQ(ss.stop.load(), STOP_NORMAL);
    // Under a strength limit one finished iteration is enough.
    set_running(4, 30, E2E4, 30, 2);
    ss.target_time = 0.05;
    ss.target_rate = 100;
    search_start_time -= 0.1;
    ss.best_depth = 1;
    check_search_time();
    EXPECT_EQ(ss.stop.load(), STOP_NORMAL);
    ss.target_rate = 1e9;

    // The hard limit (see HardLimitsOfShortTimes) stops the search whatever
    // its depth.
    set_running(1, 30, 0, 30, 0);
    ss.best_depth = 0;
    search_start_time -= 50;
    check_search_time();
    EXPECT_EQ(ss.stop.load(), STOP_RUN);
    search_start_time -= 50;
    check_search_time();
    EXPECT_EQ(ss.stop.load(), STOP_NORMAL);
    // On a clock: the clock less the overhead.
    ss.time_mode = TIME_MODE_CLOCK;
    ss.clocks[WHITE] = 0.01;
    set_running(1, 30, 0, 30, 0);
    ss.best_depth = 0;
    check_search_time();
    EXPECT_EQ(ss.stop.load(), STOP_NORMAL) << "10 ms on the clock, 50 ms overhead";
    ss.time_mode = TIME_MODE_FIXED;

    // Pondering never stops, however long it runs.
    set_running(4, 30, E2E4, 30, 2);
    ss.search_state = SEARCH_PONDER;
    search_start_time -= 100;
    check_search_time();
    EXPECT_EQ(ss.stop.load(), STOP_RUN);

    // Console analysis stops with 2.
    set_running(4, 30, E2E4, 30, 2);
    ss.search_state = SEARCH_ANALYSE;
    search_start_time -= 100;
    check_search_time();
    EXPECT_EQ(ss.stop.load(), STOP_ABORT);

    // Clock mode with less than 5 overheads left: stops at once.
    ss.time_mode = TIME_MODE_CLOCK;
    ss.clocks[WHITE] = 0.2;
    set_running(4, 30, E2E4, 30, 2);
    ss.target_time = 100;
    search_start_time -= 0.03;
    check_search_time();
    EXPECT_EQ(ss.stop.load(), STOP_NORMAL);

    // A single legal move (easy-move flag 1) stops as soon as it is seen.
    ss.time_mode = TIME_MODE_FIXED;
    ss.move_time = 100;
    set_running(4, 30, E2E4, 30, 2);
    search_start_time -= 0.03;
    ss.easy_move = EASY_ONLY_MOVE;
    check_search_time();
    EXPECT_EQ(ss.stop.load(), STOP_NORMAL);
    // A clear best move (flag 2) waits for half the target.
    set_running(4, 30, E2E4, 30, 2);
    search_start_time -= 0.03;
    ss.easy_move = EASY_CLEAR_BEST;
    check_search_time();
    EXPECT_EQ(ss.stop.load(), STOP_RUN);
    ss.search_state = SEARCH_NONE;
}

}  // namespace
