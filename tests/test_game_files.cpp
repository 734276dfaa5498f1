// The console's game files: loading a selected game from PGN, appending the
// game to "tmp.pgn" and reading it back, fetching "test.epd" positions by id.
#include "tool_fixture.h"

#include "tools/game_files.h"

namespace {

using search_setup::game_fen;

struct GameFilesTest : ToolTest {
    // Loads a game of the file from the initial position, its output unread.
    void load_from_start(const char* path, const char* selector)
    {
        set_position_from_fen(game_record->pos, START_FEN);
        capture();
        run_load_command(path, selector);
        captured();
    }
};

TEST_F(GameFilesTest, LoadPicksTheGameByNumberOrWord)
{
    write_file("games.pgn",
               "[Event \"first\"]\n[White \"Alpha\"]\n1. e4 {best by test\n 1. d4} e5 2. Nf3 1-0\n\n"
               "[Event \"second\"]\n[White \"Beta\"]\n1.d4 d5 2.c4 {gambit} 1/2-1/2\n\n");
    capture();
    run_load_command("games.pgn", "2");
    std::string out = captured();
    EXPECT_EQ(game_record->undo_count, 3);
    EXPECT_EQ(game_fen(), "rnbqkbnr/ppp1pppp/8/3p4/2PP4/8/PP2PPPP/RNBQKBNR b KQkq c3");

    capture();
    run_load_command("games.pgn", "Alpha");
    captured();
    EXPECT_EQ(game_record->undo_count, 3);
    EXPECT_EQ(game_fen(), "rnbqkbnr/pppp1ppp/8/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq -");
    EXPECT_EQ(game_record->undo[3].move, 0);

    capture();
    run_load_command("games.pgn", "");
    captured();
    EXPECT_EQ(game_record->undo_count, 3);
}

TEST_F(GameFilesTest, LoadStopsAtAWordThatIsNoMove)
{
    write_file("bad.pgn", "[Event \"x\"]\n1. e4 e5 2. Ke3 Nc6\n");
    capture();
    run_load_command("bad.pgn", "1");
    std::string out = captured();
    EXPECT_EQ(game_record->undo_count, 2);
    EXPECT_NE(out.find("can't parse move 'Ke3'"), std::string::npos) << out;
}

TEST_F(GameFilesTest, SaveAppendsAGameThatLoadsBack)
{
    std::vector<std::string> moves = scripted_game(30, 1);
    for (const std::string& text : moves) {
        Move m;
        ASSERT_TRUE(parse_move_text(text.c_str(), m));
        play_game_move(m);
    }
    const std::string end_fen = game_fen();
    run_save_command();
    run_save_command();
    EXPECT_EQ(game_fen(), end_fen);
    std::string saved = read_file("tmp.pgn");
    EXPECT_EQ(saved.rfind("[Event \"Unknown\"]\n", 0), 0u);
    EXPECT_EQ(lines_of(saved).size(), 2u * (1 + 3 + 1));  // tag, 30 moves in lines of 11, empty line

    load_from_start("tmp.pgn", "2");
    EXPECT_EQ(game_fen(), end_fen);
    EXPECT_EQ(game_record->undo_count, 30);
}

// A game started from a FEN is saved with its start, and castling in the
// letters PGN readers take; files in the older lower-case form still load.
TEST_F(GameFilesTest, SavedGamesFromAFenReplayWithTheirCastling)
{
    const char* start = "r3k2r/pppq1ppp/2np1n2/2b1p1B1/2B1P1b1/2NP1N2/PPPQ1PPP/R3K2R w KQkq - 4 8";
    ASSERT_TRUE(set_position_from_fen(game_record->pos, start));
    for (const char* text : {"e1g1", "e8c8", "a2a3"}) {
        Move m;
        ASSERT_TRUE(parse_move_text(text, m));
        play_game_move(m);
    }
    const std::string end_fen = game_fen();
    run_save_command();
    const std::string saved = read_file("tmp.pgn");
    EXPECT_EQ(saved, "[Event \"Unknown\"]\n[SetUp \"1\"]\n"
                     "[FEN \"r3k2r/pppq1ppp/2np1n2/2b1p1B1/2B1P1b1/2NP1N2/PPPQ1PPP/R3K2R w KQkq - 4 1\"]\n"
                     "O-O O-O-O a3 \n\n");
    load_from_start("tmp.pgn", "1");
    EXPECT_EQ(game_fen(), end_fen);
    EXPECT_EQ(game_record->undo_count, 3);

    write_file("old.pgn", std::string("[Event \"Unknown\"]\n[FEN \"") + start + "\"]\no-o o-o-o a3\n");
    load_from_start("old.pgn", "1");
    EXPECT_EQ(game_fen(), end_fen);
}

TEST_F(GameFilesTest, GetFindsThePositionById)
{
    write_file("test.epd",
               "; id \"a\" in a comment line\n"
               "8/8/8/8/8/8/8/K6k w - - bm Kb2; id \"a\";\n"
               "8/8/8/8/8/8/8/K5k1 w - - bm Kb2; id \"b\";\n"
               "8/8/8/8/8/8/8/K5kK w - - id \"bad\";\n");
    capture();
    run_get_command("b");
    std::string out = captured();
    EXPECT_EQ(out.rfind("8/8/8/8/8/8/8/K5k1 w - - bm Kb2; id \"b\";\n", 0), 0u) << out;
    EXPECT_EQ(game_fen(), "8/8/8/8/8/8/8/K5k1 w - -");

    // A line that fails the position check leaves the position as it was.
    capture();
    run_get_command("bad");
    out = captured();
    EXPECT_NE(out.find("invalid position"), std::string::npos);
    EXPECT_EQ(game_fen(), "8/8/8/8/8/8/8/K5k1 w - -");

    capture();
    run_get_command("none");
    out = captured();
    EXPECT_EQ(out.rfind("\n", 0), 0u);
    EXPECT_EQ(game_fen(), "8/8/8/8/8/8/8/K5k1 w - -");
}

}  // namespace
