// Pseudo-legal move generation in a fixed order, and the lazy legality,
// check and move-class tests the search runs once per move tried.
//
// Generation order decides ties in move ordering, so it is part of the
// engine's behaviour: captures (pawns towards the lower file, pawns towards
// the higher file, knights, bishops, rooks, queens, king), then promotions,
// then quiet moves (pawns, knights, bishops, rooks, queens, king, castling).
#pragma once

#include "bitboard.h"
#include "records.h"
#include "types.h"

// Bits returned by classify_move.
constexpr int MOVE_CLASS_CAPTURE = 1;          // capture or en passant
constexpr int MOVE_CLASS_CHECK = 2;            // gives check (direct or discovered)
constexpr int MOVE_CLASS_DISCOVERED = 4;       // gives a discovered check
constexpr int MOVE_CLASS_SEVENTH = 8;          // pawn move to its seventh rank
constexpr int MOVE_CLASS_QUEEN_PROMOTION = 16; // pawn move with the queen flag
constexpr int MOVE_CLASS_PAWN_ADVANCE = 32;    // under-promotion or passed-pawn push to rank 5/6

// The generators append entries at `list` and return the new list end; none
// writes the end mark. Each entry gets the move, the mover's code and the
// code on the destination (0 for quiet moves, pushes and en passant); the
// order score is left as it was.
MoveEntry* generate_captures(const Position& pos, int colour, MoveEntry* list);
// all_kinds 0: queen promotions only; 1: queen, knight, bishop, rook.
// Pawns on their seventh rank are rare, so that test is made inline.
MoveEntry* generate_promotions_of(const Position& pos, int colour, int all_kinds, MoveEntry* list, u64 pawns);
inline MoveEntry* generate_promotions(const Position& pos, int colour, int all_kinds, MoveEntry* list)
{
    const u64 pawns = pos.pieces[colour][PAWN] & seventh_rank_mask[colour];
    return pawns ? generate_promotions_of(pos, colour, all_kinds, list, pawns) : list;
}
MoveEntry* generate_quiet_moves(const Position& pos, int colour, MoveEntry* list);

// Room for every pseudo-legal move of any position the square lists allow.
constexpr int LOCAL_MOVE_LIST_SIZE = 512;
// Every pseudo-legal move of the side to move in generation order, appended
// at `list` (no end mark); returns the new list end.
inline MoveEntry* generate_pseudo_legal_moves(const Position& pos, MoveEntry* list)
{
    MoveEntry* end = generate_captures(pos, pos.side, list);
    end = generate_promotions(pos, pos.side, 1, end);
    return generate_quiet_moves(pos, pos.side, end);
}

// Fills the list of the owner's current search ply with every pseudo-legal
// move of the side to move, ends it with MOVE_LIST_END and sets the list
// starts of the next two plies behind the end mark.
void generate_all_moves(const Position& pos);
// The first legal move of the side to move in generation order (the first
// move of the root list), or NULL_MOVE when there is none. Touches no list.
Move first_legal_move(const Position& pos);

// Attack test of `sq` by colour `by` on a changed board: `occ` is the
// occupancy after the change and `keep` masks out an enemy piece that the
// change has captured. Same visiting order as is_square_attacked_by. The
// enemy king is tested only for a king move: otherwise the two kings would
// already stand side by side.
template <bool KING_MOVE>
inline bool square_attacked_after_change(const Position& pos, int sq, int by, u64 occ, u64 keep)
{
    const u64* enemy = pos.pieces[by];
    if (pawn_attacks[by ^ 1][sq] & enemy[PAWN] & keep) return true;
    if (knight_attacks[sq] & enemy[KNIGHT] & keep) return true;
    if (KING_MOVE && (king_attacks[sq] & enemy[KING])) return true;
    u64 queens = enemy[QUEEN] & keep;
    for (u64 s = bishop_rays[sq] & ((enemy[BISHOP] & keep) | queens); s;) {
        if (!(between_squares[pop_lowest_bit(s)][sq] & occ)) return true;
    }
    for (u64 s = rook_rays[sq] & ((enemy[ROOK] & keep) | queens); s;) {
        if (!(between_squares[pop_lowest_bit(s)][sq] & occ)) return true;
    }
    return false;
}

