// The tablebase prober's own position (piece sets only), its move word,
// move generation and move making, and the material key and name that pick
// a table. Everything here works on value records without allocation.
#pragma once

#include "types.h"

struct TbPosition {
    u64 white;           // all white pieces
    u64 black;           // all black pieces
    u64 kings;           // kind sets hold both colours
    u64 queens;
    u64 rooks;
    u64 bishops;
    u64 knights;
    u64 pawns;
    u8 halfmove_clock;   // plies since the last capture or pawn move
    u8 ep_square;        // square a capturing pawn moves to; 0 = none
    u8 white_to_move;    // 1 white to move, 0 black to move
};

// Prober move: destination bits 0-5, origin bits 6-11, promotion bits 12-14
// (0 none, 1 queen, 2 rook, 3 bishop, 4 knight). No castling moves.
using ProbeMove = u16;
constexpr int TB_PROMO_QUEEN = 1;
constexpr int TB_PROMO_ROOK = 2;
constexpr int TB_PROMO_BISHOP = 3;
constexpr int TB_PROMO_KNIGHT = 4;

constexpr int probe_move_to(ProbeMove m) { return m & 63; }
constexpr int probe_move_from(ProbeMove m) { return (m >> 6) & 63; }
constexpr int probe_move_promotion(ProbeMove m) { return (m >> 12) & 7; }
constexpr ProbeMove make_probe_move(int from, int to, int promotion = 0)
{
    return ProbeMove(to | (from << 6) | (promotion << 12));
}

// Room of the prober's move lists.
constexpr int TB_CAPTURE_LIST_SIZE = 64;
constexpr int TB_MOVE_LIST_SIZE = 200;

// WDL values (side to move's view) and the codes handed to the engine.
constexpr int WDL_LOSS = -2;
constexpr int WDL_BLESSED_LOSS = -1;
constexpr int WDL_DRAW = 0;
constexpr int WDL_CURSED_WIN = 1;
constexpr int WDL_WIN = 2;

// Squares holding the given prober piece code (1..6 white pawn..king, 9..14
// black); any other code gives the empty set.
u64 probe_piece_set(const TbPosition& pos, int code);

// Material key: sum of count x constant over the non-king kinds; with
// mirror set black's counts take the first-side constants.
u64 material_signature_key(const TbPosition& pos, int mirror);
// Same key from piece counts indexed colour * 8 + type (kings ignored).
u64 material_key_from_counts(const int counts[16], int mirror);

// Longest material name a registered table can have, with its NUL.
constexpr int TB_NAME_SIZE = 16;
// Writes "K<first side>vK<second side>" (e.g. KQRvKP); the first side is
// white, or black when mirror is set. Never writes more than TB_NAME_SIZE bytes.
void material_name_string(const TbPosition& pos, char* out, int mirror);

// Pseudo-legal moves of the side to move (own king may be left attacked).
ProbeMove* probe_board_generate_moves(const TbPosition& pos, ProbeMove* list);
// Captures, the en-passant capture and promotion pushes only.
ProbeMove* probe_board_generate_captures(const TbPosition& pos, ProbeMove* list);
// Writes the position after the move into out; returns true when the mover's
// king exists and is not attacked afterwards, else false (out is written
// anyway).
bool probe_board_apply_move(TbPosition& out, const TbPosition& pos, ProbeMove move);

// Whether the side to move's king (the lowest one) is attacked by the other side.
bool tb_side_to_move_in_check(const TbPosition& pos);
// Whether the move is an en-passant capture in pos.
bool tb_is_en_passant_move(const TbPosition& pos, ProbeMove move);

// Conversion from the engine's position. The root probe passes the
// position's clock, the search gate 0.
TbPosition tb_position_from_engine(const Position& pos, int halfmove_clock);

// Soundness of a position before probing: exactly one king per colour, no
// square shared, disjoint kind sets, no pawn on the first or last rank, the
// colour sets equal the kind sets, kings not adjacent, the side not to move
// not in check, and an en-passant square consistent with the pawns. 1 = sound.
bool tb_position_is_sound(const TbPosition& pos);
// The same test on the engine's position (castling rights make it unsound
// too, since the tables know none). The search calls it once per search and
// keeps probing off for that search when it returns false.
bool tb_root_position_is_valid(const Position& pos);
