// The tools as the command line starts them: the real binary in a fresh
// directory, with the files the tools read made here and the lines and files
// they write checked exactly.
#include "tool_fixture.h"

#include <algorithm>
#include <set>

#include "engine_process.h"

namespace {

struct ToolsPipeTest : ToolTest {
    EngineProcess engine;

    // Runs the binary to its end; returns everything it printed.
    std::string run(const std::vector<std::string>& args, int expected_code = 0, int ms = 60000)
    {
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
    std::vector<std::string> moves = scripted_game(40, 2);
    std::string pgn = "[Event \"e\"]\n[Result \"1/2-1/2\"]\n";
    for (const std::string& m : moves) pgn += m + " {+0.12/9} ";
    write_file(dir + "/games.pgn", pgn + "\n");
    std::string out = run({"-scan_pgn2", "games.pgn"});
    std::vector<std::string> lines = lines_of(read_file(dir + "/tmp.epd"));
    ASSERT_GT(lines.size(), 1u);
    EXPECT_EQ(out, "games= 1, positions= " + std::to_string(lines.size() - 1) + "\n");
    EXPECT_NE(lines[0].find("; ce 12; c9 \"1/2-1/2\";"), std::string::npos) << lines[0];
}

}  // namespace
