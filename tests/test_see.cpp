#include <gtest/gtest.h>

#include <cstring>

#include "bitboard.h"
#include "fen.h"
#include "records.h"
#include "see.h"
#include "zobrist.h"

namespace {

// Square index from its name, e.g. sq("e4").
constexpr int sq(const char* name) { return (name[1] - '1') * 8 + (name[0] - 'a'); }

struct ExchangeTest : ::testing::Test {
    static void SetUpTestSuite()
    {
        init_board_tables();
        generate_zobrist_keys();
    }
    Position pos{};
    Position before{};

    void setup(const char* fen)
    {
        const char* reason = "";
        ASSERT_EQ(set_position_from_fen(pos, fen, &reason), 1) << fen << ": " << reason;
        before = pos;
    }
    // Every call must leave the board and sets exactly as they were.
    void expect_unchanged() { EXPECT_EQ(std::memcmp(&pos, &before, sizeof(Position)), 0); }
    int value(int colour, const char* from, const char* to)
    {
        int v = exchange_value_on_square(pos, colour, sq(from), sq(to));
        expect_unchanged();
        return v;
    }
    int meets(const char* from, const char* to)
    {
        int r = exchange_meets_threshold(pos, make_move(sq(from), sq(to)));
        expect_unchanged();
        return r;
    }
};

TEST_F(ExchangeTest, QueenTakesDefendedPawn)
{
    setup("k7/8/4p3/3p4/3Q4/8/8/7K w - -");
    EXPECT_EQ(value(WHITE, "d4", "d5"), 100 - 1060);
    EXPECT_EQ(meets("d4", "d5"), 0);
}

TEST_F(ExchangeTest, RookTakesKnightOrDefendedBishop)
{
    setup("7k/8/8/3n4/8/8/8/3R3K w - -");
    EXPECT_EQ(value(WHITE, "d1", "d5"), 330);
    EXPECT_EQ(meets("d1", "d5"), 1);

    setup("7k/8/4p3/3b4/8/8/8/3R3K w - -");
    EXPECT_EQ(value(WHITE, "d1", "d5"), 330 - 530);
    EXPECT_EQ(meets("d1", "d5"), 0);
}

TEST_F(ExchangeTest, QuickTestPassesEqualOrCheaperAttackers)
{
    setup("7k/8/4p3/3n4/8/8/6B1/7K w - -");
    EXPECT_EQ(meets("g2", "d5"), 1);
    setup("7k/8/4p3/3q4/2P5/8/8/7K w - -");
    EXPECT_EQ(meets("c4", "d5"), 1);
}

TEST_F(ExchangeTest, RearRookSeenThroughTheFrontOne)
{
    setup("3r3k/8/3n4/8/8/8/3R4/3R3K w - -");
    EXPECT_EQ(value(WHITE, "d2", "d6"), 330);
    EXPECT_EQ(exchange_value_on_square(pos, WHITE, NO_SQUARE, sq("d6")), 330);
    expect_unchanged();
    EXPECT_EQ(meets("d2", "d6"), 1);

    // Without the rear rook the defender wins the rook.
    setup("3r3k/8/3n4/8/8/8/3R4/7K w - -");
    EXPECT_EQ(value(WHITE, "d2", "d6"), -200);
    EXPECT_EQ(meets("d2", "d6"), 0);
}

TEST_F(ExchangeTest, QueenBehindBishopOnTheDiagonal)
{
    setup("7k/8/5p2/4n3/8/8/1B6/Q6K w - -");
    EXPECT_EQ(value(WHITE, "b2", "e5"), 330 - 330 + 100);
    EXPECT_EQ(exchange_value_on_square(pos, WHITE, NO_SQUARE, sq("e5")), 100);
    expect_unchanged();
}

TEST_F(ExchangeTest, KingCaptures)
{
    // A king taking a defended pawn passes the quick test; its exchange value
    // counts the king as lost.
    setup("7k/8/4p3/3p4/4K3/8/8/8 w - -");
    EXPECT_EQ(meets("e4", "d5"), 1);
    EXPECT_EQ(value(WHITE, "e4", "d5"), 100 - 9999);

    // No attacker: 0, even with a king on the square.
    setup("7k/8/8/8/8/8/8/K7 w - -");
    EXPECT_EQ(exchange_value_on_square(pos, WHITE, NO_SQUARE, sq("h8")), 0);
    expect_unchanged();
    // An attacker and the enemy king on the square: the king is taken.
    setup("7k/8/8/8/8/8/8/K6R b - -");
    EXPECT_EQ(exchange_value_on_square(pos, WHITE, NO_SQUARE, sq("h8")), 9999);
    expect_unchanged();
    // Capturing a piece defended only by the king: the king may not recapture
    // into a second attacker.
    setup("6k1/6p1/8/8/8/8/6R1/6RK w - -");
    EXPECT_EQ(value(WHITE, "g2", "g7"), 100);
}

TEST_F(ExchangeTest, ThresholdEdgesReachableWithRealPieces)
{
    // Piece values are multiples of ten, so -70 is the nearest value above the
    // -74 threshold: RxB, NxR, RxN, BxR, QxB.
    setup("k7/8/5n2/3b3Q/8/1b6/3R4/3R3K w - -");
    EXPECT_EQ(value(WHITE, "d2", "d5"), -70);
    EXPECT_EQ(meets("d2", "d5"), 1);
    // Without the queen the last bishop stays: -200.
    setup("k7/8/5n2/3b4/8/1b6/3R4/3R3K w - -");
    EXPECT_EQ(value(WHITE, "d2", "d5"), -200);
    EXPECT_EQ(meets("d2", "d5"), 0);
}

TEST_F(ExchangeTest, QuietMovesIntoCheaperAttacks)
{
    setup("7k/8/3p4/8/4P3/8/8/6NK w - -");
    EXPECT_EQ(meets("e4", "e5"), 0);   // 0 - 100
    EXPECT_EQ(meets("g1", "f3"), 1);   // nothing attacks f3
    setup("7k/8/8/8/1p6/8/8/1N5K w - -");
    EXPECT_EQ(meets("b1", "c3"), 0);   // the pawn takes the knight
    EXPECT_EQ(meets("b1", "d2"), 1);
}

TEST_F(ExchangeTest, EnPassantCountsNoVictim)
{
    // The pawn taken en passant is not on the destination, so the capture is
    // judged like a pawn move onto a square the opponent attacks.
    setup("7k/1n6/8/3pP3/8/8/8/7K w - d6");
    ASSERT_EQ(pos.ep_square, sq("d6"));
    EXPECT_EQ(meets("e5", "d6"), 0);
}

TEST_F(ExchangeTest, ClipFlagDeclinesLosingCaptures)
{
    setup("k7/8/4p3/3p4/3Q4/8/8/7K w - -");
    u64 occ = occupancy(pos);
    EXPECT_EQ(exchange_value_recursive(pos, WHITE, sq("d4"), sq("d5"), occ, 0), -960);
    EXPECT_EQ(exchange_value_recursive(pos, WHITE, sq("d4"), sq("d5"), occ, 1), 0);
    expect_unchanged();
}

TEST_F(ExchangeTest, EverySquareOfABusyPositionLeavesItUnchanged)
{
    setup("r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP1BBPPP/R2QK2R w - -");
    for (int s = 0; s < 64; s++) {
        int code = pos.board[s];
        if (!code) continue;
        int colour = piece_colour_of(code) ^ 1;
        int v = exchange_value_on_square(pos, colour, NO_SQUARE, s);
        expect_unchanged();
        EXPECT_EQ(v, exchange_value_recursive(pos, colour, NO_SQUARE, s, occupancy(pos), 0));
    }
    // cxd5 exd5 Nxd5 Nxd5: the white knight is lost for a pawn and the
    // capture is declined, so the exchange is pawn for pawn.
    EXPECT_EQ(value(WHITE, "c4", "d5"), 0);
    EXPECT_EQ(least_valuable_attacker(pos, BLACK, sq("d5"), occupancy(pos)), sq("e6"));
    EXPECT_EQ(least_valuable_attacker(pos, WHITE, sq("d5"), occupancy(pos)), sq("c4"));
    EXPECT_EQ(least_valuable_attacker(pos, WHITE, sq("h8"), occupancy(pos)), NO_SQUARE);
}

} // namespace
