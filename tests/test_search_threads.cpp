// The search threads: searches with 1, 2, 4 and 8 threads, a prompt stop on
// the stop byte, ending the pool during a search, replacing the pool, and a
// search started at once on a new pool.
// These tests also run under ThreadSanitizer (preset "tsan"), which checks
// that threads share only atomics, locked data and the transposition table.
#include <gtest/gtest.h>

#include "driver.h"
#include "movegen.h"
#include "search_setup.h"
#include "test_files.h"

namespace {

const char* const MIDDLEGAME = "r1bq1rk1/pp2bppp/2n2n2/3p4/3P4/2NB1N2/PP3PPP/R1BQ1RK1 w - -";
const char* const TACTICAL = "2r1q2k/7p/p1np1P1P/8/1pP2R2/8/PP1Q4/R1KN2r1 b - -";

struct SearchThreadsTest : ::testing::Test {
    void SetUp() override { search_setup::init_engine_once(); }

    // The pool goes back to what it was after each test.
    static void start_pool(int n) { search_setup::use_search_threads(n); }

    // The shared result's depth while thread 0 may be writing it.
    static int shared_best_depth()
    {
        spin_lock(result_lock);
        const int depth = search_state.best_depth;
        spin_unlock(result_lock);
        return depth;
    }

    static bool legal_in_game(Move move)
    {
        const Position& pos = game_record->pos;
        MoveEntry list[256];
        MoveEntry* end = generate_captures(pos, pos.side, list);
        end = generate_promotions(pos, pos.side, 1, end);
        end = generate_quiet_moves(pos, pos.side, end);
        for (MoveEntry* e = list; e < end; e++)
            if (e->move == move) return king_safe_after_move(pos, pos.side, move);
        return false;
    }
};

TEST_F(SearchThreadsTest, OneToEightThreadsReportThreadZerosLine)
{
    for (int n : {1, 2, 4, 8}) {
        start_pool(n);
        for (const char* fen : {MIDDLEGAME, TACTICAL}) {
            ASSERT_TRUE(search_setup::set_game_fen(fen));
            search_setup::search_with_threads(7);
            EXPECT_EQ(count_searching_threads(), 0);
            EXPECT_EQ(search_state.best_depth, 7) << n << " threads, " << fen;
            EXPECT_TRUE(legal_in_game(search_state.best_line[1])) << n << " threads, " << fen;
            // The result is thread 0's line of its last iteration.
            const ThreadData* main_td = thread_table[0].load();
            EXPECT_EQ(search_state.best_line[1], main_td->pv[1]);
            EXPECT_EQ(search_state.best_line[2], main_td->pv[2]);
            EXPECT_EQ(search_state.best_score, main_td->completed_score.load());
        }
    }
}

TEST_F(SearchThreadsTest, StopByteEndsAnUnlimitedSearchPromptly)
{
    start_pool(4);
    ASSERT_TRUE(search_setup::set_game_fen(MIDDLEGAME));
    search_setup::set_depth_limit(66);
    clear_hash_table();
    start_search_clock();
    wake_search_threads();
    // Let the helpers join (thread 0 publishes iteration 2 first).
    const double woken_at = monotonic_seconds();
    while (shared_best_depth() < 3 && monotonic_seconds() - woken_at < HANG_SECONDS) {
        check_search_time();
        sleep_ms(1);
    }
    ASSERT_GE(shared_best_depth(), 3);
    EXPECT_EQ(count_searching_threads(), 4);
    search_state.stop = STOP_NORMAL;
    const double stopped_at = monotonic_seconds();
    // A bound that only a thread ignoring the stop byte can reach.
    while (count_searching_threads() > 0 && monotonic_seconds() - stopped_at < HANG_SECONDS) sleep_ms(1);
    EXPECT_EQ(count_searching_threads(), 0);
    EXPECT_TRUE(legal_in_game(search_state.best_line[1]));
    search_state.search_state = SEARCH_NONE;
}

TEST_F(SearchThreadsTest, EndingThePoolStopsARunningSearch)
{
    start_pool(2);
    ASSERT_TRUE(search_setup::set_game_fen(TACTICAL));
    search_setup::set_depth_limit(66);
    start_search_clock();
    wake_search_threads();
    sleep_ms(50);
    end_search_threads(2);
    search_setup::live_threads = 0;
    EXPECT_EQ(search_state.stop.load(), STOP_LEAVE);
    EXPECT_EQ(count_searching_threads(), 0);
    search_state.search_state = SEARCH_NONE;
}

TEST_F(SearchThreadsTest, ReplacingThePoolKeepsRecordsBeyondTheNewCount)
{
    start_pool(4);
    ThreadData* third = thread_table[2].load();
    ThreadData* fourth = thread_table[3].load();
    start_pool(2);  // ends the four, starts two
    EXPECT_EQ(thread_table[2].load(), third);
    EXPECT_EQ(thread_table[3].load(), fourth);
    ASSERT_NE(thread_table[0].load(), nullptr);
    ASSERT_NE(thread_table[1].load(), nullptr);
    EXPECT_EQ(thread_table[0].load()->index, 0);
    EXPECT_EQ(thread_table[1].load()->index, 1);
    // The new pool searches.
    ASSERT_TRUE(search_setup::set_game_fen(MIDDLEGAME));
    search_setup::search_with_threads(6);
    EXPECT_TRUE(legal_in_game(search_state.best_line[1]));
    // And starting threads in the old slots again takes them over.
    start_pool(4);
    EXPECT_EQ(thread_table[3].load()->index, 3);
    ASSERT_TRUE(search_setup::set_game_fen(TACTICAL));
    search_setup::search_with_threads(6);
    EXPECT_TRUE(legal_in_game(search_state.best_line[1]));
}

TEST(SearchThreadsRule, HelpersSkipADepthWhenEnoughThreadsAreOnIt)
{
    EXPECT_EQ(depth_skip_threshold(8), 6);  // 0.65 x 8 + 1 = 6.2
    EXPECT_EQ(depth_skip_threshold(1), 2);
    EXPECT_EQ(depth_skip_threshold(2), 2);  // 2.3
    EXPECT_EQ(depth_skip_threshold(3), 3);  // 2.95
    EXPECT_EQ(depth_skip_threshold(4), 4);  // 3.6
    EXPECT_EQ(depth_skip_threshold(80), 53);
}

}  // namespace

