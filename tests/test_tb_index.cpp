// Properties of the table position index: every placement lands inside the
// table, symmetric placements share an index and all others get their own.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "tablebase/tb_index.h"
#include "tablebase/tb_registry.h"

namespace {

struct TbIndexTest : ::testing::Test {
    static void SetUpTestSuite() { init_tb_index_tables(); }
};

int transform(int sq, int t)
{
    int f = sq & 7, r = sq >> 3;
    if (t & 1) f = 7 - f;
    if (t & 2) r = 7 - r;
    if (t & 4) std::swap(f, r);
    return 8 * r + f;
}

TEST_F(TbIndexTest, ConstantTables)
{
    EXPECT_EQ(choose_table[0][10], 10u);
    EXPECT_EQ(choose_table[1][10], 45u);
    EXPECT_EQ(choose_table[4][63], 7028847u);
    EXPECT_EQ(choose_table[2][2], 0u);
    for (int g = 0; g < 4; g++) {
        EXPECT_EQ(lead_pawn_count[0][g], 6u);
        for (int j = 0; j < 6; j++) EXPECT_EQ(lead_pawn_offset[0][6 * g + j], u32(j));
    }
    EXPECT_EQ(lower_index[1], 0u);     // b1, first square below the diagonal
    EXPECT_EQ(lower_index[8], 0u);     // a2 mirrors to b1
    EXPECT_EQ(lower_index[63], 35u);   // h8 on the diagonal: 28 + 7
    EXPECT_EQ(diagonal_index[7], 8u);  // h1 on the other diagonal: 8 + rank 0
    EXPECT_EQ(triangle_slot[0], 6u);
    EXPECT_EQ(triangle_slot[63], 6u);  // h8 folds to a1
    EXPECT_EQ(triangle_slot[8], 0u);   // a2 folds to b1
    EXPECT_EQ(triangle_slot[27], 9u);
}

TEST_F(TbIndexTest, KingPairsTakeExactly462Values)
{
    std::set<int> seen;
    int invalid = 0;
    for (int s = 0; s < 10; s++)
        for (int q = 0; q < 64; q++) {
            const int v = king_pair_index[s][q];
            if (v < 0) {
                invalid++;
                continue;
            }
            EXPECT_TRUE(seen.insert(v).second);
        }
    EXPECT_EQ(seen.size(), 462u);
    EXPECT_EQ(*seen.rbegin(), 461);
    EXPECT_EQ(king_pair_index[6][18], 441);  // a1 and c3: first pair on the diagonal
    EXPECT_EQ(king_pair_index[6][9], -1);     // a1 and b2 touch
    EXPECT_EQ(king_pair_index[6][16], -1);    // a1 and a3: above the diagonal
}

// Leading group of an encoding-0 table: three single pieces on distinct
// squares. All eight board symmetries give one index, distinct orbits
// distinct indices, and every index is below 31332.
TEST_F(TbIndexTest, ThreeSinglePiecesFoldOntoTheTriangle)
{
    const u8 sizes[6] = {3, 0, 0, 0, 0, 0};
    const u32 factors[6] = {1, 0, 0, 0, 0, 0};
    std::vector<u8> seen(lead_group_size_enc0, 0);
    int distinct = 0;
    for (int a = 0; a < 64; a++)
        for (int b = 0; b < 64; b++)
            for (int c = 0; c < 64; c++) {
                if (a == b || a == c || b == c) continue;
                u64 idx = 0;
                for (int t = 0; t < 8; t++) {
                    u8 sq[6] = {u8(transform(a, t)), u8(transform(b, t)), u8(transform(c, t))};
                    const u64 v = encode_piece(3, 0, sizes, sq, factors);
                    ASSERT_LT(v, u64(lead_group_size_enc0));
                    if (t == 0) idx = v;
                    ASSERT_EQ(v, idx) << a << " " << b << " " << c << " transform " << t;
                }
                if (!seen[idx]++) distinct++;
            }
    // Orbits of ordered triples of distinct squares under the 8 symmetries.
    std::set<std::tuple<int, int, int>> orbits;
    for (int a = 0; a < 64; a++)
        for (int b = 0; b < 64; b++)
            for (int c = 0; c < 64; c++) {
                if (a == b || a == c || b == c) continue;
                std::tuple<int, int, int> least{64, 64, 64};
                for (int t = 0; t < 8; t++)
                    least = std::min(least, std::make_tuple(transform(a, t), transform(b, t), transform(c, t)));
                orbits.insert(least);
            }
    EXPECT_EQ(size_t(distinct), orbits.size());
}

// Encoding 2 with a group of equal pieces: the kings in canonical squares
// and every placement of the group give pairwise distinct indices that fill
// the table exactly.
void check_kings_and_group(int group, int king_pairs_step)
{
    const int n = 2 + group;
    u8 sizes[6] = {2, 0, 0, 0, 0, 0};
    sizes[2] = u8(group);
    u8 order[6] = {6, 14, 5, 5, 5, 5};
    u32 factors[6] = {};
    const u64 size = pawnless_index_factors(factors, n, 2, sizes, 0);
    ASSERT_EQ(size, u64(462) * choose_table[group - 1][62]);
    (void)order;
    std::vector<u8> seen(size, 0);
    u64 distinct = 0, pairs = 0;
    static const int triangle[10] = {1, 2, 3, 10, 11, 19, 0, 9, 18, 27};
    int pair_number = 0;
    for (int s = 0; s < 10; s++)
        for (int q = 0; q < 64; q++) {
            if (king_pair_index[s][q] < 0) continue;
            if (pair_number++ % king_pairs_step) continue;
            pairs++;
            const int k1 = triangle[s];
            std::vector<int> free_squares;
            for (int x = 0; x < 64; x++)
                if (x != k1 && x != q) free_squares.push_back(x);
            std::vector<int> pick(group);
            for (int i = 0; i < group; i++) pick[i] = i;
            for (;;) {
                u8 sq[6] = {u8(k1), u8(q)};
                for (int i = 0; i < group; i++) sq[2 + i] = u8(free_squares[pick[group - 1 - i]]);
                const u64 idx = encode_piece(n, 2, sizes, sq, factors);
                ASSERT_LT(idx, size);
                if (!seen[idx]++) distinct++;
                int i = group - 1;
                while (i >= 0 && pick[i] == 61 - (group - 1 - i)) i--;
                if (i < 0) break;
                pick[i]++;
                for (int j = i + 1; j < group; j++) pick[j] = pick[j - 1] + 1;
            }
        }
    EXPECT_EQ(distinct, pairs * choose_table[group - 1][62]);
}

TEST_F(TbIndexTest, KingsWithTwoEqualPiecesFillTheTable) { check_kings_and_group(2, 1); }

TEST_F(TbIndexTest, KingsWithThreeEqualPieces) { check_kings_and_group(3, 7); }

// Both kings on the diagonal: no transposition, so a group placement and
// its mirror image in the diagonal are different positions of the table.
TEST_F(TbIndexTest, BothKingsOnTheDiagonal)
{
    const u8 sizes[6] = {2, 0, 1, 0, 0, 0};
    u32 factors[6] = {};
    const u64 size = pawnless_index_factors(factors, 3, 2, sizes, 0);
    ASSERT_EQ(size, 462u * 62u);
    u8 sq[6] = {0, 18, 1};  // a1, c3, b1
    const u64 below = encode_piece(3, 2, sizes, sq, factors);
    u8 sq2[6] = {0, 18, 8};  // a1, c3, a2
    const u64 above = encode_piece(3, 2, sizes, sq2, factors);
    EXPECT_NE(below, above);
    EXPECT_EQ(below / factors[0], 441u);
    // h8 and f6 fold onto a1 and c3.
    u8 sq3[6] = {63, 45, 62};
    EXPECT_EQ(encode_piece(3, 2, sizes, sq3, factors) / factors[0], 441u);
}

// Leading pawns: every set of k pawns of one colour maps below the count of
// its file group; a set and its file mirror share an index; distinct
// mirror orbits get distinct indices and together fill every group.
TEST_F(TbIndexTest, SeveralLeadingPawns)
{
    std::vector<int> pawn_squares;
    for (int s = 8; s < 56; s++) pawn_squares.push_back(s);
    for (int k = 1; k <= 4; k++) {
        SCOPED_TRACE(k);
        const u8 counts[2] = {u8(k), 0};
        u8 sizes[6] = {u8(k), 0, 0, 0, 0, 0};
        const u32 factors[6] = {1, 0, 0, 0, 0, 0};
        std::set<std::pair<int, u64>> seen;
        std::vector<int> pick(k);
        for (int i = 0; i < k; i++) pick[i] = i;
        for (;;) {
            u8 sq[6];
            for (int i = 0; i < k; i++) sq[i] = u8(pawn_squares[pick[i]]);
            // The probe's choice of the leading pawn.
            for (int i = 1; i < k; i++)
                if (lead_pawn_slot[sq[0]] > lead_pawn_slot[sq[i]]) std::swap(sq[0], sq[i]);
            const int f = sq[0] & 7;
            const int g = f < 4 ? f : 7 - f;
            u8 mirrored[6];
            for (int i = 0; i < k; i++) mirrored[i] = sq[i] ^ 7;
            const u64 idx = pawn_table_position_index(k, counts, sizes, sq, factors);
            ASSERT_LT(idx, u64(lead_pawn_count[k - 1][g]));
            EXPECT_EQ(pawn_table_position_index(k, counts, sizes, mirrored, factors), idx);
            seen.insert({g, idx});
            int i = k - 1;
            while (i >= 0 && pick[i] == 47 - (k - 1 - i)) i--;
            if (i < 0) break;
            pick[i]++;
            for (int j = i + 1; j < k; j++) pick[j] = pick[j - 1] + 1;
        }
        u64 total = 0;
        for (int g = 0; g < 4; g++) total += lead_pawn_count[k - 1][g];
        EXPECT_EQ(seen.size(), total);
    }
}

// One pawn of each colour (KPvKP style groups): lead pawn and opposing pawn.
TEST_F(TbIndexTest, PawnsOfBothColours)
{
    const u8 counts[2] = {1, 1};
    const u8 sizes[6] = {1, 1, 0, 0, 0, 0};
    std::set<std::pair<int, u64>> seen;
    for (int a = 8; a < 56; a++)
        for (int b = 8; b < 56; b++) {
            if (a == b) continue;
            const int g = (a & 7) < 4 ? (a & 7) : 7 - (a & 7);
            u32 factors[6] = {};
            const u64 size = pawn_table_index_factors(factors, 2, 0, 1, sizes, g);
            ASSERT_EQ(size, 6u * 47u);
            u8 sq[6] = {u8(a), u8(b)};
            const u64 idx = pawn_table_position_index(2, counts, sizes, sq, factors);
            ASSERT_LT(idx, size);
            seen.insert({g, idx});
        }
    EXPECT_EQ(seen.size(), 24u * 47u);
}

TEST_F(TbIndexTest, FactorsRejectOrdersThatNeverPlaceTheLeadingGroup)
{
    const u8 sizes[6] = {3, 0, 0, 1, 0, 0};
    u32 factors[6] = {};
    EXPECT_EQ(pawnless_index_factors(factors, 4, 0, sizes, 0), u64(31332) * 61);
    EXPECT_EQ(factors[0], 1u);
    EXPECT_EQ(factors[3], 31332u);
    EXPECT_EQ(pawnless_index_factors(factors, 4, 0, sizes, 1), u64(31332) * 61);
    EXPECT_EQ(factors[0], 61u);
    EXPECT_EQ(pawnless_index_factors(factors, 4, 0, sizes, 2), 0u);
    EXPECT_EQ(pawnless_index_factors(factors, 4, 0, sizes, 15), 0u);
    const u8 pawn_sizes[6] = {1, 1, 1, 0, 0, 0};
    EXPECT_EQ(pawn_table_index_factors(factors, 3, 0, 4, pawn_sizes, 0), 0u);  // second group never placed
    EXPECT_EQ(pawn_table_index_factors(factors, 3, 5, 1, pawn_sizes, 0), 0u);  // leading group never placed
    EXPECT_EQ(pawn_table_index_factors(factors, 3, 0, 1, pawn_sizes, 0), u64(6) * 47 * 62);
}

} // namespace
