// The tools as the command line starts them: the real binary in a fresh
// directory, with the files the tools read made here and the lines and files
// they write checked exactly.
#include "tool_fixture.h"

#include <algorithm>
#include <set>

#include "engine_process.h"

namespace {

struct ToolsPipeTest : ToolTest {
    // Runs the binary to its end; returns everything it printed.
    std::string run(const std::vector<std::string>& args, int expected_code = 0, int ms = 60000)
    {
        EngineProcess engine;
        return run_to_end(engine, args, dir, expected_code, ms);
    }
};

// An input file that cannot be opened is named and the run fails; nothing
// is written.
TEST_F(ToolsPipeTest, MissingInputFilesFailTheRun)
{
    struct Case {
        std::vector<std::string> args;
        const char* message;
        const char* not_written;
    };
    const Case cases[] = {
        {{"-anepd", "none.epd"}, "can't open EPD file none.epd", "unsolved.epd"},
        {{"-scan_pgn1", "none.pgn"}, "can't open PGN file none.pgn", "tmp.pgn"},
        {{"-scan_pgn2", "none.pgn"}, "can't open PGN file none.pgn", "tmp.epd"},
        {{"-scan_pgn4", "none.pgn"}, "can't open PGN file none.pgn", "tmpX.epd"},
        {{"-mktune", "none.epd"}, "can't open training file none.epd", "tune_new.epd"},
        {{"-tune", "none.epd"}, "can't open training file none.epd", "tune.log"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0]);
        EngineProcess process;
        std::vector<std::string> all = {"-nolog"};
        all.insert(all.end(), c.args.begin(), c.args.end());
        ASSERT_TRUE(process.start(all, dir));
        EXPECT_EQ(process.finish(60000), 1);
        std::string out;
        for (const std::string& line : process.lines) out += line + "\n";
        EXPECT_EQ(out, std::string(c.message) + "\n");
        EXPECT_FALSE(std::filesystem::exists(dir + "/" + c.not_written));
    }
}

// A tool whose input is one of the files it writes (under its own name, as
// "./name", through a hard or a symbolic link) refuses before it opens
// anything for writing: one line naming the file, exit code 1 (a console
// command just reports), the input as it was and no file written.
TEST_F(ToolsPipeTest, InputThatIsAnOutputIsRefusedUntouched)
{
    struct Case {
        std::vector<std::string> args;
        const char* file;     // holds the input's bytes
        const char* link;     // another name for it ("": none)
        bool symbolic;        // the link's kind
        const char* console;  // commands of a console run ("": a tool run)
        const char* message;
    };
    const Case cases[] = {
        {{"-anepd", "./unsolved.epd"}, "unsolved.epd", "", false, "",
         "EPD file ./unsolved.epd is the output file unsolved.epd"},
        {{"-scan_pgn1", "tmp.pgn"}, "tmp.pgn", "", false, "", "PGN file tmp.pgn is the output file tmp.pgn"},
        {{"-scan_pgn2", "tmp.epd"}, "tmp.epd", "", false, "", "PGN file tmp.epd is the output file tmp.epd"},
        {{"-scan_pgn4", "games.pgn"}, "tmpX.epd", "games.pgn", false, "",
         "PGN file games.pgn is the output file tmpX.epd"},
        {{"-mktune", "train.epd"}, "tune_new.epd", "train.epd", true, "",
         "training file train.epd is the output file tune_new.epd"},
        {{"-tune", "junk.epd"}, "junk.epd", "", false, "", "training file junk.epd is the output file junk.epd"},
        {{"-tune", "./tune.log"}, "tune.log", "", false, "", "training file ./tune.log is the output file tune.log"},
        {{"-match", "test1.rc"}, "test1.rc", "", false, "", "settings file test1.rc is the output file test1.rc"},
        {{"-match", "games.pgn"}, "vant.rc", "games.pgn", false, "",
         "settings file vant.rc is the output file games.pgn"},
        {{"-c"}, "tmp.opn", "book.pgn", true, "mkbook\n", "mkbook: game file book.pgn is the output file tmp.opn"},
        {{"-c"}, "trace.txt", "", false, "trace 1\nload trace.txt\n",
         "PGN file trace.txt is the output file trace.txt"},
    };
    const std::string content = "# input\n[Event \"e\"]\n1. e4 e5\n"
                                "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - c9 \"1/2-1/2\";\n";
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back() + " " + c.console);
        const std::string here = dir + "/" + std::to_string(n++);
        std::filesystem::create_directories(here);
        write_file(here + "/" + c.file, content);
        std::set<std::string> expected = {c.file, "vant.log"};
        if (c.link[0]) {
            if (c.symbolic) std::filesystem::create_symlink(c.file, here + "/" + c.link);
            else std::filesystem::create_hard_link(here + "/" + c.file, here + "/" + c.link);
            expected.insert(c.link);
        }
        const bool console = c.console[0] != 0;
        EngineProcess process;
        const std::string input = std::string(c.console) + "quit\n";
        const std::vector<std::string> lines =
            lines_of(run_to_end(process, c.args, here, console ? 0 : 1, 60000, input.c_str()));
        EXPECT_EQ(std::count(lines.begin(), lines.end(), c.message), 1);
        if (!console) {
            EXPECT_EQ(lines.empty() ? "" : lines.back(), c.message);
        }
        EXPECT_EQ(read_file(here + "/" + c.file), content);
        std::set<std::string> present;
        for (const auto& entry : std::filesystem::directory_iterator(here)) present.insert(entry.path().filename());
        EXPECT_EQ(present, expected);
    }
    // The log a run writes (on without "-nolog") is an output of every tool.
    EngineProcess logged;
    ASSERT_TRUE(logged.start({"-anepd", "vant.log"}, dir + "/log"));
    EXPECT_EQ(logged.finish(), 1);
    EXPECT_EQ(logged.lines.empty() ? "" : logged.lines.back(), "EPD file vant.log is the output file vant.log");
}

