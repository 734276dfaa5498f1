// Damaged table files: truncated and byte-flipped copies of real tables,
// made in a temporary directory. A damaged file never crashes the engine or
// reads outside its data (the files are read into exact-size heap buffers
// here, so the sanitizer build catches any read past the end); a bad header
// is reported as "Corrupted table." and the table treated as absent.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tablebase/tablebase.h"
#include "tablebase/tb_map.h"
#include "tb_test_support.h"

namespace {

struct TbDamagedTest : ::testing::Test {
    static void SetUpTestSuite()
    {
        init_board_tables();
        scan_quietly("");
        tb_map_into_heap = true;
        dir = make_temp_dir("damaged");
        if (!std::filesystem::is_directory(test_table_dir())) return;
        for (const auto& file : std::filesystem::directory_iterator(test_table_dir()))
            copy_test_table(dir, file.path().filename().c_str());
    }
    void SetUp() override { ASSERT_TRUE(test_tables_present()); }
    static void TearDownTestSuite()
    {
        scan_quietly("");
        tb_map_into_heap = false;
        std::filesystem::remove_all(dir);
    }
    static std::string dir;
};
std::string TbDamagedTest::dir;

struct ProbeOutcome {
    int table_failures = 0;  // the stored WDL value could not be read
    int wdl_failures = 0;
    int dtz_failures = 0;
};

// Probes positions of the material with every entry point; values must stay
// in their ranges whatever the file holds.
ProbeOutcome probe_material(const char* material, int count)
{
    ProbeOutcome out;
    u32 seed = 12345;
    for (int i = 0; i < count; i++) {
        const TbPosition pos = random_position(material, seed);
        int success = 0;
        wdl_table_value(pos, &success);
        out.table_failures += success == 0;
        const int wdl = wdl_probe_position(pos, &success);
        if (success) {
            EXPECT_GE(wdl, -2);
            EXPECT_LE(wdl, 2);
        } else {
            out.wdl_failures++;
        }
        const int dtz = dtz_probe_position(pos, &success);
        if (success) {
            EXPECT_GE(dtz, -1200);
            EXPECT_LE(dtz, 1200);
        } else {
            out.dtz_failures++;
        }
        if (i < 3) {
            u32 code, distance;
            Move move;
            const i32 r = probe_root_moves_dtz(engine_position(pos), &code, &distance, &move);
            EXPECT_GE(r, TB_CODE_NONE);
            EXPECT_LE(r, 4);
        }
    }
    return out;
}

void check_damaged_copies(const std::string& dir, const char* material, const char* suffix)
{
    SCOPED_TRACE(std::string(material) + suffix);
    const std::string file = dir + "/" + material + suffix;
    const std::vector<u8> original = read_whole_file(file);
    ASSERT_GT(original.size(), 64u);

    // The intact table answers every probe.
    scan_quietly(dir);
    ProbeOutcome intact = probe_material(material, 12);
    EXPECT_EQ(intact.table_failures, 0);
    EXPECT_EQ(intact.wdl_failures, 0);
    EXPECT_EQ(intact.dtz_failures, 0);

    // Truncated copies: the header or a section runs past the end.
    const size_t len = original.size();
    for (size_t cut : {size_t(1), size_t(3), size_t(5), size_t(6), size_t(9), size_t(16), size_t(40), len / 4,
                       len / 2, len - 64}) {
        SCOPED_TRACE("truncated to " + std::to_string(cut));
        write_whole_file(file, std::vector<u8>(original.begin(), original.begin() + long(cut)));
        scan_quietly(dir);
        testing::internal::CaptureStderr();
        ProbeOutcome damaged = probe_material(material, 12);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("Corrupted table.\n"), std::string::npos);
        if (std::string(suffix) == ".rtbw")
            EXPECT_EQ(damaged.table_failures, 12);
        else
            EXPECT_GT(damaged.dtz_failures, 0);
    }

    // Flipped bytes: every header byte, then a spread over the data.
    std::vector<size_t> offsets;
    for (size_t i = 0; i < 48 && i < len; i++) offsets.push_back(i);
    for (size_t i = 1; i < 24; i++) offsets.push_back(len * i / 24);
    for (size_t offset : offsets) {
        SCOPED_TRACE("byte " + std::to_string(offset) + " flipped");
        std::vector<u8> flipped = original;
        flipped[offset] ^= 0xFF;
        write_whole_file(file, flipped);
        scan_quietly(dir);
        testing::internal::CaptureStderr();
        probe_material(material, 6);
        testing::internal::GetCapturedStderr();
    }
    write_whole_file(file, original);
}

TEST_F(TbDamagedTest, PawnlessTables)
{
    check_damaged_copies(dir, "KQvKR", ".rtbw");
    check_damaged_copies(dir, "KQvKR", ".rtbz");
    check_damaged_copies(dir, "KBNvK", ".rtbw");
    check_damaged_copies(dir, "KBNvK", ".rtbz");
}

TEST_F(TbDamagedTest, PawnTables)
{
    check_damaged_copies(dir, "KRvKP", ".rtbw");
    check_damaged_copies(dir, "KRvKP", ".rtbz");
    check_damaged_copies(dir, "KPvKP", ".rtbw");
    check_damaged_copies(dir, "KPvKP", ".rtbz");
}

// A wrong magic word is the classic report; the run goes on and the other
// tables still answer.
TEST_F(TbDamagedTest, WrongMagicLeavesOtherTablesWorking)
{
    const std::string file = dir + "/KQvK.rtbw";
    const std::vector<u8> original = read_whole_file(file);
    std::vector<u8> bad = original;
    bad[0] ^= 1;
    write_whole_file(file, bad);
    scan_quietly(dir);
    int success = 1;
    testing::internal::CaptureStderr();
    wdl_probe_position(fen_position("8/8/8/8/8/8/1Q6/K6k w - -"), &success);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Corrupted table.\n");
    EXPECT_EQ(success, 0);
    EXPECT_EQ(wdl_probe_position(fen_position("8/8/8/8/8/8/1R6/K6k w - -"), &success), 2);
    EXPECT_NE(success, 0);
    write_whole_file(file, original);
}

} // namespace
