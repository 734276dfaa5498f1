#include "activity.h"

#include <algorithm>
#include <array>

#include "bitboard.h"
#include "params.h"
#include "records.h"

namespace {

// Shelter file by king file: b for a king on a or b, g for g or h.
constexpr int shelter_file[8] = {1, 1, 2, 3, 4, 5, 6, 6};
// Endgame bonus for the king by relative rank.
constexpr int king_rank_bonus[8] = {0, 0, 4, 8, 8, 8, 4, 0};
// Relative king squares a1, b1, g1, h1: a castled king is no attack target.
constexpr u64 KING_CORNERS = 0xC3ULL;

// Zone-attacker counter fields, four bits each: knights bits 0-3, bishops
// 4-7, rooks 8-11, queens 12-15. While a colour's pieces are scored the
// counter also sums the danger weights of the attackers from bit 16 on, so
// one register holds all of it; a field has room for every piece of a kind.
constexpr int ZONE_KNIGHT = 0, ZONE_BISHOP = 4, ZONE_ROOK = 8, ZONE_QUEEN = 12;
constexpr int zone_weight[4] = {36, 26, 46, 46};
constexpr u32 zone_step(int shift) { return (1u << shift) | (u32(zone_weight[shift / 4]) << 16); }

inline int zone_count(u16 counter, int shift) { return (counter >> shift) & 15; }

// Sum of three 2-bit shield values, by the six bits that hold them.
constexpr std::array<u8, 64> shield_sum = [] {
    std::array<u8, 64> sum{};
    for (int v = 0; v < 64; v++) sum[v] = u8((v & 3) + ((v >> 2) & 3) + (v >> 4));
    return sum;
}();

inline int tapered(const EvalWork& w, int op, int en) { return (en * w.phase + op * (24 - w.phase)) / 24; }

template <bool Trace>
inline void finish_piece(const EvalWork& w, int sq, int op, int en, int& trace_total)
{
    if constexpr (Trace) {
        int v = tapered(w, op, en);
        engine_config.eval_trace.square_value[sq] = i16(v);
        trace_total += v;
    }
}

// What one colour's pieces add up to, kept in locals while they are scored.
struct PieceTotals {
    int op = 0, en = 0;
    u64 all, twice;  // the colour's attack sets, seeded with its king and pawns
};

// Adds a scored piece: its terms, its trace entry, and its attacks to its
// kind's set and the colour's sets (`twice_source`: the squares it adds to
// the attacked-twice set).
template <bool Trace>
inline void add_scored_piece(const EvalWork& w, PieceTotals& totals, u64& kind, int sq, int op, int en,
                             int& trace_total, u64 att, u64 twice_source)
{
    totals.op += op;
    totals.en += en;
    finish_piece<Trace>(w, sq, op, en, trace_total);
    kind |= att;
    totals.twice |= twice_source & totals.all;
    totals.all |= att;
}

// A count that passes 7 (promoted pieces) is taken as 7, its weight too.
inline u32 capped_zone_counter(u32 counter)
{
    if (!(counter & 0x8888)) return counter;
    u32 capped = 0;
    for (int shift = 0; shift < 16; shift += 4) {
        const u32 n = std::min<u32>((counter >> shift) & 15, 7);
        capped += n * zone_step(shift);
    }
    return capped;
}

// The pieces of colour c other than the king, in locals: the accumulators,
// attack sets and zone counts go into the work record once at the end.
template <bool Trace, int c>
void evaluate_pieces(EvalWork& w)
{
    const Position& pos = *w.pos;
    const EvalTables& t = *w.tables;
    const int them = c ^ 1;
    const u64 mobility = w.mobility_area[c];
    const u64 enemy_zone = w.king_zone[them];
    const u64 outposts = w.outposts[c];
    const u64 occupied = w.occupied;
    EvalTrace& tr = engine_config.eval_trace;
    PieceTotals totals;
    totals.all = w.all_attacks[c];
    totals.twice = w.attacked_twice[c];

    u64 kind = 0;
    u32 zone = 0;
    for (const u8* p = pos.lists[c][KNIGHT];; p++) {
        const int sq = list_square(p);
        if (sq == NO_SQUARE) break;
        const int rel = sq ^ relative_rank_flip[c];
        u64 att = knight_attacks[sq];
        int n = count_bits(att & mobility);
        int op = t.knight_mobility[n].op + t.pst[KNIGHT - 1][rel][0];
        int en = t.knight_mobility[n].en + t.pst[KNIGHT - 1][rel][1] + w.pawn_count_term;
        if (att & enemy_zone) {
            op += 6;
            en += 6;
            zone += zone_step(ZONE_KNIGHT);
        }
        if (outposts & square_bit(sq)) {
            op += t.knight_outpost_op;
            if (w.pawn_attacks[c] & square_bit(sq)) op += t.knight_outpost_op / 2;
        } else if (att & outposts) {
            op += t.knight_outpost_op / 2;
        }
        if (n == 0 && (ENEMY_HALF[c] & square_bit(sq))) op -= 20;
        add_scored_piece<Trace>(w, totals, kind, sq, op, en, tr.knights[c], att, att);
    }
    w.knight_attacks[c] = kind;

    kind = 0;
    {
        const u64 see_through = occupied & ~pos.pieces[c][QUEEN];  // x-ray through own queens
        for (const u8* p = pos.lists[c][BISHOP];; p++) {
            const int sq = list_square(p);
            if (sq == NO_SQUARE) break;
            const int rel = sq ^ relative_rank_flip[c];
            u64 att = bishop_attack_set(sq, see_through);
            int n = count_bits(att & mobility);
            int centre = count_bits(att & CENTRE_SQUARES);
            u64 same_colour = (LIGHT_SQUARES & square_bit(sq)) ? LIGHT_SQUARES : ~LIGHT_SQUARES;
            int blocked = count_bits(w.blocked_by_pawn[c] & same_colour);
            int op = t.bishop_mobility[n].op + 4 * centre + t.pst[BISHOP - 1][rel][0] - 4 * blocked;
            int en = t.bishop_mobility[n].en + 4 * centre + t.pst[BISHOP - 1][rel][1] - 8 * blocked;
            if (outposts & square_bit(sq)) op += 12;
            if (n == 0 && (ENEMY_HALF[c] & square_bit(sq))) op -= 20;
            if (att & enemy_zone) zone += zone_step(ZONE_BISHOP);
            add_scored_piece<Trace>(w, totals, kind, sq, op, en, tr.bishops[c], att, att);
        }
    }
    w.bishop_attacks[c] = kind;

    kind = 0;
    {
        const u64 own_pawns = pos.pieces[c][PAWN];
        const u64 enemy_pawns = pos.pieces[them][PAWN];
        const u64 see_through = occupied & ~(pos.pieces[c][ROOK] | pos.pieces[c][QUEEN]);
        for (const u8* p = pos.lists[c][ROOK];; p++) {
            const int sq = list_square(p);
            if (sq == NO_SQUARE) break;
            const int rel = sq ^ relative_rank_flip[c];
            int f = file_of(sq);
            u64 att = rook_attack_set(sq, see_through);
            int n = count_bits(att & mobility);
            int forward = count_bits(att & file_mask[f] & ENEMY_HALF[c]);
            int op = t.rook_mobility[n].op + forward + t.pst[ROOK - 1][rel][0];
            int en = t.rook_mobility[n].en + forward + t.pst[ROOK - 1][rel][1];
            if (!(file_mask[f] & own_pawns)) {
                if (file_mask[f] & enemy_pawns) {
                    op += t.rook_half_open_file.op;
                    en += t.rook_half_open_file.en;
                } else {
                    op += t.rook_open_file.op;
                    en += t.rook_open_file.en;
                }
            } else if (n < 5 && (f < 2 || f > 5)) {
                // Shut in by its own king or pawn on b/c (f/g) of its rank,
                // read as a byte of the rank.
                const unsigned rank = unsigned((own_pawns | pos.pieces[c][KING]) >> (sq & 56)) & 0xFF;
                if (rank & (f < 2 ? 0x06 : 0x60)) op += t.rook_trapped_op;
            }
            if (rank_of(rel) == 6 && w.seventh_rank_flag[c]) {
                op += t.rook_rank7.op;
                en += t.rook_rank7.en;
            }
            if (att & enemy_zone) zone += zone_step(ZONE_ROOK);
            add_scored_piece<Trace>(w, totals, kind, sq, op, en, tr.rooks[c], att, att);
        }
    }
    w.rook_attacks[c] = kind;

    kind = 0;
    for (const u8* p = pos.lists[c][QUEEN];; p++) {
        const int sq = list_square(p);
        if (sq == NO_SQUARE) break;
        const int rel = sq ^ relative_rank_flip[c];
        u64 diagonal = bishop_attack_set(sq, occupied);
        u64 straight = rook_attack_set(sq, occupied);
        u64 att = diagonal | straight;
        u64 xray = att;
        if (diagonal & pos.pieces[c][BISHOP]) xray |= bishop_attack_set(sq, occupied & ~pos.pieces[c][BISHOP]);
        if (straight & pos.pieces[c][ROOK]) xray |= rook_attack_set(sq, occupied & ~pos.pieces[c][ROOK]);
        int n = count_bits(xray & mobility);
        int op = t.queen_mobility[n].op + t.pst[QUEEN - 1][rel][0];
        int en = t.queen_mobility[n].en + t.pst[QUEEN - 1][rel][1];
        if (!(xray & w.king_files)) {
            op -= 8;
            en -= 8;
        }
        if (rank_of(rel) == 6 && w.seventh_rank_flag[c]) en += t.queen_rank7_en;
        if (xray & enemy_zone) zone += zone_step(ZONE_QUEEN);
        add_scored_piece<Trace>(w, totals, kind, sq, op, en, tr.queens[c], att, xray);
    }
    w.queen_attacks[c] = kind;

    w.all_attacks[c] = totals.all;
    w.attacked_twice[c] = totals.twice;
    zone = capped_zone_counter(zone);
    w.zone_attackers[c] = u16(zone);
    w.zone_danger[c] = int(zone >> 16);
    w.positional_op[c] += totals.op;
    w.positional_en[c] += totals.en;
}

// King safety of colour `us`. Reads the enemy's complete attack sets, so it
// runs after every piece of both colours. The kings' own attacks were seeded
// into the all-attacks and attacked-twice sets by the set-up and are not
// added again here: adding the first king's attacks before the second king
// is scored would make the two kings see different sets.
template <bool Trace, int us>
void evaluate_king(EvalWork& w)
{
    const Position& pos = *w.pos;
    const EvalTables& t = *w.tables;
    const int them = us ^ 1;
    const int ksq = w.king_sq[us], rel = ksq ^ relative_rank_flip[us];
    const int kf = file_of(ksq);
    int op = t.pst[KING - 1][rel][0];
    int en = t.pst[KING - 1][rel][1];

    if (w.phase_units[them] > 3) {
        const u64 own_pawns = pos.pieces[us][PAWN];
        const int s = shelter_file[kf];
        // Pawn shield on the three shelter files, from the values of the
        // pawn-hash entry; the files are bits of a byte.
        const PawnHashEntry& pe = *w.pawn_entry;
        int shield = (w.king_attacks[us] & own_pawns) ? 1 : 0;
        shield += shield_sum[(pe.shelter[us] >> (2 * s - 2)) & 63];
        op += t.shield_term_op[shield];

        int index_seed = (square_bit(rel) & KING_CORNERS) ? 0 : 2;
        // Pawn storm: files of the shelter whose enemy pawns have left their half.
        int enemy_kf = file_of(w.king_sq[them]);
        if (unsigned(s - enemy_kf + 2) > 4) {  // more than two files apart
            const int storm = 3 - std::popcount((unsigned(pe.storm_files[us]) >> (s - 1)) & 7);
            index_seed += storm;
            op += t.pawn_storm_op * storm;
        }

        const u64 zone = w.king_zone[us];
        const u64 our_minor_cover = w.pawn_attacks[us] | w.knight_attacks[us] | w.bishop_attacks[us];
        int zone_hits = count_bits(zone & w.pawn_attacks[them]) +
                        count_bits(zone & w.pawn_attacks[them] & w.attacked_twice[them]) +
                        count_bits(zone & w.knight_attacks[them] & ~w.pawn_attacks[us]) +
                        count_bits(zone & w.bishop_attacks[them] & ~w.pawn_attacks[us]) +
                        count_bits(zone & w.rook_attacks[them] & ~our_minor_cover) +
                        count_bits(zone & w.queen_attacks[them] & ~(our_minor_cover | w.rook_attacks[us] | w.queen_attacks[us]));

        u64 safe = ~(pos.pieces[them][PAWN] | our_minor_cover | w.rook_attacks[us] | w.queen_attacks[us] |
                     (w.king_attacks[us] & ~w.attacked_twice[them]));
        // The king's own slider sets only matter when a safe square on its
        // rays is attacked by an enemy slider of that kind.
        const u64 diagonal_checks = (w.bishop_attacks[them] | w.queen_attacks[them]) & safe & bishop_rays[ksq];
        const u64 line_checks = (w.rook_attacks[them] | w.queen_attacks[them]) & safe & rook_rays[ksq];
        u64 diagonals = diagonal_checks ? bishop_attack_set(ksq, w.occupied) : 0;
        u64 lines = line_checks ? rook_attack_set(ksq, w.occupied) : 0;
        bool knight_check = (w.knight_attacks[them] & knight_attacks[ksq] & safe) != 0;
        bool bishop_check = (w.bishop_attacks[them] & diagonals & safe) != 0;
        bool rook_check = (w.rook_attacks[them] & lines & safe) != 0;
        bool queen_check = (w.queen_attacks[them] & (diagonals | lines) & safe) != 0;
        int checks = int(knight_check) + int(bishop_check) + int(rook_check) + int(queen_check);
        bool contact = (w.queen_attacks[them] & safe & w.king_attacks[us]) != 0;
        if (contact) w.ply_record->threat[us] = 5000;
        en -= 8 * checks;
        op -= 8 * checks;
        if (contact) op += 12;

        u16 counter = w.zone_attackers[them];
        int danger = 6 * index_seed + w.zone_danger[them] + 32 * checks + 32 * int(contact) + 16 * zone_hits - 8 * shield;
        if (zone_count(counter, ZONE_QUEEN) == 0 && queen_check) danger += 17;
        else danger -= 15;
        if (zone_count(counter, ZONE_ROOK) == 0 && rook_check) danger += 32;
        if (zone_count(counter, ZONE_KNIGHT) == 0 && knight_check) danger += 32;
        int index = danger >> 3;  // rounds a negative danger down: still no penalty
        if (pos.side == us) index -= 2;
        if (index > 0) op -= t.king_danger[index > 63 ? 63 : index];
    }
    if (!pos.pieces[them][QUEEN]) op /= 2;

    if (w.phase > 14) {
        if (!(king_attacks[ksq] & INNER_BOARD & ~w.occupied & ~w.all_attacks[them])) en -= 10;
        unsigned mask = unsigned(w.pawn_entry->file_mask[WHITE] | w.pawn_entry->file_mask[BLACK]) & 0xFF;
        if (mask) {
            int lo = lowest_pawn_file[mask], hi = highest_pawn_file[mask];
            if (kf < lo) en -= 10 * (lo - kf);
            else if (kf > hi) en -= 10 * (kf - hi);
        }
        en += king_rank_bonus[rank_of(rel)];
    }
    w.positional_op[us] += op;
    w.positional_en[us] += en;
    finish_piece<Trace>(w, ksq, op, en, engine_config.eval_trace.kings[us]);
}

} // namespace

template <bool Trace>
void evaluate_piece_activity(EvalWork& w)
{
    evaluate_pieces<Trace, WHITE>(w);
    evaluate_pieces<Trace, BLACK>(w);
    evaluate_king<Trace, WHITE>(w);
    evaluate_king<Trace, BLACK>(w);
}

template void evaluate_piece_activity<false>(EvalWork& w);
template void evaluate_piece_activity<true>(EvalWork& w);
