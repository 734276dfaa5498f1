// What the user wrote is read whole or refused aloud: long tablebase path
// lists and paths with blanks, long "vant.rc" lines and values outside their
// fields, byte-order marks, tool inputs that are devices or directories, NUL
// bytes and unplayable positions in EPD files, unknown scan modes, and
// "quit" during a long read. Each runs the real binary.
#include <chrono>

#include "config.h"
#include "engine_process.h"
#include "pipe_moves.h"
#include "tb_test_support.h"
#include "tool_fixture.h"

namespace {

struct WholeFilesTest : ToolTest {
    // Runs the binary to its end; returns what it printed, with the time it took in *seconds.
    std::string run(const std::vector<std::string>& args, int expected_code, double* seconds = nullptr,
                    const char* input = nullptr)
    {
        EngineProcess engine;
        const auto start = std::chrono::steady_clock::now();
        std::string out = run_to_end(engine, args, dir, expected_code, 60000, input);
        if (seconds) *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return out;
    }
};

// The test tables spread over three directories whose joined list is 300
// characters long: the list is held whole, from "vant.rc" and from the
// option, and every table is found; so is a list of 4,096 characters.
TEST_F(WholeFilesTest, LongTablePathListFindsEveryTable)
{
    ASSERT_TRUE(test_tables_present());
    const std::string base = make_temp_dir("list");
    std::vector<std::string> dirs;
    std::string list;
    for (int i = 0; i < 3; i++) {
        const size_t length = i == 0 ? 100 : 99;
        dirs.push_back(base + "/" + std::string(length - base.size() - 1, char('a' + i)));
        std::filesystem::create_directories(dirs.back());
        list += (i ? ":" : "") + dirs.back();
    }
    ASSERT_EQ(list.size(), 300u);
    int table = 0;
    for (const auto& file : std::filesystem::directory_iterator(test_table_dir())) {
        if (file.path().extension() != ".rtbw") continue;
        const std::string& target = dirs[size_t(table++ % 3)];
        for (const char* suffix : {".rtbw", ".rtbz"}) {
            std::filesystem::path source = file.path();
            source.replace_extension(suffix);
            std::filesystem::create_symlink(std::filesystem::absolute(source),
                                            target + "/" + source.filename().string());
        }
    }
    ASSERT_EQ(table, 35);

    write_file(dir + "/vant.rc", "SyzygyPath = \"" + list + "\"\n");
    EngineProcess engine;
    ASSERT_TRUE(engine.start({"-nolog", "-hash", "4"}, dir));
    EXPECT_EQ(engine.wait_for("info string found"), "info string found 35 tablebases");
    engine.send("setoption name SyzygyPath value " + list);
    EXPECT_EQ(engine.wait_for("info string SyzygyPath"), "info string SyzygyPath set to '" + list + "'");
    EXPECT_EQ(engine.wait_for("info string found"), "info string found 35 tablebases");
    // Empty pieces of the list name no directory: the longest list held, and
    // one character more refused.
    const std::string longest = list + std::string(PATH_TEXT_LIMIT - list.size(), ':');
    engine.send("setoption name SyzygyPath value " + longest);
    EXPECT_EQ(engine.wait_for("info string SyzygyPath"), "info string SyzygyPath set to '" + longest + "'");
    EXPECT_EQ(engine.wait_for("info string found"), "info string found 35 tablebases");
    engine.send("setoption name SyzygyPath value " + longest + ":");
    EXPECT_EQ(engine.wait_for("info string SyzygyPath"), "info string SyzygyPath longer than 4096 characters, ignored");
    engine.send("quit");
    EXPECT_EQ(engine.finish(), 0);
    std::filesystem::remove_all(base);
}

// Windows users keep tables under paths with blanks and their editors start
// a file with a byte-order mark: a quoted "vant.rc" path and the option's
// whole value keep the blanks, and the first key of the marked file is
// read, its value outside the 16-bit field clamped and named.
TEST_F(WholeFilesTest, TablePathWithBlanksAndAMarkedConfigFile)
{
    ASSERT_TRUE(test_tables_present());
    const std::string base = make_temp_dir("blank");
    const std::string tables = base + "/Program Files/syzygy 3-4";
    std::filesystem::create_directories(base + "/Program Files");
    std::filesystem::create_directory_symlink(std::filesystem::absolute(test_table_dir()), tables);
    write_file(dir + "/vant.rc", std::string("\xEF\xBB\xBF") + "pawn_value 99999, -40000\n" +
                                     "SyzygyPath = \"" + tables + "\"\n");
    EngineProcess engine;
    ASSERT_TRUE(engine.start({"-nolog", "-hash", "4", "-c"}, dir));
    EXPECT_EQ(engine.wait_for("info string vant.rc"),
              "info string vant.rc line 1: pawn_value outside -32768..32767, clamped");
    EXPECT_EQ(engine.wait_for("info string found"), "info string found 35 tablebases");
    engine.send("sp");
    const std::vector<std::string> values = words_of(engine.wait_for("piece values="));
    ASSERT_EQ(values.size(), 7u);
    EXPECT_EQ(values[2], "32767/-32768");
    engine.send("uci");
    engine.send("setoption name SyzygyPath value " + tables + "  ");
    EXPECT_EQ(engine.wait_for("info string SyzygyPath"), "info string SyzygyPath set to '" + tables + "'");
    EXPECT_EQ(engine.wait_for("info string found"), "info string found 35 tablebases");
    engine.send("quit");
    EXPECT_EQ(engine.finish(), 0);
    int notices = 0;
    for (const std::string& line : engine.lines) notices += line.find("outside") != std::string::npos;
    EXPECT_EQ(notices, 1);
    std::filesystem::remove_all(base);
}

// The tools' text files with a byte-order mark: the first PGN tag and the
// first EPD position count.
TEST_F(WholeFilesTest, ToolFilesWithAByteOrderMark)
{
    const std::string mark = "\xEF\xBB\xBF";
    write_file(dir + "/suite.epd", mark + "6k1/5ppp/8/8/8/8/8/R5K1 w - - bm Ra8#;\n"
                                          "3rk3/8/8/8/8/8/8/Q3K3 w - - am Qa8;\n");
    std::string out = run({"-quiet", "-d", "2", "-anepd", "suite.epd"}, 0);
    EXPECT_NE(out.find("\n2 / 2 correct best moves\n"), std::string::npos) << out;
    const std::vector<std::string> moves = scripted_game(40, 2);
    write_file(dir + "/games.pgn",
               mark + pgn_game_text("e", "0-1", moves, std::vector<std::string>(moves.size(), "{-0.12/9} ")));
    out = run({"-scan_pgn2", "games.pgn"}, 0);
    EXPECT_EQ(out.rfind("games= 1, positions= ", 0), 0u) << out;
    EXPECT_NE(read_file(dir + "/tmp.epd").find("c9 \"0-1\";"), std::string::npos);
    // The console's "load" reads the file twice (finding the game, then
    // playing it): both passes start after the mark. "save" writes back the
    // game it played.
    out = run({"-c"}, 0, nullptr, "load games.pgn\nsave\nquit\n");
    EXPECT_EQ(out.find("can't parse"), std::string::npos) << out;
    const std::string saved = read_file(dir + "/tmp.pgn");
    const size_t moves_start = saved.find("]\n");
    ASSERT_NE(moves_start, std::string::npos) << saved;
    EXPECT_EQ(words_of(saved.substr(moves_start + 2)).size(), 40u) << saved;
}

// A PGN scan mode other than 1 to 4 stops the engine instead of starting it
// on the pipe.
TEST_F(WholeFilesTest, UnknownScanModeIsRefused)
{
    for (const char* flag : {"-scan_pgn9", "-scan_pgn", "-scan_pgn12"}) {
        EXPECT_EQ(run({flag, "games.pgn"}, 1),
                  std::string("switch ") + flag + ": unknown PGN scan mode, use -scan_pgn1 to -scan_pgn4\n");
    }
}

// An overlong comment sets nothing, whatever it ends with; an overlong value
// line is skipped whole and named by its line number; the lines after both
// are read.
TEST_F(WholeFilesTest, OverlongConfigLinesSetNothing)
{
    write_file(dir + "/vant.rc", "# " + std::string(252 + CONFIG_LINE_LIMIT, 'x') + "queen_value 0 0\n" +
                                     "# " + std::string(252, 'x') + "queen_value 0 0\n" +
                                     "rook_value 7 7 " + std::string(CONFIG_LINE_LIMIT, ' ') + "\n" +
                                     "knight_value 321 322\n");
    EngineProcess engine;
    ASSERT_TRUE(engine.start({"-nolog", "-hash", "4", "-c"}, dir));
    engine.send("sp");
    const std::vector<std::string> values = words_of(engine.wait_for("piece values="));
    engine.send("quit");
    EXPECT_EQ(engine.finish(), 0);
    ASSERT_EQ(values.size(), 7u);  // "piece values=" and pawn to queen
    EXPECT_EQ(values[3], "321/322");
    EXPECT_NE(values[5], "7/7");
    EXPECT_NE(values[6], "0/0");
    int reported = 0;
    for (const std::string& line : engine.lines) {
        reported += line == "info string vant.rc line 3 is longer than 8192 characters, skipped";
        EXPECT_EQ(line.find("line 1 "), std::string::npos) << line;
    }
    EXPECT_EQ(reported, 1);
}

// A device or a directory as a tool's input is refused at once with exit
// code 1; so is a match whose PGN file is a directory. The console's "load"
// refuses a device and goes on.
TEST_F(WholeFilesTest, ToolsRefuseFilesThatAreNotRegular)
{
    std::filesystem::create_directories(dir + "/folder");
    struct Case {
        std::vector<std::string> args;
        const char* message;
    };
    const Case cases[] = {
        {{"-anepd", "/dev/zero"}, "EPD file /dev/zero is not a regular file"},
        {{"-anepd", "folder"}, "EPD file folder is not a regular file"},
        {{"-scan_pgn1", "/dev/zero"}, "PGN file /dev/zero is not a regular file"},
        {{"-scan_pgn2", "/dev/urandom"}, "PGN file /dev/urandom is not a regular file"},
        {{"-scan_pgn3", "/dev/zero"}, "PGN file /dev/zero is not a regular file"},
        {{"-scan_pgn4", "/dev/zero"}, "PGN file /dev/zero is not a regular file"},
        {{"-mktune", "/dev/zero"}, "training file /dev/zero is not a regular file"},
        {{"-tune", "/dev/zero"}, "training file /dev/zero is not a regular file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args[1]);
        double seconds = 0;
        EXPECT_EQ(run(c.args, 1, &seconds), std::string(c.message) + "\n");
        EXPECT_LT(seconds, HANG_SECONDS);  // refused, not read for ever
    }
    write_file(dir + "/test1.rc", "knight_value 300 300\n");
    EXPECT_NE(run({"-match", "folder"}, 1).find("can't open folder\n"), std::string::npos);
    std::filesystem::remove(dir + "/test1.rc");
    std::filesystem::create_directories(dir + "/test1.rc");
    EXPECT_EQ(run({"-match", "games.pgn"}, 1), "test1.rc is not a regular file\nCan't open file test1.rc\n\n");

    const std::string out = run({"-c", "-hash", "4"}, 0, nullptr, "load /dev/zero\nquit");
    EXPECT_NE(out.find("loading /dev/zero, tag \n\nPGN file /dev/zero is not a regular file\n"), std::string::npos)
        << out;
}

// Line ends are judged by the bytes read: a NUL byte does not join two EPD
// lines, and a refused position is echoed in printable characters only.
TEST_F(WholeFilesTest, EpdLinesAreReadByTheirBytes)
{
    write_file(dir + "/suite.epd", std::string("4k3/8/8/8/8/8/8/4K2R w K - bm O-O; id \"a") + '\0' + "b\";\n" +
                                       "4k3/8/8/8/8/8/8/R3K3 w Q - bm Kd2; id \"c\";\n"
                                       "8/8/8/8/8/8/8/4K\x01\x80R w - - bm Kd2;\n");
    const std::string out = run({"-quiet", "-d", "1", "-anepd", "suite.epd"}, 0);
    EXPECT_NE(out.find("skipping invalid position 8/8/8/8/8/8/8/4K??R w - - (each side needs exactly one king)\n"), std::string::npos) << out;
    EXPECT_NE(out.find(" / 2 correct best moves\n"), std::string::npos) << out;
    int unprintable = 0;
    for (char c : out) unprintable += c != '\n' && (c < ' ' || c > '~');
    EXPECT_EQ(unprintable, 0) << out;
}

// "quit" on standard input ends a long PGN scan while it reads.
TEST_F(WholeFilesTest, QuitEndsALongScan)
{
    const std::vector<std::string> moves = scripted_game(40, 2);
    const std::string game = pgn_game_text("e", "1-0", moves, std::vector<std::string>(moves.size(), "{+0.12/9} "));
    std::string pgn;
    for (int i = 0; i < 4000; i++) pgn += game;
    write_file(dir + "/games.pgn", pgn);
    const std::string out = run({"-scan_pgn3", "games.pgn"}, 0, nullptr, "quit");
    const size_t at = out.find("games= ");
    ASSERT_NE(at, std::string::npos) << out;
    EXPECT_LT(std::stoi(out.substr(at + 7)), 4000) << out;
}

}  // namespace