// A search woken the moment its pool exists meets every thread just as it
// goes to sleep for the first time: no wake-up may be lost there. Each round
// replaces the pool (1, 2 and 3 threads in turn) and searches at once.
TEST_F(SearchThreadsTest, ASearchWokenRightAfterThePoolStartsAlwaysRuns)
{
    ASSERT_TRUE(search_setup::set_game_fen(MIDDLEGAME));
    // No second look at the byte: a lost wake-up hangs the round.
    struct RestoreRecheck {
        int ms;
        ~RestoreRecheck() { idle_recheck_ms = ms; }
    } restore{idle_recheck_ms.exchange(3600 * 1000)};
    for (int round = 0; round < 300; round++) {
        const int n = 1 + round % 3;
        start_pool(n);
        search_setup::set_depth_limit(2);
        start_search_clock();
        wake_search_threads();
        const double woken_at = monotonic_seconds();
        while (count_searching_threads() > 0 && monotonic_seconds() - woken_at < HANG_SECONDS) {
            check_search_time();
            sleep_ms(1);
        }
        ASSERT_EQ(count_searching_threads(), 0) << "round " << round << ", " << n << " threads: a thread slept through its search";
        search_state.search_state = SEARCH_NONE;
        search_state.search_command = SEARCH_NONE;
        ASSERT_EQ(search_state.best_depth, 2) << "round " << round;
        ASSERT_TRUE(legal_in_game(search_state.best_line[1])) << "round " << round;
    }
}
