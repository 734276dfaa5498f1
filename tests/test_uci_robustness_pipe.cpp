// What a careless or departed GUI does to the engine, through the real binary
// on pipes: a new "go" while a search runs or waits for "stop", options set
// during a search, memory that cannot be had, the end of the input, "stop"
// at once after "go", depth 0, very long games and hostile input bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bitboard.h"
#include "engine_process.h"
#include "pipe_moves.h"
#include "fen.h"
#include "input.h"
#include "makemove.h"
#include "movetext.h"
#include "records.h"
#include "test_data.h"

namespace {

const char* const START = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";

struct RobustnessPipeTest : ::testing::Test {
    std::unique_ptr<EngineProcess> process = std::make_unique<EngineProcess>();
    EngineProcess& engine() { return *process; }
    // A fresh engine for the next case (the old one has ended).
    void renew() { process = std::make_unique<EngineProcess>(); }
    static void SetUpTestSuite()
    {
        init_board_tables();
        if (!game_record) setup_game_record();
    }
    void start(unsigned long long address_space = 0)
    {
        engine().address_space_limit = address_space;
        ASSERT_TRUE(engine().start({"-nolog", "-hash", "4"}, fresh_test_dir("vant_robustness")));
        engine().send("uci");
        ASSERT_EQ(engine().wait_for("uciok"), "uciok");
    }
    // "isready" is answered at once, whatever runs.
    void expect_ready()
    {
        engine().send("isready");
        EXPECT_EQ(engine().wait_for("readyok"), "readyok");
    }
    // The "bestmove" lines from now for `ms`.
    std::vector<std::string> bestmoves(int ms) { return engine().collect("bestmove", ms); }
    // Exactly one "bestmove" (a second one would come at once), legal after
    // `moves` from `fen`.
    void expect_one_legal_bestmove(const std::string& fen, const std::vector<std::string>& moves)
    {
        std::vector<std::string> answers;
        std::string first = engine().wait_for("bestmove");
        if (first.rfind("bestmove", 0) == 0) answers.push_back(first);
        for (const std::string& more : bestmoves(400)) answers.push_back(more);
        ASSERT_EQ(answers.size(), 1u) << fen;
        std::vector<std::string> w = words_of(answers[0]);
        ASSERT_GE(w.size(), 2u);
        std::vector<std::string> played = moves;
        played.push_back(w[1]);
        EXPECT_TRUE(play_from(fen, played)) << answers[0];
    }
    void quit_cleanly()
    {
        engine().send("quit");
        EXPECT_EQ(engine().finish(), 0);
    }
};

TEST_F(RobustnessPipeTest, NewGoEndsTheSearchThatRunsOrWaits)
{
    const struct {
        std::vector<std::string> lines;  // "wait:PREFIX" waits for a line
        std::string fen;                 // the latest position
        std::vector<std::string> moves;
    } cases[] = {
        {{"position startpos", "go wtime 100000 btime 100000", "go infinite"}, START, {}},
        {{"position startpos", "go infinite", "position startpos moves e2e4", "go infinite"}, START, {"e2e4"}},
        {{"go infinite", "ucinewgame", "position startpos", "go infinite"}, START, {}},
        {{"go infinite", "setoption name Clear Hash value x", "go infinite"}, START, {}},
        // Mate in one: the search ends by itself and waits for "stop".
        {{"position fen 6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", "go infinite", "wait:info depth 1", "position startpos",
          "go infinite"},
         START,
         {}},
        {{"position startpos", "go ponder wtime 1000 btime 1000", "position startpos moves d2d4", "go infinite"},
         START,
         {"d2d4"}},
    };
    for (const auto& c : cases) {
        start();
        for (const std::string& line : c.lines) {
            if (line.rfind("wait:", 0) == 0) EXPECT_NE(engine().wait_for(line.substr(5)), "<timeout>");
            else engine().send(line);
        }
        expect_ready();
        engine().send("stop");
        expect_one_legal_bestmove(c.fen, c.moves);
        quit_cleanly();
        renew();
    }
}

TEST_F(RobustnessPipeTest, AFinishedSearchIsReportedBeforeTheNextStarts)
{
    // Every ordinary "go" is answered, even when the next "go" comes first.
    start();
    engine().send("position startpos");
    engine().send("go depth 30");
    engine().send("go depth 2");
    std::vector<std::string> answers = {engine().wait_for("bestmove"), engine().wait_for("bestmove")};
    for (const std::string& more : bestmoves(400)) answers.push_back(more);
    ASSERT_EQ(answers.size(), 2u);
    for (const std::string& a : answers) EXPECT_TRUE(play_from(START, {words_of(a)[1]})) << a;
    quit_cleanly();
}

TEST_F(RobustnessPipeTest, OptionsDuringASearch)
{
    start();
    engine().send("position startpos");
    engine().send("go infinite");
    EXPECT_NE(engine().wait_for("info depth 3"), "<timeout>");
    // Clearing the table does not end the search: it deepens on.
    engine().send("setoption name Clear Hash value x");
    EXPECT_NE(engine().wait_for("info string Hash table cleared"), "<timeout>");
    EXPECT_NE(engine().wait_for("info depth"), "<timeout>");
    // A new table or new threads end it, but "stop" still gets its answer.
    engine().send("setoption name Hash value 8");
    EXPECT_NE(engine().wait_for("info string Hash size set to 8M"), "<timeout>");
    EXPECT_TRUE(bestmoves(300).empty());
    engine().send("stop");
    expect_one_legal_bestmove(START, {});

    engine().send("go ponder wtime 5000 btime 5000");
    engine().send("setoption name Threads value 2");
    EXPECT_NE(engine().wait_for("info string Threads set to 2"), "<timeout>");
    expect_ready();
    engine().send("stop");
    expect_one_legal_bestmove(START, {});
    quit_cleanly();
}

// The options a GUI may change while two threads analyse, each read by the
// running search or its clock: nothing is torn or lost (the ThreadSanitizer
// build ends the engine at the first race), a new MultiPV count shows at a
// later depth, and "stop" gets one answer.
TEST_F(RobustnessPipeTest, OptionsChangedUnderTheSearchThatReadsThem)
{
    ASSERT_TRUE(test_tables_present());
    start();
    // The next line that starts with `prefix` and holds `part`; what ends the
    // wait otherwise ("bestmove", a race report, "<timeout>", "<eof>").
    auto next_info = [&](const std::string& prefix, const std::string& part) {
        using namespace std::chrono;
        const auto deadline = steady_clock::now() + milliseconds(HANG_MS);
        for (;;) {
            const auto left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
            std::string line = engine().next_line(std::max(0, int(left)));
            if (line.rfind(prefix, 0) == 0 && line.find(part) != line.npos) return line;
            if (line[0] == '<' || line.rfind("bestmove", 0) == 0 || line.find("ThreadSanitizer") != line.npos)
                return line;
        }
    };
    // Whatever the engine said about a race, on a failure.
    auto races = [&] {
        while (engine().read_some(200) > 0) {
        }
        std::string found;
        for (const std::string& text : engine().lines)
            if (text.find("ThreadSanitizer") != text.npos || text.find("#0 ") != text.npos) found += text + "\n";
        return found;
    };
    engine().send("setoption name Threads value 2");
    EXPECT_EQ(engine().wait_for("info string Threads"), "info string Threads set to 2");
    engine().send(std::string("setoption name SyzygyPath value ") + test_table_dir());
    EXPECT_EQ(engine().wait_for("info string found"), "info string found 35 tablebases");
    // Five pieces: the search probes the four-piece tables below its captures.
    const std::string fen = "8/2k5/8/2r5/8/2P5/2R5/2K5 w - - 0 1";
    engine().send("position fen " + fen);
    engine().send("go infinite");
    ASSERT_EQ(engine().wait_for("info depth 3 ").rfind("info depth 3 ", 0), 0u) << races();

    // Three lines from a later depth on, then one again. Every line the
    // search prints looks at the log switch.
    engine().send("setoption name Log value true");
    engine().send("setoption name MultiPV value 3");
    ASSERT_EQ(next_info("info multipv 3 depth ", " pv ").rfind("info multipv 3 ", 0), 0u) << races();
    engine().send("setoption name MultiPV value 1");
    ASSERT_EQ(next_info("info depth ", " pv ").rfind("info depth ", 0), 0u) << races();
    engine().send("setoption name Log value false");
    ASSERT_EQ(next_info("info depth ", " pv ").rfind("info depth ", 0), 0u) << races();

    const char* options[] = {"UCI_LimitStrength value true", "UCI_Elo value 1500", "UCI_Elo value 9999",
                             "UCI_LimitStrength value false", "SyzygyProbeDepth5 value 5", "SyzygyProbeDepth6 value 7",
                             "SyzygyProbeDepth5 value 1", "Contempt value 30", "MoveOverhead value 100",
                             "Ponder value false", "OwnBook value true", "OwnBook value false"};
    for (const char* option : options) {
        engine().send(std::string("setoption name ") + option);
        engine().send("isready");
        ASSERT_EQ(engine().wait_for("readyok"), "readyok") << option << "\n" << races();
    }
    // The search deepens on, and it has probed the tables.
    const std::vector<std::string> w = words_of(next_info("info depth ", " tbhits "));
    const auto hits = std::find(w.begin(), w.end(), "tbhits");
    ASSERT_TRUE(hits != w.end() && hits + 1 != w.end()) << races();
    EXPECT_GT(std::stol(hits[1]), 0);

    engine().send("stop");
    expect_one_legal_bestmove(fen, {});
    quit_cleanly();
    EXPECT_EQ(races(), "");
}

// The number after the word `name` in a line, or -1.
long number_after(const std::string& line, const std::string& name)
{
    const std::vector<std::string> w = words_of(line);
    const auto at = std::find(w.begin(), w.end(), name);
    return at != w.end() && at + 1 != w.end() ? std::stol(at[1]) : -1;
}

// A new thread count ends the search. Its closing line, which an infinite or
// pondering search prints only on "stop" or "ponderhit", shows what its own
// threads did, not the empty records of their successors.
TEST_F(RobustnessPipeTest, AThreadsChangeEndsTheSearchWithItsOwnFigures)
{
    // The "go", what asks for its answer ("": nothing) and the MultiPV count.
    const char* const cases[][3] = {{"go depth 40", "", "1"},
                                    {"go infinite", "stop", "2"},
                                    {"go ponder wtime 600000 btime 600000", "ponderhit", "1"}};
    for (const auto& [go, answer_on, multipv] : cases) {
        start();
        engine().send("setoption name Threads value 2");
        engine().send(std::string("setoption name MultiPV value ") + multipv);
        engine().send("position startpos");
        engine().send(go);
        // The deepest line with a whole pv (a bound line shows one move) and
        // the most nodes shown, up to a line that starts with `until`.
        long depth = 0, nodes = 0;
        auto read_until = [&](const std::string& until, long enough_depth) {
            for (std::string line;;) {
                line = engine().next_line();
                if (line[0] == '<' || line.rfind(until, 0) == 0) return line;
                nodes = std::max(nodes, number_after(line, "nodes"));
                if (line.find(" pv ") != line.npos && words_of(line.substr(line.find(" pv "))).size() > 2)
                    depth = std::max(depth, number_after(line, "depth"));
                if (depth >= enough_depth) return line;
            }
        };
        ASSERT_EQ(read_until("bestmove", 6).rfind("info ", 0), 0u) << go;
        engine().send("setoption name Threads value 3");
        ASSERT_EQ(read_until("info string Threads", 999), "info string Threads set to 3") << go;
        if (*answer_on) {
            EXPECT_TRUE(bestmoves(300).empty()) << go;
            engine().send(answer_on);
        }
        const std::string closing = engine().next_line(), answer = engine().next_line();
        ASSERT_EQ(answer.rfind("bestmove ", 0), 0u) << go << "\n" << answer;
        EXPECT_GE(number_after(closing, "depth"), depth) << closing;
        EXPECT_GT(number_after(closing, "seldepth"), 0) << closing;
        EXPECT_GE(number_after(closing, "nodes"), std::max(nodes, 1L)) << closing;
        EXPECT_EQ(number_after(closing, "multipv"), *multipv == '1' ? -1 : 1) << closing;
        EXPECT_TRUE(play_from(START, {words_of(answer)[1]})) << answer;
        engine().send("stop");  // answered already: nothing more is said
        EXPECT_TRUE(bestmoves(400).empty()) << go;
        quit_cleanly();
        renew();
    }
}

// GUIs resend every option, some of them while the engine analyses: the
// thread count and table size in force change nothing, the search deepens on.
TEST_F(RobustnessPipeTest, OptionsResentUnchangedLeaveTheSearchRunning)
{
    start();  // with "-hash 4"
    engine().send("setoption name Threads value 2");
    engine().send("position startpos");
    engine().send("go infinite");
    ASSERT_EQ(engine().wait_for("info depth 4 ").rfind("info depth 4 ", 0), 0u);
    engine().send("setoption name Threads value 2");
    EXPECT_EQ(engine().wait_for("info string Threads"), "info string Threads set to 2");
    engine().send("setoption name Hash value 4");
    EXPECT_EQ(engine().wait_for("info string Hash"), "info string Hash size set to 4M bytes");
    // A line deeper than any before the replies comes.
    long deepest = 0;
    for (size_t i = 0; i < engine().cursor; i++) deepest = std::max(deepest, number_after(engine().lines[i], "depth"));
    std::string line;
    do line = engine().next_line();
    while (line[0] != '<' && line.rfind("bestmove", 0) != 0 && number_after(line, "depth") <= deepest);
    EXPECT_GT(number_after(line, "depth"), deepest) << line;
    engine().send("stop");
    expect_one_legal_bestmove(START, {});
    quit_cleanly();
}

TEST_F(RobustnessPipeTest, MemoryThatCannotBeHadKeepsWhatRuns)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers reserve more address space than the limit allows";
#endif
    start(1000ull << 20);  // 1 GB of address space
    engine().send("setoption name Hash value 8192");
    EXPECT_EQ(engine().wait_for("info string Hash size"),
              "info string Hash size 8192M bytes could not be allocated, keeping 4M bytes");
    // 80 threads with their stacks do not fit either: those that start stay.
    engine().send("setoption name Threads value 80");
    std::string notice = engine().wait_for("info string only");
    int started = 0, asked = 0;
    ASSERT_EQ(std::sscanf(notice.c_str(), "info string only %d of %d", &started, &asked), 2) << notice;
    EXPECT_EQ(asked, 80);
    EXPECT_GE(started, 1);
    EXPECT_LT(started, 80);
    EXPECT_EQ(engine().wait_for("info string Threads set to"), "info string Threads set to " + std::to_string(started));
    engine().send("position startpos moves e2e4");
    engine().send("go depth 6");
    expect_one_legal_bestmove(START, {"e2e4"});
    engine().send("setoption name Hash value 16");
    EXPECT_EQ(engine().wait_for("info string Hash size"), "info string Hash size set to 16M bytes");
    quit_cleanly();
}

