// The clock of a threaded search on a machine that may not run every thread
// when it should: the search threads stop at the hard limit themselves
// (the main thread's tick may come late), a thread held back by the
// strength limit included, and the answer, on the clock or on "stop", never
// waits for a helper thread that the system has not scheduled. Nothing here
// times the engine: load can only make these tests slower.
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>

#include "engine_process.h"
#include "input.h"
#include "mainloop.h"
#include "search_setup.h"
#include "test_files.h"

namespace {

const char* const MIDDLEGAME = "r1bq1rk1/pp2bppp/2n2n2/3p4/3P4/2NB1N2/PP3PPP/R1BQ1RK1 w - -";

// A thread's look at the hard limit comes with every 1024th node it counts.
constexpr u64 NODES_PER_LOOK = 1024;

struct SearchThreadsClockTest : ::testing::Test {
    u8 time_mode = 0;
    double move_time = 0, clock = 0;

    void SetUp() override
    {
        search_setup::init_engine_once();
        ASSERT_TRUE(search_setup::set_game_fen(MIDDLEGAME));
        SearchState& ss = search_state;
        time_mode = ss.time_mode;
        move_time = ss.move_time;
        clock = ss.clocks[WHITE];
        ss.depth_limit = MAX_SEARCH_PLY;
        ss.node_limit = 0;
        ss.increment = 0;
        ss.move_overhead = 0.05;
        ss.search_command = SEARCH_THINK;
    }
    void TearDown() override
    {
        // No later search may meet this test's limits or deadline.
        disarm_search_deadline();
        search_state.time_mode = time_mode;
        search_state.move_time = move_time;
        search_state.clocks[WHITE] = clock;
        params.UCI_LimitStrength = 0;
        search_state.target_rate = 1e9;
        search_state.search_state = SEARCH_NONE;
        search_state.search_command = SEARCH_NONE;
    }

    // Runs the search set up with `threads` threads and waits for them to
    // end, without the main loop's clock checks and without touching the
    // stop byte: only the threads themselves can end it. False when they
    // were still searching after the hang bound (they are aborted then).
    static bool search_without_clock_checks(int threads)
    {
        search_setup::use_search_threads(threads);
        clear_hash_table();
        start_search_clock();
        wake_search_threads();
        const double woken_at = monotonic_seconds();
        while (count_searching_threads() > 0 && monotonic_seconds() - woken_at < HANG_SECONDS) sleep_ms(1);
        const bool ended = count_searching_threads() == 0;
        if (!ended) abort_search_and_wait();
        return ended;
    }

    // The most nodes any of the first n threads counted in the last search.
    static u64 most_nodes_of_a_thread(int n)
    {
        u64 most = 0;
        for (int i = 0; i < n; i++) most = std::max(most, u64(thread_table[i].load()->counters[CNT_NODES]));
        return most;
    }
};

TEST_F(SearchThreadsClockTest, ThreadsStopAtTheHardLimitThemselves)
{
    SearchState& ss = search_state;
    // 10 ms on the clock, less than the move overhead: the time is up before
    // the search starts, and each thread stops at its first look.
    for (int threads : {1, 8}) {
        ss.time_mode = TIME_MODE_CLOCK;
        ss.clocks[WHITE] = 0.01;
        ASSERT_TRUE(search_without_clock_checks(threads)) << threads << " threads searched past the clock";
        EXPECT_EQ(ss.stop.load(), STOP_NORMAL);
        EXPECT_LT(most_nodes_of_a_thread(threads), 2 * NODES_PER_LOOK) << threads << " threads";
    }
    // A move time runs out while the eight threads search: they end there,
    // not before, and the answer is a move of the position.
    ss.time_mode = TIME_MODE_FIXED;
    ss.move_time = 0.03;
    ASSERT_TRUE(search_without_clock_checks(8)) << "searched past the move time";
    EXPECT_EQ(ss.stop.load(), STOP_NORMAL);
    EXPECT_GE(monotonic_seconds() - search_start_time, ss.hard_time_limit);
    EXPECT_NE(ss.best_line[1], NULL_MOVE);
}

TEST_F(SearchThreadsClockTest, AThreadHeldByTheStrengthLimitStopsAtTheHardLimit)
{
    // A node rate no search reaches: from its second iteration on, the
    // thread is held back at each node, its count barely moving, and nobody
    // refreshes the clock it is measured by. With the time already up it
    // stops at its first pause, long before its node count's first look.
    SearchState& ss = search_state;
    params.UCI_LimitStrength = 1;
    ss.target_rate = 1;
    ss.time_mode = TIME_MODE_CLOCK;
    ss.clocks[WHITE] = 0.01;
    ASSERT_TRUE(search_without_clock_checks(1)) << "the throttled thread searched past the clock";
    EXPECT_EQ(ss.stop.load(), STOP_NORMAL);
    EXPECT_LT(most_nodes_of_a_thread(1), NODES_PER_LOOK) << "the thread stopped at its node count's look, not its own";
    EXPECT_GE(ss.best_depth, 1) << "one finished iteration before the strength limit holds the thread";
}

// The engine's main loop on a thread of its own, with standard input and
// output on pipes of the test's: the test types commands and reads lines,
// as a GUI would. The test's own output must not be written meanwhile.
struct MainLoopOnPipes : EngineLines {
    int saved_input = -1, saved_output = -1;
    std::thread loop;

