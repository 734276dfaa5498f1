// Benchmarks of the whole search through the deepening driver and the
// thread pool, on the engine's benchmark positions:
//
//   driver_bench speed [depth]      single-thread nodes per second (depth 12)
//   driver_bench threads [depth]    1, 2, 4 and 8 threads to a fixed depth
//                                   (default 13): time-to-depth speed-up and
//                                   nodes-per-second ratio against 1 thread
//   driver_bench pruning [depth]    node ratio with and without pruning and
//                                   reductions at a fixed depth (default 8)
//   driver_bench time               searches under "go" limits (move time,
//                                   clocks with and without increment, moves
//                                   to go, nodes, depth), timed the way the
//                                   main loop times them, against their
//                                   budgets
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>

#include "../tests/search_setup.h"
#include "bench.h"
#include "report.h"
#include "search.h"

using namespace search_setup;

namespace {

u64 summed_nodes()
{
    sum_thread_counters();
    return search_state.summed_counters[SUM_NODES];
}

void speed(int depth)
{
    double seconds = 0;
    u64 nodes = 0;
    for (int i = 0; i < BENCH_POSITION_COUNT; i++) {
        set_game_fen(bench_positions[i]);
        const double start = monotonic_seconds();
        search_single_thread(depth);
        const double t = monotonic_seconds() - start;
        const u64 n = thread_table[0].load()->counters[CNT_NODES];
        std::printf("pos %2d: %10llu nodes %7.3f s %8.0f nps\n", i, (unsigned long long)n, t, n / t);
        seconds += t;
        nodes += n;
    }
    std::printf("depth %d, 1 thread: %llu nodes in %.2f s, %.0f nodes per second\n", depth,
                (unsigned long long)nodes, seconds, nodes / seconds);
}

void threads(int depth)
{
    double base_time = 0, base_nps = 0;
    for (int n : {1, 2, 4, 8}) {
        end_search_threads(search_state.thread_count);
        create_search_threads(n);
        search_state.thread_count = u8(n);
        double seconds = 0;
        u64 nodes = 0;
        for (int i = 0; i < BENCH_SHORT_COUNT; i++) {
            set_game_fen(bench_positions[i]);
            const double start = monotonic_seconds();
            search_with_threads(depth);
            seconds += monotonic_seconds() - start;
            nodes += summed_nodes();
        }
        const double nps = nodes / seconds;
        if (n == 1) base_time = seconds, base_nps = nps;
        std::printf("%d threads: depth %d in %.2f s, %llu nodes, %.0f nps; time-to-depth speed-up %.2f, nps ratio %.2f\n",
                    n, depth, seconds, (unsigned long long)nodes, nps, base_time / seconds, nps / base_nps);
    }
}

void pruning(int depth)
{
    u64 on = 0, off = 0;
    for (int i = 0; i < BENCH_POSITION_COUNT; i++) {
        set_game_fen(bench_positions[i]);
        search_selective = true;
        search_single_thread(depth);
        const u64 a = thread_table[0].load()->counters[CNT_NODES];
        set_game_fen(bench_positions[i]);
        search_selective = false;
        search_single_thread(depth);
        const u64 b = thread_table[0].load()->counters[CNT_NODES];
        std::printf("pos %2d: %9llu nodes pruned, %10llu unpruned, ratio %.2f\n", i, (unsigned long long)a,
                    (unsigned long long)b, double(b) / a);
        on += a;
        off += b;
    }
    search_selective = true;
    std::printf("depth %d: %llu nodes with pruning, %llu without: the pruned tree is %.1f%% (%.2fx smaller)\n", depth,
                (unsigned long long)on, (unsigned long long)off, 100.0 * on / off, double(off) / on);
}

// One search the way the main loop runs it: a clock check every 5 ms.
double timed_search(const char* label, double budget)
{
    clear_hash_table();
    search_state.search_command = SEARCH_THINK;
    start_search_clock();
    wake_search_threads();
    while (count_searching_threads() > 0) {
        sleep_ms(5);
        check_search_time();
    }
    update_elapsed_time();
    search_state.search_state = SEARCH_NONE;
    search_state.search_command = SEARCH_NONE;
    const double elapsed = search_state.elapsed_time.load();
    sum_thread_counters();
    std::printf("%-34s target %6.3f s, elapsed %6.3f s, budget %6.3f s, depth %2d, %9llu nodes  %s\n", label,
                search_state.target_time, elapsed, budget, search_state.best_depth,
                (unsigned long long)search_state.summed_counters[SUM_NODES], elapsed <= budget ? "ok" : "OVER");
    return elapsed;
}

void time_limits()
{
    SearchState& ss = search_state;
    const char* fen = bench_positions[5];
    for (int threads_n : {1, 4}) {
        end_search_threads(ss.thread_count);
        create_search_threads(threads_n);
        ss.thread_count = u8(threads_n);
        std::printf("-- %d thread(s)\n", threads_n);

        // "movetime 1000": up to 20 % more while the threads disagree.
        set_game_fen(fen);
        ss.depth_limit = MAX_SEARCH_PLY, ss.node_limit = 0, ss.time_mode = TIME_MODE_FIXED, ss.move_time = 1.0, ss.increment = 0;
        timed_search("movetime 1000", 1.2 + 0.01);

        // "wtime 10000 btime 10000": 10 s left, no increment.
        for (double clock : {10.0, 1.0, 0.3}) {
            set_game_fen(fen);
            ss.time_mode = TIME_MODE_CLOCK, ss.clocks[0] = ss.clocks[1] = clock, ss.increment = 0;
            char label[64];
            std::snprintf(label, sizeof label, "wtime %.0f btime %.0f", clock * 1000, clock * 1000);
            // Never more than the target plus 20 % of the clock, and never
            // into the last five move overheads.
            timed_search(label, std::min(ss.target_time + 0.2 * clock, clock - 5 * ss.move_overhead) + 0.01);
        }
        // With increment.
        set_game_fen(fen);
        ss.time_mode = TIME_MODE_CLOCK, ss.clocks[0] = ss.clocks[1] = 5.0, ss.increment = 0.5;
        timed_search("wtime 5000 winc 500", ss.target_time + 0.2 * 5.0 + 0.01);
        // "movestogo 5" with 6 s.
        set_game_fen(fen);
        ss.time_mode = TIME_MODE_MOVES_TO_GO, ss.moves_to_go = 5, ss.clocks[0] = ss.clocks[1] = 6.0, ss.increment = 0;
        timed_search("wtime 6000 movestogo 5", 1.0 + 0.2 * 6.0 + 0.01);
        // "nodes 200000" and "depth 10": bounded by the limit, not the clock.
        set_game_fen(fen);
        ss.time_mode = TIME_MODE_FIXED, ss.move_time = 1e7, ss.node_limit = 200000;
        timed_search("nodes 200000", 1e7);
        std::printf("   nodes searched %llu for a limit of 200000 per thread\n",
                    (unsigned long long)ss.summed_counters[SUM_NODES]);
        ss.node_limit = 0;
        set_game_fen(fen);
        ss.depth_limit = 10;
        timed_search("depth 10", 1e7);
        ss.depth_limit = MAX_SEARCH_PLY;
    }
}

}  // namespace

int main(int argc, char** argv)
{
    init_engine_once();
    create_search_threads(1);
    search_state.thread_count = 1;
    const char* mode = argc > 1 ? argv[1] : "speed";
    const int depth = argc > 2 ? std::atoi(argv[2]) : 0;
    if (std::strcmp(mode, "speed") == 0) speed(depth ? depth : 12);
    else if (std::strcmp(mode, "threads") == 0) threads(depth ? depth : 13);
    else if (std::strcmp(mode, "pruning") == 0) pruning(depth ? depth : 8);
    else if (std::strcmp(mode, "time") == 0) time_limits();
    else std::printf("usage: driver_bench speed|threads|pruning|time [depth]\n");
    end_search_threads(search_state.thread_count);
    return 0;
}
