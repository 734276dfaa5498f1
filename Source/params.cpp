#include "params.h"

#include <cmath>
#include <cstring>

#include "records.h"

ParamRecord params;
ParamRecord saved_params;
EvalTables eval_tables;
u8 lowest_pawn_file[256];
u8 highest_pawn_file[256];

int round_half_away(double x) { return int(std::round(x)); }

namespace {

// Derived values are stored as 16-bit words; an extreme parameter (any 16-bit
// value is accepted) saturates instead of wrapping to the opposite sign.
i16 saturate_i16(double v)
{
    if (v > 32767.0) return 32767;
    if (v < -32768.0) return -32768;
    return i16(v);
}

} // namespace

// clang-format off
const i16 pst_shapes[SHAPE_COUNT][32] = {
    // pawn opening
    {  0,   0,   0,   0,   -7,   0,   0,  -4,   -5,   0,   3,   6,   -5,   0,   6,   8,
       0,   6,  12,  12,    0,   6,  12,  12,    0,   7,   8,   8,    0,   0,   0,   0},
    // pawn endgame
    {  0,   0,   0,   0,    0,   0,   0,   0,    0,   0,   0,   0,    4,   4,   4,   4,
       6,   6,   6,   6,    8,   8,   8,   8,    8,   8,   8,   8,    0,   0,   0,   0},
    // knight
    {-35, -24, -17, -14,  -24, -14,  -7,  -3,  -17,  -7,   0,   3,  -14,  -3,   3,   7,
     -14,  -3,   3,   7,  -17,  -7,   0,   3,  -24, -14,  -7,  -3,  -35, -24, -17, -14},
    // bishop
    {-12,  -8,  -6,  -5,   -8,   0,  -2,  -1,   -6,  -2,   0,   1,   -5,  -1,   1,   2,
      -5,  -1,   1,   2,   -6,  -2,   0,   1,   -8,   0,  -2,  -1,  -12,  -8,  -6,  -5},
    // rook
    { -8,  -4,   0,   2,   -8,  -4,   0,   2,   -8,  -4,   0,   2,   -8,  -4,   0,   2,
      -8,  -4,   0,   2,   -8,  -4,   0,   2,   -8,  -4,   0,   2,   -8,  -4,   0,   2},
    // queen
    {-12,  -8,  -6,  -5,   -8,  -5,  -2,  -1,   -6,  -2,   0,   1,   -5,  -1,   1,   2,
      -5,  -1,   1,   2,   -6,  -2,   0,   1,   -8,  -5,  -2,  -1,  -12,  -8,  -6,  -5},
    // king opening
    {  7,   7,   0,  -7,    0,   0,  -7, -15,   -7,  -7, -14, -21,  -14, -14, -21, -29,
     -21, -21, -29, -36,  -21, -21, -29, -36,  -21, -21, -29, -36,  -21, -21, -29, -36},
    // king endgame
    {-50, -35, -25, -20,  -35, -20, -10,  -5,  -25, -10,   0,   5,  -20,  -5,   5,  10,
     -20,  -5,   5,  10,  -25, -10,   0,   5,  -35, -20, -10,  -5,  -50, -35, -25, -20},
};
// clang-format on

namespace {

constexpr std::size_t field_offset(std::size_t base, int index) { return base + sizeof(i16) * std::size_t(index); }

#define KEY1(name) {#name, offsetof(ParamRecord, name), 1}
#define KEY2(name) {#name, offsetof(ParamRecord, name), 2}

} // namespace

