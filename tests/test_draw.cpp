#include <gtest/gtest.h>

#include "bitboard.h"
#include "board_fixture.h"
#include "fen.h"
#include "makemove.h"
#include "draw.h"
#include "ordering.h"
#include "records.h"
#include "zobrist.h"

namespace {

struct DrawTest : PlyRecordTest<2, 4> {
    void play(const char* moves)
    {
        for (const char* p = moves; *p; p += (p[4] == ' ' ? 5 : 4)) {
            Move m = make_move((p[1] - '1') * 8 + (p[0] - 'a'), (p[3] - '1') * 8 + (p[2] - 'a'));
            play_move(*pos, m);
            if (!p[4]) break;
        }
    }

    // An undo stack of `count` records whose keys are distinct except where
    // `same` marks the current position.
    void history(int count, std::initializer_list<int> same)
    {
        td->undo_count = u16(count);
        for (int i = 0; i < count; i++) td->undo[i].key = 0x1000 + u64(i);
        for (int i : same) td->undo[i].key = pos->key;
    }
};

TEST_F(DrawTest, ClockBelowFourNeverDraws)
{
    setup("7k/8/8/8/8/8/8/R6K w - -");
    history(10, {6, 2});
    pos->halfmove_clock = 3;
    EXPECT_EQ(detect_draw(*pos, 0, DRAW_MODE_ONE_REPEAT), NO_DRAW);
    pos->halfmove_clock = 4;
    EXPECT_EQ(detect_draw(*pos, 0, DRAW_MODE_ONE_REPEAT), DRAW_REPETITION);
}

TEST_F(DrawTest, ModeTwoFirstRepetitionModeThreeSecond)
{
    setup("7k/8/8/8/8/8/8/R6K w - -");
    pos->halfmove_clock = 20;
    history(12, {8});
    EXPECT_EQ(detect_draw(*pos, 0, DRAW_MODE_ONE_REPEAT), DRAW_REPETITION);
    EXPECT_EQ(detect_draw(*pos, 0, DRAW_MODE_ONE_REPEAT - 1), DRAW_REPETITION);
    EXPECT_EQ(detect_draw(*pos, 0, DRAW_MODE_TWO_REPEATS), NO_DRAW);
    history(12, {8, 4});
    EXPECT_EQ(detect_draw(*pos, 0, DRAW_MODE_TWO_REPEATS), DRAW_REPETITION);
}

TEST_F(DrawTest, OnlySameSideAndWithinTheClock)
{
    setup("7k/8/8/8/8/8/8/R6K w - -");
    // Odd distances are the other side to move; two plies back is the
    // position before the opponent's reply and cannot repeat.
    history(12, {11, 9, 10});
    pos->halfmove_clock = 20;
    EXPECT_EQ(detect_draw(*pos, 0, DRAW_MODE_ONE_REPEAT), NO_DRAW);
    // Eight plies back lies beyond a clock of 7.
    history(12, {4});
    pos->halfmove_clock = 7;
    EXPECT_EQ(detect_draw(*pos, 0, DRAW_MODE_ONE_REPEAT), NO_DRAW);
    pos->halfmove_clock = 8;
    EXPECT_EQ(detect_draw(*pos, 0, DRAW_MODE_ONE_REPEAT), DRAW_REPETITION);
}

TEST_F(DrawTest, HighClockWithShortStackStaysInside)
{
    // A position set up with clock 60 and few moves played: the scan stops at
    // the bottom of the stack.
    setup("7k/8/8/8/8/8/8/R6K w - -");
    pos->halfmove_clock = 60;
    history(5, {1});
    EXPECT_EQ(detect_draw(*pos, 0, DRAW_MODE_ONE_REPEAT), DRAW_REPETITION);
    history(3, {});
    EXPECT_EQ(detect_draw(*pos, 0, DRAW_MODE_TWO_REPEATS), NO_DRAW);
}

TEST_F(DrawTest, FiftyMovesNeedALegalMove)
{
    setup("7k/8/8/8/8/8/8/R6K w - -");
    pos->halfmove_clock = 100;
    history(0, {});
    EXPECT_EQ(detect_draw(*pos, 0, DRAW_MODE_ONE_REPEAT), DRAW_FIFTY_MOVES);

    // Stalemate: no legal move, so no fifty-move draw; a repetition still counts.
    setup("k7/8/1Q6/8/8/8/8/7K b - -");
    pos->halfmove_clock = 100;
    history(20, {});
    EXPECT_EQ(detect_draw(*pos, 0, DRAW_MODE_ONE_REPEAT), NO_DRAW);
    history(20, {12});
    EXPECT_EQ(detect_draw(*pos, 0, DRAW_MODE_ONE_REPEAT), DRAW_REPETITION);

    // Mate: in check with no legal move, the same.
    setup("k7/1Q6/1K6/8/8/8/8/8 b - -");
    pos->halfmove_clock = 120;
    history(0, {});
    EXPECT_EQ(detect_draw(*pos, 1, DRAW_MODE_ONE_REPEAT), NO_DRAW);
}

// The table walk and the self-play match judge draws without the move
// picker; they must judge as the search does.
TEST_F(DrawTest, DrawTestOutsideTheSearchAgreesWithTheSearch)
{
    auto agree = [&](int in_check) {
        for (int mode : {2, 3})
            EXPECT_EQ(position_is_drawn(*pos, mode), detect_draw(*pos, in_check, mode) != NO_DRAW)
                << "mode " << mode << ", clock " << int(pos->halfmove_clock);
    };
    setup("7k/8/8/8/8/8/8/R6K w - -");
    history(12, {8});
    pos->halfmove_clock = 3;
    agree(0);
    pos->halfmove_clock = 20;
    agree(0);
    history(12, {8, 4});
    agree(0);
    history(0, {});
    pos->halfmove_clock = 100;
    EXPECT_TRUE(position_is_drawn(*pos, 2));
    agree(0);

    setup("k7/8/1Q6/8/8/8/8/7K b - -");  // stalemate
    pos->halfmove_clock = 100;
    history(20, {});
    EXPECT_FALSE(position_is_drawn(*pos, 2));
    agree(0);
    history(20, {12});
    agree(0);
    setup("k7/1Q6/1K6/8/8/8/8/8 b - -");  // mate
    pos->halfmove_clock = 120;
    history(0, {});
    agree(1);
    setup("k5r1/8/8/8/8/8/r7/r1N4K w - -");  // only a pinned knight could move
    pos->halfmove_clock = 101;
    agree(0);
}

TEST_F(DrawTest, FiftyMovesWithOnlyPinnedPiecesMoving)
{
    // Pseudo-legal moves exist but all are illegal: the knight is pinned and
    // every king square is covered. Without the pin the knight may move.
    setup("k5r1/8/8/8/8/8/r7/r1N4K w - -");
    pos->halfmove_clock = 101;
    history(0, {});
    EXPECT_EQ(detect_draw(*pos, 0, DRAW_MODE_ONE_REPEAT), NO_DRAW);
    setup("k5r1/8/8/8/8/8/r7/2N4K w - -");
    pos->halfmove_clock = 101;
    EXPECT_EQ(detect_draw(*pos, 0, DRAW_MODE_ONE_REPEAT), DRAW_FIFTY_MOVES);
}

TEST_F(DrawTest, LostCastlingRightsStillRepeat)
{
    setup("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
    play("e2e4 e7e5 e1e2 e8e7 e2e1 e7e8");
    ASSERT_EQ(pos->castling, 0);
    ASSERT_EQ(pos->halfmove_clock, 4);
    EXPECT_EQ(detect_draw(*pos, 0, DRAW_MODE_ONE_REPEAT), DRAW_REPETITION);
    EXPECT_EQ(detect_draw(*pos, 0, DRAW_MODE_TWO_REPEATS), NO_DRAW);
    play("e1e2 e8e7 e2e1 e7e8");
    EXPECT_EQ(detect_draw(*pos, 0, DRAW_MODE_TWO_REPEATS), DRAW_REPETITION);
}

TEST_F(DrawTest, EnPassantSquareDoesNotPreventRepetition)
{
    setup("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w - -");
    play("e2e4 g8f6 g1f3 f6g8 f3g1");
    ASSERT_EQ(pos->ep_square, NO_SQUARE);
    EXPECT_EQ(detect_draw(*pos, 0, DRAW_MODE_ONE_REPEAT), DRAW_REPETITION);
    // One ply earlier only three reversible plies had been played.
    take_back_move(*pos);
    EXPECT_EQ(detect_draw(*pos, 0, DRAW_MODE_ONE_REPEAT), NO_DRAW);
}

} // namespace