TEST_F(RobustnessPipeTest, EndOfInputEndsTheSession)
{
    const struct {
        std::vector<std::string> lines;
        size_t answers;
    } cases[] = {
        {{"position startpos", "go depth 8"}, 1},           // finishes, then reports
        {{"position startpos", "go infinite"}, 1},          // stopped, reports
        {{"position startpos", "go ponder wtime 9000 btime 9000"}, 1},
        {{"position startpos", "go depth 40", "stop"}, 1},  // queued commands still run
        {{"isready"}, 0},
    };
    for (const auto& c : cases) {
        start();
        for (const std::string& line : c.lines) engine().send(line);
        auto begin = std::chrono::steady_clock::now();
        EXPECT_EQ(engine().finish(), 0);
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        size_t count = 0;
        for (const std::string& line : engine().lines) {
            if (line.rfind("bestmove", 0) == 0) {
                count++;
                EXPECT_TRUE(play_from(START, {words_of(line)[1]})) << line;
            }
        }
        EXPECT_EQ(count, c.answers) << c.lines.back();
        if (c.lines.back() != "go depth 8") {
            EXPECT_LT(seconds, HANG_SECONDS) << c.lines.back();
        }
        renew();
    }
}

TEST_F(RobustnessPipeTest, StopAtOnceStillAnswersALegalMove)
{
    start();
    const char* positions[] = {"position startpos", "position fen 4k3/8/8/8/8/8/4q3/4K3 w - - 0 1",
                               "position fen 8/P6k/8/8/8/8/6K1/8 w - - 0 1"};
    const char* fens[] = {START, "4k3/8/8/8/8/8/4q3/4K3 w - - 0 1", "8/P6k/8/8/8/8/6K1/8 w - - 0 1"};
    for (int round = 0; round < 30; round++) {
        engine().send(positions[round % 3]);
        engine().send(round % 2 ? "go wtime 60000 btime 60000" : "go infinite");
        engine().send("stop");
        std::string line = engine().wait_for("bestmove");
        ASSERT_NE(line, "<timeout>");
        EXPECT_TRUE(play_from(fens[round % 3], {words_of(line)[1]})) << line;
    }
    // Depth 0: the quiescence score without a search, then a legal move;
    // a negative depth: no search, a legal move.
    engine().send("position startpos");
    engine().send("go depth 0");
    EXPECT_EQ(engine().wait_for("info depth 0").rfind("info depth 0 score cp ", 0), 0u);
    expect_one_legal_bestmove(START, {});
    engine().send("position fen 4k3/8/8/8/8/8/4q3/4K3 w - - 0 1");  // in check: no quiescence score
    engine().send("go depth 0");
    expect_one_legal_bestmove("4k3/8/8/8/8/8/4q3/4K3 w - - 0 1", {});
    engine().send("go depth -3");
    expect_one_legal_bestmove("4k3/8/8/8/8/8/4q3/4K3 w - - 0 1", {});
    quit_cleanly();
}

TEST_F(RobustnessPipeTest, GameOfEightHundredPlies)
{
    start();
    std::string line = "position startpos moves";
    std::vector<std::string> moves;
    for (int i = 0; i < 199; i++)
        for (const char* m : {"g1f3", "g8f6", "f3g1", "f6g8"}) moves.push_back(m);
    for (const char* m : {"e2e4", "e7e5", "g1f3", "b8c6"}) moves.push_back(m);
    for (const std::string& m : moves) line += " " + m;
    engine().send(line);
    engine().send("go depth 5");
    expect_one_legal_bestmove("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3", {});
    quit_cleanly();
}

TEST_F(RobustnessPipeTest, NulBytesDoNotSplitALine)
{
    start();
    // Longer than the line buffer: dropped whole, its tail does not quit.
    engine().send(std::string("x\0", 2) + std::string(INPUT_LINE_SIZE, 'A') + "quit");
    EXPECT_NE(engine().wait_for("info string input line too long"), "<timeout>");
    // A NUL ends the command; what follows it on the line is not another.
    engine().send(std::string("isready\0quit", 12));
    EXPECT_EQ(engine().wait_for("readyok"), "readyok");
    expect_ready();
    quit_cleanly();
}

}  // namespace
