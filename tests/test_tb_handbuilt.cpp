// Small hand-built KQvK tables (constant value tables) for the paths the
// real 3-4 piece tables do not reach: DTZ values stored in plies, cursed
// wins and blessed losses, the one-ply search for the side a DTZ table does
// not store, and tables that contradict each other.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tablebase/tablebase.h"
#include "tb_test_support.h"

namespace {

// WDL file of KQvK whose every position holds side0 (white to move) or
// side1 (black to move); the bytes are WDL + 2.
std::vector<u8> wdl_constant_file(u8 side0, u8 side1)
{
    return {0x71, 0xE8, 0x23, 0x5D, 0x01,   // magic, both sides stored
            0x00,                           // order of both sides
            0x66, 0x55, 0xEE,               // K, Q, k for both sides
            0x00,                           // to an even offset
            0x80, side0, 0x80, side1};      // two constant tables
}

// DTZ file of KQvK: one constant table whose decoded 0 goes through the
// value maps (win, loss, cursed win, blessed loss), one value each.
std::vector<u8> dtz_constant_file(u8 flags, u8 win, u8 loss, u8 cursed, u8 blessed)
{
    return {0xD7, 0x66, 0x0C, 0xA5, 0x00,  // magic, no files
            0x00,                          // order
            0x06, 0x05, 0x0E,              // K, Q, k
            0x00,                          // to an even offset
            u8(0x80 | flags), 0x00,        // constant table with its DTZ flags
            1, win, 1, loss, 1, cursed, 1, blessed};
}

constexpr u8 STORES_BLACK = 1, MAPS = 2, WIN_PLIES = 4, LOSS_PLIES = 8;

const char* const white_to_move = "8/8/8/8/8/2k5/8/KQ6 w - -";
const char* const black_to_move = "8/8/8/8/8/2k5/8/KQ6 b - -";

struct TbHandBuiltTest : ::testing::Test {
    static void SetUpTestSuite() { init_board_tables(); }
    void SetUp() override { dir = make_temp_dir("handbuilt"); }
    void TearDown() override
    {
        scan_quietly("");
        std::filesystem::remove_all(dir);
    }
    void install(const std::vector<u8>& wdl, const std::vector<u8>& dtz)
    {
        write_whole_file(dir + "/KQvK.rtbw", wdl);
        if (!dtz.empty()) write_whole_file(dir + "/KQvK.rtbz", dtz);
        scan_quietly(dir);
    }
    static int dtz(const char* fen, int* success)
    {
        return dtz_probe_position(fen_position(fen), success);
    }
    std::string dir;
};

TEST_F(TbHandBuiltTest, WinsStoredInPliesOrInMoves)
{
    int success = 0;
    install(wdl_constant_file(4, 0), dtz_constant_file(MAPS | WIN_PLIES, 7, 5, 3, 2));
    EXPECT_EQ(wdl_probe_position(fen_position(white_to_move), &success), 2);
    EXPECT_EQ(dtz(white_to_move, &success), 8);  // v + 1
    EXPECT_NE(success, 0);
    // Black to move is not stored: one ply, every reply reaches DTZ 8.
    EXPECT_EQ(dtz(black_to_move, &success), -9);
    EXPECT_NE(success, 0);

    install(wdl_constant_file(4, 0), dtz_constant_file(MAPS, 7, 5, 3, 2));
    EXPECT_EQ(dtz(white_to_move, &success), 15);  // 2v + 1
    EXPECT_EQ(dtz(black_to_move, &success), -16);
}

TEST_F(TbHandBuiltTest, LossesStoredInPliesOrInMoves)
{
    int success = 0;
    install(wdl_constant_file(4, 0), dtz_constant_file(STORES_BLACK | MAPS | LOSS_PLIES, 7, 5, 3, 2));
    EXPECT_EQ(dtz(black_to_move, &success), -6);  // -(v + 1)
    EXPECT_NE(success, 0);
    install(wdl_constant_file(4, 0), dtz_constant_file(STORES_BLACK | MAPS, 7, 5, 3, 2));
    EXPECT_EQ(dtz(black_to_move, &success), -11);  // -(2v + 1)
}

TEST_F(TbHandBuiltTest, CursedWinsAndBlessedLosses)
{
    int success = 0;
    // The ply flags never apply to results spoilt by the fifty-move rule.
    install(wdl_constant_file(3, 1), dtz_constant_file(MAPS | WIN_PLIES | LOSS_PLIES, 7, 5, 3, 2));
    EXPECT_EQ(wdl_probe_position(fen_position(white_to_move), &success), 1);
    EXPECT_EQ(tb_probe_wdl_code(fen_position(white_to_move)), TB_CODE_CURSED_WIN);
    EXPECT_EQ(tb_probe_wdl_code(fen_position(black_to_move)), TB_CODE_BLESSED_LOSS);
    EXPECT_EQ(dtz(white_to_move, &success), 107);  // 2v + 101
    EXPECT_NE(success, 0);
    install(wdl_constant_file(3, 1), dtz_constant_file(STORES_BLACK | MAPS | WIN_PLIES | LOSS_PLIES, 7, 5, 3, 2));
    EXPECT_EQ(dtz(black_to_move, &success), -105);  // -(2v + 101)
    EXPECT_NE(success, 0);

    u32 code = 0, distance = 0;
    Move move = 0;
    EXPECT_EQ(probe_root_moves_dtz(engine_position(fen_position(black_to_move)), &code, &distance, &move),
              TB_CODE_BLESSED_LOSS);
    EXPECT_EQ(code, u32(TB_CODE_BLESSED_LOSS));
    EXPECT_EQ(distance, 105u);
    install(wdl_constant_file(3, 1), dtz_constant_file(MAPS, 7, 5, 3, 2));
    EXPECT_EQ(probe_root_moves_dtz(engine_position(fen_position(white_to_move)), &code, &distance, &move),
              TB_CODE_CURSED_WIN);
    EXPECT_EQ(distance, 107u);
}

// The fifty-move rule at the root: a win with DTZ 30 is code 4 with the
// clock at 69 and code 3 at 71, a loss likewise code 0 and code 1. Exactly
// at the mark (clock 70), where the distance may be a ply short, and past
// it, where only a mate wins, the tables cannot tell.
TEST_F(TbHandBuiltTest, RootClockDecidesBetweenWinAndCursedWin)
{
    install(wdl_constant_file(4, 0), dtz_constant_file(MAPS | WIN_PLIES, 29, 5, 3, 2));
    TbPosition pos = fen_position(white_to_move);
    u32 code = 0, distance = 0;
    Move move = 0;
    const struct {
        int clock, code;
    } win_cases[] = {{69, TB_CODE_WIN}, {70, TB_CODE_UNSURE}, {71, TB_CODE_CURSED_WIN}, {100, TB_CODE_UNSURE}},
      loss_cases[] = {{69, TB_CODE_LOSS}, {70, TB_CODE_UNSURE}, {71, TB_CODE_BLESSED_LOSS}, {120, TB_CODE_UNSURE}};
    for (const auto& c : win_cases) {
        pos.halfmove_clock = u8(c.clock);
        move = 0;
        EXPECT_EQ(probe_root_moves_dtz(engine_position(pos), &code, &distance, &move), c.code) << c.clock;
        EXPECT_EQ(code, u32(c.code));
        EXPECT_EQ(distance, 30u);
        EXPECT_NE(move, 0);
    }

    install(wdl_constant_file(4, 0), dtz_constant_file(STORES_BLACK | MAPS | LOSS_PLIES, 7, 29, 3, 2));
    pos = fen_position(black_to_move);
    for (const auto& c : loss_cases) {
        pos.halfmove_clock = u8(c.clock);
        EXPECT_EQ(probe_root_moves_dtz(engine_position(pos), &code, &distance, &move), c.code) << c.clock;
        EXPECT_EQ(distance, 30u);
    }
}

// Tables that say both sides win: the one-ply search finds no move into a
// lost position and must report failure, never a value.
TEST_F(TbHandBuiltTest, ContradictoryTablesGiveNoResult)
{
    install(wdl_constant_file(4, 4), dtz_constant_file(STORES_BLACK | MAPS, 7, 5, 3, 2));
    int success = 1;
    EXPECT_EQ(dtz(white_to_move, &success), 0);
    EXPECT_EQ(success, 0);
    u32 code = 77, distance = 77;
    Move move = 77;
    EXPECT_EQ(probe_root_moves_dtz(engine_position(fen_position(white_to_move)), &code, &distance, &move),
              TB_CODE_NONE);
    EXPECT_EQ(code, 77u);
    EXPECT_EQ(distance, 77u);
    EXPECT_EQ(move, 77);
}

// A value map shorter than the stored value is damage, not a distance.
TEST_F(TbHandBuiltTest, ValueOutsideItsMapGivesNoResult)
{
    std::vector<u8> dtz = dtz_constant_file(MAPS, 7, 5, 3, 2);
    dtz[12] = 0;  // the win map holds no value
    dtz.erase(dtz.begin() + 13);
    dtz.push_back(0);  // keep the block at an even length
    install(wdl_constant_file(4, 0), dtz);
    int success = 1;
    dtz_probe_position(fen_position(white_to_move), &success);
    EXPECT_EQ(success, 0);
}

// Without a DTZ file: probes that need it fail silently, the others answer.
TEST_F(TbHandBuiltTest, MissingDtzFile)
{
    copy_test_table(dir, "KQvK.rtbw");
    copy_test_table(dir, "KPvK.rtbw");
    scan_quietly(dir);
    int success = 1;
    testing::internal::CaptureStderr();
    EXPECT_EQ(dtz(white_to_move, &success), 0);
    EXPECT_EQ(success, 0);
    EXPECT_EQ(dtz(white_to_move, &success), 0);  // the cache remembers the miss
    EXPECT_EQ(success, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(dtz_cache_slot_loaded(0));
    EXPECT_NE(dtz_cache_slot_key(0), 0u);
    // A drawn position needs no DTZ table: the king takes the queen.
    EXPECT_EQ(dtz("8/8/8/8/8/8/6Qk/K7 b - -", &success), 0);
    EXPECT_NE(success, 0);
    // A winning promotion and a winning pawn push zero at once.
    EXPECT_EQ(dtz("8/4P3/8/8/8/k7/8/7K w - -", &success), 1);
    EXPECT_NE(success, 0);
    EXPECT_EQ(dtz("8/8/8/4P3/8/8/8/k6K w - -", &success), 1);
    EXPECT_NE(success, 0);
}

} // namespace
