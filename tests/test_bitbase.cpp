// King-and-pawn bitbase: every position against the KPvK tablebase,
// textbook positions and its symmetries.
#include <gtest/gtest.h>

#include <cstring>

#include "bitbase.h"
#include "bitboard.h"
#include "board_fixture.h"
#include "tablebase/tablebase.h"
#include "tb_test_support.h"

namespace {

// Two kings and one pawn; `pawn_side` owns the pawn and its king stands on `strong`.
Position kpk(int pawn_side, const char* pawn, const char* strong, const char* weak, int side)
{
    Position pos;
    std::memset(&pos, 0, sizeof pos);
    for (int c = 0; c < 2; c++)
        for (int t = 0; t < 8; t++) pos.lists[c][t][0] = NO_SQUARE;
    auto put = [&](int colour, int type, int s) {
        pos.board[s] = u8(piece_code(type, colour));
        pos.pieces[colour][0] |= square_bit(s);
        pos.pieces[colour][type] |= square_bit(s);
        pos.lists[colour][type][0] = u8(s);
        pos.lists[colour][type][1] = NO_SQUARE;
        pos.material_key[colour] += material_key_step[type];
    };
    put(pawn_side, PAWN, square(pawn));
    put(pawn_side, KING, square(strong));
    put(pawn_side ^ 1, KING, square(weak));
    pos.side = u8(side);
    pos.ep_square = NO_SQUARE;
    return pos;
}

int white_pawn(const char* p, const char* wk, const char* bk, int side)
{
    Position pos = kpk(WHITE, p, wk, bk, side);
    return kpk_bitbase_score(pos, side);
}

struct BitbaseTest : ::testing::Test {
    static void SetUpTestSuite()
    {
        init_board_tables();
        build_kpk_bitbase();
    }
};

TEST_F(BitbaseTest, EveryPositionAgreesWithTheTablebase)
{
    ASSERT_TRUE(test_tables_present());
    scan_quietly(test_table_dir());
    ASSERT_NE(tb_largest_piece_count.load(), 0u);
    // Every legal position with a white pawn on ranks 2-7, either side to
    // move: a win for the pawn side in the tablebase (the fifty-move rule
    // aside) is a win here, anything else a draw. Wins on files a-d are
    // counted per side to move.
    int wins_on_a_to_d[2] = {0, 0};
    int positions = 0, wrong = 0;
    for (int p = 8; p < 56; p++) {
        for (int s = 0; s < 64; s++) {
            for (int l = 0; l < 64; l++) {
                if (p == s || p == l || s == l || (king_attacks[s] & square_bit(l))) continue;
                for (int side = WHITE; side <= BLACK; side++) {
                    if (side == WHITE && (pawn_attacks[WHITE][p] & square_bit(l))) continue;
                    TbPosition tb{};
                    tb.white = square_bit(p) | square_bit(s);
                    tb.black = square_bit(l);
                    tb.kings = square_bit(s) | square_bit(l);
                    tb.pawns = square_bit(p);
                    tb.white_to_move = u8(side == WHITE);
                    int success = 0;
                    const int wdl = wdl_probe_position(tb, &success);
                    ASSERT_NE(success, 0) << square_name[p] << square_name[s] << square_name[l];
                    const bool pawn_side_wins = side == WHITE ? wdl > 0 : wdl < 0;
                    Position pos = kpk(WHITE, square_name[p], square_name[s], square_name[l], side);
                    const int expected = !pawn_side_wins ? 0 : side == WHITE ? 800 : -800;
                    if (kpk_bitbase_score(pos, side) != expected && ++wrong <= 5)
                        ADD_FAILURE() << "K" << square_name[s] << " P" << square_name[p] << " against K"
                                      << square_name[l] << (side == WHITE ? ", white" : ", black")
                                      << " to move: expected " << expected;
                    if (pawn_side_wins && file_of(p) < 4) wins_on_a_to_d[side]++;
                    positions++;
                }
            }
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(positions, 331352);
    EXPECT_EQ(wins_on_a_to_d[WHITE], 62480);
    EXPECT_EQ(wins_on_a_to_d[BLACK], 48802);
    // The tables, read for pawns on ranks 2-7 (pawn index 4-27), hold
    // exactly these wins: pawn side to move, then lone king to move.
    for (int table = 0; table < 2; table++) {
        int wins = 0;
        for (int pi = 4; pi < 28; pi++)
            for (const auto& by_king : kpk_table[table][pi])
                for (u8 entry : by_king) wins += entry == KPK_WIN;
        EXPECT_EQ(wins, wins_on_a_to_d[table]) << "table " << table;
    }
}

TEST_F(BitbaseTest, StalemateAndCornerDraws)
{
    // Kc6, c7 against Kc8, black to move: stalemate.
    EXPECT_EQ(white_pawn("c7", "c6", "c8", BLACK), 0);
    // Kd6, c7 against Kc8: white to move can only stalemate or lose the
    // pawn; black to move must step aside and the pawn queens.
    EXPECT_EQ(white_pawn("c7", "d6", "c8", WHITE), 0);
    EXPECT_EQ(white_pawn("c7", "d6", "c8", BLACK), -800);
    // a7 with the king far away: the black king holds the corner.
    EXPECT_EQ(white_pawn("a7", "h1", "a8", WHITE), 0);
    EXPECT_EQ(white_pawn("a7", "h1", "b8", WHITE), 0);
    EXPECT_EQ(white_pawn("a7", "h1", "b8", BLACK), 0);
}

TEST_F(BitbaseTest, Opposition)
{
    // Ke5, e4 against Ke7: the side to move loses the opposition.
    EXPECT_EQ(white_pawn("e4", "e5", "e7", WHITE), 0);
    EXPECT_EQ(white_pawn("e4", "e5", "e7", BLACK), 800 * -1);  // black to move: a win for white
    // King on the sixth in front of its pawn wins whoever moves.
    EXPECT_EQ(white_pawn("e5", "e6", "e8", WHITE), 800);
    EXPECT_EQ(white_pawn("e5", "e6", "e8", BLACK), -800);
    // King behind its pawn with the defender in front: draw.
    EXPECT_EQ(white_pawn("e5", "e4", "e7", WHITE), 0);
    EXPECT_EQ(white_pawn("e5", "e4", "e7", BLACK), 0);
}

TEST_F(BitbaseTest, RookPawnDraws)
{
    // Even with the king on the sixth, a rook pawn draws against the corner.
    EXPECT_EQ(white_pawn("a5", "b6", "a8", WHITE), 0);
    EXPECT_EQ(white_pawn("a5", "b6", "a8", BLACK), 0);
    EXPECT_EQ(white_pawn("h4", "g5", "h8", WHITE), 0);
    // A knight pawn in the same set-up wins.
    EXPECT_EQ(white_pawn("b5", "c6", "b8", WHITE), 800);
}

TEST_F(BitbaseTest, SquareRule)
{
    // a5 pawn, its king far away; the black king on e5.
    EXPECT_EQ(white_pawn("a5", "h1", "e5", WHITE), 800);  // outside the square
    EXPECT_EQ(white_pawn("a5", "h1", "e5", BLACK), 0);    // steps into it
    // From the second rank the double step counts: g5 catches, h5 does not.
    EXPECT_EQ(white_pawn("b2", "h1", "g5", WHITE), 0);
    EXPECT_EQ(white_pawn("b2", "h1", "h5", WHITE), 800);
    // A king on the square in front blocks the double step as well.
    EXPECT_EQ(white_pawn("a2", "a5", "a3", WHITE), 0);
}

TEST_F(BitbaseTest, IllegalInputScoresZero)
{
    // Black in check from the pawn with white to move.
    EXPECT_EQ(white_pawn("d6", "a1", "e7", WHITE), 0);
    // Kings touching.
    EXPECT_EQ(white_pawn("d4", "e6", "e7", WHITE), 0);
}

TEST_F(BitbaseTest, MirrorAndColourSymmetry)
{
    static const char* names[64] = {
        "a1", "b1", "c1", "d1", "e1", "f1", "g1", "h1", "a2", "b2", "c2", "d2", "e2", "f2", "g2", "h2",
        "a3", "b3", "c3", "d3", "e3", "f3", "g3", "h3", "a4", "b4", "c4", "d4", "e4", "f4", "g4", "h4",
        "a5", "b5", "c5", "d5", "e5", "f5", "g5", "h5", "a6", "b6", "c6", "d6", "e6", "f6", "g6", "h6",
        "a7", "b7", "c7", "d7", "e7", "f7", "g7", "h7", "a8", "b8", "c8", "d8", "e8", "f8", "g8", "h8",
    };
    int wins = 0, checked = 0;
    for (int p = 8; p < 56; p++) {
        for (int s = 0; s < 64; s += 3) {
            for (int l = 0; l < 64; l++) {
                if (p == s || p == l || s == l) continue;
                for (int side = 0; side < 2; side++) {
                    int v = white_pawn(names[p], names[s], names[l], side);
                    // h-file pawns read the a-file entries.
                    EXPECT_EQ(v, white_pawn(names[p ^ 7], names[s ^ 7], names[l ^ 7], side));
                    // The position turned round with a black pawn.
                    Position turned = kpk(BLACK, names[63 - p], names[63 - s], names[63 - l], side ^ 1);
                    EXPECT_EQ(v, kpk_bitbase_score(turned, side ^ 1));
                    wins += v != 0;
                    checked++;
                }
            }
        }
    }
    EXPECT_GT(wins, checked / 3);
}

TEST_F(BitbaseTest, ExplicitPawnSideIgnoresTheOtherPawn)
{
    Position pos = kpk(WHITE, "e5", "e6", "e8", WHITE);
    // Add a black pawn on a7: the drawish test probes white's pawn alone.
    pos.board[square("a7")] = u8(piece_code(PAWN, BLACK));
    pos.pieces[BLACK][0] |= square_bit(square("a7"));
    pos.pieces[BLACK][PAWN] |= square_bit(square("a7"));
    pos.lists[BLACK][PAWN][0] = u8(square("a7"));
    pos.lists[BLACK][PAWN][1] = NO_SQUARE;
    pos.material_key[BLACK] = 1;
    EXPECT_EQ(kpk_bitbase_score_for(pos, WHITE, WHITE), 800);
    EXPECT_EQ(kpk_bitbase_score_for(pos, WHITE, BLACK), 0);
}

} // namespace
