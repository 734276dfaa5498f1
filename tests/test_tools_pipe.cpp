// The tools as the command line starts them: the real binary in a fresh
// directory, with the files the tools read made here and the lines and files
// they write checked exactly.
#include "tool_fixture.h"

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
