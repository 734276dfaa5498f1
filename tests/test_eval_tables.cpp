// Derived evaluation tables, the parameter record and the reduction tables.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>

#include "bitboard.h"
#include "params.h"
#include "pruning.h"
#include "records.h"

namespace {

struct EvalTablesTest : ::testing::Test {
    void SetUp() override
    {
        init_board_tables();
        write_default_params(params);
        engine_config.builtin_pst = 1;
        init_evaluation_tables();
        init_pruning_tables();
    }
    void TearDown() override
    {
        write_default_params(params);
        init_evaluation_tables();
        init_pruning_tables();
    }
};

TEST_F(EvalTablesTest, PassedPawnBonusAndSteps)
{
    const int bonus[8] = {0, 6, 6, 18, 38, 78, 138, 275};
    const int step[7] = {4, 7, 7, 12, 24, 36, 82};
    for (int r = 0; r < 8; r++) EXPECT_EQ(eval_tables.passed_bonus[r], bonus[r]) << r;
    for (int r = 0; r < 7; r++) EXPECT_EQ(eval_tables.passed_step[r], step[r]) << r;

    // The rank-3 value moves steps 0 and 2, and step 1 follows step 2.
    params.passed_pawn[2] = 20;
    init_evaluation_tables();
    EXPECT_EQ(eval_tables.passed_step[0], 4);
    EXPECT_EQ(eval_tables.passed_step[2], -1);  // round(0.6 * (18 - 20)) = round(-1.2)
    EXPECT_EQ(eval_tables.passed_step[1], eval_tables.passed_step[2]);
    params.passed_pawn[2] = 11;  // 0.6 * 7 = 4.2 and 0.6 * 5 = 3.0
    init_evaluation_tables();
    EXPECT_EQ(eval_tables.passed_step[2], 4);
    EXPECT_EQ(eval_tables.passed_step[1], 4);
}

TEST_F(EvalTablesTest, MobilityCurves)
{
    auto expect_pair = [](ValuePair p, int op, int en) {
        EXPECT_EQ(p.op, op);
        EXPECT_EQ(p.en, en);
    };
    expect_pair(eval_tables.knight_mobility[0], -23, -27);
    expect_pair(eval_tables.knight_mobility[3], 0, 0);
    expect_pair(eval_tables.knight_mobility[8], 23, 27);
    expect_pair(eval_tables.bishop_mobility[0], -18, -22);
    expect_pair(eval_tables.bishop_mobility[14], 28, 32);
    expect_pair(eval_tables.rook_mobility[0], -14, -18);
    expect_pair(eval_tables.rook_mobility[14], 20, 26);
    expect_pair(eval_tables.queen_mobility[0], -16, -36);
    expect_pair(eval_tables.queen_mobility[6], 0, 0);
    expect_pair(eval_tables.queen_mobility[28], 24, 54);
    // Unfilled entries stay 0; every curve rises.
    for (int n = 9; n < 16; n++) expect_pair(eval_tables.knight_mobility[n], 0, 0);
    expect_pair(eval_tables.bishop_mobility[15], 0, 0);
    for (int n = 29; n < 32; n++) expect_pair(eval_tables.queen_mobility[n], 0, 0);
    for (int n = 1; n <= 28; n++) EXPECT_LE(eval_tables.queen_mobility[n - 1].en, eval_tables.queen_mobility[n].en);
    // Entry 0 is negative for any positive weight.
    params.knight_mobility[0] = 1;
    params.rook_mobility[1] = 2;
    init_evaluation_tables();
    EXPECT_EQ(eval_tables.knight_mobility[0].op, -1);  // -0.5 rounds away from zero
    EXPECT_EQ(eval_tables.rook_mobility[0].en, -1);    // -0.8
}

TEST_F(EvalTablesTest, KingDangerTable)
{
    const int head[11] = {0, 1, 2, 5, 8, 13, 18, 25, 32, 41, 50};
    for (int i = 0; i < 11; i++) EXPECT_EQ(eval_tables.king_danger[i], head[i]) << i;
    EXPECT_EQ(eval_tables.king_danger[21], 221);
    EXPECT_EQ(eval_tables.king_danger[22], 242);
    EXPECT_EQ(eval_tables.king_danger[23], 262);
    EXPECT_EQ(eval_tables.king_danger[24], 282);
    EXPECT_EQ(eval_tables.king_danger[25], 301);
    EXPECT_EQ(eval_tables.king_danger[62], 722);
    EXPECT_EQ(eval_tables.king_danger[63], 729);

    params.king_safety[0] = 0;
    init_evaluation_tables();
    for (int i = 0; i < 64; i++) EXPECT_EQ(eval_tables.king_danger[i], 0);
    params.king_safety[0] = -50;
    init_evaluation_tables();
    EXPECT_EQ(eval_tables.king_danger[1], 0);  // round(-0.25)
    for (int i = 2; i < 64; i++) EXPECT_LT(eval_tables.king_danger[i], 0);
    // Extreme weights saturate instead of wrapping to the other sign.
    params.king_safety[0] = -32768;
    init_evaluation_tables();
    EXPECT_EQ(eval_tables.king_danger[63], -32768);
}

TEST_F(EvalTablesTest, PawnFileTables)
{
    EXPECT_EQ(lowest_pawn_file[0], 8);
    EXPECT_EQ(highest_pawn_file[0], 255);
    EXPECT_EQ(lowest_pawn_file[0x08], 3);
    EXPECT_EQ(highest_pawn_file[0x08], 3);
    EXPECT_EQ(lowest_pawn_file[0x81], 0);
    EXPECT_EQ(highest_pawn_file[0x81], 7);
    EXPECT_EQ(lowest_pawn_file[0xF0], 4);
}

TEST_F(EvalTablesTest, BuiltInPieceSquareTables)
{
    const int rook = ROOK - 1, queen = QUEEN - 1;
    for (int s = 0; s < 64; s++) EXPECT_EQ(eval_tables.pst[rook][s][1], 0);
    EXPECT_EQ(eval_tables.pst[queen][32][0], -9);  // a5: (-5 * 15) / 14 - 4
    EXPECT_EQ(eval_tables.pst[queen][0][1], -12 * 30 / 14);
    // File mirroring: h1 reads a1's shape, e4 reads d4's.
    for (int t = 0; t < 6; t++) {
        for (int ph = 0; ph < 2; ph++) {
            EXPECT_EQ(eval_tables.pst[t][7][ph], eval_tables.pst[t][0][ph]);
            EXPECT_EQ(eval_tables.pst[t][28][ph], eval_tables.pst[t][27][ph]);
        }
    }
    // Default scales reproduce the shapes.
    EXPECT_EQ(eval_tables.pst[KNIGHT - 1][27][0], 7);
    EXPECT_EQ(eval_tables.pst[PAWN - 1][11][0], -4);   // d2 opening
    EXPECT_EQ(eval_tables.pst[PAWN - 1][36][1], 6);    // e5 endgame
    EXPECT_EQ(eval_tables.pst[KING - 1][6][0], 7);     // g1 opening
    EXPECT_EQ(eval_tables.pst[KING - 1][60][1], -20);  // e8 endgame

    // With the flag cleared the record's blocks are copied, types 1..6.
    for (int t = 1; t <= 6; t++)
        for (int s = 0; s < 64; s++)
            for (int ph = 0; ph < 2; ph++) params.pst[t][s][ph] = i16(100 * t + s + 1000 * ph);
    engine_config.builtin_pst = 0;
    init_evaluation_tables();
    engine_config.builtin_pst = 1;
    EXPECT_EQ(eval_tables.pst[0][0][0], 100);
    EXPECT_EQ(eval_tables.pst[5][63][1], 600 + 63 + 1000);
}

// The default of every value key, and which key and phase each weight
// copied into the tables comes from.
TEST_F(EvalTablesTest, CopiedWeights)
{
    struct Default {
        const char* key;
        int count;
        int values[2];
    };
    const Default defaults[] = {
        {"contempt", 1, {0}},           {"positional_bonus", 2, {25, 25}}, {"SingularExtension", 1, {0}},
        {"SEP_depth", 1, {3}},          {"NMP_depth", 1, {3}},             {"FP_depth", 1, {3}},
        {"LMP_depth", 1, {5}},          {"LMR_depth", 1, {3}},             {"LMP_count", 1, {3}},
        {"LMR_strength", 1, {100}},     {"SEP_margin", 1, {75}},           {"FP_margin", 1, {125}},
        {"pawn_value", 2, {90, 110}},   {"knight_value", 2, {380, 350}},   {"bishop_value", 2, {390, 360}},
        {"rook_value", 2, {530, 630}},  {"queen_value", 2, {1180, 1180}},  {"bishop_pair", 2, {30, 50}},
        {"passed_pawn_rank2", 1, {6}},  {"passed_pawn_rank3", 1, {6}},     {"passed_pawn_rank4", 1, {18}},
        {"passed_pawn_rank5", 1, {38}}, {"passed_pawn_rank6", 1, {78}},    {"passed_pawn_rank7", 1, {138}},
        {"pawn_candidate", 2, {0, 45}}, {"pawn_isolated", 2, {-8, -8}},    {"pawn_backward", 2, {-4, -4}},
        {"pawn_doubled", 2, {-5, -5}},  {"pawn_weak", 2, {-8, -8}},        {"knight_mobility", 2, {46, 54}},
        {"knight_outpost", 2, {16, 0}}, {"bishop_mobility", 2, {46, 54}},  {"rook_mobility", 2, {34, 44}},
        {"rook_open_file", 2, {14, 7}}, {"rook_half_open_file", 2, {7, 7}}, {"rook_rank7", 2, {14, 14}},
        {"rook_trapped", 2, {-25, 0}},  {"queen_mobility", 2, {40, 90}},   {"queen_rank7", 2, {0, 10}},
        {"pawn_shield", 2, {60, 0}},    {"pawn_storm", 2, {-10, 0}},       {"king_safety", 2, {100, 0}},
        {"hung", 2, {-24, -24}},        {"pinned", 2, {-18, -18}},         {"tune", 1, {256}},
    };
    EXPECT_EQ(int(std::size(defaults)), config_key_count);
    for (const Default& d : defaults) {
        const ConfigKey* k = find_config_key(d.key);
        ASSERT_NE(k, nullptr) << d.key;
        EXPECT_EQ(k->count, d.count) << d.key;
        for (int i = 0; i < d.count; i++) EXPECT_EQ(config_key_field(params, *k)[i], d.values[i]) << d.key << " " << i;
    }

    // Each key field gets a number of its own.
    for (int k = 0; k < config_key_count; k++)
        for (int i = 0; i < config_keys[k].count; i++) config_key_field(params, config_keys[k])[i] = i16(1000 + 2 * k + i);
    init_evaluation_tables();
    auto from = [](const char* key, int phase) { return 1000 + 2 * int(find_config_key(key) - config_keys) + phase; };
    const EvalTables& t = eval_tables;
    const struct {
        const char* key;
        ValuePair pair;
    } pairs[] = {
        {"pawn_value", t.material[0]},     {"knight_value", t.material[1]},     {"bishop_value", t.material[2]},
        {"rook_value", t.material[3]},     {"queen_value", t.material[4]},      {"bishop_pair", t.bishop_pair},
        {"pawn_doubled", t.pawn_doubled},  {"pawn_backward", t.pawn_backward},  {"pawn_isolated", t.pawn_isolated},
        {"pawn_weak", t.pawn_weak},        {"rook_open_file", t.rook_open_file}, {"rook_half_open_file", t.rook_half_open_file},
        {"rook_rank7", t.rook_rank7},      {"hung", t.hung},                    {"pinned", t.pinned},
    };
    for (const auto& p : pairs) {
        EXPECT_EQ(p.pair.op, from(p.key, 0)) << p.key;
        EXPECT_EQ(p.pair.en, from(p.key, 1)) << p.key;
    }
    // The single weights: the one phase that is read.
    EXPECT_EQ(t.contempt, from("contempt", 0));
    EXPECT_EQ(t.pawn_candidate_en, from("pawn_candidate", 1));
    EXPECT_EQ(t.knight_outpost_op, from("knight_outpost", 0));
    EXPECT_EQ(t.rook_trapped_op, from("rook_trapped", 0));
    EXPECT_EQ(t.queen_rank7_en, from("queen_rank7", 1));
    EXPECT_EQ(t.pawn_shield_op, from("pawn_shield", 0));
    EXPECT_EQ(t.pawn_storm_op, from("pawn_storm", 0));
    for (int r = 1; r < 7; r++) EXPECT_EQ(t.passed_bonus[r], from(("passed_pawn_rank" + std::to_string(r + 1)).c_str(), 0)) << r;
}

TEST_F(EvalTablesTest, ConfigKeyTableAndSavedCopy)
{
    const ConfigKey* k = find_config_key("pawn_value");
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k->count, 2);
    ParamRecord rec;
    engine_config.builtin_pst = 0;
    write_default_params(rec);
    EXPECT_EQ(engine_config.builtin_pst, 1);  // the defaults bring back the built-in shapes
    config_key_field(rec, *k)[0] = 95;
    config_key_field(rec, *k)[1] = 120;
    EXPECT_EQ(rec.pawn_value[0], 95);
    EXPECT_EQ(rec.pawn_value[1], 120);

