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
        std::vector<std::string> all = {"-nolog"};
        all.insert(all.end(), args.begin(), args.end());
        EXPECT_TRUE(engine.start(all, dir));
        EXPECT_EQ(engine.finish(ms), expected_code);
        std::string out;
        for (const std::string& line : engine.lines) out += line + "\n";
        return out;
    }
};

TEST_F(ToolsPipeTest, MissingInputFiles)
{
    EXPECT_EQ(run({"-anepd", "none.epd"}), "");
    EXPECT_FALSE(std::filesystem::exists(dir + "/unsolved.epd"));
}

TEST_F(ToolsPipeTest, MissingPgnIsSilent)
{
    EXPECT_EQ(run({"-scan_pgn2", "none.pgn"}), "");
}

TEST_F(ToolsPipeTest, MatchWithoutTest1Rc)
{
    EXPECT_EQ(run({"-match", "games.pgn"}), "Can't open file test1.rc\n\n");
    EXPECT_FALSE(std::filesystem::exists(dir + "/games.pgn"));
}

TEST_F(ToolsPipeTest, TuningWithoutTrainingFile)
{
    EXPECT_EQ(run({"-mktune", "none.epd"}), "can't open training file none.epd\n");
    EXPECT_FALSE(std::filesystem::exists(dir + "/tune_new.epd"));
}

TEST_F(ToolsPipeTest, GradientTuningWithoutTrainingFile)
{
    EXPECT_EQ(run({"-tune", "none.epd"}), "can't open training file none.epd\n");
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
