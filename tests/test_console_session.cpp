// Console sessions with the real binary ("-c"): once through a pipe, once
// through a pseudo-terminal as a person at a keyboard would drive it.
#include <gtest/gtest.h>

#include <pty.h>
#include <termios.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>

#include "engine_process.h"

namespace {

// True when the line is the console search report: read back with its own
// format and written again, it must come out the same.
bool is_console_report(const std::string& line)
{
    char move[16];
    double time, nodes, nps, ebf;
    int score;
    if (std::sscanf(line.c_str(), "move= %15[^,], time= %lf, score= %d, nodes= %lf, nps= %lfK ebf= %lf", move, &time,
                    &score, &nodes, &nps, &ebf) != 6)
        return false;
    char again[256];
    std::snprintf(again, sizeof again, "move= %s, time= %0.3f, score= %d, nodes= %0.0f, nps= %0.0fK ebf= %0.2f", move,
                  time, score, nodes, nps, ebf);
    return line == again && std::strlen(move) >= 4 && std::strcmp(move, "null") != 0;
}

// Starts the engine on a pseudo-terminal (its standard input, output and
// error); the EngineProcess reads and writes the terminal's master side.
bool start_on_terminal(EngineProcess& engine, const std::string& dir)
{
    int master = -1;
    pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid < 0) return false;
    if (pid == 0) {
        if (chdir(dir.c_str()) != 0) _exit(126);
        std::string binary = VANT_BINARY_PATH;
        char c_switch[] = "-c", nolog[] = "-nolog";
        char* argv[] = {binary.data(), c_switch, nolog, nullptr};
        execv(binary.c_str(), argv);
        _exit(127);
    }
    engine.pid = pid;
    engine.from_engine = master;
    engine.to_engine = dup(master);
    signal(SIGPIPE, SIG_IGN);
    return true;
}

