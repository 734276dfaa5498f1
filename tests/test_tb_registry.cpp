// Table discovery and the registry: the name list, the limits of the
// registry, the hash of material keys, path handling and the deliberate
// process exits of a full registry and a failed mapping.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "tablebase/tablebase.h"
#include "tablebase/tb_map.h"
#include "tb_test_support.h"

namespace {

struct TbRegistryTest : ::testing::Test {
    static void SetUpTestSuite() { init_board_tables(); }
    void SetUp() override
    {
        GTEST_FLAG_SET(death_test_style, "fast");  // forked children skip SetUp and its directory
        dir = make_temp_dir("registry");
        ASSERT_FALSE(dir.empty());
    }
    void TearDown() override
    {
        scan_quietly("");
        std::filesystem::remove_all(dir);
    }
    std::string dir;
};

TbEntryHead* entry_of(const char* name)
{
    int counts[16];
    count_material_name(name, counts);
    TbHashSlot* slot = find_table_slot(material_key_from_counts(counts, 0));
    return slot ? slot->entry : nullptr;
}

int slots_pointing_to(const TbEntryHead* entry)
{
    int n = 0;
    for (auto& bucket : tb_key_hash)
        for (auto& slot : bucket) n += slot.entry == entry;
    return n;
}

TEST_F(TbRegistryTest, NameListHas510NamesInScanOrder)
{
    static char names[TB_NAME_COUNT][16];
    ASSERT_EQ(tablebase_name_list(names), 510);
    EXPECT_STREQ(names[0], "KQvK");
    EXPECT_STREQ(names[1], "KRvK");
    EXPECT_STREQ(names[4], "KPvK");
    EXPECT_STREQ(names[5], "KQvKQ");
    EXPECT_STREQ(names[6], "KQvKR");
    EXPECT_STREQ(names[509], "KPPPPvK");
    std::set<std::string> distinct;
    int pawnless = 0;
    for (auto& name : names) {
        distinct.insert(name);
        pawnless += std::strchr(name, 'P') == nullptr;
    }
    EXPECT_EQ(distinct.size(), 510u);
    EXPECT_EQ(pawnless, TBMAX_PIECE);
    EXPECT_EQ(510 - pawnless, TBMAX_PAWN);
}

// The registry limits are exactly tight: every name present fills both
// arrays and no hash bucket overflows.
TEST_F(TbRegistryTest, FiveHundredTenEmptyFilesAreAllRegistered)
{
    static char names[TB_NAME_COUNT][16];
    tablebase_name_list(names);
    for (auto& name : names) write_whole_file(dir + "/" + name + ".rtbw", {});
    EXPECT_EQ(scan_quietly(dir), "info string found 510 tablebases\n");
    EXPECT_EQ(tb_piece_entry_count, TBMAX_PIECE);
    EXPECT_EQ(tb_pawn_entry_count, TBMAX_PAWN);
    EXPECT_EQ(tb_largest_piece_count.load(), 6u);
}

TEST_F(TbRegistryTest, EmptyPathRegistersNothingAndPrintsNothing)
{
    ASSERT_TRUE(test_tables_present());
    EXPECT_EQ(scan_quietly(test_table_dir()), "info string found 35 tablebases\n");
    EXPECT_EQ(tb_largest_piece_count.load(), 4u);
    EXPECT_EQ(scan_quietly(""), "");
    EXPECT_EQ(tb_largest_piece_count.load(), 0u);
    EXPECT_EQ(tb_piece_entry_count + tb_pawn_entry_count, 0);
    EXPECT_EQ(entry_of("KQvK"), nullptr);
    scan_quietly(test_table_dir());
    EXPECT_EQ(scan_quietly("<empty>"), "");
    EXPECT_EQ(tb_largest_piece_count.load(), 0u);
    // Probing is off: no result.
    int success = 1;
    wdl_probe_position(fen_position("8/8/8/8/8/8/1Q6/K6k w - -"), &success);
    EXPECT_EQ(success, 0);
}

TEST_F(TbRegistryTest, EntriesKeysAndEncodings)
{
    for (const char* name : {"KQvKQ.rtbw", "KQvKR.rtbw", "KRvK.rtbw", "KRBvK.rtbw", "KRRvK.rtbw", "KQQvKQQ.rtbw",
                             "KRPvKR.rtbw", "KPvKPP.rtbw", "KPPvKP.rtbw", "KRvKP.rtbw"})
        write_whole_file(dir + "/" + name, {1});
    // KPvKPP is not a name the scan tries (the stronger side comes first).
    EXPECT_EQ(scan_quietly(dir), "info string found 9 tablebases\n");

    TbEntryHead* kqkq = entry_of("KQvKQ");
    ASSERT_NE(kqkq, nullptr);
    EXPECT_TRUE(kqkq->symmetric);
    EXPECT_EQ(slots_pointing_to(kqkq), 1);
    TbEntryHead* kqkr = entry_of("KQvKR");
    ASSERT_NE(kqkr, nullptr);
    EXPECT_FALSE(kqkr->symmetric);
    EXPECT_EQ(slots_pointing_to(kqkr), 2);
    EXPECT_EQ(entry_of("KRvKQ"), kqkr);  // the colour-swapped key leads to the same entry
    EXPECT_EQ(kqkr->piece_count, 4);

    auto encoding = [](const char* name) { return reinterpret_cast<TbPieceEntry*>(entry_of(name))->encoding; };
    EXPECT_EQ(encoding("KRvK"), 0);
    EXPECT_EQ(encoding("KRBvK"), 0);
    EXPECT_EQ(encoding("KRRvK"), 2);
    EXPECT_EQ(encoding("KQQvKQQ"), 2);

    auto pawns = [](const char* name) {
        TbEntryHead* e = entry_of(name);
        EXPECT_TRUE(e->has_pawns);
        const TbPawnEntry* p = reinterpret_cast<TbPawnEntry*>(e);
        return std::make_pair(int(p->pawn_counts[0]), int(p->pawn_counts[1]));
    };
    EXPECT_EQ(pawns("KRPvKR"), std::make_pair(1, 0));
    EXPECT_EQ(pawns("KPPvKP"), std::make_pair(1, 2));
    EXPECT_EQ(pawns("KRvKP"), std::make_pair(1, 0));
    EXPECT_EQ(tb_largest_piece_count.load(), 6u);
    scan_quietly("");
    register_table_name("KPvKPP");
    EXPECT_EQ(pawns("KPvKPP"), std::make_pair(1, 2));
}

// The first directory holding a file wins; a file only in a later
// directory is found there.
TEST_F(TbRegistryTest, FirstDirectoryWins)
{
    const std::string good = dir + "/good", bad = dir + "/bad", empty = dir + "/empty";
    std::filesystem::create_directories(good);
    std::filesystem::create_directories(bad);
    std::filesystem::create_directories(empty);
    copy_test_table(good, "KQvK.rtbw");
    write_whole_file(bad + "/KQvK.rtbw", std::vector<u8>(300, 0x55));
    const TbPosition pos = fen_position("8/8/8/8/8/8/1Q6/K6k w - -");
    int success = 0;

    EXPECT_EQ(scan_quietly(":" + empty + "::" + good + ":" + bad + ":"), "info string found 1 tablebases\n");
    EXPECT_EQ(wdl_probe_position(pos, &success), 2);
    EXPECT_NE(success, 0);

    EXPECT_EQ(scan_quietly(bad + ":" + good), "info string found 1 tablebases\n");
    testing::internal::CaptureStderr();
    wdl_probe_position(pos, &success);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Corrupted table.\n");
    EXPECT_EQ(success, 0);
}

// A table whose file went missing after the scan is reported once per key;
// the colour-swapped position reaches the table through its other slot.
TEST_F(TbRegistryTest, MissingFileIsReportedOncePerKey)
{
    write_whole_file(dir + "/KQvKR.rtbw", {1});
    scan_quietly(dir);
    std::filesystem::remove(dir + "/KQvKR.rtbw");
    int success = 1;
    testing::internal::CaptureStderr();
    wdl_table_value(fen_position("8/8/8/8/8/8/1Q5r/K6k w - -"), &success);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Could not find KQvKR.rtbw\n");
    EXPECT_EQ(success, 0);
    testing::internal::CaptureStderr();
    wdl_table_value(fen_position("8/8/8/8/8/8/1Q5r/K6k w - -"), &success);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(success, 0);
    testing::internal::CaptureStderr();
    wdl_table_value(fen_position("8/8/8/8/8/8/1q5R/k6K w - -"), &success);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Could not find KQvKR.rtbw\n");
}

// Paths of any length and number: directories too long for a table path
// are reported and skipped, the others still searched.
TEST_F(TbRegistryTest, LongPathsAreHandled)
{
    copy_test_table(dir, "KQvK.rtbw");
    std::string many;
    for (int i = 0; i < 2000; i++) many += "/nonexistent/directory/number/" + std::to_string(i) + ":";
    const std::string too_long = "/" + std::string(300, 'x');
    testing::internal::CaptureStderr();
    const std::string out = scan_quietly(many + too_long + ":" + dir);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(out, "info string found 1 tablebases\n");
    EXPECT_NE(err.find("Tablebase directory too long (301 characters, at most 242), skipped: /xxx"), std::string::npos);
    int success = 0;
    EXPECT_EQ(wdl_probe_position(fen_position("8/8/8/8/8/8/1Q6/K6k w - -"), &success), 2);
    EXPECT_NE(success, 0);
    // A directory of exactly the longest length that fits still works.
    const std::string deep = dir + "/" + std::string(242 - dir.size() - 1, 'd');
    ASSERT_EQ(deep.size(), 242u);
    std::filesystem::create_directories(deep);
    copy_test_table(deep, "KQvK.rtbw");
    EXPECT_EQ(scan_quietly(deep), "info string found 1 tablebases\n");
}

using TbRegistryDeathTest = TbRegistryTest;

TEST_F(TbRegistryDeathTest, FullPawnlessRegistryExits)
{
    EXPECT_EXIT(
        {
            scan_quietly("");
            static char names[TB_NAME_COUNT][16];
            tablebase_name_list(names);
            for (auto& name : names)
                if (!std::strchr(name, 'P')) register_table_name(name);
            register_table_name("KQvK");
        },
        testing::ExitedWithCode(1), "^TBMAX_PIECE limit too low!\n$");
}

TEST_F(TbRegistryDeathTest, FullPawnRegistryExits)
{
    EXPECT_EXIT(
        {
            scan_quietly("");
            static char names[TB_NAME_COUNT][16];
            tablebase_name_list(names);
            for (auto& name : names)
                if (std::strchr(name, 'P')) register_table_name(name);
            register_table_name("KPvK");
        },
        testing::ExitedWithCode(1), "^TBMAX_PAWN limit too low!\n$");
}

TEST_F(TbRegistryDeathTest, FullHashBucketExits)
{
    EXPECT_EXIT(
        {
            scan_quietly("");
            for (int i = 0; i < 6; i++) register_table_name("KQvKQ");
        },
        testing::ExitedWithCode(1), "^HSHMAX too low!\n$");
}

TEST_F(TbRegistryTest, UnmappingNothingDoesNothing)
{
    unmap_table_file(nullptr, 0);
    u64 length = 5;
    EXPECT_EQ(map_table_file("KQvK", ".rtbw", &length), nullptr);  // no path scanned
    EXPECT_EQ(length, 5u);
}

} // namespace
