// Perft counts against published values: shallow depths of the standard
// positions and the classic tricky positions (en-passant pins, castling
// through check, promotions, stalemate). Deep counts are in bench/perft_bench.
#include "board_fixture.h"
#include "tools/perft.h"

namespace {

struct PerftTest : BoardTest {
    static u64 perft(const char* fen, int depth)
    {
        set(fen);
        td->counters[CNT_NODES] = 0;
        perft_count(td, td->pos.side, 1, depth);
        return td->counters[CNT_NODES];
    }
};

TEST_F(PerftTest, StartPosition)
{
    const u64 expected[] = {20, 400, 8902, 197281};
    for (int depth = 1; depth <= 4; depth++) EXPECT_EQ(perft(START_FEN, depth), expected[depth - 1]) << depth;
}

TEST_F(PerftTest, StandardPositionsShallow)
{
    struct Case {
        const char* fen;
        int depth;
        u64 nodes;
    };
    const Case cases[] = {
        {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -", 1, 48},
        {"r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -", 3, 97862},
        {"8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -", 5, 674624},
        {"r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq -", 4, 422333},
        {"r2q1rk1/pP1p2pp/Q4n2/bbp1p3/Np6/1B3NBn/pPPP1PPP/R3K2R b KQ -", 3, 9467},
        {"rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ -", 3, 62379},
        {"r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - -", 3, 89890},
    };
    for (const Case& c : cases) EXPECT_EQ(perft(c.fen, c.depth), c.nodes) << c.fen;
}

TEST_F(PerftTest, EnPassantPinsAndChecks)
{
    EXPECT_EQ(perft("3k4/3p4/8/K1P4r/8/8/8/8 b - -", 6), 1134888u);
    EXPECT_EQ(perft("8/8/4k3/8/2p5/8/B2P2K1/8 w - -", 6), 1015133u);
    EXPECT_EQ(perft("8/8/1k6/2b5/2pP4/8/5K2/8 b - d3", 6), 1440467u);
}

TEST_F(PerftTest, CastlingGivesCheck)
{
    EXPECT_EQ(perft("5k2/8/8/8/8/8/8/4K2R w K -", 6), 661072u);
    EXPECT_EQ(perft("3k4/8/8/8/8/8/8/R3K3 w Q -", 6), 803711u);
}

TEST_F(PerftTest, PromotionsAndStalemates)
{
    EXPECT_EQ(perft("4k3/1P6/8/8/8/8/K7/8 w - -", 6), 217342u);
    EXPECT_EQ(perft("8/P1k5/K7/8/8/8/8/8 w - -", 6), 92683u);
    EXPECT_EQ(perft("K1k5/8/P7/8/8/8/8/8 w - -", 6), 2217u);
    EXPECT_EQ(perft("8/8/2k5/5q2/5n2/8/5K2/8 b - -", 4), 23527u);
}

TEST_F(PerftTest, NoLegalMoveAndBadDepth)
{
    // Stalemate: every depth adds nothing.
    for (int depth = 1; depth <= 3; depth++) EXPECT_EQ(perft("7k/5Q2/6K1/8/8/8/8/8 b - -", depth), 0u);
    EXPECT_EQ(perft(START_FEN, 0), 0u);
    EXPECT_EQ(perft(START_FEN, -3), 0u);
    // More plies than the ply records hold: refused rather than overrun.
    EXPECT_EQ(perft(START_FEN, MAX_PLY), 0u);
    // The count adds to the counter and leaves the position as it was.
    set(START_FEN);
    td->counters[CNT_NODES] = 5;
    perft_count(td, WHITE, 1, 2);
    EXPECT_EQ(td->counters[CNT_NODES], 405u);
    EXPECT_EQ(td->undo_count, 0);
    EXPECT_EQ(td->search_ply, 1);
    char fen[100];
    position_to_fen(td->pos, fen);
    EXPECT_STREQ(fen, START_FEN);
}

} // namespace
