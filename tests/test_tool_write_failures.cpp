// Tools whose output cannot be written, run as the command line starts
// them: a directory or a dangling link where an output goes, a full disk (a
// link to /dev/full), a read-only file or folder, the open log as the
// match's game file. Each run says so once, stops and exits 1, and leaves
// its inputs as they were.
#include "tool_fixture.h"

#include <sys/stat.h>

#include <algorithm>

#include "engine_process.h"

namespace {

// Positions with a result that the tuning error counts, forty lines, so
// that every sample of a "-tune" pass holds some.
std::string training_text()
{
    const char* const lines[] = {
        "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - ce 20; c9 \"1-0\";",
        "8/5pk1/6p1/8/3P4/6P1/5PK1/8 w - - ce 120; c9 \"1-0\";",
        "4k3/8/8/8/8/8/8/4K3 w - - ce 0; c9 \"1/2-1/2\";",
    };
    std::string text;
    for (int i = 0; i < 40; i++) text += std::string(lines[i % 3]) + "\n";
    return text;
}

enum Block { DIRECTORY, DANGLING_LINK, FULL_DISK };

struct ToolWriteFailureTest : ToolTest {
    // A directory of its own per case, holding the training file.
    std::string case_dir(int n)
    {
        const std::string here = dir + "/" + std::to_string(n);
        std::filesystem::create_directories(here);
        write_file(here + "/train.epd", training_text());
        return here;
    }

    // Makes the output `name` unwritable in the way given, even for root.
    static void block(const std::string& here, const char* name, Block how)
    {
        const std::string path = here + "/" + name;
        if (how == DIRECTORY) std::filesystem::create_directories(path);
        if (how == DANGLING_LINK) std::filesystem::create_symlink("missing/" + std::string(name), path);
        if (how == FULL_DISK) ASSERT_TRUE(link_to_full_device(path));
    }

    // Runs the binary with "-nolog" and the arguments in `here` to its end,
    // expecting exit code 1; its lines.
    static std::vector<std::string> fail(const std::vector<std::string>& args, const std::string& here)
    {
        EngineProcess process;
        return lines_of(run_to_end(process, args, here, 1, 120000));
    }
};

struct Case {
    const char* output;
    Block how;
    const char* message;
};

bool full_disk_available() { return std::filesystem::exists("/dev/full"); }

TEST_F(ToolWriteFailureTest, MakeTuneSaysItCannotWriteItsCopy)
{
    if (!full_disk_available()) GTEST_SKIP() << "no /dev/full to stand for a full disk";
    const Case cases[] = {
        {"tune_new.epd", DIRECTORY, "can't open output file tune_new.epd"},
        {"tune_new.epd", DANGLING_LINK, "can't open output file tune_new.epd"},
        {"tune_new.epd", FULL_DISK, "could not write tune_new.epd"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message + std::string(" ") + std::to_string(c.how));
        const std::string here = case_dir(n++);
        block(here, c.output, c.how);
        EXPECT_EQ(fail({"-mktune", "train.epd"}, here), std::vector<std::string>{c.message});
        EXPECT_EQ(read_file(here + "/train.epd"), training_text());
    }
}

// A sample or a log that cannot be written ends "-tune" before its first
// tuning error, with one message: it neither tunes on an old sample nor
// runs its passes on samples it cannot read.
TEST_F(ToolWriteFailureTest, GradientTuningStopsAtOnceAtAnOutputItCannotWrite)
{
    if (!full_disk_available()) GTEST_SKIP() << "no /dev/full to stand for a full disk";
    const Case cases[] = {
        {"junk.epd", DIRECTORY, "can't open output file junk.epd"},
        {"junk.epd", DANGLING_LINK, "can't open output file junk.epd"},
        {"junk.epd", FULL_DISK, "could not write junk.epd"},
        {"tune.log", FULL_DISK, "could not write tune.log"},
    };
    const std::string old_log = "an earlier run's log\n";
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message + std::string(" ") + std::to_string(c.how));
        const std::string here = case_dir(n++);
        block(here, c.output, c.how);
        const bool sample = std::strcmp(c.output, "junk.epd") == 0;
        if (sample) write_file(here + "/tune.log", old_log);
        const std::vector<std::string> lines = fail({"-tune", "train.epd"}, here);
        EXPECT_EQ(std::count(lines.begin(), lines.end(), c.message), 1);
        EXPECT_EQ(lines.empty() ? "" : lines.back(), c.message);
        for (const std::string& line : lines) EXPECT_NE(line.rfind("err=", 0), 0u) << line;
        if (sample) {
            // The first sample is drawn before the log is opened.
            EXPECT_EQ(lines.size(), 1u);
            EXPECT_EQ(read_file(here + "/tune.log"), old_log);
        }
        EXPECT_EQ(read_file(here + "/train.epd"), training_text());
    }
}

