#include <gtest/gtest.h>

#include "bitboard.h"

namespace {

struct BoardTablesTest : ::testing::Test {
    static void SetUpTestSuite() { init_board_tables(); }
};

TEST_F(BoardTablesTest, BitCountAndScan)
{
    EXPECT_EQ(count_bits(0), 0);
    EXPECT_EQ(count_bits(~u64(0)), 64);
    EXPECT_EQ(lowest_bit_index(1), 0);
    EXPECT_EQ(lowest_bit_index(square_bit(63)), 63);
    EXPECT_EQ(highest_bit_index(square_bit(63) | 1), 63);
    EXPECT_EQ(log2_of_byte[0], 0);
    EXPECT_EQ(log2_of_byte[1], 0);
    EXPECT_EQ(log2_of_byte[255], 7);
    EXPECT_EQ(log2_of_byte[128], 7);
    EXPECT_EQ(log2_of_byte[127], 6);
}

TEST_F(BoardTablesTest, SliderAttacks)
{
    EXPECT_EQ(count_bits(rook_attack_set(0, 0)), 14);
    u64 a4 = square_bit(24);
    u64 r = rook_attack_set(0, a4);
    EXPECT_TRUE(r & a4);
    EXPECT_FALSE(r & square_bit(32));
    u64 h1 = square_bit(7);
    EXPECT_TRUE(rook_attack_set(0, h1) & h1);
    // Bishop on h8: only the long diagonal down to a1.
    u64 expected = 0;
    for (int s = 0; s < 63; s += 9) expected |= square_bit(s);
    EXPECT_EQ(bishop_attack_set(63, 0), expected);
    EXPECT_EQ(count_bits(bishop_attack_set(27, 0)), 13);
}

// The table lookups against the ray walk: every blocker pattern of each
// square's mask (a bad magic would map two patterns with different sets to
// one entry), then random boards of every density, whose squares off the
// mask must not matter.
TEST_F(BoardTablesTest, SliderLookupsMatchRayWalk)
{
    for (int sq = 0; sq < 64; sq++) {
        for (const SliderTable* t : {&rook_table[sq], &bishop_table[sq]}) {
            const bool rook = t == &rook_table[sq];
            u64 occ = 0;
            do {
                const u64 want = rook ? rook_attack_set_by_rays(sq, occ) : bishop_attack_set_by_rays(sq, occ);
                ASSERT_EQ(rook ? rook_attack_set(sq, occ) : bishop_attack_set(sq, occ), want) << square_name[sq];
                occ = (occ - t->mask) & t->mask;
            } while (occ);
        }
    }
    u64 seed = 0x2545F4914F6CDD1DULL;
    auto next = [&seed] {
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        return seed;
    };
    for (int round = 0; round < 4000; round++) {
        u64 occ = next();
        if (round % 4 == 1) occ &= next();
        if (round % 4 == 2) occ &= next() & next();
        if (round % 4 == 3) occ |= next();
        for (int sq = 0; sq < 64; sq++) {
            ASSERT_EQ(rook_attack_set(sq, occ), rook_attack_set_by_rays(sq, occ)) << square_name[sq];
            ASSERT_EQ(bishop_attack_set(sq, occ), bishop_attack_set_by_rays(sq, occ)) << square_name[sq];
        }
    }
}

TEST_F(BoardTablesTest, BetweenAndRays)
{
    u64 diag = 0;
    for (int s = 9; s < 63; s += 9) diag |= square_bit(s);
    EXPECT_EQ(between_squares[0][63], diag);
    EXPECT_EQ(between_squares[63][0], diag);
    EXPECT_EQ(between_squares[0][17], 0u);  // a1-b3: not on a line
    EXPECT_EQ(between_squares[0][9], 0u);   // adjacent
    EXPECT_EQ(between_squares[5][5], 0u);
    EXPECT_EQ(ray_north[63] | ray_east[63] | ray_north_east[63] | ray_north_west[63], 0u);
    EXPECT_EQ(ray_south[0] | ray_west[0] | ray_south_east[0] | ray_south_west[0], 0u);
    for (int a = 0; a < 64; a++)
        for (int b = 0; b < 64; b++) ASSERT_EQ(between_squares[a][b], between_squares[b][a]);
}

TEST_F(BoardTablesTest, StepTables)
{
    EXPECT_EQ(count_bits(knight_attacks[0]), 2);
    EXPECT_EQ(count_bits(knight_attacks[27]), 8);
    EXPECT_EQ(count_bits(king_attacks[0]), 3);
    EXPECT_EQ(pawn_attacks[WHITE][8], square_bit(17));                  // a2 -> b3
    EXPECT_EQ(pawn_attacks[WHITE][56], 0u);                             // rank 8
    EXPECT_EQ(pawn_attacks[BLACK][55], square_bit(46));                 // h7 -> g6
    EXPECT_EQ(pawn_attacks[BLACK][3], 0u);
    EXPECT_EQ(adjacent_files[0], FILE_A << 1);
    EXPECT_EQ(rank_neighbours[7], square_bit(6));
    // e4 white front span: d5..f8.
    EXPECT_EQ(count_bits(passed_pawn_span[WHITE][28]), 12);
    EXPECT_EQ(passed_pawn_span[BLACK][8], 3u);  // a2 -> a1, b1
    EXPECT_EQ(passed_pawn_span[BLACK][3], 0u);
}

} // namespace
