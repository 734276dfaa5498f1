// The tools that search, run end to end as the command line starts them:
// the EPD suite with its summary and "unsolved.epd", "-mktune" and "-tune"
// on a small training file, and a short self-play match whose PGN loads
// back; "quit" reaches each long tool through the command interpreter.
#include "tool_fixture.h"

#include "engine_process.h"
#include "tools/game_files.h"
#include "tools/pgn_scan.h"

namespace {

struct SearchToolTest : ToolTest {
    EngineProcess engine;

    std::string run(const std::vector<std::string>& args, int ms = 120000)
    {
        return run_to_end(engine, args, dir, 0, ms);
    }
};

// Start position and some quiet middlegame and endgame positions, each
// with a result.
const char* const training_lines[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - c9 \"1/2-1/2\";",
    "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - ce 20; c9 \"1-0\";",
    "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - ce 30; c9 \"0-1\";",
    "rnbqkb1r/pp2pppp/3p1n2/8/3NP3/8/PPP2PPP/RNBQKB1R w KQkq - ce 10; c9 \"1/2-1/2\";",
    "r2q1rk1/ppp2ppp/2np1n2/2b1p1B1/2B1P1b1/2NP1N2/PPP2PPP/R2Q1RK1 b - - ce -5; c9 \"1-0\";",
    "8/5pk1/6p1/8/3P4/6P1/5PK1/8 w - - ce 120; c9 \"1-0\";",
    "8/8/4k3/8/2K5/8/3P4/8 b - - ce 150; c9 \"1/2-1/2\";",
    "4k3/8/8/8/8/8/8/4K3 w - - ce 0; c9 \"1/2-1/2\";",
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - ce 950; c9 \"1-0\";",   // |ce| > 900
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - ce 10;",                 // no result
    "4k3/8/8/8/8/8/8/QQ2K3 w - - ce 0; c9 \"1-0\";",                                // score above 900
};

std::string training_file()
{
    std::string text = "# training positions\n";
    for (const char* line : training_lines) text += std::string(line) + "\n";
    return text;
}

TEST_F(SearchToolTest, EpdSuiteSummaryAndUnsolved)
{
    write_file(dir + "/suite.epd",
               "# a comment\n"
               "6k1/5ppp/8/8/8/8/8/R5K1 w - - bm Ra8#; id \"mate\";\n"
               "3rk3/8/8/8/8/8/8/Q3K3 w - - am Qa8; id \"hang\";\n"
               "6k1/5ppp/8/8/8/8/8/R5K1 w - - bm Rb1 Ra8; id \"first only\";\n"
               "4k3/8/8/8/8/8/8/4K2R w K - id \"none\";\n"
               "4k3/8/8/8/8/8/8/4K2K w - - bm Kd1; id \"two kings\";\n"
               "short\n");
    std::string out = run({"-quiet", "-d", "2", "-anepd", "suite.epd"});
    std::vector<std::string> lines = lines_of(out);
    ASSERT_GE(lines.size(), 10u) << out;
    EXPECT_EQ(lines[0], "Analyzing suite.epd...");
    EXPECT_EQ(lines[1].rfind("skipping invalid position 4k3/8/8/8/8/8/8/4K2K w - -", 0), 0u) << lines[1];
    EXPECT_EQ(lines[2], "2 / 4 correct best moves");
    EXPECT_EQ(lines[3].rfind("total nodes= ", 0), 0u);
    EXPECT_EQ(lines[4].rfind("total time= ", 0), 0u);
    EXPECT_EQ(lines[5].rfind("avg depth= ", 0), 0u);
    EXPECT_EQ(lines[6].rfind("avg nodes= ", 0), 0u);
    EXPECT_EQ(lines[7].rfind("node_rate= ", 0), 0u);
    EXPECT_EQ(lines[8].rfind("avg bf= ", 0), 0u);
    EXPECT_EQ(lines[9], "");
    EXPECT_EQ(read_file(dir + "/unsolved.epd"), "4k3/8/8/8/8/8/8/4K2R w K -\n");
}

TEST_F(SearchToolTest, EpdSuiteAtDepthZeroGivesQuiescenceScores)
{
    // White wins the queen by a capture, then a quiet position: the scores
    // come from the quiescence search alone (no iteration, depth 0).
    write_file(dir + "/q.epd",
               "4k3/8/8/8/3q4/8/8/3RK3 w - - bm Rxd4;\n"
               "4k3/8/8/8/8/8/8/3RK3 w - - id \"quiet\";\n");
    std::string out = run({"-d", "0", "-anepd", "q.epd"});
    std::vector<int> scores;
    for (const std::string& line : lines_of(out)) {
        int score = 0;
        if (line.rfind("move= ", 0) == 0 && std::sscanf(line.c_str() + line.find("score= "), "score= %d", &score) == 1)
            scores.push_back(score);
    }
    ASSERT_EQ(scores.size(), 2u) << out;
    // Statically a queen against a rook (below 0); the capture makes it a
    // rook up, as the quiet second position is.
    EXPECT_GT(scores[0], 300) << out;
    EXPECT_GT(scores[1], 300);
    EXPECT_LT(std::abs(scores[0] - scores[1]), 150);
    EXPECT_NE(out.find("avg depth= 0.0"), std::string::npos) << out;
    EXPECT_EQ(read_file(dir + "/unsolved.epd"), "");  // nothing searched to depth 1
}

TEST_F(SearchToolTest, EpdSuiteOnAnEmptyFile)
{
    write_file(dir + "/empty.epd", "");
    std::string out = run({"-quiet", "-d", "1", "-anepd", "empty.epd"});
    std::vector<std::string> lines = lines_of(out);
    ASSERT_GE(lines.size(), 9u);
    EXPECT_EQ(lines[1], "0 / 0 correct best moves");
    EXPECT_EQ(lines[2], "total nodes= 0");
    EXPECT_EQ(lines[4], "avg depth= 0.0");
    EXPECT_EQ(lines[5], "avg nodes= 0.0");
    EXPECT_EQ(lines[7], "avg bf= 0.00");
}

TEST_F(SearchToolTest, QuitEndsTheSuiteAtItsNextPoll)
{
    std::string suite;
    for (int i = 0; i < 700; i++) suite += "6k1/5ppp/8/8/8/8/8/R5K1 w - - bm Ra8#;\n";
    write_file(dir + "/long.epd", suite);
    ASSERT_TRUE(engine.start({"-nolog", "-quiet", "-d", "1", "-anepd", "long.epd"}, dir));
    engine.send("quit");
    EXPECT_EQ(engine.finish(120000), 0);
    bool found = false;
    for (const std::string& line : engine.lines) found |= line == "255 / 255 correct best moves";
    EXPECT_TRUE(found);
}

TEST_F(SearchToolTest, MakeTuneWritesTheUsableLines)
{
    write_file(dir + "/train.epd", training_file());
    std::string out = run({"-mktune", "train.epd"});
    EXPECT_EQ(out, "");
    std::string written = read_file(dir + "/tune_new.epd");
    std::vector<std::string> lines = lines_of(written);
    ASSERT_EQ(lines.size() % 2, 0u);
    ASSERT_GE(lines.size(), 6u);
    for (size_t i = 0; i < lines.size(); i += 2) EXPECT_EQ(lines[i + 1], "") << "an empty line after each";
    for (int i : {0, 1, 7}) EXPECT_NE(written.find(std::string(training_lines[i]) + "\n\n"), std::string::npos) << i;
    for (int i : {8, 9, 10}) EXPECT_EQ(written.find(training_lines[i]), std::string::npos) << i;
}

TEST_F(SearchToolTest, GradientTuningIsRepeatable)
{
    write_file(dir + "/train.epd", training_file());
    run({"-tune", "train.epd"}, 300000);
    std::string first = read_file(dir + "/tune.log");
    std::vector<std::string> lines = lines_of(first);
    ASSERT_GT(lines.size(), 20u);
    EXPECT_EQ(lines[0], "pass= 0, k0= 2.000e+03, avg_lr= 0.0, max_lr= 0.0");
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2], "** p1 = 36");
    EXPECT_EQ(lines[10], "** p9 = 15");
    EXPECT_EQ(lines[11], "");
    EXPECT_EQ(lines[12].rfind("err= 0.", 0), 0u);
    size_t passes = 0;
    for (const std::string& line : lines) passes += line.rfind("pass= ", 0) == 0;
    EXPECT_EQ(passes, 100u);
    run({"-tune", "train.epd"}, 300000);
    EXPECT_EQ(read_file(dir + "/tune.log"), first);
}