const ConfigKey config_keys[] = {
    KEY1(contempt),
    KEY2(positional_bonus),
    KEY1(SingularExtension),
    KEY1(SEP_depth),
    KEY1(NMP_depth),
    KEY1(FP_depth),
    KEY1(LMP_depth),
    KEY1(LMR_depth),
    KEY1(LMP_count),
    KEY1(LMR_strength),
    KEY1(SEP_margin),
    KEY1(FP_margin),
    KEY2(pawn_value),
    KEY2(knight_value),
    KEY2(bishop_value),
    KEY2(rook_value),
    KEY2(queen_value),
    KEY2(bishop_pair),
    {"passed_pawn_rank2", field_offset(offsetof(ParamRecord, passed_pawn), 1), 1},
    {"passed_pawn_rank3", field_offset(offsetof(ParamRecord, passed_pawn), 2), 1},
    {"passed_pawn_rank4", field_offset(offsetof(ParamRecord, passed_pawn), 3), 1},
    {"passed_pawn_rank5", field_offset(offsetof(ParamRecord, passed_pawn), 4), 1},
    {"passed_pawn_rank6", field_offset(offsetof(ParamRecord, passed_pawn), 5), 1},
    {"passed_pawn_rank7", field_offset(offsetof(ParamRecord, passed_pawn), 6), 1},
    KEY2(pawn_candidate),
    KEY2(pawn_isolated),
    KEY2(pawn_backward),
    KEY2(pawn_doubled),
    KEY2(pawn_weak),
    KEY2(knight_mobility),
    KEY2(knight_outpost),
    KEY2(bishop_mobility),
    KEY2(rook_mobility),
    KEY2(rook_open_file),
    KEY2(rook_half_open_file),
    KEY2(rook_rank7),
    KEY2(rook_trapped),
    KEY2(queen_mobility),
    KEY2(queen_rank7),
    KEY2(pawn_shield),
    KEY2(pawn_storm),
    KEY2(king_safety),
    KEY2(hung),
    KEY2(pinned),
    KEY1(tune),
};
const int config_key_count = int(sizeof(config_keys) / sizeof(config_keys[0]));

#undef KEY1
#undef KEY2

const ConfigPstKey config_pst_keys[12] = {
    {"PST_pawn_op", PAWN, 0},     {"PST_pawn_en", PAWN, 1},     {"PST_knight_op", KNIGHT, 0},
    {"PST_knight_en", KNIGHT, 1}, {"PST_bishop_op", BISHOP, 0}, {"PST_bishop_en", BISHOP, 1},
    {"PST_rook_op", ROOK, 0},     {"PST_rook_en", ROOK, 1},     {"PST_queen_op", QUEEN, 0},
    {"PST_queen_en", QUEEN, 1},   {"PST_king_op", KING, 0},     {"PST_king_en", KING, 1},
};

const ConfigKey* find_config_key(const char* name)
{
    for (int i = 0; i < config_key_count; i++) {
        if (std::strcmp(config_keys[i].name, name) == 0) return &config_keys[i];
    }
    return nullptr;
}

void write_default_params(ParamRecord& rec)
{
    std::memset(&rec, 0, sizeof rec);
    engine_config.builtin_pst = 1;  // no "vant.rc" blocks yet: the built-in shapes
    rec.UCI_LimitStrength = 0;
    rec.UCI_Elo = 3000;
    rec.contempt = 0;
    rec.positional_bonus[0] = 25, rec.positional_bonus[1] = 25;
    rec.SingularExtension = 0;
    rec.SEP_depth = 3;
    rec.NMP_depth = 3;
    rec.FP_depth = 3;
    rec.LMP_depth = 5;
    rec.LMR_depth = 3;
    rec.LMP_count = 3;
    rec.LMR_strength = 100;
    rec.SEP_margin = 75;
    rec.FP_margin = 125;
    rec.pawn_value[0] = 90, rec.pawn_value[1] = 110;
    rec.knight_value[0] = 380, rec.knight_value[1] = 350;
    rec.bishop_value[0] = 390, rec.bishop_value[1] = 360;
    rec.rook_value[0] = 530, rec.rook_value[1] = 630;
    rec.queen_value[0] = 1180, rec.queen_value[1] = 1180;
    rec.bishop_pair[0] = 30, rec.bishop_pair[1] = 50;
    static const i16 passed[7] = {0, 6, 6, 18, 38, 78, 138};
    std::memcpy(rec.passed_pawn, passed, sizeof passed);
    rec.pawn_candidate[0] = 0, rec.pawn_candidate[1] = 45;
    rec.pawn_isolated[0] = -8, rec.pawn_isolated[1] = -8;
    rec.pawn_backward[0] = -4, rec.pawn_backward[1] = -4;
    rec.pawn_doubled[0] = -5, rec.pawn_doubled[1] = -5;
    rec.pawn_weak[0] = -8, rec.pawn_weak[1] = -8;
    rec.knight_mobility[0] = 46, rec.knight_mobility[1] = 54;
    rec.knight_outpost[0] = 16, rec.knight_outpost[1] = 0;
    rec.bishop_mobility[0] = 46, rec.bishop_mobility[1] = 54;
    rec.rook_mobility[0] = 34, rec.rook_mobility[1] = 44;
    rec.rook_open_file[0] = 14, rec.rook_open_file[1] = 7;
    rec.rook_half_open_file[0] = 7, rec.rook_half_open_file[1] = 7;
    rec.rook_rank7[0] = 14, rec.rook_rank7[1] = 14;
    rec.rook_trapped[0] = -25, rec.rook_trapped[1] = 0;
    rec.queen_mobility[0] = 40, rec.queen_mobility[1] = 90;
    rec.queen_rank7[0] = 0, rec.queen_rank7[1] = 10;
    rec.pawn_shield[0] = 60, rec.pawn_shield[1] = 0;
    rec.pawn_storm[0] = -10, rec.pawn_storm[1] = 0;
    rec.king_safety[0] = 100, rec.king_safety[1] = 0;
    rec.hung[0] = -24, rec.hung[1] = -24;
    rec.pinned[0] = -18, rec.pinned[1] = -18;
    static const i16 scale[6][2] = {{16, 8}, {42, 42}, {12, 12}, {8, 0}, {15, 30}, {48, 60}};
    std::memcpy(rec.pst_scale, scale, sizeof scale);
    static const i16 spare[15] = {36, 28, 44, 44, 34, 36, 18, 9, 15, 0, 0, 0, 0, 0, 0};
    std::memcpy(rec.p, spare, sizeof spare);
    rec.tune = 256;
}

