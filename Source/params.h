// Evaluation and search parameters: the ParamRecord with its defaults and
// saved copy, the "vant.rc" key table, and the derivation of EvalTables.
#pragma once

#include <cstddef>

#include "eval_types.h"
#include "types.h"

// Every tunable number, as signed 16-bit fields in a fixed order. Two-valued
// terms hold the opening value first, then the endgame value.
struct ParamRecord {
    i16 UCI_LimitStrength;
    i16 UCI_Elo;
    i16 contempt;
    i16 positional_bonus[2];    // tuner only
    i16 SingularExtension;
    i16 SEP_depth;
    i16 NMP_depth;
    i16 FP_depth;
    i16 LMP_depth;
    i16 LMR_depth;
    i16 LMP_count;
    i16 LMR_strength;
    i16 SEP_margin;
    i16 FP_margin;
    i16 pawn_value[2];
    i16 knight_value[2];
    i16 bishop_value[2];
    i16 rook_value[2];
    i16 queen_value[2];
    i16 bishop_pair[2];
    i16 passed_pawn[7];         // [0] rank 1 (always 0), [1..6] ranks 2..7
    i16 pawn_candidate[2];      // endgame half used
    i16 pawn_isolated[2];
    i16 pawn_backward[2];
    i16 pawn_doubled[2];
    i16 pawn_weak[2];
    i16 knight_mobility[2];
    i16 knight_outpost[2];      // opening half used
    i16 bishop_mobility[2];
    i16 rook_mobility[2];
    i16 rook_open_file[2];
    i16 rook_half_open_file[2];
    i16 rook_rank7[2];
    i16 rook_trapped[2];        // opening half used
    i16 queen_mobility[2];
    i16 queen_rank7[2];         // endgame half used
    i16 pawn_shield[2];         // opening half used
    i16 pawn_storm[2];          // opening half used
    i16 king_safety[2];         // opening half used: king-danger curve
    i16 hung[2];
    i16 pinned[2];
    i16 pst[7][64][2];          // piece-square blocks [type][square][phase]; type 0 unused
    i16 pst_scale[6][2];        // scale words of the built-in shapes, pawn..king
    i16 pst_shape[32];          // tuner only
    i16 p[15];                  // spare words p1..p15, tuner only
    i16 tune;                   // tuner only
};

extern ParamRecord params;        // the live record
extern ParamRecord saved_params;  // copy taken right after "vant.rc" was read

// Writes every built-in default into the record (fields without one become 0)
// and sets the built-in piece-square flag of EngineConfig.
void write_default_params(ParamRecord& rec);
// Takes the saved copy from the live record / restores the live record from it.
void save_params();
void restore_params();

// One "vant.rc" value key: its name, the byte offset of its first field in
// ParamRecord and the number of values (1 or 2) that follow it.
struct ConfigKey {
    const char* name;
    std::size_t offset;
    int count;
};
extern const ConfigKey config_keys[];
extern const int config_key_count;

// One piece-square block key ("PST_pawn_op" .. "PST_king_en").
struct ConfigPstKey {
    const char* name;
    int type;   // 1 pawn .. 6 king
    int phase;  // 0 opening, 1 endgame
};
extern const ConfigPstKey config_pst_keys[12];

// The key's entry, or nullptr when no value key has that exact name.
const ConfigKey* find_config_key(const char* name);
// The first 16-bit field that the key sets inside rec.
inline i16* config_key_field(ParamRecord& rec, const ConfigKey& key)
{
    return reinterpret_cast<i16*>(reinterpret_cast<char*>(&rec) + key.offset);
}

// The derived evaluation block used by every evaluation (each search thread
// works on its own copy, refreshed at search start).
extern EvalTables eval_tables;
// Smallest / largest set file of a pawn-file mask (8 / 255 for the empty mask).
extern u8 lowest_pawn_file[256];
extern u8 highest_pawn_file[256];

// Rebuilds eval_tables and the pawn-file tables from the live ParamRecord.
void init_evaluation_tables();
// Writes the piece-square part of eval_tables from the built-in shapes.
void build_piece_square_tables();

// Built-in shapes, files a-d of ranks 1-8 (index 4 * rank + file).
enum PstShape {
    SHAPE_PAWN_OP, SHAPE_PAWN_EN, SHAPE_KNIGHT, SHAPE_BISHOP, SHAPE_ROOK, SHAPE_QUEEN,
    SHAPE_KING_OP, SHAPE_KING_EN, SHAPE_COUNT
};
extern const i16 pst_shapes[SHAPE_COUNT][32];

// Rounds to the nearest integer, halves away from zero.
int round_half_away(double x);
