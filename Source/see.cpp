#include "see.h"

#include "bitboard.h"

namespace {

// First piece of `candidates` (lowest square first) with a clear line to `to`.
inline int first_unblocked(u64 candidates, int to, u64 occ)
{
    while (candidates) {
        int sq = pop_lowest_bit(candidates);
        if ((between_squares[sq][to] & occ) == 0) return sq;
    }
    return NO_SQUARE;
}

} // namespace

int least_valuable_attacker(const Position& pos, int colour, int to, u64 occ)
{
    const u64* own = pos.pieces[colour];
    // Pawns and knights cannot be screened; a piece that already captured has
    // left its type set.
    u64 set = pawn_attacks[colour ^ 1][to] & own[PAWN];
    if (set) return lowest_bit_index(set);
    set = knight_attacks[to] & own[KNIGHT];
    if (set) return lowest_bit_index(set);
    int sq = first_unblocked(bishop_rays[to] & own[BISHOP], to, occ);
    if (sq != NO_SQUARE) return sq;
    sq = first_unblocked(rook_rays[to] & own[ROOK], to, occ);
    if (sq != NO_SQUARE) return sq;
    sq = first_unblocked((bishop_rays[to] | rook_rays[to]) & own[QUEEN], to, occ);
    if (sq != NO_SQUARE) return sq;
    set = king_attacks[to] & own[KING];
    if (set) return lowest_bit_index(set);
    return NO_SQUARE;
}

int exchange_value_recursive(Position& pos, int colour, int from, int to, u64 occ, int clip)
{
    if (from == NO_SQUARE) {
        from = least_valuable_attacker(pos, colour, to, occ);
        if (from == NO_SQUARE) return 0;
    }
    int victim = pos.board[to];
    if (piece_type_of(victim) == KING) return EXCHANGE_KING_CAPTURE;

    // Capture on the board; the mover leaves its type set so it is not found
    // again, and it leaves the occupancy so sliders behind it see through.
    int mover = pos.board[from];
    u64 from_bit = square_bit(from);
    pos.board[to] = u8(mover);
    pos.board[from] = 0;
    pos.pieces[colour][piece_type_of(mover)] ^= from_bit;

    int gain = exchange_piece_value[piece_type_of(victim)] -
               exchange_value_recursive(pos, colour ^ 1, NO_SQUARE, to, occ & ~from_bit, 1);

    pos.pieces[colour][piece_type_of(mover)] ^= from_bit;
    pos.board[from] = u8(mover);
    pos.board[to] = u8(victim);
    return (gain < 0 && clip) ? 0 : gain;
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