void save_params() { std::memcpy(&saved_params, &params, sizeof params); }
void restore_params() { std::memcpy(&params, &saved_params, sizeof params); }

void build_piece_square_tables()
{
    // Shape and divisor per table entry [type - 1][phase].
    static const int shape_of[6][2] = {
        {SHAPE_PAWN_OP, SHAPE_PAWN_EN}, {SHAPE_KNIGHT, SHAPE_KNIGHT}, {SHAPE_BISHOP, SHAPE_BISHOP},
        {SHAPE_ROOK, SHAPE_ROOK},       {SHAPE_QUEEN, SHAPE_QUEEN},   {SHAPE_KING_OP, SHAPE_KING_EN},
    };
    static const int divisor[6][2] = {{16, 8}, {42, 42}, {12, 12}, {8, 8}, {14, 14}, {48, 60}};
    for (int t = 0; t < 6; t++) {
        for (int phase = 0; phase < 2; phase++) {
            int scale = params.pst_scale[t][phase];
            for (int s = 0; s < 64; s++) {
                int f = file_of(s), r = rank_of(s);
                int k = 4 * r + (f < 4 ? f : 7 - f);  // mirrored across the d/e line
                int v = pst_shapes[shape_of[t][phase]][k] * scale / divisor[t][phase];
                if (t == QUEEN - 1 && phase == 0 && r >= 4) v -= 4;
                eval_tables.pst[t][s][phase] = saturate_i16(v);
            }
        }
    }
}

namespace {

ValuePair pair_of(const i16 (&field)[2]) { return ValuePair{field[0], field[1]}; }

// One mobility curve: round(w * ((n / top)^power - offset)) for n = 0..top.
void build_mobility_curve(ValuePair* curve, const i16 (&weight)[2], int top, double power, double offset)
{
    for (int n = 0; n <= top; n++) {
        double shape = std::pow(double(n) / top, power) - offset;
        curve[n].op = saturate_i16(std::round(weight[0] * shape));
        curve[n].en = saturate_i16(std::round(weight[1] * shape));
    }
}

} // namespace

