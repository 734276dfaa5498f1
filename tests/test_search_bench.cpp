// Fixed-depth regression of the whole search: the first ten benchmark
// positions, single-threaded to depth 9 from a cleared table, must visit
// exactly the recorded number of nodes. The search is deterministic, so the
// total changes only when search behaviour changes; when it changes on
// purpose, update EXPECTED_NODES from the failure message.
#include <gtest/gtest.h>

#include "bench.h"
#include "search_setup.h"

namespace {

constexpr int BENCH_DEPTH = 9;
constexpr u64 EXPECTED_NODES = 500077;

u64 run_fixed_depth_bench()
{
    u64 total = 0;
    for (int i = 0; i < BENCH_SHORT_COUNT; i++) {
        if (!search_setup::set_game_fen(bench_positions[i])) return 0;
        search_setup::search_single_thread(BENCH_DEPTH);
        total += thread_table[0].load()->counters[CNT_NODES];
    }
    return total;
}

TEST(SearchBench, FixedDepthNodeTotalIsReproducible)
{
    search_setup::init_engine_with_one_thread();
    const u64 first = run_fixed_depth_bench();
    EXPECT_EQ(first, EXPECTED_NODES) << "node total of the fixed-depth bench";
    EXPECT_EQ(run_fixed_depth_bench(), first) << "a second run from a fresh state differs";
}

}  // namespace
