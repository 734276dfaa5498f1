// The line read back from the transposition table: followed moves, where it
// stops (missing or shallow entries, repetitions, the fifty-move rule, ply
// 66) and that the position comes back unchanged.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "board_fixture.h"
#include "fen.h"
#include "makemove.h"
#include "movetext.h"
#include "pvtable.h"
#include "search_setup.h"

namespace {

struct PvTableTest : ::testing::Test {
    static void SetUpTestSuite() { search_setup::init_engine_once(); }
    void SetUp() override
    {
        search_state.use_table = TABLE_ON;
        clear_hash_table();
        set_position_from_fen(game_record->pos, START_FEN);
    }

    // Stores each move as the best move of the position it is played from.
    static void store_line(const std::vector<const char*>& moves, int depth = 5)
    {
        int played = 0;
        for (const char* text : moves) {
            Move m = move_of(text);
            store_hash_entry(game_record->pos, 1, depth, 10, m, -100, 100);
            ASSERT_EQ(play_game_move(m), GAME_MOVE_PLAYED);
            played++;
        }
        while (played--) take_back_game_move();
    }

    static std::string walk(u16* line)
    {
        Position& pos = game_record->pos;
        char before[128], after[128];
        position_to_fen(pos, before);
        u64 key = pos.key;
        int undo_count = game_record->undo_count;
        extend_pv_from_hash_top(pos, 1, line);
        position_to_fen(pos, after);
        EXPECT_STREQ(before, after);
        EXPECT_EQ(pos.key, key);
        EXPECT_EQ(game_record->undo_count, undo_count);
        std::string text;
        for (int p = 1; p < MAX_PLY && line[p]; p++) {
            char move[MOVE_TEXT_SIZE];
            if (!text.empty()) text += ' ';
            text += move_text_or_null(line[p], move);
        }
        return text;
    }
};

TEST_F(PvTableTest, EmptyTableGivesAnEmptyLine)
{
    u16 line[MAX_PLY];
    for (u16& m : line) m = 0x1234;
    line[1] = 0;
    EXPECT_EQ(walk(line), "");
    EXPECT_EQ(line[2], 0);
    search_state.use_table = TABLE_OFF;
    store_line({"e2e4"});
    u16 off[MAX_PLY] = {};
    EXPECT_EQ(walk(off), "");
}

TEST_F(PvTableTest, StoredMovesAreFollowedAndGivenMovesReplayed)
{
    store_line({"e2e4", "e7e5", "g1f3", "b8c6"});
    u16 line[MAX_PLY] = {};
    EXPECT_EQ(walk(line), "e2e4 e7e5 g1f3 b8c6");

    // A given line is kept and extended from its end; the table move of the
    // first position is not used where the caller gave one.
    store_line({"d2d4", "d7d5"});
    u16 given[MAX_PLY] = {};
    given[1] = move_of("e2e4");
    given[2] = make_move(52, 36);  // e7e5
    EXPECT_EQ(walk(given), "e2e4 e7e5 g1f3 b8c6");

    // A given move that cannot be played ends the line there.
    u16 bad[MAX_PLY] = {};
    bad[1] = move_of("e2e4");
    bad[2] = make_move(12, 28);  // e2e4 again: not a move of black
    EXPECT_EQ(walk(bad), "e2e4");
    EXPECT_EQ(bad[2], 0);
}

TEST_F(PvTableTest, ShallowEntriesEndTheLine)
{
    store_line({"e2e4", "e7e5"});
    store_line({"e2e4", "e7e5", "g1f3"}, 0);  // Nf3 stored at depth 0 only
    u16 line[MAX_PLY] = {};
    // The depth-0 store does not replace the deeper entries before it.
    EXPECT_EQ(walk(line), "e2e4 e7e5");
}

TEST_F(PvTableTest, RepetitionEndsTheLine)
{
    store_line({"g1f3", "g8f6", "f3g1", "f6g8"});
    // After four moves the start position repeats: the walk stops there,
    // although the table holds Nf3 for it.
    u16 line[MAX_PLY] = {};
    EXPECT_EQ(walk(line), "g1f3 g8f6 f3g1 f6g8");
}

TEST_F(PvTableTest, FiftyMoveDrawGivesNoTableMove)
{
    ASSERT_TRUE(search_setup::set_game_fen("7k/8/8/8/8/8/1R6/K7 w - -"));
    store_line({"b2b7"});
    u16 line[MAX_PLY] = {};
    EXPECT_EQ(walk(line), "b2b7");
    game_record->pos.halfmove_clock = 100;
    u16 drawn[MAX_PLY] = {};
    EXPECT_EQ(walk(drawn), "");
}

TEST_F(PvTableTest, LineNeverGrowsPastPly66)
{
    store_line({"e2e4", "e7e5"});
    Position& pos = game_record->pos;
    u16 line[MAX_PLY];
    for (u16& m : line) m = 0x1234;
    line[66] = 0;
    extend_pv_from_hash_top(pos, 66, line);
    EXPECT_EQ(line[66], move_of("e2e4"));
    EXPECT_EQ(line[67], 0);        // cleared, not filled
    EXPECT_EQ(line[68], 0x1234);  // never touched
    line[67] = 0;
    extend_pv_from_hash_top(pos, 67, line);
    EXPECT_EQ(line[67], 0);
    EXPECT_EQ(line[68], 0x1234);
}

}  // namespace