TEST_F(SearchToolTest, ShortMatchWritesLoadableGames)
{
    write_file(dir + "/test1.rc", "pawn_value 100, 120\n");
    ASSERT_TRUE(engine.start({"-nolog", "-d", "1", "-match", "games.pgn"}, dir));
    EXPECT_EQ(engine.wait_for("Starting match...", 60000), "Starting match...");
    EXPECT_EQ(engine.wait_for("   2 games,", 120000).rfind("   2 games,", 0), 0u);
    engine.send("quit");
    EXPECT_EQ(engine.finish(60000), 0);

    std::string pgn = read_file(dir + "/games.pgn");
    EXPECT_EQ(pgn.rfind("[Event selfplay]\n[Game 1]\n[White \"Player", 0), 0u) << pgn.substr(0, 200);
    EXPECT_EQ(pgn.find("a1a1"), std::string::npos);
    // Every game loads back move by move.
    for (int game = 1; game <= 2; game++) {
        capture();
        run_load_command((dir + "/games.pgn").c_str(), std::to_string(game).c_str());
        std::string out = captured();
        EXPECT_EQ(out.find("can't parse"), std::string::npos) << out;
        EXPECT_GT(game_record->undo_count, 0);
    }
    // And the scanner reads the evaluations of the match's comments.
    capture();
    scan_pgn_file((dir + "/games.pgn").c_str(), 3);
    EXPECT_EQ(captured().rfind("games= ", 0), 0u);
}

}  // namespace

