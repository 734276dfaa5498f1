// The configuration file reader: value keys, path keys, piece-square blocks
// and the handling of incomplete or malformed files.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "config.h"
#include "params.h"
#include "records.h"

namespace {

struct ConfigTest : ::testing::Test {
    // Unique per process: CTest runs tests side by side.
    std::string path = ::testing::TempDir() + "vant_config_" + std::to_string(getpid()) + ".rc";
    ParamRecord rec{};

    void SetUp() override
    {
        write_default_params(rec);
        engine_config.builtin_pst = 1;
        search_state.book_depth = 24;
        search_state.book_variety = 30;
        search_state.probe_depths[0] = 1;
        search_state.probe_depths[1] = 2;
        search_state.tb_path[0] = 0;
        std::snprintf(engine_config.book_file, sizeof engine_config.book_file, "vant.opn");
    }
    void TearDown() override
    {
        std::remove(path.c_str());
        engine_config.builtin_pst = 1;
        search_state.tb_path[0] = 0;
        std::snprintf(engine_config.book_file, sizeof engine_config.book_file, "vant.opn");
    }
    void write(const std::string& text)
    {
        std::FILE* f = std::fopen(path.c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs(text.c_str(), f);
        std::fclose(f);
    }
    int read(std::string* output = nullptr)
    {
        ::testing::internal::CaptureStdout();
        int result = read_config_file(path.c_str(), rec);
        std::string out = ::testing::internal::GetCapturedStdout();
        if (output) *output = out;
        return result;
    }
};

// Twelve complete blocks: block (type, phase) holds 100 * type + 10 * phase
// plus the square's file.
std::string all_blocks(const std::string& skip = "")
{
    static const char* names[] = {"pawn", "knight", "bishop", "rook", "queen", "king"};
    std::string text;
    for (int type = 1; type <= 6; type++) {
        for (int phase = 0; phase < 2; phase++) {
            std::string key = std::string("PST_") + names[type - 1] + (phase ? "_en" : "_op");
            if (key == skip) continue;
            text += key + "\n";
            for (int rank = 0; rank < 8; rank++) {
                for (int f = 0; f < 8; f++) text += std::to_string(100 * type + 10 * phase + f) + " ";
                text += "\n";
            }
        }
    }
    return text;
}

TEST_F(ConfigTest, MissingFileChangesNothing)
{
    std::remove(path.c_str());
    ParamRecord before = rec;
    std::string out;
    EXPECT_EQ(read(&out), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(engine_config.builtin_pst, 1);
    EXPECT_EQ(std::memcmp(&before, &rec, sizeof rec), 0);
}

TEST_F(ConfigTest, PartialFileKeepsTheBuiltInShapesAndSaysSo)
{
    write("BookDepth = 10\n");
    std::string out;
    EXPECT_EQ(read(&out), 0);
    EXPECT_EQ(search_state.book_depth, 10);
    EXPECT_NE(out.find("loaded parameters from " + path + "\n"), std::string::npos);
    EXPECT_NE(out.find("file " + path + " contains invalid PST\n"), std::string::npos);
    EXPECT_EQ(engine_config.builtin_pst, 1);
}

TEST_F(ConfigTest, CompleteFileSetsValuesBlocksAndPaths)
{
    write("# a comment\n"
          "\n"
          "pawn_value 95,120\n"
          "knight_value=300\n"
          "contempt = 12 99\n"
          "passed_pawn_rank5 40\n"
          "BookVariety 7\n"
          "BookDepth 300\n"
          "SyzygyProbeDepth5 0\n"
          "SyzygyProbeDepth6 250\n"
          "SyzygyPath = \"/tmp/tables:/opt/tb\"\n"
          "VantBook = my.opn\n"
          " # not a comment, key '#'\n"
          "no_such_key 5\n" +
          all_blocks());
    std::string out;
    EXPECT_EQ(read(&out), 1);
    EXPECT_EQ(out.find("invalid PST"), std::string::npos);
    EXPECT_EQ(engine_config.builtin_pst, 0);
    EXPECT_EQ(rec.pawn_value[0], 95);
    EXPECT_EQ(rec.pawn_value[1], 120);
    EXPECT_EQ(rec.knight_value[0], 300);
    EXPECT_EQ(rec.knight_value[1], 0);  // a missing second value reads 0
    EXPECT_EQ(rec.contempt, 12);
    EXPECT_EQ(rec.passed_pawn[4], 40);
    EXPECT_EQ(search_state.book_variety, 7);
    EXPECT_EQ(search_state.book_depth, 255);       // held within its 8-bit field
    EXPECT_EQ(search_state.probe_depths[0], 0);    // no range applied here
    EXPECT_EQ(search_state.probe_depths[1], 250);
    EXPECT_STREQ(search_state.tb_path, "/tmp/tables:/opt/tb");
    EXPECT_STREQ(engine_config.book_file, "my.opn");
    // Blocks: rank 8 first, files a to h.
    EXPECT_EQ(rec.pst[PAWN][0][0], 100);       // a1
    EXPECT_EQ(rec.pst[PAWN][63][0], 107);      // h8
    EXPECT_EQ(rec.pst[KING][60][1], 614);      // e8, endgame
    EXPECT_EQ(rec.pst[QUEEN][3][0], 503);      // d1
}

TEST_F(ConfigTest, BlockLinesAreTakenWhateverTheyHold)
{
    // A comment inside a block is a rank line whose words are not numbers;
    // a block cut short by the end of the file leaves its ranks unset.
    std::string text = all_blocks("PST_rook_en");
    text += "PST_rook_en\n# 1 2\n";
    for (int rank = 0; rank < 6; rank++) text += "1 2 3 4 5 6 7 8 9 10\n";
    write(text);
    std::string out;
    EXPECT_EQ(read(&out), 0);
    EXPECT_EQ(rec.pst[ROOK][56][1], 0);   // "#" reads 0
    EXPECT_EQ(rec.pst[ROOK][57][1], 1);
    EXPECT_EQ(rec.pst[ROOK][58][1], 2);
    EXPECT_EQ(rec.pst[ROOK][59][1], -1000);
    EXPECT_EQ(rec.pst[ROOK][48][1], 1);
    EXPECT_EQ(rec.pst[ROOK][55][1], 8);   // a ninth word is ignored
    EXPECT_EQ(rec.pst[ROOK][0][1], -1000);
    EXPECT_NE(out.find("file " + path + " contains invalid PST"), std::string::npos);
    EXPECT_EQ(engine_config.builtin_pst, 1);
}

// Paths are held whole up to the limit; a longer one is refused by line
// and the path in force stays.
TEST_F(ConfigTest, PathKeysWithoutValueOrTooLongAreSafe)
{
    const std::string longest(PATH_TEXT_LIMIT, 'x');
    write("SyzygyPath\nVantBook\n");
    read();
    EXPECT_STREQ(search_state.tb_path, "");
    EXPECT_STREQ(engine_config.book_file, "");
    write("SyzygyPath \"" + longest + "\"\nVantBook " + longest + "\n");
    std::string out;
    read(&out);
    EXPECT_EQ(search_state.tb_path, longest);
    EXPECT_EQ(engine_config.book_file, longest);
    EXPECT_EQ(out.find("info string"), std::string::npos) << out.substr(0, 200);
    write("# paths\nSyzygyPath " + longest + "y\nVantBook=" + longest + "z\n");
    read(&out);
    EXPECT_EQ(search_state.tb_path, longest);
    EXPECT_EQ(engine_config.book_file, longest);
    EXPECT_EQ(out.rfind("info string " + path + " line 2: SyzygyPath longer than 4096 characters, ignored\n"
                        "info string " + path + " line 3: VantBook longer than 4096 characters, ignored\n", 0),
              0u)
        << out.substr(0, 200);
}

// A value outside its field is held at the field's edge, with one line
// naming the key, rather than wrapping to the opposite sign; a byte-order
// mark before the first key does not hide it.
TEST_F(ConfigTest, OutOfRangeValuesAreClampedAndNamed)
{
    std::string blocks = all_blocks();
    blocks.replace(blocks.find("PST_knight_en\n") + 14, 7, "99999 -70000");  // a8 and b8
    write("\xEF\xBB\xBF"
          "pawn_value 99999, 40000\n"
          "rook_value 32767 -32768\n"
          "BookDepth 300\n"
          "BookVariety -99999\n"
          "tune 99999999999999999999\n" +
          blocks);
    std::string out;
    EXPECT_EQ(read(&out), 1);
    EXPECT_EQ(rec.pawn_value[0], 32767);
    EXPECT_EQ(rec.pawn_value[1], 32767);
    EXPECT_EQ(rec.rook_value[0], 32767);
    EXPECT_EQ(rec.rook_value[1], -32768);
    EXPECT_EQ(search_state.book_depth, 255);
    EXPECT_EQ(search_state.book_variety, -32768);
    EXPECT_EQ(rec.tune, 32767);
    EXPECT_EQ(rec.pst[KNIGHT][56][1], 32767);
    EXPECT_EQ(rec.pst[KNIGHT][57][1], -32768);
    EXPECT_EQ(rec.pst[KNIGHT][58][1], 212);
    const std::string at = "info string " + path + " line ";
    EXPECT_EQ(out, at + "1: pawn_value outside -32768..32767, clamped\n" +
                       at + "3: BookDepth outside 0..255, clamped\n" +
                       at + "4: BookVariety outside -32768..32767, clamped\n" +
                       at + "5: tune outside -32768..32767, clamped\n" +
                       at + "34: PST_knight_en outside -32768..32767, clamped\n" +
                       "loaded parameters from " + path + "\n");
}

// A quoted path keeps its blanks, "=" and ",", as Windows directories hold
// them; an unquoted one is still one word.
TEST_F(ConfigTest, QuotedPathsKeepTheirBlanks)
{
    write("SyzygyPath = \"C:\\Program Files\\Chess\\syzygy;D:\\tb, 6-men \" # tables\n"
          "VantBook=\"my books/a=b.opn\"\n");
    read();
    EXPECT_STREQ(search_state.tb_path, "C:\\Program Files\\Chess\\syzygy;D:\\tb, 6-men");
    EXPECT_STREQ(engine_config.book_file, "my books/a=b.opn");
    write("SyzygyPath\"/opt/syzygy tables\nVantBook my book.opn\n");
    read();
    EXPECT_STREQ(search_state.tb_path, "/opt/syzygy tables");  // no closing quote: to the line end
    EXPECT_STREQ(engine_config.book_file, "my");
}

TEST_F(ConfigTest, MalformedLinesAreHarmless)
{
    std::string junk = "pawn_value abc def\nknight_value 12abc\n=,=,=\n,,,\r\n" + std::string(600, 'k') +
                       " 5\nbishop_value\n\x01\x02\x03\n";
    write(junk + all_blocks());
    EXPECT_EQ(read(), 1);
    EXPECT_EQ(rec.pawn_value[0], 0);
    EXPECT_EQ(rec.knight_value[0], 12);
    EXPECT_EQ(rec.bishop_value[0], 0);
    EXPECT_EQ(rec.bishop_value[1], 0);
}

TEST_F(ConfigTest, WindowsLineEndsReadTheSame)
{
    std::string text = "rook_value 500 600\r\n" + all_blocks();
    std::string crlf;
    for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    write(crlf);
    EXPECT_EQ(read(), 1);
    EXPECT_EQ(rec.rook_value[1], 600);
    EXPECT_EQ(rec.pst[KING][63][1], 617);
}

}  // namespace
