#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "bitboard.h"
#include "board_fixture.h"
#include "fen.h"
#include "records.h"
#include "see.h"
#include "zobrist.h"

namespace {

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
        int v = exchange_value_on_square(pos, colour, square(from), square(to));
        expect_unchanged();
        return v;
    }
    int meets(const char* from, const char* to)
    {
        int r = exchange_meets_threshold(pos, make_move(square(from), square(to)));
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
    EXPECT_EQ(exchange_value_on_square(pos, WHITE, NO_SQUARE, square("d6")), 330);
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
    EXPECT_EQ(exchange_value_on_square(pos, WHITE, NO_SQUARE, square("e5")), 100);
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
    EXPECT_EQ(exchange_value_on_square(pos, WHITE, NO_SQUARE, square("h8")), 0);
    expect_unchanged();
    // An attacker and the enemy king on the square: the king is taken.
    setup("7k/8/8/8/8/8/8/K6R b - -");
    EXPECT_EQ(exchange_value_on_square(pos, WHITE, NO_SQUARE, square("h8")), 9999);
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
    ASSERT_EQ(pos.ep_square, square("d6"));
    EXPECT_EQ(meets("e5", "d6"), 0);
}

TEST_F(ExchangeTest, ClipFlagDeclinesLosingCaptures)
{
    setup("k7/8/4p3/3p4/3Q4/8/8/7K w - -");
    u64 occ = occupancy(pos);
    EXPECT_EQ(exchange_value_recursive(pos, WHITE, square("d4"), square("d5"), occ, 0), -960);
    EXPECT_EQ(exchange_value_recursive(pos, WHITE, square("d4"), square("d5"), occ, 1), 0);
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
    EXPECT_EQ(least_valuable_attacker(pos, BLACK, square("d5"), occupancy(pos)), square("e6"));
    EXPECT_EQ(least_valuable_attacker(pos, WHITE, square("d5"), occupancy(pos)), square("c4"));
    EXPECT_EQ(least_valuable_attacker(pos, WHITE, square("h8"), occupancy(pos)), NO_SQUARE);
}

// The recursive definition written out plainly, with sliders found by
// walking from each piece towards the square: the reference for the fast
// evaluation on random positions.
bool reference_attacks(int sq, int type, int colour, int to, u64 occ)
{
    const int df = file_of(to) - file_of(sq), dr = rank_of(to) - rank_of(sq);
    const int adf = df < 0 ? -df : df, adr = dr < 0 ? -dr : dr;
    switch (type) {
    case PAWN: return adf == 1 && dr == (colour == WHITE ? 1 : -1);
    case KNIGHT: return adf * adr == 2;
    case KING: return adf <= 1 && adr <= 1 && (adf | adr);
    default: break;
    }
    const bool diagonal = adf == adr && adf > 0, straight = (adf == 0) != (adr == 0);
    if (!(diagonal && type != ROOK) && !(straight && type != BISHOP)) return false;
    const int step = (dr > 0 ? 8 : dr < 0 ? -8 : 0) + (df > 0 ? 1 : df < 0 ? -1 : 0);
    for (int s = sq + step; s != to; s += step)
        if (occ & square_bit(s)) return false;
    return true;
}

int reference_attacker(const Position& pos, int colour, int to, u64 occ, u64 used, int& type)
{
    for (type = PAWN; type <= KING; type++)
        for (int sq = 0; sq < 64; sq++)
            if ((pos.pieces[colour][type] & ~used & square_bit(sq)) && reference_attacks(sq, type, colour, to, occ))
                return sq;
    return NO_SQUARE;
}

int reference_capture(const Position& pos, int side, int from, int mover, int victim, int to, u64 occ, u64 used,
                      bool may_decline)
{
    int value = EXCHANGE_KING_CAPTURE;
    if (victim != KING) {
        occ &= ~square_bit(from);
        used |= square_bit(from);
        int type;
        const int next = reference_attacker(pos, side ^ 1, to, occ, used, type);
        value = exchange_piece_value[victim] -
                (next == NO_SQUARE ? 0 : reference_capture(pos, side ^ 1, next, type, mover, to, occ, used, true));
    }
    return may_decline && value < 0 ? 0 : value;
}