    k = find_config_key("passed_pawn_rank2");
    ASSERT_NE(k, nullptr);
    *config_key_field(rec, *k) = 9;
    EXPECT_EQ(rec.passed_pawn[1], 9);
    k = find_config_key("passed_pawn_rank7");
    ASSERT_NE(k, nullptr);
    *config_key_field(rec, *k) = 200;
    EXPECT_EQ(rec.passed_pawn[6], 200);
    k = find_config_key("LMR_strength");
    ASSERT_NE(k, nullptr);
    EXPECT_EQ(k->count, 1);
    EXPECT_EQ(*config_key_field(rec, *k), 100);
    EXPECT_NE(find_config_key("tune"), nullptr);
    EXPECT_EQ(find_config_key("Pawn_value"), nullptr);  // exact, case-sensitive
    EXPECT_EQ(find_config_key("passed_pawn_rank1"), nullptr);
    EXPECT_EQ(find_config_key("UCI_Elo"), nullptr);      // a UCI option, not a key
    EXPECT_EQ(config_pst_keys[11].type, KING);
    EXPECT_EQ(config_pst_keys[11].phase, 1);

    // The saved copy restores every field.
    params.LMR_strength = 7;
    save_params();
    params.LMR_strength = 150;
    params.pst[3][10][1] = 55;
    restore_params();
    EXPECT_EQ(params.LMR_strength, 7);
    EXPECT_EQ(params.pst[3][10][1], 0);
    EXPECT_EQ(std::memcmp(&params, &saved_params, sizeof params), 0);
}