TEST_F(ToolsPipeTest, MatchWithoutTest1Rc)
{
    EXPECT_EQ(run({"-match", "games.pgn"}, 1), "Can't open file test1.rc\n\n");
    EXPECT_FALSE(std::filesystem::exists(dir + "/games.pgn"));
}

// A training file without one usable line (no result, comments, positions
// that cannot be read) stops the descent before its first pass.
TEST_F(ToolsPipeTest, GradientTuningWithoutUsableLine)
{
    write_file(dir + "/none.epd", "# comment\nrnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - bm e4;\nnot a position\n");
    EXPECT_EQ(run({"-tune", "none.epd"}, 1), "training file none.epd holds no usable line\n");
    EXPECT_FALSE(std::filesystem::exists(dir + "/tune.log"));
}

TEST_F(ToolsPipeTest, ScanModeTwoEndToEnd)
{
    const std::vector<std::string> moves = scripted_game(40, 2);
    write_file(dir + "/games.pgn",
               pgn_game_text("e", "1/2-1/2", moves, std::vector<std::string>(moves.size(), "{+0.12/9} ")));
    std::string out = run({"-scan_pgn2", "games.pgn"});
    std::vector<std::string> lines = lines_of(read_file(dir + "/tmp.epd"));
    ASSERT_GT(lines.size(), 1u);
    EXPECT_EQ(out, "games= 1, positions= " + std::to_string(lines.size() - 1) + "\n");
    EXPECT_NE(lines[0].find("; ce 12; c9 \"1/2-1/2\";"), std::string::npos) << lines[0];
}

// The game from the opening position after 1. d4 d5 that a match manager
// writes with its FEN tag, its moves and their evaluations.
const char* const OPENING = "rnbqkbnr/ppp1pppp/8/3p4/3P4/8/PPP1PPPP/RNBQKBNR w KQkq - 0 2";
const std::vector<std::string> OPENING_MOVES = {"Nf3", "Nf6", "c4", "e6", "Nc3", "Be7", "Bg5", "O-O"};
const std::string OPENING_GAME = std::string("[Event \"a\"]\n[SetUp \"1\"]\n[FEN \"") + OPENING +
                                 "\"]\n[Result \"1-0\"]\n\n2. Nf3 {+0.20/10} Nf6 {-0.10/10} 3. c4 {+0.30/10} e6 "
                                 "{-0.25/10} 4. Nc3 {+0.15/10}\nBe7 {-0.05/10} 5. Bg5 {+0.40/10} O-O {-0.35/10} "
                                 "1-0\n\n";

