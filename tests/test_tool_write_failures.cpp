// Tools whose output cannot be written, run from the command line: each
// says so once, stops and exits 1, and leaves its inputs as they were.
#include "tool_fixture.h"

#include <sys/stat.h>

#include <algorithm>

#include "engine_process.h"

namespace {

enum Block { DIRECTORY, DANGLING_LINK, FULL_DISK, NONE };

struct ToolWriteFailureTest : ToolTest {
    // A directory per case with a training file (forty lines, so that every
    // "-tune" sample holds some), test1.rc and an earlier run's tune.log;
    // `output` there made unwritable, even for root.
    std::string case_dir(int n, const char* output, Block how)
    {
        const std::string here = dir + "/" + std::to_string(n), path = here + "/" + output;
        std::filesystem::create_directories(here);
        write_file(here + "/train.epd", training());
        write_file(here + "/test1.rc", "pawn_value 100, 120\n");
        if (std::strcmp(output, "tune.log") != 0) write_file(here + "/tune.log", "old log\n");
        if (how == DIRECTORY) std::filesystem::create_directories(path);
        if (how == DANGLING_LINK) std::filesystem::create_symlink("missing/" + std::string(output), path);
        if (how == FULL_DISK) {
            EXPECT_TRUE(link_to_full_device(path));
        }
        return here;
    }
    static std::string training()
    {
        std::string text;
        for (int i = 0; i < 20; i++)
            text += "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - ce 20; c9 \"1-0\";\n"
                    "4k3/8/8/8/8/8/8/4K3 w - - ce 0; c9 \"1/2-1/2\";\n";
        return text;
    }
    // The run's lines, its exit code expected to be 1.
    static std::vector<std::string> fail(const std::vector<std::string>& args, const std::string& here)
    {
        EngineProcess process;
        return lines_of(run_to_end(process, args, here, 1, 120000));
    }
};

// "-tune" stops before its first tuning error: it neither tunes on an old
// sample nor runs its passes on samples it cannot read, and its first
// sample is drawn before the log is opened.
TEST_F(ToolWriteFailureTest, UnwritableOutputEndsTheRunWithOneMessage)
{
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full to stand for a full disk";
    struct Case {
        const char* tool;
        const char* output;
        Block how;
        const char* message;
    };
    const Case cases[] = {
        {"-mktune", "tune_new.epd", DIRECTORY, "can't open output file tune_new.epd"},
        {"-mktune", "tune_new.epd", DANGLING_LINK, "can't open output file tune_new.epd"},
        {"-mktune", "tune_new.epd", FULL_DISK, "could not write tune_new.epd"},
        {"-tune", "junk.epd", DIRECTORY, "can't open output file junk.epd"},
        {"-tune", "junk.epd", DANGLING_LINK, "can't open output file junk.epd"},
        {"-tune", "junk.epd", FULL_DISK, "could not write junk.epd"},
        {"-tune", "tune.log", FULL_DISK, "could not write tune.log"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message + std::string(" ") + std::to_string(c.how));
        const std::string here = case_dir(n++, c.output, c.how);
        const std::vector<std::string> lines = fail({c.tool, "train.epd"}, here);
        EXPECT_EQ(std::count(lines.begin(), lines.end(), c.message), 1);
        EXPECT_EQ(lines.empty() ? "" : lines.back(), c.message);
        for (const std::string& line : lines) EXPECT_NE(line.rfind("err=", 0), 0u) << line;
        if (std::strcmp(c.output, "tune.log") != 0) {
            EXPECT_EQ(lines.size(), 1u);
            EXPECT_EQ(read_file(here + "/tune.log"), "old log\n");
        }
        EXPECT_EQ(read_file(here + "/train.epd"), training());
    }
}

// Permission bits stop every user but root.
TEST_F(ToolWriteFailureTest, ReadOnlyOutputsFailTheRun)
{
    if (geteuid() == 0) GTEST_SKIP() << "root writes read-only files and folders";
    const std::string folder = case_dir(0, "", NONE);
    ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
    EXPECT_EQ(fail({"-mktune", "train.epd"}, folder), std::vector<std::string>{"can't open output file tune_new.epd"});
    chmod(folder.c_str(), 0755);
    const std::string here = case_dir(1, "", NONE);
    write_file(here + "/junk.epd", "an earlier sample\n");
    ASSERT_EQ(chmod((here + "/junk.epd").c_str(), 0444), 0);
    EXPECT_EQ(fail({"-tune", "train.epd"}, here), std::vector<std::string>{"can't open output file junk.epd"});
    EXPECT_EQ(read_file(here + "/junk.epd"), "an earlier sample\n");
}

// The running score follows only a game the file holds whole.
TEST_F(ToolWriteFailureTest, MatchOnAFullDiskCountsNoGameItCouldNotWrite)
{
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full to stand for a full disk";
    const std::string here = case_dir(0, "games.pgn", FULL_DISK);
    const std::vector<std::string> lines = fail({"-d", "1", "-match", "games.pgn"}, here);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "could not write games.pgn"), 1);
    EXPECT_EQ(lines.empty() ? "" : lines.back(), "could not write games.pgn");
    for (const std::string& line : lines) EXPECT_EQ(line.find(" games, "), std::string::npos) << line;
}

// The open log, under any of its names, takes every line the match sends:
// as the game file the two would come out interleaved.
TEST_F(ToolWriteFailureTest, MatchIntoTheOpenLogIsRefused)
{
    int n = 0;
    for (const char* name : {"vant.log", "./vant.log", "games.pgn"}) {
        SCOPED_TRACE(name);
        const std::string here = case_dir(n++, "", NONE);
        if (name[0] == 'g') std::filesystem::create_symlink("vant.log", here + "/games.pgn");
        EngineProcess process;
        ASSERT_TRUE(process.start({"-d", "1", "-match", name}, here));
        process.send("quit");
        EXPECT_EQ(process.finish(120000), 1);
        const std::string message = std::string("game file ") + name + " is the log file vant.log";
        EXPECT_EQ(process.lines, std::vector<std::string>{message});
        EXPECT_EQ(read_file(here + "/vant.log"), message + "\n");
        EXPECT_EQ(read_file(here + "/test1.rc"), "pawn_value 100, 120\n");
    }
}

}  // namespace