// Permission bits stop every user but root.
TEST_F(ToolWriteFailureTest, ReadOnlyOutputsFailTheRun)
{
    if (geteuid() == 0) GTEST_SKIP() << "root writes read-only files and folders";
    // "-mktune" in a read-only folder.
    const std::string folder = case_dir(0);
    ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
    EXPECT_EQ(fail({"-mktune", "train.epd"}, folder), std::vector<std::string>{"can't open output file tune_new.epd"});
    chmod(folder.c_str(), 0755);
    EXPECT_FALSE(std::filesystem::exists(folder + "/tune_new.epd"));
    // "-tune" with a read-only sample of an earlier run.
    const std::string here = case_dir(1);
    const std::string old_sample = "4k3/8/8/8/8/8/8/4K3 w - - ce 0; c9 \"1/2-1/2\";\n";
    write_file(here + "/junk.epd", old_sample);
    ASSERT_EQ(chmod((here + "/junk.epd").c_str(), 0444), 0);
    EXPECT_EQ(fail({"-tune", "train.epd"}, here), std::vector<std::string>{"can't open output file junk.epd"});
    EXPECT_EQ(read_file(here + "/junk.epd"), old_sample);
    EXPECT_FALSE(std::filesystem::exists(here + "/tune.log"));
}

// The running score follows a game the file holds whole: a game that
// cannot be written is not counted, and the failure is the last line.
TEST_F(ToolWriteFailureTest, MatchOnAFullDiskCountsNoGameItCouldNotWrite)
{
    if (!full_disk_available()) GTEST_SKIP() << "no /dev/full to stand for a full disk";
    const std::string here = case_dir(0);
    write_file(here + "/test1.rc", "pawn_value 100, 120\n");
    block(here, "games.pgn", FULL_DISK);
    EngineProcess process;
    const std::vector<std::string> lines =
        lines_of(run_to_end(process, {"-d", "1", "-match", "games.pgn"}, here, 1, 120000));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "could not write games.pgn"), 1);
    EXPECT_EQ(lines.empty() ? "" : lines.back(), "could not write games.pgn");
    for (const std::string& line : lines) EXPECT_EQ(line.find(" games, "), std::string::npos) << line;
}

// The open log takes every line the match sends; as its game file the two
// would come out interleaved. Refused before anything is written, under any
// name of the log.
TEST_F(ToolWriteFailureTest, MatchIntoTheOpenLogIsRefused)
{
    const char* const names[] = {"vant.log", "./vant.log", "games.pgn"};
    int n = 0;
    for (const char* name : names) {
        SCOPED_TRACE(name);
        const std::string here = case_dir(n++);
        const std::string settings = "pawn_value 100, 120\n";
        write_file(here + "/test1.rc", settings);
        if (std::strcmp(name, "games.pgn") == 0) std::filesystem::create_symlink("vant.log", here + "/games.pgn");
        EngineProcess process;
        ASSERT_TRUE(process.start({"-d", "1", "-match", name}, here));
        process.send("quit");
        EXPECT_EQ(process.finish(120000), 1);
        const std::string message = std::string("game file ") + name + " is the log file vant.log";
        EXPECT_EQ(process.lines, std::vector<std::string>{message});
        EXPECT_EQ(read_file(here + "/vant.log"), message + "\n");
        EXPECT_EQ(read_file(here + "/test1.rc"), settings);
    }
}

}  // namespace