// Whether the pseudo-legal move of `colour` (the side to move) leaves its king
// unattacked. Castling needs origin, middle and destination unattacked (the
// square next to the queen-side rook is not tested); en passant removes the
// captured pawn for the test. The position is not changed: the test works on
// a copy of the occupancy.
inline bool king_safe_after_move(const Position& pos, int colour, Move move)
{
    int from = move_from(move), to = move_to(move);
    int king = pos.lists[colour][KING][0];
    int enemy = colour ^ 1;
    u64 occ = (occupancy(pos) ^ square_bit(from)) | square_bit(to);
    if (from == king) {
        if (to == from + 2 || to == from - 2) {
            return !is_square_attacked_by(pos, from, enemy) && !is_square_attacked_by(pos, to, enemy) &&
                   !is_square_attacked_by(pos, (from + to) >> 1, enemy);
        }
        return !square_attacked_after_change<true>(pos, to, enemy, occ, ~square_bit(to));
    }
    u64 removed = square_bit(to);
    if (to == pos.ep_square && pos.board[to] == 0 && piece_type_of(pos.board[from]) == PAWN) {
        removed = square_bit(to - pawn_push[colour]);
        occ ^= removed;
    }
    return !square_attacked_after_change<false>(pos, king, enemy, occ, ~removed);
}

// Facts of one node that let most moves skip the attack test. A move can
// uncover its king only if it is a king move, en passant, or leaves a square
// between the king and an enemy slider on a line the slider moves along.
// Every other move is legal out of check, and in check exactly when it
// captures the single checker or steps between it and the king. Same
// answers as king_safe_after_move, with the attack test paid once per node.
struct KingSafetyHint {
    u64 risky_origins;    // squares between the king and a slider that could pin
    u64 test_origins;     // origins that need the attack test: the risky ones, the king's, en passant's
    u64 evasion_targets;  // destinations that leave the king safe for the other moves: all out of check
    int king;
    int in_check;
};

// In check, the squares a move other than the king's must reach: the
// checker's and those between it and the king, none in a double check
// (capturing one checker cannot block the other, as it stands on no line
// between the other and the king). All squares when no piece gives check.
u64 check_evasion_targets(const Position& pos, int colour, int king);

// The hint for a side whose in-check flag is already known.
inline KingSafetyHint king_safety_hint_in_check(const Position& pos, int colour, int in_check)
{
    const int king = pos.lists[colour][KING][0];
    const u64* enemy = pos.pieces[colour ^ 1];
    u64 risky = 0;
    for (u64 s = bishop_rays[king] & (enemy[BISHOP] | enemy[QUEEN]); s;) risky |= between_squares[king][pop_lowest_bit(s)];
    for (u64 s = rook_rays[king] & (enemy[ROOK] | enemy[QUEEN]); s;) risky |= between_squares[king][pop_lowest_bit(s)];
    // The pawns that could take en passant are known per node, so the moves
    // need no en passant test of their own.
    u64 test = risky | square_bit(king);
    if (pos.ep_square != NO_SQUARE) test |= pawn_attacks[colour ^ 1][pos.ep_square] & pos.pieces[colour][PAWN];
    const u64 targets = in_check ? check_evasion_targets(pos, colour, king) : ~u64(0);
    return {risky, test, targets, king, in_check};
}

inline KingSafetyHint king_safety_hint(const Position& pos, int colour)
{
    return king_safety_hint_in_check(pos, colour,
                                     is_square_attacked_by(pos, pos.lists[colour][KING][0], colour ^ 1));
}

inline bool king_safe_with_hint(const Position& pos, int colour, Move move, const KingSafetyHint& hint)
{
    if (!(hint.test_origins & square_bit(move_from(move))))
        return (hint.evasion_targets & square_bit(move_to(move))) != 0;
    return king_safe_after_move(pos, colour, move);
}

// 0 for the null move, else king_safe_after_move.
inline bool king_safe_after_nonzero_move(const Position& pos, int colour, Move move)
{
    return move != NULL_MOVE && king_safe_after_move(pos, colour, move);
}

