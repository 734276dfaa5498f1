// The start-up speed test's walk and the strength it derives.
#include <gtest/gtest.h>

#include "bench.h"
#include "bitboard.h"
#include "bitbase.h"
#include "fen.h"
#include "params.h"
#include "pruning.h"
#include "records.h"

namespace {

struct SpeedTest : ::testing::Test {
    static void SetUpTestSuite()
    {
        init_board_tables();
        build_kpk_bitbase();
        write_default_params(params);
        init_evaluation_tables();
        init_pruning_tables();
    }
};

TEST_F(SpeedTest, WalkPlaysSixMovesPerNode)
{
    ThreadData* td = allocate_thread_data();
    ASSERT_NE(td, nullptr);
    reset_thread_links(td);
    td->index = 0;
    td->search_ply = 1;
    ASSERT_EQ(set_position_from_fen(td->pos, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -"), 1);
    search_state.elapsed_time = 0.0;
    speed_test_walk(*td, WHITE, 1, 3);
    EXPECT_EQ(td->counters[CNT_NODES], 1u + 6 + 36 + 216);
    EXPECT_EQ(td->search_ply, 1);  // every move taken back
    char fen[128];
    position_to_fen(td->pos, fen);
    EXPECT_STREQ(fen, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");

    // A mated side has no move to walk: the node counts alone.
    td->counters[CNT_NODES] = 0;
    ASSERT_EQ(set_position_from_fen(td->pos, "7k/6Q1/6K1/8/8/8/8/8 b - -"), 1);
    speed_test_walk(*td, BLACK, 1, 4);
    EXPECT_EQ(td->counters[CNT_NODES], 1u);
    delete td;
}

TEST_F(SpeedTest, StrengthCeilingFollowsTheRateWithAFloor)
{
    EXPECT_NEAR(strength_for_rate(1000000), 2870.5, 0.5);
    EXPECT_EQ(strength_for_rate(21), 1500.0);
    EXPECT_EQ(strength_for_rate(5), 1500.0);
    EXPECT_EQ(strength_for_rate(0), 1500.0);
    EXPECT_EQ(strength_for_rate(-1), 1500.0);
}

}  // namespace
