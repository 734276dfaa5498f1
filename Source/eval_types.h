// Evaluation records held inside ThreadData and EngineConfig: the evaluation
// cache and pawn hash entries, the derived tables, the per-thread work record
// and the trace area of the console breakdown.
#pragma once

#include "types.h"

struct ThreadData;

// An opening / endgame pair of values.
struct ValuePair {
    i16 op;
    i16 en;
};

// One evaluation-cache slot; each key has one slot per colour.
struct EvalCacheEntry {
    u64 key;        // full position key (pieces, castling, en passant, side)
    u16 threat[2];  // threat words against white, black
    i16 score;      // score for the colour of this slot
};

// Pawn terms that depend on the pawns alone.
struct PawnHashEntry {
    u64 key;             // pawn key
    u64 attack_span[2];  // squares each colour's pawns can ever attack while advancing
    u64 passed;          // passed pawns of both colours
    u64 candidates;      // candidate passers of both colours
    i16 op[2];           // pawn-structure opening score, white, black
    i16 en[2];           // pawn-structure endgame score, white, black
    u16 shelter[2];      // bits 2f-2f+1: the colour's shield value of file f (0-3)
    u8 file_mask[2];     // bit f: the colour has a pawn on file f
    u8 storm_files[2];   // bit f: an enemy pawn on file f is still in its own half
};

// Material values and phase units of one part of a colour's material key.
struct MaterialShare {
    i32 op;
    i32 en;
    i32 units;
};

// Derived evaluation block, built from the ParamRecord by
// init_evaluation_tables. Pieces index by type - 1 (pawn 0 .. king 5).
struct EvalTables {
    ValuePair material[5];       // pawn, knight, bishop, rook, queen
    ValuePair bishop_pair;
    i16 pst[6][64][2];           // [type - 1][square from white's side][phase]
    ValuePair knight_mobility[16];
    ValuePair bishop_mobility[16];
    ValuePair rook_mobility[16];
    ValuePair queen_mobility[32];
    ValuePair pawn_doubled;
    ValuePair pawn_backward;
    ValuePair pawn_isolated;
    ValuePair pawn_weak;
    ValuePair rook_open_file;
    ValuePair rook_half_open_file;
    ValuePair rook_rank7;
    i16 passed_bonus[8];         // by relative rank
    i16 passed_step[7];
    i16 king_danger[64];
    ValuePair hung;
    ValuePair pinned;
    i16 contempt;
    i16 pawn_candidate_en;
    i16 knight_outpost_op;
    i16 rook_trapped_op;
    i16 queen_rank7_en;
    i16 pawn_shield_op;
    i16 pawn_storm_op;
    i16 shield_term_op[11];      // pawn_shield_op * (shield - 9) / 10 by shield 0..10
    // Material by key part: pawns and knights (bits 0-7), bishops and rooks
    // (bits 8-15, with the bishop pair), queens (bits 16-19).
    MaterialShare material_pawns_knights[256];
    MaterialShare material_bishops_rooks[256];
    MaterialShare material_queens[16];
};

// Work record of one evaluation, rebuilt by every evaluation that gets past
// the cache; the piece-activity pass reads and adds to it.
struct EvalWork {
    Position* pos;
    ThreadData* td;
    PlyRecord* ply_record;
    PawnHashEntry* pawn_entry;
    const EvalTables* tables;
    u64 occupied;
    u64 outposts[2];
    u64 mobility_area[2];
    u64 king_zone[2];
    u64 blocked_by_pawn[2];      // own pawns with an enemy pawn directly ahead
    u64 king_files;              // files of both kings and their neighbours
    u64 all_attacks[2];
    u64 pawn_attacks[2];
    u64 knight_attacks[2];
    u64 bishop_attacks[2];
    u64 rook_attacks[2];
    u64 queen_attacks[2];
    u64 king_attacks[2];
    u64 attacked_twice[2];
    u16 zone_attackers[2];       // 4-bit counts: knights, bishops, rooks, queens
    int zone_danger[2];          // the counts weighted for the king-danger index
    int ply;
    int phase;                   // 0 (all material) .. 24 (bare kings)
    int phase_units[2];
    int material_op[2];
    int material_en[2];
    int positional_op[2];
    int positional_en[2];
    int pawn_count_term;
    u8 seventh_rank_flag[2];
    u8 king_sq[2];
    u8 trace;
    u64 hung;
    u64 pinned;
    u64 free_passers;
};

// Evaluation breakdown written in trace mode, printed by the console "ev".
struct EvalTrace {
    i16 square_value[64];
    int stage;
    int material[2];
    int positional[2];
    int pawns[2];
    int passers[2];
    int knights[2];
    int bishops[2];
    int rooks[2];
    int queens[2];
    int kings[2];
    u64 hung;
    u64 pinned;
    double draw_adjust;
};

constexpr int EVAL_CACHE_SIZE = 16384;
constexpr int PAWN_HASH_SIZE = 8192;