namespace {

TEST_F(SearchToolTest, QuitEndsMakeTuneAtItsNextPoll)
{
    std::string text;
    for (int i = 0; i < 600; i++) text += std::string(training_lines[0]) + "\n";
    write_file(dir + "/train.epd", text);
    ASSERT_TRUE(engine.start({"-nolog", "-mktune", "train.epd"}, dir));
    engine.send("quit");
    EXPECT_EQ(engine.finish(120000), 0);
    EXPECT_EQ(lines_of(read_file(dir + "/tune_new.epd")).size(), 2u * 255u);
}

TEST_F(SearchToolTest, StopEndsADeepSuiteSearch)
{
    write_file(dir + "/deep.epd",
               "r2q1rk1/ppp2ppp/2np1n2/2b1p1B1/2B1P1b1/2NP1N2/PPP2PPP/R2Q1RK1 w - - bm Nd5; id \"deep\";\n");
    ASSERT_TRUE(engine.start({"-nolog", "-quiet", "-d", "60", "-anepd", "deep.epd"}, dir));
    EXPECT_EQ(engine.wait_for("Analyzing", 60000), "Analyzing deep.epd...");
    engine.send("stop");
    // The summary comes after "stop" alone, with the input still open.
    std::string line;
    do line = engine.next_line(60000);
    while (line != "<timeout>" && line != "<eof>" && line.find(" / 1 correct best moves") == std::string::npos);
    EXPECT_NE(line.find(" / 1 correct best moves"), std::string::npos) << line;
    EXPECT_EQ(engine.finish(60000), 0);
}

}  // namespace
