#include "see.h"

#include "bitboard.h"

namespace {

constexpr int EXCHANGE_UNBOUNDED = 1 << 20;

// The first of the sliders in `candidates` (lowest square first) with
// nothing between it and `to`, or 64.
inline int first_unblocked(u64 candidates, int to, u64 occ)
{
    while (candidates) {
        const int sq = pop_lowest_bit(candidates);
        if (!(between_squares[sq][to] & occ)) return sq;
    }
    return NO_SQUARE;
}

// The least valuable attacker of `to` for `colour` among the pieces not in
// `used`, with its type. A slider attacks `to` exactly when nothing stands
// between them, which for the one or two sliders on the square's lines is
// cheaper to test than building the square's attack sets.
inline int attacker_of_least_value(const Position& pos, int colour, int to, u64 occ, u64 used, int& type)
{
    const u64* own = pos.pieces[colour];
    const u64 free = ~used;
    u64 set = pawn_attacks[colour ^ 1][to] & own[PAWN] & free;
    if (set) {
        type = PAWN;
        return lowest_bit_index(set);
    }
    set = knight_attacks[to] & own[KNIGHT] & free;
    if (set) {
        type = KNIGHT;
        return lowest_bit_index(set);
    }
    const u64 diagonal = bishop_rays[to] & free;
    const u64 straight = rook_rays[to] & free;
    int sq;
    if ((sq = first_unblocked(diagonal & own[BISHOP], to, occ)) != NO_SQUARE) {
        type = BISHOP;
        return sq;
    }
    if ((sq = first_unblocked(straight & own[ROOK], to, occ)) != NO_SQUARE) {
        type = ROOK;
        return sq;
    }
    if ((sq = first_unblocked((diagonal | straight) & own[QUEEN], to, occ)) != NO_SQUARE) {
        type = QUEEN;
        return sq;
    }
    set = king_attacks[to] & own[KING] & free;
    if (set) {
        type = KING;
        return lowest_bit_index(set);
    }
    return NO_SQUARE;
}

} // namespace

int exchange_in_window(const Position& pos, int colour, int from, int to, u64 occ, int lo, int hi)
{
    int mover_type;
    if (from == NO_SQUARE) {
        from = attacker_of_least_value(pos, colour, to, occ, 0, mover_type);
        if (from == NO_SQUARE) return 0 < lo ? lo : 0 > hi ? hi : 0;
    } else {
        mover_type = piece_type_of(pos.board[from]);
    }
    int victim_type = piece_type_of(pos.board[to]);
    int balance = 0;  // material won by `colour` so far
    u64 used = 0;
    // The sides take turns, `colour` first, one turn each per round. After
    // each capture the side to capture next may stop at `balance`; going on,
    // it gains at most the piece now on the square (the other side may stop
    // after).
    for (;;) {
        // `colour` captures; its opponent may stop (a min).
        if (victim_type == KING) {
            balance += EXCHANGE_KING_CAPTURE;
            break;
        }
        balance += exchange_piece_value[victim_type];
        occ &= ~square_bit(from);
        used |= square_bit(from);
        victim_type = mover_type;
        if (balance <= lo) return lo;
        if (balance < hi) hi = balance;
        if (balance - exchange_piece_value[victim_type] >= hi) return hi;
        from = attacker_of_least_value(pos, colour ^ 1, to, occ, used, mover_type);
        if (from == NO_SQUARE) break;

        // The opponent captures; `colour` may stop (a max).
        if (victim_type == KING) {
            balance -= EXCHANGE_KING_CAPTURE;
            break;
        }
        balance -= exchange_piece_value[victim_type];
        occ &= ~square_bit(from);
        used |= square_bit(from);
        victim_type = mover_type;
        if (balance >= hi) return hi;
        if (balance > lo) lo = balance;
        if (balance + exchange_piece_value[victim_type] <= lo) return lo;
        from = attacker_of_least_value(pos, colour, to, occ, used, mover_type);
        if (from == NO_SQUARE) break;
    }
    return balance < lo ? lo : balance > hi ? hi : balance;
}

int least_valuable_attacker(const Position& pos, int colour, int to, u64 occ)
{
    int type;
    return attacker_of_least_value(pos, colour, to, occ, 0, type);
}

int exchange_value_recursive(Position& pos, int colour, int from, int to, u64 occ, int clip)
{
    return exchange_in_window(pos, colour, from, to, occ, clip ? 0 : -EXCHANGE_UNBOUNDED, EXCHANGE_UNBOUNDED);
}

int exchange_value_on_square(Position& pos, int colour, int from, int to)
{
    return exchange_value_recursive(pos, colour, from, to, occupancy(pos), 0);
}

bool exchange_meets_threshold(Position& pos, Move move)
{
    const int from = move_from(move);
    const int to = move_to(move);
    const int attacker_type = piece_type_of(pos.board[from]);
    const int victim_type = piece_type_of(pos.board[to]);
    if (coarse_piece_value[attacker_type] <= coarse_piece_value[victim_type] || victim_type == KING) return true;
    return exchange_value_at_least(pos, pos.side, from, to, occupancy(pos), EXCHANGE_THRESHOLD);
}
