// En-passant captures, which the tables do not cover: KPvKP positions right
// after a double push are checked against a one-ply oracle whose children
// carry no en-passant square (so the tables answer them directly).
#include <gtest/gtest.h>

#include <algorithm>

#include "tablebase/tablebase.h"
#include "tb_test_support.h"

namespace {

struct TbEnPassantTest : ::testing::Test {
    static void SetUpTestSuite()
    {
        init_board_tables();
        scan_quietly(test_table_dir());
    }
    void SetUp() override { ASSERT_TRUE(test_tables_present()); }
    static void TearDownTestSuite() { scan_quietly(""); }
};

int sign(int v) { return (v > 0) - (v < 0); }

// KPvKP right after the opponent's double push beside our pawn.
bool random_ep_position(u32& seed, TbPosition* out)
{
    auto next = [&seed]() {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    TbPosition pos{};
    pos.white_to_move = u8(next() & 1);
    const int file = int(next() % 8);
    const int side_file = file == 0 ? 1 : file == 7 ? 6 : file + ((next() & 1) ? 1 : -1);
    // White to move: both pawns on rank 5, the black one just came from rank 7.
    const int rank = pos.white_to_move ? 4 : 3;
    const int mover_sq = 8 * rank + file;    // pawn that may capture
    const int victim_sq = 8 * rank + side_file;
    const u64 mover = square_bit(mover_sq), victim = square_bit(victim_sq);
    pos.pawns = mover | victim;
    if (pos.white_to_move) {
        pos.white = mover;
        pos.black = victim;
        pos.ep_square = u8(victim_sq + 8);
    } else {
        pos.black = mover;
        pos.white = victim;
        pos.ep_square = u8(victim_sq - 8);
    }
    const u64 must_be_empty = square_bit(pos.ep_square) | square_bit(pos.white_to_move ? pos.ep_square + 8 : pos.ep_square - 8);
    for (int colour = 0; colour < 2; colour++) {
        int sq;
        do sq = int(next() % 64);
        while (((pos.white | pos.black | must_be_empty) & square_bit(sq)));
        pos.kings |= square_bit(sq);
        (colour ? pos.black : pos.white) |= square_bit(sq);
    }
    *out = pos;
    return tb_position_is_sound(pos);
}

TEST_F(TbEnPassantTest, EnPassantPositionsAgreeWithOnePlyOracle)
{
    u32 seed = 2024;
    int checked = 0, ep_changes_result = 0, ep_saves_loss = 0, ep_wins_draw = 0, root_checked = 0;
    while (checked < 2500) {
        TbPosition pos;
        if (!random_ep_position(seed, &pos)) continue;
        checked++;
        SCOPED_TRACE(testing::Message() << "white " << pos.white << " black " << pos.black << " stm "
                                        << int(pos.white_to_move) << " ep " << int(pos.ep_square));
        // Oracle: best over the legal moves of the children's values.
        ProbeMove list[TB_MOVE_LIST_SIZE];
        ProbeMove* end = probe_board_generate_moves(pos, list);
        int best = -3, legal = 0;
        for (ProbeMove* m = list; m < end; m++) {
            TbPosition child;
            if (!probe_board_apply_move(child, pos, *m)) continue;
            legal++;
            int ok = 0;
            const int v = -wdl_probe_position(child, &ok);
            ASSERT_NE(ok, 0);
            best = std::max(best, sign(v) * 2);
        }
        if (!legal) best = tb_side_to_move_in_check(pos) ? -2 : 0;

        int ok = 0;
        const int wdl = wdl_probe_position(pos, &ok);
        ASSERT_NE(ok, 0);
        EXPECT_EQ(sign(wdl), sign(best));
        const int dtz = dtz_probe_position(pos, &ok);
        ASSERT_NE(ok, 0);
        EXPECT_EQ(sign(dtz), sign(wdl));

        TbPosition no_ep = pos;
        no_ep.ep_square = 0;
        const int plain = wdl_probe_position(no_ep, &ok);
        ASSERT_NE(ok, 0);
        if (sign(plain) == sign(wdl)) continue;
        ep_changes_result++;
        const int plain_dtz = dtz_probe_position(no_ep, &ok);
        ASSERT_NE(ok, 0);
        if (plain < 0 && wdl == 0) {
            ep_saves_loss++;
            EXPECT_LT(plain_dtz, 0);
            EXPECT_EQ(dtz, 0);  // a losing DTZ becomes 0 through the drawing capture
        }
        if (plain <= 0 && wdl == 2) {
            ep_wins_draw += plain == 0;
            EXPECT_EQ(dtz, 1);  // the capture wins at once
            // The root can only win by taking en passant.
            u32 code, distance;
            Move move;
            ASSERT_EQ(probe_root_moves_dtz(engine_position(pos), &code, &distance, &move), TB_CODE_WIN);
            EXPECT_EQ(move_to(move), pos.ep_square);
            EXPECT_EQ(distance, 1u);
            root_checked++;
        }
    }
    EXPECT_GT(ep_changes_result, 0);
    EXPECT_GT(ep_saves_loss, 0);
    EXPECT_GT(ep_wins_draw, 0);
    EXPECT_GT(root_checked, 0);
}

} // namespace
