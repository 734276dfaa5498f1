#include "see.h"

#include "bitboard.h"

namespace {

// The least valuable attacker of `to` for `colour` among the pieces not in
// `used`, with its type. A slider attacks `to` exactly when it lies on the
// square's attack set over the occupancy (nothing between), so the lowest
// square of a type's pieces on that set is the first unblocked one.
inline int attacker_of_least_value(const Position& pos, int colour, int to, u64 occ, u64 used, int& type)
{
    const u64* own = pos.pieces[colour];
    u64 set = pawn_attacks[colour ^ 1][to] & own[PAWN] & ~used;
    if (set) {
        type = PAWN;
        return lowest_bit_index(set);
    }
    set = knight_attacks[to] & own[KNIGHT] & ~used;
    if (set) {
        type = KNIGHT;
        return lowest_bit_index(set);
    }
    const u64 diagonal = (bishop_rays[to] & (own[BISHOP] | own[QUEEN]) & ~used) ? bishop_attack_set(to, occ) : 0;
    set = diagonal & own[BISHOP] & ~used;
    if (set) {
        type = BISHOP;
        return lowest_bit_index(set);
    }
    const u64 straight = (rook_rays[to] & (own[ROOK] | own[QUEEN]) & ~used) ? rook_attack_set(to, occ) : 0;
    set = straight & own[ROOK] & ~used;
    if (set) {
        type = ROOK;
        return lowest_bit_index(set);
    }
    set = (diagonal | straight) & own[QUEEN] & ~used;
    if (set) {
        type = QUEEN;
        return lowest_bit_index(set);
    }
    set = king_attacks[to] & own[KING] & ~used;
    if (set) {
        type = KING;
        return lowest_bit_index(set);
    }
    return NO_SQUARE;
}

} // namespace

int least_valuable_attacker(const Position& pos, int colour, int to, u64 occ)
{
    int type;
    return attacker_of_least_value(pos, colour, to, occ, 0, type);
}

// The recursive definition (each side captures with its least valuable
// attacker, a capture of a king ends the exchange at 9999, every side but
// the first may decline a losing capture) evaluated in two passes: the
// captures forward, then the values back from the last one. The pieces that
// have captured leave the occupancy and are masked out of their sets; the
// board itself is only read.
int exchange_value_recursive(Position& pos, int colour, int from, int to, u64 occ, int clip)
{
    int mover_type;
    if (from == NO_SQUARE) {
        from = attacker_of_least_value(pos, colour, to, occ, 0, mover_type);
        if (from == NO_SQUARE) return 0;
    } else {
        mover_type = piece_type_of(pos.board[from]);
    }
    int victim_type = piece_type_of(pos.board[to]);
    int gains[40];  // at most 32 pieces take part
    int count = 0;
    int last = 0;   // value of the exchange after the final capture
    u64 used = 0;
    for (int side = colour;;) {
        if (victim_type == KING) {
            last = EXCHANGE_KING_CAPTURE;
            break;
        }
        gains[count++] = exchange_piece_value[victim_type];
        const u64 from_bit = square_bit(from);
        occ &= ~from_bit;
        used |= from_bit;
        victim_type = mover_type;
        side ^= 1;
        from = attacker_of_least_value(pos, side, to, occ, used, mover_type);
        if (from == NO_SQUARE) break;
    }
    for (int k = count - 1; k >= 0; k--) {
        const int gain = gains[k] - last;
        last = (gain < 0 && (k > 0 || clip)) ? 0 : gain;
    }
    return last;
}

int exchange_value_on_square(Position& pos, int colour, int from, int to)
{
    return exchange_value_recursive(pos, colour, from, to, occupancy(pos), 0);
}

int exchange_meets_threshold(Position& pos, Move move)
{
    int side = pos.side;
    int from = move_from(move);
    int to = move_to(move);
    int attacker = pos.board[from];
    int victim = pos.board[to];
    int attacker_type = piece_type_of(attacker);
    int victim_type = piece_type_of(victim);
    if (coarse_piece_value[attacker_type] <= coarse_piece_value[victim_type] || victim_type == KING) return 1;

    u64 from_bit = square_bit(from);
    pos.board[to] = u8(attacker);
    pos.board[from] = 0;
    pos.pieces[side][attacker_type] ^= from_bit;
    u64 occ = occupancy(pos) & ~from_bit;
    int gain = exchange_piece_value[victim_type];

    int recapturer_sq = least_valuable_attacker(pos, side ^ 1, to, occ);
    if (recapturer_sq != NO_SQUARE) {
        int recapturer = pos.board[recapturer_sq];
        u64 r_bit = square_bit(recapturer_sq);
        pos.board[to] = u8(recapturer);
        pos.board[recapturer_sq] = 0;
        pos.pieces[side ^ 1][piece_type_of(recapturer)] ^= r_bit;
        int reply = exchange_piece_value[attacker_type] -
                    exchange_value_recursive(pos, side, NO_SQUARE, to, occ & ~r_bit, 1);
        gain -= reply > 0 ? reply : 0;
        pos.pieces[side ^ 1][piece_type_of(recapturer)] ^= r_bit;
        pos.board[recapturer_sq] = u8(recapturer);
        pos.board[to] = u8(attacker);
    }

    pos.pieces[side][attacker_type] ^= from_bit;
    pos.board[from] = u8(attacker);
    pos.board[to] = u8(victim);
    return gain >= EXCHANGE_THRESHOLD ? 1 : 0;
}
