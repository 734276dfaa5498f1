// FEN set-up and output: round trips, dropped castling rights, rejected
// texts that keep the previous position, en-passant squares, the diagram.
#include <cstdio>
#include <string>

#include "board_fixture.h"
#include "makemove.h"

namespace {

struct FenTest : BoardTest {
    static std::string fen_of(const Position& p)
    {
        char text[100];
        position_to_fen(p, text);
        return text;
    }
    // Captures what a call prints on standard output.
    template <typename F>
    static std::string stdout_of(F f)
    {
        ::testing::internal::CaptureStdout();
        f();
        return ::testing::internal::GetCapturedStdout();
    }
};

TEST_F(FenTest, RoundTrips)
{
    const char* fens[] = {
        START_FEN,
        "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3",
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
        "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq -",
        "4k3/8/8/8/8/8/8/4K2R w K -",
    };
    for (const char* f : fens) {
        set(f);
        EXPECT_EQ(fen_of(pos()), f);
    }
    // The fifth field is the half-move clock when it is a number; the move
    // number and EPD operations are ignored.
    set("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1");
    EXPECT_EQ(pos().side, BLACK);
    EXPECT_EQ(pos().castling, 15);
    EXPECT_EQ(pos().ep_square, square("e3"));
    EXPECT_EQ(pos().halfmove_clock, 0);
    EXPECT_EQ(fen_of(pos()), "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3");
    set("4k3/8/8/8/8/8/8/4K3 w - - 37 80 bm Kd2; id \"x\";");
    EXPECT_EQ(pos().halfmove_clock, 37);
    EXPECT_EQ(fen_of(pos()), "4k3/8/8/8/8/8/8/4K3 w - -");
    set("4k3/8/8/8/8/8/8/4K3 w - - bm Kd2;");
    EXPECT_EQ(pos().halfmove_clock, 0);
    set("4k3/8/8/8/8/8/8/4K3 w - - 4000 1");  // every clock above the cap means the same
    EXPECT_EQ(pos().halfmove_clock, MAX_HALFMOVE_CLOCK);
    // Line ends and tabs end a field like blanks.
    set("4k3/8/8/8/8/8/8/4K3\tb - -\n");
    EXPECT_EQ(pos().side, BLACK);
}

TEST_F(FenTest, SetUpResetsTheUndoStackAndKeys)
{
    set(START_FEN);
    play_move(pos(), move_of("e2e4"));
    EXPECT_EQ(td->undo_count, 1);
    set("4k3/8/8/8/8/8/8/4K2R w K -");
    EXPECT_EQ(td->undo_count, 0);
    EXPECT_EQ(td->search_ply, 1);
    EXPECT_EQ(td->last_move, 0);
    EXPECT_EQ(td->undo[0].move, 0);
    EXPECT_EQ(pos().key, piece_key_from_board(pos()));
    EXPECT_EQ(pos().material_key[WHITE], 0x1000u);
    EXPECT_EQ(pos().piece_units[WHITE], 5);
    // Lists follow the placement text: rank 8 first, file a first.
    set("4k3/8/8/8/8/8/NN6/N3K3 w - -");
    EXPECT_EQ(pos().lists[WHITE][KNIGHT][0], square("a2"));
    EXPECT_EQ(pos().lists[WHITE][KNIGHT][1], square("b2"));
    EXPECT_EQ(pos().lists[WHITE][KNIGHT][2], square("a1"));
    EXPECT_EQ(pos().lists[WHITE][KNIGHT][3], NO_SQUARE);
}

TEST_F(FenTest, DroppedCastlingRights)
{
    std::string out = stdout_of([] { set("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBN1 w KQkq -"); });
    EXPECT_EQ(out, "Illegal EPD record\n");
    EXPECT_EQ(pos().castling, 2 | 4 | 8);
    out = stdout_of([] { set("r3k2r/8/8/8/8/8/8/R2K3R w KQkq -"); });
    EXPECT_EQ(out, "Illegal EPD record\n");
    EXPECT_EQ(pos().castling, 4 | 8);
    out = stdout_of([] { set(START_FEN); });
    EXPECT_EQ(out, "");
}

TEST_F(FenTest, RejectedTextsKeepThePosition)
{
    // Only what leaves no playable position is refused.
    const struct {
        const char* fen;
        const char* why;
    } bad[] = {
        {"rnbqkbnr/pppppppp/8/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", "king"},  // extra rank: off the board
        {"", "side"},
        {"rnbq1bnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQ -", "king"},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKKNR w kq -", "king"},
        {"4k3/8/8/8/8/8/8/4K2P w - -", "pawn"},
        {"p3k3/8/8/8/8/8/8/4K3 w - -", "pawn"},
        {"NNNNNNNN/NNN5/8/8/8/8/8/k3K3 w - -", "too many"},
        {"QQQ1k3/8/8/8/8/8/PPPPPPPP/4K3 w - -", "too many"},    // a promotion would overflow
        {"4k3/PPPPPPPP/P7/8/8/8/8/4K3 b - -", "too many"},       // nine pawns
        {"4k3/4R3/8/8/8/8/8/4K3 w - -", "check"},                 // Black, not to move, in check
        {"4k3/8/8/8/8/8/8/4K3", "side"},                          // whose move is it?
        {"4k3/8/8/8/8/8/8/4K3 W - -", "side"},
    };
    for (const auto& b : bad) {
        set(START_FEN);
        play_move(pos(), move_of("e2e4"));
        const char* reason = "";
        EXPECT_EQ(set_position_from_fen(pos(), b.fen, &reason), 0) << b.fen;
        EXPECT_NE(std::string(reason).find(b.why), std::string::npos) << b.fen << ": " << reason;
        EXPECT_EQ(fen_of(pos()), "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3") << b.fen;
        EXPECT_EQ(td->undo_count, 1) << b.fen;
    }
    EXPECT_EQ(set_position_from_fen(pos(), nullptr), 0);
    // The side to move may be in check.
    set("4k3/4R3/8/8/8/8/8/4K3 b - -");
}

TEST_F(FenTest, MisshapenPlacementsAreReadSquareBySquare)
{
    const char* start = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";
    const struct {
        const char* fen;
        const char* read_as;
    } cases[] = {
        // A digit that overruns its rank stops at the h-file square.
        {"rnbqkbnr/pppppppp/9/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", start},
        {"r1bqkbnr/pppp1ppp/2n6/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3",
         "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -"},
        // A short rank leaves its last squares empty.
        {"rnbqkbnr/ppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
         "rnbqkbnr/ppppppp1/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -"},
        // A letter beyond the h-file lands on it again.
        {"rnbqkbnrr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", start},
        // A missing rank leaves rank 1 empty (the castling rights go with it).
        {"rnbqkbnr/pppppppp/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", "rnbqkbnr/pppppppp/8/8/8/PPPPPPPP/RNBQKBNR/8 w kq -"},
        // A "/" after the last rank, an unknown letter (advances, puts nothing).
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR/ w KQkq -", start},
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNX w KQkq -", "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBN1 w Qkq -"},
    };
    for (const auto& c : cases) {
        const char* reason = "";
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(set_position_from_fen(pos(), c.fen, &reason), 1) << c.fen << ": " << reason;
        ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(fen_of(pos()), c.read_as) << c.fen;
    }
}

TEST_F(FenTest, ImpossibleEnPassantSquareBecomesNone)
{
    const char* cases[] = {
        "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e3",  // wrong side to move
        "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq d3",  // no pawn in front
        "rnbqkbnr/pppppppp/8/8/4P3/8/PPPPNPPP/RNBQKB1R b KQkq e3",  // origin occupied
        "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e",   // partial square
        "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e9",
        "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq 3",
    };
    for (const char* f : cases) {
        ::testing::internal::CaptureStdout();
        set(f);
        ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(pos().ep_square, NO_SQUARE) << f;
    }
    // Kept even when no pawn can take: every double push leaves one.
    set("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3");
    EXPECT_EQ(pos().ep_square, square("e3"));
}

TEST_F(FenTest, BoardDiagram)
{
    set(START_FEN);
    std::string out = stdout_of([] { print_board_diagram(pos()); });
    std::string expected = std::string(START_FEN) + "\n" +
                           "  r n b q k b n r\n"
                           "  o o o o o o o o\n"
                           "  - + - + - + - +\n"
                           "  + - + - + - + -\n"
                           "  - + - + - + - +\n"
                           "  + - + - + - + -\n"
                           "  P P P P P P P P\n"
                           "  R N B Q K B N R\n"
                           "white\n\n";
    EXPECT_EQ(out, expected);
}

} // namespace