// For a move of `colour` not yet played: 0 no check, 1 direct check,
// 2 discovered check (also for a double check). A castling rook's check is
// not seen, and a pawn taken en passant still blocks discovered lines.
int check_kind_after_move(const Position& pos, int colour, const MoveEntry& entry);

// The MOVE_CLASS_* bits of a move of `colour` (the side to move).
int classify_move(const Position& pos, int colour, const MoveEntry& entry);

// Facts of one position that answer the check test of many moves of
// `colour` cheaply: the own pieces that alone stand between an own slider
// and the enemy king on the slider's line. Same answers as
// check_kind_after_move and classify_move; a position whose enemy king is
// already attacked is left to those.
struct CheckHint {
    u64 discoverers;
    u64 occupancy;
    int enemy_king;
    int usable;
};
CheckHint check_hint(const Position& pos, int colour);

// Inline: the search asks once per move tried, and the call's register
// saves cost as much as the test.

// Direct check: the piece standing on the destination attacks the king
// square on an empty board and nothing of the present occupancy stands
// between (pawns and knights have no squares between).
inline bool direct_check(const Position& pos, int colour, Move move, int enemy_king, u64 occ)
{
    const int from = move_from(move), to = move_to(move);
    int type = piece_type_of(pos.board[from]);
    if (move & PROMO_MASK) type = promotion_type(move);
    const int kind = type == PAWN ? colour : type;
    // The small table first: most moves attack no king square at all.
    if (!((empty_board_attackers[to][enemy_king] >> kind) & 1)) return false;
    return !(between_squares[to][enemy_king] & occ);
}

// The MOVE_CLASS_* bits of a move whose check kind is known.
inline int move_class_bits(const Position& pos, int colour, const MoveEntry& entry, int check)
{
    const Move move = entry.move;
    const int to = move_to(move);
    const bool pawn_move = piece_type_of(entry.piece) == PAWN;
    int bits = 0;
    if (entry.captured != 0 || (pawn_move && to == pos.ep_square)) bits |= MOVE_CLASS_CAPTURE;
    if (check) bits |= MOVE_CLASS_CHECK;
    if (check == 2) bits |= MOVE_CLASS_DISCOVERED;
    if (pawn_move) {
        int relative_rank = rank_of(to ^ relative_rank_flip[colour]);
        int mover_rank = rank_of(to ^ relative_rank_flip[pos.side]);
        if (move & PROMO_QUEEN) {
            bits |= MOVE_CLASS_QUEEN_PROMOTION;
        } else if (relative_rank == 6) {
            bits |= MOVE_CLASS_SEVENTH;
        } else if (relative_rank == 7) {
            bits |= MOVE_CLASS_PAWN_ADVANCE;
        } else if ((mover_rank == 4 || mover_rank == 5) &&
                   !(passed_pawn_span[pos.side][to] & pos.pieces[pos.side ^ 1][PAWN])) {
            bits |= MOVE_CLASS_PAWN_ADVANCE;
        }
    }
    return bits;
}

[[gnu::always_inline]] inline int check_kind_with_hint(const Position& pos, int colour, const MoveEntry& entry, const CheckHint& hint)
{
    if (!hint.usable) return check_kind_after_move(pos, colour, entry);
    const Move move = entry.move;
    const int from = move_from(move), to = move_to(move);
    const int king = hint.enemy_king;
    // The only piece between one of our sliders and the king leaves the line
    // (a move can neither pass the slider nor the king, so staying on the
    // line means staying between them).
    if ((hint.discoverers & square_bit(from)) && !(between_squares[from][king] & square_bit(to)) &&
        !(between_squares[to][king] & square_bit(from)))
        return 2;
    return direct_check(pos, colour, move, king, hint.occupancy);
}

[[gnu::always_inline]] inline int classify_move_with_hint(const Position& pos, int colour, const MoveEntry& entry, const CheckHint& hint)
{
    return move_class_bits(pos, colour, entry, check_kind_with_hint(pos, colour, entry, hint));
}