// Each game is scanned from its own start: the position of its FEN tag
// (with or without "[SetUp"), the standard start without one; a game whose
// tag holds no position is left out and counted. Black may move first, and
// an "eval" value (white's view) follows the side that moved.
TEST_F(ToolsPipeTest, ScanReadsEachGameFromItsOwnStart)
{
    const std::string after_e4 = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3 0 1";
    const std::string black_first = "[Event \"b\"]\n[FEN \"" + after_e4 +
                                    "\"]\n[Result \"0-1\"]\n\n1... c5 {eval -30} 2. Nf3 {eval 25} 0-1\n\n";
    std::string pgn = OPENING_GAME + black_first;
    pgn += "[Event \"c\"]\n[SetUp \"1\"]\n[FEN \"8/8/8 w - - 0 1\"]\n[Result \"1-0\"]\n\n1. e4 {+0.10/3} 1-0\n\n";
    // A self-play game of the match, in its own form, after them.
    pgn += "[Event selfplay]\n[Game 4]\n[White \"Player1\"]\n[Black \"Player2\"]\n[Result \"1/2-1/2\"]\n"
           "e2e4 {0.12/9}   e7e5 {-0.08/9}\n\n\n";
    write_file(dir + "/games.pgn", pgn);
    EXPECT_EQ(run({"-scan_pgn3", "games.pgn"}),
              "games skipped for an unreadable FEN tag: 1\ngames= 4, positions= 12\n");

    const int evals[] = {20, -10, 30, -25, 15, -5, 40, -35};
    std::vector<std::string> expected;
    for (int i = 0; i < 8; i++)
        expected.push_back(fen_after(OPENING_MOVES, i, OPENING) + " bm " + OPENING_MOVES[size_t(i)] + "; ce " +
                           std::to_string(evals[i]) + ";");
    expected.push_back(fen_after({}, 0, after_e4.c_str()) + " bm c5; ce 30;");
    expected.push_back(fen_after({"c5"}, 1, after_e4.c_str()) + " bm Nf3; ce 25;");
    expected.push_back(fen_after({}, 0) + " bm e2e4; ce 12;");
    expected.push_back(fen_after({"e2e4"}, 1) + " bm e7e5; ce -8;");
    expected.push_back("");
    EXPECT_EQ(lines_of(read_file(dir + "/tmp.epd")), expected);

    // The annotated game numbers the moves from the FEN and shows white's view.
    write_file(dir + "/games.pgn", black_first);
    EXPECT_EQ(run({"-scan_pgn1", "games.pgn"}), "games= 1, positions= 0\n");
    EXPECT_EQ(read_file(dir + "/tmp.pgn"), "[Event \"b\"]\n[FEN \"" + after_e4 +
                                               "\"]\n[Result \"0-1\"]\n      c5      { -0.30}\n"
                                               "  2.  Nf3     {  0.25}\n\n\n");
}

// Variations (nested, across lines, with comments and annotations in them),
// ";" comments and "$N" annotations are no moves of the game: the scan
// writes what it writes without them.
TEST_F(ToolsPipeTest, ScanSkipsVariationsAndLineComments)
{
    const std::vector<std::string> moves = scripted_game(60, 4);
    ASSERT_EQ(moves.size(), 60u);
    auto game = [&](bool noisy) {
        std::vector<std::string> after_move(moves.size(), "{+0.11/9} ");
        if (noisy) {
            after_move[9] += "$1 (5... Qh4 {threat (sic} (5... a5 6. a4) 6. g3 $2\n Qe7) ";
            after_move[20] += "; the plan: Nf3, then e4 {\n";
            after_move[31] += "(16... Kh8)(16... h6 17. Bh4) $14 ";
            after_move[40] += "\n; Qd1 a line of its own\n";
        }
        return pgn_game_text("v", "1/2-1/2", moves, after_move);
    };
    write_file(dir + "/games.pgn", game(false));
    const std::string plain_out = run({"-scan_pgn3", "games.pgn"});
    const std::string plain = read_file(dir + "/tmp.epd");
    EXPECT_GT(lines_of(plain).size(), 50u);
    write_file(dir + "/games.pgn", game(true));
    EXPECT_EQ(run({"-scan_pgn3", "games.pgn"}), plain_out);
    EXPECT_EQ(read_file(dir + "/tmp.epd"), plain);
}

// A ply without an evaluation (no comment, or one without a value) writes
// no training line; mode 3 still stops after it.
TEST_F(ToolsPipeTest, ScanWritesNoPlaceholderValues)
{
    const std::vector<std::string> moves = scripted_game(12, 2);
    std::vector<std::string> comments(moves.size(), "{+0.05/7} ");
    comments[2] = "{good} ";
    comments[3] = "";
    write_file(dir + "/games.pgn", pgn_game_text("p", "1-0", moves, comments));
    EXPECT_EQ(run({"-scan_pgn3", "games.pgn"}), "games= 1, positions= 2\n");
    EXPECT_EQ(lines_of(read_file(dir + "/tmp.epd")),
              (std::vector<std::string>{fen_after(moves, 0) + " bm " + moves[0] + "; ce 5;",
                                        fen_after(moves, 1) + " bm " + moves[1] + "; ce 5;", ""}));

    // A rook ending with one pawn, where mode 4 writes every evaluated ply.
    const char* ending = "r3k3/8/8/8/8/8/4P3/R3K3 w - - 0 1";
    write_file(dir + "/games.pgn", std::string("[Event \"r\"]\n[FEN \"") + ending +
                                       "\"]\n[Result \"1-0\"]\n1. Kf2 {+0.50/10} Kf8 2. Kf3 {book} Kf7 {no value} "
                                       "3. Ke4 {+0.60/10} Ke6 {-0.55/10} 1-0\n");
    EXPECT_EQ(run({"-scan_pgn4", "games.pgn"}), "games= 1, positions= 4\n");
    const std::vector<std::string> played = {"Kf2", "Kf8", "Kf3", "Kf7", "Ke4", "Ke6"};
    EXPECT_EQ(lines_of(read_file(dir + "/tmp.epd")),
              (std::vector<std::string>{fen_after(played, 0, ending) + " bm Kf2; ce 50; tune 1.00000;",
                                        fen_after(played, 2, ending) + " bm Kf3; ce 0; tune 1.00000;",
                                        fen_after(played, 4, ending) + " bm Ke4; ce 60; tune 1.00000;",
                                        fen_after(played, 5, ending) + " bm Ke6; ce -55; tune 0.00000;", ""}));
}

