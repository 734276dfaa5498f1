// The engine as a GUI sees it: the real binary on pipes, driven line by
// line. Limits stay small so each session takes a fraction of a second; the
// time-outs are generous for loaded machines.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "bitboard.h"
#include "engine_process.h"
#include "fen.h"
#include "input.h"
#include "makemove.h"
#include "records.h"
#include "tools/book.h"

namespace {

struct PipeTest : ::testing::Test {
    EngineProcess engine;
    std::string dir;
    void SetUp() override { dir = fresh_test_dir("vant_pipe"); }
    void start(const std::vector<std::string>& args = {"-nolog"}) { ASSERT_TRUE(engine.start(args, dir)); }
    void quit_cleanly()
    {
        engine.send("quit");
        EXPECT_EQ(engine.finish(), 0);
    }
};

TEST_F(PipeTest, HandshakeNamesTheEngineAndEveryOption)
{
    start();
    engine.send("uci");
    EXPECT_EQ(engine.wait_for("id name"), "id name Vant 3.60");
    EXPECT_EQ(engine.next_line(), "id author Evan Quenmore");
    const char* options[] = {"Hash", "Threads", "Ponder", "Contempt", "UCI_LimitStrength", "UCI_Elo", "MultiPV",
                             "Clear Hash", "MoveOverhead", "OwnBook", "Log", "SyzygyPath", "SyzygyProbeDepth5",
                             "SyzygyProbeDepth6"};
    for (const char* name : options) {
        std::string line = engine.next_line();
        EXPECT_EQ(line.rfind(std::string("option name ") + name + " type ", 0), 0u) << line;
    }
    EXPECT_EQ(engine.next_line(), "uciok");
    engine.send("isready");
    EXPECT_EQ(engine.next_line(), "readyok");
    quit_cleanly();
}

TEST_F(PipeTest, LoggingEchoesCommandsToOutputAndLog)
{
    start({});
    engine.send("isready");
    EXPECT_EQ(engine.wait_for("CMD: isready"), "CMD: isready");
    EXPECT_EQ(engine.next_line(), "readyok");
    quit_cleanly();
    const std::string all = read_file(dir + "/vant.log");
    EXPECT_NE(all.find("CMD: isready\nreadyok\n"), std::string::npos) << all;
}

TEST_F(PipeTest, StopWithoutSearchSendsNothing)
{
    start();
    engine.send("stop");
    engine.send("stop");
    engine.send("isready");
    EXPECT_EQ(engine.wait_for("readyok"), "readyok");
    for (const std::string& line : engine.lines) EXPECT_EQ(line.rfind("bestmove", 0), std::string::npos) << line;
    quit_cleanly();
}

TEST_F(PipeTest, InfiniteAndPonderWaitForStopOrPonderhit)
{
    start();
    engine.send("position startpos moves e2e4");
    engine.send("go infinite");
    engine.send("isready");
    EXPECT_EQ(engine.wait_for("readyok"), "readyok");  // answered while the search runs
    EXPECT_TRUE(engine.collect("bestmove", 400).empty());
    engine.send("stop");
    EXPECT_EQ(engine.wait_for("bestmove").rfind("bestmove", 0), 0u);

    engine.send("go ponder wtime 1000 btime 1000");
    EXPECT_TRUE(engine.collect("bestmove", 400).empty());
    engine.send("ponderhit");
    EXPECT_EQ(engine.wait_for("bestmove").rfind("bestmove", 0), 0u);

    engine.send("go ponder wtime 1000 btime 1000");
    EXPECT_TRUE(engine.collect("bestmove", 300).empty());
    engine.send("stop");
    EXPECT_EQ(engine.wait_for("bestmove").rfind("bestmove", 0), 0u);
    engine.send("isready");
    EXPECT_EQ(engine.wait_for("readyok"), "readyok");
    EXPECT_TRUE(engine.collect("bestmove", 100).empty());  // exactly one per search

    // A "go" while pondering, without "stop" or "ponderhit" first: the
    // pondering search is dropped and the new one answers, once.
    engine.send("go ponder wtime 1000 btime 1000");
    EXPECT_TRUE(engine.collect("bestmove", 200).empty());
    engine.send("go depth 2");
    EXPECT_EQ(engine.wait_for("bestmove").rfind("bestmove", 0), 0u);
    engine.send("isready");
    EXPECT_EQ(engine.wait_for("readyok"), "readyok");
    EXPECT_TRUE(engine.collect("bestmove", 100).empty());
    quit_cleanly();
}

TEST_F(PipeTest, QuitDuringSearchEndsWithoutBestmove)
{
    start();
    engine.send("position startpos");
    engine.send("go infinite");
    engine.send("isready");
    EXPECT_EQ(engine.wait_for("readyok"), "readyok");
    engine.send("quit");
    EXPECT_EQ(engine.finish(), 0);
    for (const std::string& line : engine.lines) EXPECT_EQ(line.rfind("bestmove", 0), std::string::npos) << line;
}

TEST_F(PipeTest, MalformedCommandsAreSurvived)
{
    start();
    const char* lines[] = {"position fen", "position", "position moves", "position startpos moves",
                           "position startpos moves e2e4 e7", "setoption name", "setoption name Hash value",
                           "go wtime", "stop", "go depth", "stop", "ponderhit", "@@@", "   ", "\t", "x"};
    for (const char* line : lines) engine.send(line);
    engine.send(std::string(INPUT_LINE_SIZE + 10, 'q'));
    engine.send("isready");
    EXPECT_EQ(engine.wait_for("readyok"), "readyok");
    bool long_line_notice = false;
    for (const std::string& line : engine.lines) long_line_notice |= line == "info string input line too long, ignored";
    EXPECT_TRUE(long_line_notice);
    quit_cleanly();
}

TEST_F(PipeTest, OwnBookPlaysABookMoveWithinBookDepth)
{
    // The book holds the position after 1.e4 (black to move): white won 50,
    // lost 5 and drew 20 of its games from there; and after 1.d4 a handful.
    init_board_tables();
    if (!game_record) setup_game_record();
    load_book_index();
    std::vector<BookRecord> records;
    const struct {
        Move move;
        u16 black_wins, black_losses, draws;
    } entries[] = {{make_move(12, 28), 5, 50, 20}, {make_move(11, 27), 1, 2, 3}};
    for (const auto& e : entries) {
        set_position_from_fen(game_record->pos, START_FEN);
        ASSERT_EQ(play_game_move(e.move), GAME_MOVE_PLAYED);
        book_position_key(game_record->pos);
        records.push_back({u16(book_key16 & 0x7FFF), book_key32, e.black_wins, e.black_losses, e.draws, 0});
    }
    free_book_tables();
    std::sort(records.begin(), records.end(), [](const BookRecord& a, const BookRecord& b) {
        return a.key16 != b.key16 ? a.key16 > b.key16 : a.key32 > b.key32;
    });
    std::FILE* f = std::fopen((dir + "/test.opn").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    for (const BookRecord& r : records) write_book_record(f, r);
    std::fclose(f);
    write_file(dir + "/vant.rc", "VantBook = test.opn\nBookDepth = 2\n");

    start();
    engine.send("setoption name OwnBook value true");
    engine.send("position startpos");
    engine.send("go wtime 1000 btime 1000");
    EXPECT_EQ(engine.wait_for("info string book move is"), "info string book move is e2e4");
    EXPECT_EQ(engine.next_line(), "bestmove e2e4");
    bool table_line = false;
    for (const std::string& line : engine.lines)
        table_line |= line == "info string   e2e4   80.0%      50      5     20";
    EXPECT_TRUE(table_line);

    // Beyond BookDepth the book is not asked.
    engine.send("position startpos moves e2e4 e7e5 g1f3");
    engine.send("go depth 1");
    std::string best = engine.wait_for("bestmove");
    EXPECT_EQ(best.rfind("bestmove", 0), 0u);
    size_t book_lines = 0;
    for (const std::string& line : engine.lines) book_lines += line.rfind("info string book move", 0) == 0;
    EXPECT_EQ(book_lines, 1u);
    quit_cleanly();
}

TEST_F(PipeTest, SwitchWithoutValueIsRefused)
{
    for (const char* flag : {"-threads", "-hash", "-d", "-nps", "-anepd"}) {
        EngineProcess e;
        ASSERT_TRUE(e.start({"-nolog", flag}, dir));
        EXPECT_EQ(e.finish(), 1) << flag;
        EXPECT_EQ(e.wait_for("switch"), std::string("switch ") + flag + " needs a value");
    }
}

TEST_F(PipeTest, CommandLineSettingsReachTheOptions)
{
    start({"-nolog", "-hash", "-5", "-threads", "257", "-nps", "5"});
    EXPECT_EQ(engine.wait_for("Elo= "), "Elo= 1337");
    engine.send("uci");
    EXPECT_EQ(engine.wait_for("option name Hash"), "option name Hash type spin default 0 min 0 max 8192");
    EXPECT_EQ(engine.next_line(), "option name Threads type spin default 80 min 1 max 80");
    quit_cleanly();
}

}  // namespace