TEST(ConsoleSession, ThroughAPipe)
{
    std::string dir = fresh_test_dir("vant_console");
    EngineProcess engine;
    ASSERT_TRUE(engine.start({"-c", "-nolog"}, dir));
    EXPECT_EQ(engine.wait_for("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -"),
              "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
    EXPECT_EQ(engine.wait_for("white"), "white");

    engine.send("perft 4");
    EXPECT_EQ(engine.wait_for("visited").rfind("visited 197281 nodes in ", 0), 0u);
    engine.send("e4");
    EXPECT_EQ(engine.wait_for("1. move"), "1. move e4");
    engine.send("e7e5");
    engine.send("Nf3");
    engine.send("an 4");
    std::string report = engine.wait_for("move= ");
    EXPECT_TRUE(is_console_report(report)) << report;
    EXPECT_EQ(engine.wait_for("Hash fill= ").rfind("Hash fill= ", 0), 0u);

    engine.send("save");
    engine.send("new");
    engine.send("load tmp.pgn");
    EXPECT_EQ(engine.wait_for("rnbqkbnr/pppp1ppp/8/4p3/4P3/5N2"),
              "rnbqkbnr/pppp1ppp/8/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq -");
    engine.send("undo");
    engine.send("]");
    EXPECT_EQ(engine.wait_for("2. move"), "2. move g1f3");
    engine.send("jump 1");
    EXPECT_EQ(engine.wait_for("rnbqkbnr/pppppppp/8/8/4P3"), "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3");

    // Bad input, then the editor reading its own lines.
    for (const char* line : {"perft -1", "multipv 0", "e2e5", "fen 8/8", "load absent.pgn", "get x", "edit",
                             "#", "w Kg1 Rh1 Pk2 Qz9", "b Kg8", "."})
        engine.send(line);
    EXPECT_EQ(engine.wait_for("6k1/8/8/8/8/8/8/6KR b - -"), "6k1/8/8/8/8/8/8/6KR b - -");

    engine.send("uci");
    EXPECT_EQ(engine.wait_for("uciok"), "uciok");
    engine.send("isready");
    EXPECT_EQ(engine.wait_for("readyok"), "readyok");
    engine.send("quit");
    EXPECT_EQ(engine.finish(), 0);
}

// The next board's FEN line (the first line of a board diagram).
std::string next_fen_line(EngineProcess& engine)
{
    for (;;) {
        std::string line = engine.next_line();
        if (line == "<timeout>" || line == "<eof>" || std::count(line.begin(), line.end(), '/') == 7) return line;
    }
}

// "pv" shows a non-empty line of legal moves: typed back, they all play and
// lead to the board "pv" showed at the line's end.
void expect_line_plays(EngineProcess& engine)
{
    engine.send("pv");
    std::string pv = engine.wait_for("PV: ");
    std::string end_board = next_fen_line(engine);
    std::istringstream moves(pv.substr(4));
    std::string move;
    int count = 0;
    for (; moves >> move; count++) engine.send(move);
    EXPECT_GT(count, 0) << pv;
    engine.send("bd");
    std::string board;
    do board = next_fen_line(engine);
    while (board != end_board && board[0] != '<');
    EXPECT_EQ(board, end_board) << pv;
}

// "mv" plays the engine's move; "pv" shows the line after it and after a
// stopped analysis; an analysis stopped at once reports no mate score.
TEST(ConsoleSession, EngineMoveAndItsLine)
{
    EngineProcess engine;
    ASSERT_TRUE(engine.start({"-c", "-nolog"}, fresh_test_dir("vant_console")));
    EXPECT_EQ(engine.wait_for("white"), "white");

    engine.send("depth 5");
    engine.send("mv");
    EXPECT_TRUE(is_console_report(engine.wait_for("move= ")));
    engine.send("bd");
    std::string board = next_fen_line(engine);
    EXPECT_EQ(board.rfind("rnbqkbnr/pppppppp/8/8/", 0), 0u) << board;
    EXPECT_NE(board.find(" b KQkq"), std::string::npos) << board;
    expect_line_plays(engine);

    engine.send("go");
    EXPECT_EQ(engine.wait_for("00] 06").rfind("00] 06", 0), 0u);
    engine.send(".");
    EXPECT_TRUE(is_console_report(engine.wait_for("move= ")));
    expect_line_plays(engine);

    // A dead draw: whether the search gets a root move done before the
    // stop or not, the score is 0, never a mate.
    engine.send("fen 7k/8/8/8/8/8/8/K7 w - -");
    for (int i = 0; i < 5; i++) {
        engine.send("go 70");
        engine.send(".");
        std::string report = engine.wait_for("move= ");
        EXPECT_NE(report.find(", score= 0, "), std::string::npos) << report;
    }
    engine.send("quit");
    EXPECT_EQ(engine.finish(), 0);
}

// A console on a terminal of its own, past its first board.
void open_console_on_terminal(EngineProcess& engine)
{
    ASSERT_TRUE(start_on_terminal(engine, fresh_test_dir("vant_console")));
    EXPECT_EQ(engine.wait_for("white"), "white");
}

TEST(ConsoleSession, ThroughATerminal)
{
    EngineProcess engine;
    open_console_on_terminal(engine);
    engine.send("perft 3");
    EXPECT_EQ(engine.wait_for("visited").rfind("visited 8902 nodes in ", 0), 0u);
    engine.send("d4");
    EXPECT_EQ(engine.wait_for("1. move"), "1. move d4");
    engine.send("an 3");
    std::string report = engine.wait_for("move= ");
    EXPECT_TRUE(is_console_report(report)) << report;
    engine.send("bd");
    EXPECT_EQ(engine.wait_for("rnbqkbnr/pppppppp/8/8/3P4"), "rnbqkbnr/pppppppp/8/8/3P4/8/PPP1PPPP/RNBQKBNR b KQkq d3");
    engine.send("uci");
    EXPECT_EQ(engine.wait_for("uciok"), "uciok");
    engine.send("quit");
    EXPECT_EQ(engine.finish(), 0);
}

// "quit" typed during a count that would run for years ends it and the
// program; what was typed before the "quit" waits for the count.
TEST(ConsoleSession, QuitEndsALongPerft)
{
    EngineProcess engine;
    open_console_on_terminal(engine);
    engine.send("perft 20");
    engine.send("e4");
    engine.send("quit");
    EXPECT_EQ(engine.wait_for("perft stopped"), "perft stopped");
    EXPECT_EQ(engine.finish(), 0);
}

}  // namespace