// An output that cannot be written whole fails the scan: one message, exit
// code 1 and no count of lines that are not all there, whether the failure
// shows at the close or while the scan runs.
TEST_F(ToolsPipeTest, ScanOnAFullDiskFails)
{
    const std::vector<std::string> moves = scripted_game(40, 3);
    const std::string one = pgn_game_text("f", "1-0", moves, std::vector<std::string>(moves.size(), "{+0.07/8} "));
    std::string many;
    for (int i = 0; i < 60; i++) many += one;
    struct Case {
        const char* mode;
        const char* output;
        const std::string* games;
    };
    const Case cases[] = {
        {"-scan_pgn3", "tmp.epd", &one}, {"-scan_pgn3", "tmp.epd", &many}, {"-scan_pgn1", "tmp.pgn", &one}};
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.mode) + " " + std::to_string(c.games->size()));
        const std::string here = dir + "/" + std::to_string(n++);
        std::filesystem::create_directories(here);
        if (!link_to_full_device(here + "/" + c.output)) GTEST_SKIP() << "no /dev/full to stand for a full disk";
        write_file(here + "/games.pgn", *c.games);
        EngineProcess process;
        EXPECT_EQ(run_to_end(process, {c.mode, "games.pgn"}, here, 1, 60000),
                  std::string("could not write ") + c.output + "\n");
    }
}

// The console's "load" reads the game from its FEN past variations, ";"
// comments and annotations.
TEST_F(ToolsPipeTest, ConsoleLoadSkipsVariationsAndComments)
{
    write_file(dir + "/game.pgn", std::string("[Event \"a\"]\n[SetUp \"1\"]\n[FEN \"") + OPENING +
                                      "\"]\n[Result \"1-0\"]\n\n2. Nf3 {+0.20/10} (2. c4 e6 (2... c6)) Nf6 $1 "
                                      "; or 2... e6\n"
                                      "3. c4 e6 4. Nc3 (4. Nbd2\nc5) Be7 5. Bg5 O-O 1-0\n");
    EngineProcess console;
    const std::vector<std::string> lines =
        lines_of(run_to_end(console, {"-c"}, dir, 0, 60000, "load game.pgn\nquit\n"));
    const std::string end = fen_after(OPENING_MOVES, 8, OPENING);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), end), 1) << end;
    for (const std::string& line : lines) EXPECT_EQ(line.find("can't parse"), std::string::npos) << line;
}

// The console's game files say what failed, and the console goes on: "save"
// that cannot open "tmp.pgn", "load" of a file that is not there,
// and "load" of a name too long to hold, which is refused rather than cut
// into the name of another file.
TEST_F(ToolsPipeTest, ConsoleGameFilesSayWhatFailed)
{
    std::filesystem::create_directories(dir + "/tmp.pgn");
    const std::string cut(127, 'g');
    write_file(dir + "/" + cut, "[Event \"x\"]\n1. d4\n");
    const std::string input = "e4\nsave\nload nosuch.pgn\nload " + cut + "h.pgn\nbd\nquit\n";
    EngineProcess console;
    const std::vector<std::string> lines = lines_of(run_to_end(console, {"-c"}, dir, 0, 60000, input.c_str()));
    for (const char* message : {"can't open game file tmp.pgn", "can't open PGN file nosuch.pgn",
                                "load: file name longer than 127 characters, not loaded"})
        EXPECT_EQ(std::count(lines.begin(), lines.end(), message), 1) << message;
    const std::string after_e4 = "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3";
    std::string last_board;
    for (const std::string& line : lines)
        if (std::count(line.begin(), line.end(), '/') == 7) last_board = line;
    EXPECT_EQ(last_board, after_e4);
}

}  // namespace
