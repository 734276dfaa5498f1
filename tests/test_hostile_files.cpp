// Files that are not what their names promise: an empty (half-copied) table
// file, FIFOs where the configuration, the book or a table is expected, and
// a device named as the book. None of them may end the engine, hold up its
// start or a search, or keep it reading for ever.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine_process.h"
#include "pipe_moves.h"
#include "tablebase/tablebase.h"
#include "tb_test_support.h"

namespace {

// A directory whose table files are links to the test tables.
std::string linked_table_dir(const char* tag)
{
    const std::string dir = make_temp_dir(tag);
    EXPECT_TRUE(test_tables_present());
    if (!std::filesystem::is_directory(test_table_dir())) return dir;
    for (const auto& file : std::filesystem::directory_iterator(test_table_dir()))
        std::filesystem::create_symlink(std::filesystem::absolute(file.path()), dir + "/" + file.path().filename().string());
    return dir;
}

void replace_with_empty_file(const std::string& path)
{
    std::filesystem::remove(path);
    std::ofstream(path, std::ios::binary);
}

void replace_with_fifo(const std::string& path)
{
    std::filesystem::remove(path);
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0) << path;
}

struct HostileFileTest : ::testing::Test {
    static void SetUpTestSuite()
    {
        init_board_tables();
        if (!game_record) setup_game_record();
        scan_quietly("");
    }
    static void TearDownTestSuite() { scan_quietly(""); }
};

// An empty file cannot be mapped: the probe of its material fails with the
// mapping message, again on the next probe, and every other table answers.
TEST_F(HostileFileTest, EmptyTableFileIsReportedAndTreatedAsAbsent)
{
    struct Case {
        const char* file;
        const char* fen;        // a position of that material
        bool wdl_works;         // only the distance file is damaged
        const char* other_fen;  // a table that must still answer both probes
    };
    const Case cases[] = {
        {"KQvK.rtbw", "8/8/8/8/8/8/1Q6/K6k w - -", false, "8/8/8/8/8/8/1R6/K6k w - -"},
        {"KRvK.rtbz", "8/8/8/8/8/8/1R6/K6k w - -", true, "8/8/8/8/8/8/1Q6/K6k w - -"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string dir = linked_table_dir("empty");
        replace_with_empty_file(dir + "/" + c.file);
        EXPECT_EQ(scan_quietly(dir), "info string found 35 tablebases\n");
        const std::string material = std::string(c.file).substr(0, 4);
        for (int round = 0; round < 2; round++) {
            int wdl_success = 0, dtz_success = 0;
            testing::internal::CaptureStderr();
            const int wdl = wdl_probe_position(fen_position(c.fen), &wdl_success);
            dtz_probe_position(fen_position(c.fen), &dtz_success);
            const std::string err = testing::internal::GetCapturedStderr();
            if (round == 0) {
                EXPECT_NE(err.find("Could not mmap() " + material + ".\n"), std::string::npos) << err;
            }
            EXPECT_EQ(err.find("Could not find"), std::string::npos) << err;
            EXPECT_EQ(wdl_success != 0, c.wdl_works);
            if (c.wdl_works) {
                EXPECT_EQ(wdl, 2);
            }
            EXPECT_EQ(dtz_success, 0);

            EXPECT_EQ(wdl_probe_position(fen_position(c.other_fen), &wdl_success), 2);
            EXPECT_NE(wdl_success, 0);
            EXPECT_GT(dtz_probe_position(fen_position(c.other_fen), &dtz_success), 0);
            EXPECT_NE(dtz_success, 0);
        }
        scan_quietly("");
        std::filesystem::remove_all(dir);
    }
}

// The real engine on a tablebase path with an empty and a FIFO table of
// each kind: the scan finishes, every search of those materials answers
// with a legal move, and the process lives on.
TEST_F(HostileFileTest, EngineSearchesOnWithBadTableFiles)
{
    const std::string tables = linked_table_dir("engine");
    replace_with_empty_file(tables + "/KQvK.rtbw");
    replace_with_empty_file(tables + "/KRvK.rtbz");
    replace_with_fifo(tables + "/KNvK.rtbw");  // not registered
    replace_with_fifo(tables + "/KBvK.rtbz");
    EngineProcess engine;
    ASSERT_TRUE(engine.start({"-nolog", "-hash", "4"}, fresh_test_dir("vant_hostile")));
    engine.send("setoption name SyzygyPath value " + tables);
    engine.send("isready");
    EXPECT_EQ(engine.wait_for("info string found"), "info string found 34 tablebases");
    EXPECT_EQ(engine.wait_for("readyok"), "readyok");
    for (const char* fen : {"8/8/8/8/8/8/1Q6/K6k w - - 0 1", "8/8/8/8/8/8/1R6/K6k w - - 0 1",
                            "8/8/8/8/8/8/1N6/K6k w - - 0 1", "8/8/8/8/8/8/1B6/K6k w - - 0 1"}) {
        SCOPED_TRACE(fen);
        engine.send(std::string("position fen ") + fen);
        engine.send("go depth 8");
        const std::vector<std::string> words = words_of(engine.wait_for("bestmove"));
        ASSERT_GE(words.size(), 2u);
        EXPECT_TRUE(play_from(fen, {words[1]})) << words[1];
    }
    engine.send("isready");
    EXPECT_EQ(engine.wait_for("readyok"), "readyok");
    engine.send("quit");
    EXPECT_EQ(engine.finish(), 0);
    int reported = 0;
    for (const std::string& line : engine.lines)
        reported += line == "Could not mmap() KQvK." || line == "Could not mmap() KRvK.";
    EXPECT_GE(reported, 2);
    std::filesystem::remove_all(tables);
}

// Start-up beside a FIFO or with a device as the book: the engine starts,
// says what it ignored, answers and searches.
TEST_F(HostileFileTest, HostileStartFilesAreIgnored)
{
    struct Case {
        const char* what;
        const char* fifo;       // a FIFO of this name in the working directory
        const char* rc_text;    // or this "vant.rc"
        const char* reported;   // the line that names the file
    };
    const Case cases[] = {
        {"FIFO vant.rc", "vant.rc", nullptr, "vant.rc is not a regular file, ignored"},
        {"FIFO book", "vant.opn", nullptr, "book vant.opn is not a regular file, ignored"},
        {"endless book", nullptr, "VantBook /dev/zero\n", "book /dev/zero is not a regular file, ignored"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string dir = fresh_test_dir("vant_hostile");
        if (c.fifo) replace_with_fifo(dir + "/" + c.fifo);
        if (c.rc_text) std::ofstream(dir + "/vant.rc") << c.rc_text;
        EngineProcess engine;
        ASSERT_TRUE(engine.start({"-nolog", "-hash", "4"}, dir));
        engine.send("uci");
        EXPECT_EQ(engine.wait_for("uciok"), "uciok");
        engine.send("isready");
        EXPECT_EQ(engine.wait_for("readyok"), "readyok");
        engine.send("position startpos moves e2e4");
        engine.send("go depth 5");
        const std::vector<std::string> words = words_of(engine.wait_for("bestmove"));
        ASSERT_GE(words.size(), 2u);
        EXPECT_TRUE(play_from(START_FEN, {"e2e4", words[1]})) << words[1];
        engine.send("quit");
        EXPECT_EQ(engine.finish(), 0);
        bool reported = false;
        for (const std::string& line : engine.lines) reported |= line == c.reported;
        EXPECT_TRUE(reported) << c.reported;
    }
}

}  // namespace