    MainLoopOnPipes()
    {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0) std::abort();
        std::fflush(stdout);
        saved_input = dup(0);
        saved_output = dup(1);
        dup2(in[0], 0);
        dup2(out[1], 1);
        close(in[0]);
        close(out[1]);
        to_engine = in[1];
        from_engine = out[0];
        clear_command_queue();
        engine_config.quit = 0;
        loop = std::thread([] {
            while (!engine_config.quit) main_loop_pass();
        });
    }

    // "quit", then the test's own streams back (the pipes close after).
    ~MainLoopOnPipes()
    {
        send("quit");
        loop.join();
        std::fflush(stdout);
        dup2(saved_output, 1);
        dup2(saved_input, 0);
        for (int fd : {saved_output, saved_input}) close(fd);
        clear_command_queue();
        engine_config.quit = 0;
    }
};

// Waits until the record's command byte says "search" (false after the hang bound).
bool woken(const ThreadData* td)
{
    const double start = monotonic_seconds();
    while (td->command.load() != THREAD_SEARCH)
        if (monotonic_seconds() - start > HANG_SECONDS) return false;
        else sleep_ms(1);
    return true;
}

TEST_F(SearchThreadsClockTest, TheAnswerDoesNotWaitForAHelperThatIsNotRunning)
{
    // Thread 0 runs; the helper's slot holds a record that no thread
    // serves: woken, it stays busy until the test lets it go, as a thread
    // would that the system does not schedule.
    search_setup::use_search_threads(1);
    static ThreadData* const held = [] {
        ThreadData* td = allocate_thread_data();
        reset_thread_links(td);
        return td;
    }();
    ThreadData* const slot_owner = thread_table[1].exchange(held);
    search_state.thread_count = 2;
    search_state.search_command = SEARCH_NONE;

    bool helper_woken[2] = {};
    std::string answers[2];
    {
        MainLoopOnPipes gui;
        // Answered on "stop", and on the clock after "ponderhit".
        const char* const searches[2][2] = {{"go infinite", "stop"}, {"go ponder wtime 100 btime 100", "ponderhit"}};
        for (int i = 0; i < 2; i++) {
            gui.send(std::string("position fen ") + MIDDLEGAME);
            gui.send(searches[i][0]);
            helper_woken[i] = woken(held);
            gui.send(searches[i][1]);
            answers[i] = gui.wait_for("bestmove");
            held->command.store(THREAD_IDLE);  // the helper leaves at last
        }
    }
    thread_table[1].store(slot_owner);
    search_setup::use_search_threads(1);

    for (int i = 0; i < 2; i++) {
        EXPECT_TRUE(helper_woken[i]) << i;
        EXPECT_EQ(answers[i].rfind("bestmove ", 0), 0u) << i << ": no answer while the helper was held";
    }
}

}  // namespace