int reference_exchange(const Position& pos, int colour, int from, int to, int clip)
{
    int type;
    if (from == NO_SQUARE) from = reference_attacker(pos, colour, to, occupancy(pos), 0, type);
    if (from == NO_SQUARE) return 0;
    return reference_capture(pos, colour, from, piece_type_of(pos.board[from]), piece_type_of(pos.board[to]), to,
                             occupancy(pos), 0, clip != 0);
}

TEST_F(ExchangeTest, RandomPositionsMatchThePlainDefinition)
{
    const char pieces[] = "PPPPNNBBRRQQpppppnnbbrrqq";
    const int thresholds[] = {-10000, -961, -75, -74, -1, 0, 1, 99, 100, 330, 9999, 10000};
    u32 seed = 12345;
    auto next = [&seed](u32 n) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % n;
    };
    int tested = 0;
    for (int round = 0; round < 400; round++) {
        char board[64] = {};
        for (int k = 0; k < 2; k++) {
            int s = next(64);
            while (board[s]) s = next(64);
            board[s] = k ? 'k' : 'K';
        }
        for (int n = 2 + next(24); n > 0; n--) {
            const int s = next(64);
            const char c = pieces[next(sizeof pieces - 1)];
            if (!board[s] && !((c == 'P' || c == 'p') && (s < 8 || s >= 56))) board[s] = c;
        }
        std::string fen;
        for (int r = 7; r >= 0; r--) {
            int empty = 0;
            for (int f = 0; f < 8; f++) {
                const char c = board[r * 8 + f];
                if (!c) {
                    empty++;
                    continue;
                }
                if (empty) fen += std::to_string(empty);
                fen += c;
                empty = 0;
            }
            if (empty) fen += std::to_string(empty);
            if (r) fen += '/';
        }
        // Either side to move, whichever leaves the other not in check.
        if (set_position_from_fen(pos, (fen + " w - -").c_str()) != 1 &&
            set_position_from_fen(pos, (fen + " b - -").c_str()) != 1)
            continue;
        before = pos;
        tested++;
        for (int to = 0; to < 64; to++) {
            for (int colour = WHITE; colour <= BLACK; colour++) {
                for (int from = 0; from <= NO_SQUARE; from++) {
                    int type = from < 64 ? piece_type_of(pos.board[from]) : 0;
                    if (from < 64 && (!pos.board[from] || piece_colour_of(pos.board[from]) != colour ||
                                      !reference_attacks(from, type, colour, to, occupancy(pos))))
                        continue;
                    if (from < 64 && pos.board[to] && piece_colour_of(pos.board[to]) == colour) continue;
                    const int want = reference_exchange(pos, colour, from, to, 0);
                    ASSERT_EQ(exchange_value_recursive(pos, colour, from, to, occupancy(pos), 0), want) << fen;
                    ASSERT_EQ(exchange_value_recursive(pos, colour, from, to, occupancy(pos), 1),
                              reference_exchange(pos, colour, from, to, 1)) << fen;
                    for (int t : thresholds)
                        ASSERT_EQ(exchange_value_at_least(pos, colour, from, to, occupancy(pos), t), want >= t) << fen;
                    if (from < 64 && colour == pos.side) {
                        const int mover = coarse_piece_value[type], victim = piece_type_of(pos.board[to]);
                        const int quick = mover <= coarse_piece_value[victim] || victim == KING;
                        ASSERT_EQ(exchange_meets_threshold(pos, make_move(from, to)),
                                  quick || want >= EXCHANGE_THRESHOLD) << fen;
                    }
                }
            }
        }
        expect_unchanged();
    }
    EXPECT_GT(tested, 200);
}

} // namespace