void init_evaluation_tables()
{
    EvalTables& t = eval_tables;
    std::memset(&t, 0, sizeof t);

    if (engine_config.builtin_pst == 1) {
        build_piece_square_tables();
    } else {
        for (int type = 1; type <= 6; type++)
            for (int s = 0; s < 64; s++)
                for (int phase = 0; phase < 2; phase++) t.pst[type - 1][s][phase] = params.pst[type][s][phase];
    }

    t.contempt = params.contempt;
    t.pawn_candidate_en = params.pawn_candidate[1];
    t.knight_outpost_op = params.knight_outpost[0];
    t.rook_trapped_op = params.rook_trapped[0];
    t.queen_rank7_en = params.queen_rank7[1];
    t.pawn_shield_op = params.pawn_shield[0];
    for (int shield = 0; shield <= 10; shield++) t.shield_term_op[shield] = i16(t.pawn_shield_op * (shield - 9) / 10);
    t.pawn_storm_op = params.pawn_storm[0];

    t.material[0] = pair_of(params.pawn_value);
    t.material[1] = pair_of(params.knight_value);
    t.material[2] = pair_of(params.bishop_value);
    t.material[3] = pair_of(params.rook_value);
    t.material[4] = pair_of(params.queen_value);
    t.bishop_pair = pair_of(params.bishop_pair);
    t.pawn_doubled = pair_of(params.pawn_doubled);
    t.pawn_backward = pair_of(params.pawn_backward);
    t.pawn_isolated = pair_of(params.pawn_isolated);
    t.pawn_weak = pair_of(params.pawn_weak);
    t.rook_open_file = pair_of(params.rook_open_file);
    t.rook_half_open_file = pair_of(params.rook_half_open_file);
    t.rook_rank7 = pair_of(params.rook_rank7);
    t.hung = pair_of(params.hung);
    t.pinned = pair_of(params.pinned);

    // Material by key part: the sum over the parts equals the count times the
    // value over all types, plus the bishop pair.
    for (int i = 0; i < 256; i++) {
        const int low = i & 15, high = i >> 4;
        MaterialShare& pn = t.material_pawns_knights[i];
        pn.op = low * t.material[0].op + high * t.material[1].op;
        pn.en = low * t.material[0].en + high * t.material[1].en;
        pn.units = high;
        MaterialShare& br = t.material_bishops_rooks[i];
        br.op = low * t.material[2].op + high * t.material[3].op;
        br.en = low * t.material[2].en + high * t.material[3].en;
        if (low >= 2) {
            br.op += t.bishop_pair.op;
            br.en += t.bishop_pair.en;
        }
        br.units = low + 2 * high;
    }
    for (int n = 0; n < 16; n++) {
        t.material_queens[n] = MaterialShare{n * t.material[4].op, n * t.material[4].en, 4 * n};
    }

    // Passed pawns: bonus by relative rank, and the step bonus for a pawn
    // that can advance safely (the rank-2 step follows the rank-3 one, since a
    // pawn on its second rank may jump straight to its fourth).
    for (int r = 0; r < 7; r++) t.passed_bonus[r] = params.passed_pawn[r];
    t.passed_bonus[7] = 275;
    for (int r = 0; r < 7; r++) t.passed_step[r] = saturate_i16(std::round(0.6 * (t.passed_bonus[r + 1] - t.passed_bonus[r])));
    t.passed_step[1] = t.passed_step[2];

    build_mobility_curve(t.knight_mobility, params.knight_mobility, 8, 0.7, 0.5);
    build_mobility_curve(t.bishop_mobility, params.bishop_mobility, 14, 0.7, 0.4);
    build_mobility_curve(t.rook_mobility, params.rook_mobility, 14, 0.7, 0.4);
    build_mobility_curve(t.queen_mobility, params.queen_mobility, 28, 0.6, 0.4);

    // King danger: quadratic in the attack index, its growth capped by a
    // harmonic step so that the curve flattens out.
    t.king_danger[0] = 0;
    for (int i = 1; i < 64; i++) {
        double capped = t.king_danger[i - 1] + std::round(470.0 / i);
        double quadratic = std::round(double(i) * i * params.king_safety[0] * 0.005);
        t.king_danger[i] = saturate_i16(capped < quadratic ? capped : quadratic);
    }

    for (int mask = 0; mask < 256; mask++) {
        lowest_pawn_file[mask] = 8;
        highest_pawn_file[mask] = 255;
        for (int f = 0; f < 8; f++) {
            if (mask & (1 << f)) {
                if (lowest_pawn_file[mask] == 8) lowest_pawn_file[mask] = u8(f);
                highest_pawn_file[mask] = u8(f);
            }
        }
    }
}