TEST_F(EvalTablesTest, ReductionTables)
{
    EXPECT_EQ(reduction_pv[3][31], 0);
    EXPECT_EQ(reduction_non_pv[3][31], 1);
    EXPECT_EQ(reduction_pv[5][5], 0);
    EXPECT_EQ(reduction_non_pv[5][5], 2);
    EXPECT_EQ(reduction_pv[10][10], 1);
    EXPECT_EQ(reduction_non_pv[10][10], 2);
    EXPECT_EQ(reduction_pv[20][31], 2);
    EXPECT_EQ(reduction_non_pv[20][31], 4);
    for (int d = 0; d < REDUCTION_DEPTHS; d++) {
        for (int m = 0; m < REDUCTION_MOVES; m++) {
            if (d < 3 || m < 2) {
                EXPECT_EQ(reduction_pv[d][m], 0);
                EXPECT_EQ(reduction_non_pv[d][m], 0);
            } else {
                EXPECT_GE(reduction_non_pv[d][m], 1);
                EXPECT_LE(reduction_non_pv[d][m], 4);
                EXPECT_LE(reduction_pv[d][m], 2);
            }
        }
    }
    EXPECT_EQ(FP_margin, 125);
    EXPECT_EQ(SEP_margin, 75);
    EXPECT_EQ(LMP_depth, 5);

    params.LMR_strength = 0;
    init_pruning_tables();
    for (int d = 0; d < REDUCTION_DEPTHS; d++)
        for (int m = 0; m < REDUCTION_MOVES; m++) EXPECT_EQ(reduction_non_pv[d][m] | reduction_pv[d][m], 0);

    // A negative strength is clamped to 0: no NaN, no reductions.
    params.LMR_strength = -100;
    init_pruning_tables();
    for (int d = 0; d < REDUCTION_DEPTHS; d++)
        for (int m = 0; m < REDUCTION_MOVES; m++) EXPECT_EQ(reduction_non_pv[d][m] | reduction_pv[d][m], 0);

    params.NMP_depth = 7;
    params.LMR_strength = 400;  // s = 2: caps reached earlier
    init_pruning_tables();
    EXPECT_EQ(NMP_depth, 7);
    EXPECT_EQ(reduction_non_pv[3][2], 2);  // round(1.2 * 2)
    EXPECT_EQ(reduction_pv[10][10], 2);
}

} // namespace
