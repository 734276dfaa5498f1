// The console interpreter in-process: game stepping, the board editor,
// "save"/"load", the search settings and bad input that must be survived.
#include <cstdio>
#include <cstring>

#include "console.h"
#include "makemove.h"
#include "params.h"
#include "search_setup.h"
#include "tool_fixture.h"

namespace {

using search_setup::game_fen;

struct ConsoleTest : EngineToolTest {
    void SetUp() override
    {
        EngineToolTest::SetUp();
        engine_config.protocol = PROTOCOL_CONSOLE;
        engine_config.debug = 0;
        search_state.search_command = SEARCH_NONE;
    }
    void TearDown() override
    {
        search_state.search_command = SEARCH_NONE;
        engine_config.protocol = PROTOCOL_UCI;
        EngineToolTest::TearDown();
    }

    // Runs one console line and returns what it printed.
    std::string run(const char* line)
    {
        char text[256];
        std::snprintf(text, sizeof text, "%s", line);
        capture();
        run_console_command(text);
        return captured();
    }
    // Runs the board editor over the given input lines.
    std::string edit(const char* input)
    {
        std::FILE* in = fmemopen(const_cast<char*>(input), std::strlen(input), "r");
        capture();
        run_board_editor(in);
        std::fclose(in);
        return captured();
    }
};

TEST_F(ConsoleTest, StepsThroughTheGameAndNeverReplaysAnAbandonedMove)
{
    EXPECT_EQ(lines_of(run("e4"))[0], "1. move e4");
    run("e5");
    run("Nf3");
    run("undo");
    run("[");
    EXPECT_EQ(lines_of(run("]"))[0], "1... move e7e5");
    EXPECT_EQ(game_record->undo_count, 2);

    // A new second move abandons e5 and Nf3.
    run("undo");
    run("d5");
    EXPECT_EQ(run("]"), "");
    EXPECT_EQ(game_record->undo_count, 2);
    run("jump 0");
    EXPECT_EQ(game_record->undo_count, 0);
    EXPECT_EQ(game_fen(), "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
    run("jump 99");
    EXPECT_EQ(game_record->undo_count, 2);
    EXPECT_EQ(game_fen(), "rnbqkbnr/ppp1pppp/8/3p4/4P3/8/PPPP1PPP/RNBQKBNR w KQkq d6");
    run("jump 1");
    EXPECT_EQ(game_fen(), "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3");

    // A new position forgets the old game's moves.
    run("new");
    EXPECT_EQ(run("]"), "");
    EXPECT_EQ(game_record->undo_count, 0);
}

TEST_F(ConsoleTest, SearchSettings)
{
    EXPECT_EQ(run("level 40 5:00 2"), "set level to 40 moves in 300.00 seconds, inc 2.00\n");
    EXPECT_EQ(search_state.time_mode, 40);
    EXPECT_EQ(search_state.clocks[BLACK], 300.0);
    EXPECT_EQ(run("level 40 90 2"), "set level to 40 moves in 90.00 seconds, inc 2.00\n");

    run("go 70");
    EXPECT_EQ(search_state.depth_limit, 66);
    EXPECT_EQ(search_state.search_command, SEARCH_ANALYSE);
    EXPECT_EQ(search_state.move_time, 99999.0);
    run("an 12");
    EXPECT_EQ(search_state.depth_limit, 12);
    search_state.search_command = SEARCH_NONE;

    run("depth 200");
    EXPECT_EQ(search_state.depth_limit, 66);
    run("depth -5");
    EXPECT_EQ(i8(search_state.depth_limit), -5);
    run("depth 0");  // the quiescence score alone
    EXPECT_EQ(search_state.depth_limit, 0);
    search_state.depth_limit = MAX_SEARCH_PLY;

    run("multipv 0");
    EXPECT_EQ(search_state.multipv, 1);
    run("multipv 999");
    EXPECT_EQ(search_state.multipv, 255);
    run("setmultipvnow 7");
    EXPECT_EQ(search_state.multipv, 7);
    search_state.multipv = 1;

    EXPECT_EQ(run("set LMR_strength 150"), "LMR_strength set to 150\n");
    EXPECT_EQ(params.LMR_strength, 150);
    EXPECT_EQ(run("set ss_off"), "selectivity set to OFF\n");
    EXPECT_EQ(params.NMP_depth, 99);
    EXPECT_EQ(run("set nothing 1"), "selectivity set to default\n");
    EXPECT_EQ(std::memcmp(&params, &saved_params, sizeof params), 0);
}

TEST_F(ConsoleTest, BoardEditor)
{
    std::string out = edit("#\nw Ke1 Ra1\nb Ke8\n.\n");
    EXPECT_EQ(out.rfind("\n\n\n.                    end edit\n#", 0), 0u) << out;
    EXPECT_EQ(game_fen(), "4k3/8/8/8/8/8/8/R3K3 b Q -");
    EXPECT_EQ(game_record->undo_count, 0);
    EXPECT_EQ(game_record->pos.key, piece_key_from_board(game_record->pos));

    // Squares off the board end the line; what came before it stands.
    out = edit("w Qd1 Ki9 Qe2\nw Q`1\nb Rh8 Ra0\n");
    EXPECT_NE(out.find("bad square in 'Ki9'"), std::string::npos);
    EXPECT_EQ(game_fen(), "4k2r/8/8/8/8/8/8/R2QK3 b Q -");

    // More pieces of a kind than a square list holds are refused one by one.
    out = edit("#\nw Ke1 Qa3 Qb3 Qc3 Qd3 Qe3 Qf3 Qg3 Qh3 Qa4 Qb4 Qc4\nb Kh8\n.\n");
    EXPECT_NE(out.find("too many pieces"), std::string::npos);
    EXPECT_EQ(game_fen(), "7k/8/8/8/QQ6/QQQQQQQQ/8/4K3 b - -");

    // A board without both kings keeps the previous position.
    std::string before = game_fen();
    out = edit("#\nw Qd1\n.\n");
    EXPECT_NE(out.find("position refused"), std::string::npos);
    EXPECT_EQ(game_fen(), before);

    // An overlong line is cut; the next line is read on its own.
    std::string long_line = "#\nw Ke1" + std::string(120, ' ') + "Qd1\nb Ke8\n";
    edit(long_line.c_str());
    EXPECT_EQ(game_fen(), "4k3/8/8/8/8/8/8/4K3 b - -");
}

TEST_F(ConsoleTest, SaveThenLoadRoundTripsTheGame)
{
    const char* moves[] = {"e4", "d5", "exd5", "c6", "dxc6", "Nf6", "cxb7", "Nbd7", "bxa8=Q", "e6",
                           "Nf3", "Bd6", "Be2", "O-O", "O-O", "Qc7", "d3", "Qb6", "Nbd2"};
    for (const char* m : moves) {
        std::string out = run(m);
        ASSERT_NE(out.find(std::string(" move ") + m + "\n"), std::string::npos) << m << "\n" << out;
    }
    std::string final_fen = game_fen();
    int plies = game_record->undo_count;
    ASSERT_EQ(plies, 19);
    run("undo");  // "save" writes the game up to the current position
    run("]");
    run("save");
    std::string pgn = read_file("tmp.pgn");
    EXPECT_EQ(pgn.rfind("[Event \"Unknown\"]\n", 0), 0u);
    for (const char* m : {" Nbd7 ", " bxa8=Q ", " O-O ", " Nbd2 "}) EXPECT_NE(pgn.find(m), std::string::npos) << m;
    EXPECT_EQ(game_fen(), final_fen);

    run("new");
    std::string out = run("load tmp.pgn 1");
    EXPECT_EQ(lines_of(out)[0], "loading tmp.pgn, tag 1");
    EXPECT_EQ(out.find("can't parse"), std::string::npos) << out;
    EXPECT_EQ(game_fen(), final_fen);
    EXPECT_EQ(game_record->undo_count, plies);
    EXPECT_EQ(run("]"), "");
    run("jump 8");
    EXPECT_EQ(lines_of(run("]"))[0], "5. move b7a8=Q");
}

TEST_F(ConsoleTest, BadInputIsSurvived)
{
    run("e4");
    std::string before = game_fen();
    EXPECT_EQ(run("perft"), "perft needs a depth of at least 1\n");
    EXPECT_EQ(run("perft 0"), "perft needs a depth of at least 1\n");
    EXPECT_EQ(run("perft -3"), "perft needs a depth of at least 1\n");
    EXPECT_EQ(run("e4"), "'e4' is neither a command nor a legal move here\n");  // illegal now
    EXPECT_EQ(run("xyz123"), "'xyz123' is neither a command nor a legal move here\n");
    EXPECT_EQ(run("move"), "");
    EXPECT_EQ(run("load missing.pgn"), "loading missing.pgn, tag \n\ncan't open PGN file missing.pgn\n");
    EXPECT_EQ(run("load"), "loading , tag \n\nload needs a file name\n");
    EXPECT_EQ(game_fen(), before);
    EXPECT_NE(run("fen 8/8/8 w").find("FEN rejected"), std::string::npos);
    EXPECT_EQ(game_fen(), before);
    std::string get = run("get nothing");
    EXPECT_EQ(get.substr(0, 1), "\n");
    EXPECT_EQ(game_fen(), before);
    EXPECT_EQ(game_record->undo_count, 1);
}

TEST_F(ConsoleTest, TableLineFromTheGamePosition)
{
    search_setup::search_single_thread(6);
    // The root is not stored; the position after the best move is.
    Move best = search_state.best_line[1];
    ASSERT_NE(best, 0);
    ASSERT_EQ(play_new_game_move(best), GAME_MOVE_PLAYED);
    std::string out = run("pv");
    ASSERT_EQ(out.rfind("PV: ", 0), 0u) << out;
    EXPECT_GT(lines_of(out)[0].size(), 6u) << out;
    char fen_text[128];
    position_to_fen(game_record->pos, fen_text);
    EXPECT_EQ(out.find(fen_text), std::string::npos);  // the diagram shows the line's end
    // The walk left the game's move records alone.
    EXPECT_EQ(game_record->undo_count, 1);
    EXPECT_EQ(game_record->undo[1].move, 0);
}

}  // namespace
