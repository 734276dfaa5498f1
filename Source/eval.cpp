#include "eval.h"

#include <array>
#include <cstdlib>
#include <cstring>

#include "activity.h"
#include "bitbase.h"
#include "bitboard.h"
#include "params.h"
#include "records.h"
#include "score.h"
#include "see.h"
#include "zobrist.h"

namespace {

// King moves between two squares on an empty board.
constexpr std::array<std::array<u8, 64>, 64> square_distance = [] {
    std::array<std::array<u8, 64>, 64> d{};
    for (int a = 0; a < 64; a++)
        for (int b = 0; b < 64; b++) {
            const int df = a % 8 > b % 8 ? a % 8 - b % 8 : b % 8 - a % 8;
            const int dr = a / 8 > b / 8 ? a / 8 - b / 8 : b / 8 - a / 8;
            d[a][b] = u8(df > dr ? df : dr);
        }
    return d;
}();

inline int king_distance(int a, int b) { return square_distance[a][b]; }

inline int tapered(int phase, int op, int en) { return (en * phase + op * (24 - phase)) / 24; }

// Squares ahead of a pawn of colour c on its file.
inline u64 file_ahead(int c, int sq) { return c == WHITE ? ray_north[sq] : ray_south[sq]; }

inline u64 pawns_pushed(int c, u64 pawns) { return c == WHITE ? pawns << 8 : pawns >> 8; }

// Tables of the bare-king endings, given rank 8 first (index with sq ^ 56).
// Weak king against bishop and knight: high in the dark corners a1 and h8.
constexpr u8 corner_table[64] = {
    6,  8,  10, 12, 14, 16, 18, 20, 8,  4,  6,  8,  10, 12, 14, 18, 10, 6,  2,  2,  6,  8,
    12, 16, 12, 8,  2,  0,  2,  6,  10, 14, 14, 10, 6,  2,  0,  2,  8,  12, 16, 12, 8,  6,
    2,  2,  6,  10, 18, 14, 12, 10, 8,  6,  4,  8,  20, 18, 16, 14, 12, 10, 8,  6,
};
// Lone king against a rook or queen: high on the edge.
constexpr u8 edge_table[64] = {
    60, 50, 40, 30, 30, 40, 50, 60, 50, 40, 30, 20, 20, 30, 40, 50, 40, 30, 20, 10, 10, 20,
    30, 40, 30, 20, 10, 0,  0,  10, 20, 30, 30, 20, 10, 0,  0,  10, 20, 30, 40, 30, 20, 10,
    10, 20, 30, 40, 50, 40, 30, 20, 20, 30, 40, 50, 60, 50, 40, 30, 30, 40, 50, 60,
};

// Strong king in the bishop-and-knight ending: 0 on the edge, 1 on the second
// ring, 2 in the central 4x4 block.
inline int centre_value(int sq)
{
    int f = file_of(sq), r = rank_of(sq);
    int ring = f < 7 - f ? f : 7 - f;
    int rr = r < 7 - r ? r : 7 - r;
    if (rr < ring) ring = rr;
    return ring > 2 ? 2 : ring;
}

// Pawn support bonuses by relative rank (and file for the defended table).
constexpr int supported_bonus[8] = {0, 0, 0, 5, 13, 30, 30, 0};
constexpr int defended_bonus[8][8] = {
    {0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0}, {2, 2, 2, 2, 2, 2, 2, 2}, {2, 3, 4, 4, 4, 4, 3, 2},
    {2, 4, 7, 7, 7, 7, 4, 2}, {2, 4, 7, 7, 7, 7, 4, 2}, {2, 4, 7, 7, 7, 7, 4, 2}, {0, 0, 0, 0, 0, 0, 0, 0},
};

// Passed-pawn extras by relative rank.
constexpr int free_passer_bonus[8] = {0, 5, 5, 12, 20, 30, 40, 0};
constexpr int passer_threat[8] = {0, 32, 32, 64, 128, 256, 512, 0};

constexpr u64 WHITE_OUTPOST_ZONE = 0x00007E7E00000000ULL;  // b5-g6
constexpr u64 BLACK_OUTPOST_ZONE = 0x000000007E7E0000ULL;        // b3-g4

// King zone by king square: the 3x3 block around the king, moved in from
// the edge so that it always holds nine squares.
constexpr std::array<u64, 64> king_zone_of = [] {
    std::array<u64, 64> zone{};
    for (int sq = 0; sq < 64; sq++) {
        const int zf = sq % 8 < 1 ? 1 : sq % 8 > 6 ? 6 : sq % 8;
        const int zr = sq / 8 < 1 ? 1 : sq / 8 > 6 ? 6 : sq / 8;
        for (int dr = -1; dr <= 1; dr++)
            for (int df = -1; df <= 1; df++) zone[sq] |= u64(1) << (8 * (zr + dr) + zf + df);
    }
    return zone;
}();

// The files with a square of the set, as a byte with bit f for file f.
inline unsigned occupied_files(u64 set)
{
    set |= set >> 32;
    set |= set >> 16;
    set |= set >> 8;
    return unsigned(set) & 0xFF;
}

// Bit f of a byte moved to bit 2f.
inline unsigned spread_files(unsigned files)
{
    files = (files | (files << 4)) & 0x0F0F;
    files = (files | (files << 2)) & 0x3333;
    return (files | (files << 1)) & 0x5555;
}

// Shield value of each file for a king of colour c, two bits per file: 3
// when the nearest own pawn stands on the second rank, 2 on the third, 1
// further up, 0 without a pawn.
inline u16 shelter_values(int c, u64 own_pawns)
{
    const unsigned second = unsigned(own_pawns >> (c == WHITE ? 8 : 48)) & 0xFF;
    const unsigned third = unsigned(own_pawns >> (c == WHITE ? 16 : 40)) & 0xFF & ~second;
    const unsigned further = occupied_files(own_pawns) & ~(second | third);
    return u16(3 * spread_files(second) + 2 * spread_files(third) + spread_files(further));
}

inline int piece_count(u32 key, int type) { return int((key >> (4 * (type - 1))) & 15); }

// A bare king on one side. Returns true with the score in *score when
// one of the known bare-king endings applies.
bool evaluate_bare_king(const EvalWork& w, int colour, u32 sum, int* score)
{
    const Position& pos = *w.pos;
    EvalTrace& tr = engine_config.eval_trace;
    if (sum == 1) {
        *score = kpk_bitbase_score(pos, colour);
        return true;
    }
    const int strong = pos.material_key[WHITE] ? WHITE : BLACK, weak = strong ^ 1;
    const int ks = w.king_sq[strong], kw = w.king_sq[weak];
    if (sum == 0x110) {
        // Bishop and knight: drive the king to a corner of the bishop's colour.
        int bishop = pos.lists[strong][BISHOP][0];
        int corner_sq = (LIGHT_SQUARES & square_bit(bishop)) ? kw ^ 7 : kw;
        int v = centre_value(ks) + 200 + 2 * corner_table[corner_sq ^ 56] - 2 * king_distance(ks, kw);
        if (w.trace) {
            tr.square_value[ks] = i16(4 * v);
            tr.kings[strong] = 4 * v;
        }
        *score = colour == strong ? 4 * v : -4 * v;
        return true;
    }
    if (sum & 0xFF000) {
        // A rook or queen against the bare king: material plus mating pattern.
        int side_score[2] = {100 * pos.piece_units[WHITE], 100 * pos.piece_units[BLACK]};
        side_score[strong] += 200 - 10 * king_distance(ks, kw) + edge_table[kw ^ 56];
        if (w.trace) {
            tr.square_value[w.king_sq[WHITE]] = i16(side_score[WHITE]);
            tr.square_value[w.king_sq[BLACK]] = i16(side_score[BLACK]);
            tr.kings[WHITE] = side_score[WHITE];
            tr.kings[BLACK] = side_score[BLACK];
        }
        int v = side_score[WHITE] - side_score[BLACK];
        *score = colour == BLACK ? -v : v;
        return true;
    }
    return false;
}

// Pawn structure of one colour into the pawn-hash entry.
template <bool Trace, int c>
void evaluate_pawn_structure(EvalWork& w)
{
    const Position& pos = *w.pos;
    const EvalTables& t = *w.tables;
    PawnHashEntry& pe = *w.pawn_entry;
    const int them = c ^ 1;
    const u64 own = pos.pieces[c][PAWN], enemy = pos.pieces[them][PAWN];
    int op_sum = 0, en_sum = 0;
    for (const u8* p = pos.lists[c][PAWN];; p++) {
        const int sq = list_square(p);
        if (sq == NO_SQUARE) break;
        const int rel = sq ^ relative_rank_flip[c];
        const int f = file_of(sq), r = rank_of(rel);
        const int ahead = sq + pawn_push[c];
        int op = t.pst[PAWN - 1][rel][0], en = t.pst[PAWN - 1][rel][1];
        pe.file_mask[c] = u8(pe.file_mask[c] | (1u << f));
        if (file_mask[f] & own & ~square_bit(sq)) {
            op += t.pawn_doubled.op;
            en += t.pawn_doubled.en;
        }
        const bool unopposed = !(file_ahead(c, sq) & enemy);
        // No own pawn beside or behind on a neighbouring file can ever cover
        // the square ahead. The three weaknesses are independent and add up:
        // an unopposed isolated pawn on its first four ranks takes all three.
        if (!(pe.attack_span[c] & square_bit(ahead))) {
            if (r < 4) {
                op += t.pawn_backward.op;
                en += t.pawn_backward.en;
            }
            if (!(adjacent_files[f] & own)) {
                op += t.pawn_isolated.op;
                en += t.pawn_isolated.en;
            }
            if (unopposed) {
                op += t.pawn_weak.op;
                en += t.pawn_weak.en;
            }
        }
        int support = 0;
        if (rank_neighbours[sq] & own) support = supported_bonus[r];
        if (pawn_attacks[them][sq] & own) support += defended_bonus[r][f];
        op += support;
        en += support;
        const bool passed = (pe.passed & square_bit(sq)) != 0;
        if (!passed && (w.outposts[c] & square_bit(sq))) op += 4;
        // Candidate: the enemy pawns that can still meet it after one step
        // (the front span of the square ahead, not the pawns level with that
        // square, which the pawn passes by advancing) are no more than the
        // own pawns beside it.
        if (unopposed && !passed && r >= 3 &&
            count_bits(passed_pawn_span[c][ahead] & enemy) <= count_bits(rank_neighbours[sq] & own))
            pe.candidates |= square_bit(sq);
        op_sum += op;
        en_sum += en;
        if constexpr (Trace) {
            int v = tapered(w.phase, op, en);
            engine_config.eval_trace.square_value[sq] = i16(v);
            engine_config.eval_trace.pawns[c] += v;
        }
    }
    pe.op[c] = i16(op_sum);
    pe.en[c] = i16(en_sum);
}

// The exchange on the square ahead of a pawn of colour c that steps there
// is not lost for c. Nothing to exchange when no enemy piece attacks that
// square: the attack sets of the activity pass hold every enemy attack (and
// some x-rays), and the step itself opens only the file behind the pawn, so
// an enemy rook or queen there still needs the full exchange evaluation.
// With no own piece able to retake, even by an x-ray through the enemy
// capturer (so no own slider on the square's lines at all), the pawn is lost
// exactly when some enemy piece really reaches the square.
template <int c>
inline bool push_is_safe(const EvalWork& w, int sq)
{
    const int them = c ^ 1;
    const int ahead = sq + pawn_push[c];
    const u64* own = w.pos->pieces[c];
    const u64* enemy = w.pos->pieces[them];
    const u64 behind = c == WHITE ? ray_south[sq] : ray_north[sq];
    if (!(w.all_attacks[them] & square_bit(ahead)) && !(behind & (enemy[ROOK] | enemy[QUEEN]))) return true;
    if (!(w.all_attacks[c] & square_bit(ahead)) &&
        !((rook_rays[ahead] & (own[ROOK] | own[QUEEN])) | (bishop_rays[ahead] & (own[BISHOP] | own[QUEEN]))))
        return least_valuable_attacker(*w.pos, them, ahead, w.occupied & ~square_bit(sq)) == NO_SQUARE;
    return exchange_value_at_least(*w.pos, c, sq, ahead, w.occupied, 0);
}

// Passed pawns of one colour.
template <bool Trace, int c>
void evaluate_passed_pawns(EvalWork& w)
{
    const u64 passers = w.pawn_entry->passed & w.pos->pieces[c][PAWN];
    if (!passers) return;
    const Position& pos = *w.pos;
    const EvalTables& t = *w.tables;
    constexpr int them = c ^ 1, push = pawn_push[c];
    const u64 own = pos.pieces[c][PAWN];
    const int own_king = w.king_sq[c], enemy_king = w.king_sq[them];
    int op_sum = 0, en_sum = 0, threat = 0;
    for (u64 set = passers; set;) {
        const int sq = pop_lowest_bit(set);
        const int rel = sq ^ relative_rank_flip[c];
        const int f = file_of(sq), r = rank_of(rel);
        const int bonus = t.passed_bonus[r];
        int op, en;
        if (file_ahead(c, sq) & own) {
            // The rear pawn of a doubled passer.
            op = en = bonus / 3;
        } else {
            int stop = sq + push;
            if (r == 1 && !(w.occupied & square_bit(stop))) stop = sq + 2 * push;
            const int target = r > 5 ? sq + push : sq + 2 * push;
            int base, value;
            if (w.occupied & square_bit(stop)) {
                base = value = bonus;
                if (pos.pieces[them][0] & square_bit(stop)) value = bonus - bonus / 4;
            } else if (push_is_safe<c>(w, sq)) {
                base = bonus + t.passed_step[r];
                threat += passer_threat[r];
                if (!(file_ahead(c, sq) & (pos.pieces[them][0] | w.all_attacks[them]))) {
                    threat += passer_threat[r];
                    w.free_passers |= square_bit(sq);
                    base += free_passer_bonus[r];
                }
                value = base;
            } else {
                base = value = bonus;
            }
            if (rank_neighbours[sq] & own) value += base / 4;
            if (pawn_attacks[them][sq] & own) value += base / 8;
            value += ((24 * king_distance(enemy_king, target) - 16 * king_distance(own_king, target)) * (r + 1)) / 16;
            const int promotion = c == WHITE ? 56 + f : f;
            const int moves_to_queen = 8 - r - (pos.side == c ? 1 : 0);
            if (moves_to_queen < king_distance(enemy_king, promotion) ||
                (r > 3 && king_distance(own_king, target) < 2 && f != 0 && f != 7))
                value += base / 4;
            en = value;
            op = value / 2;
        }
        op_sum += op;
        en_sum += en;
        if constexpr (Trace) {
            int v = tapered(w.phase, op, en);
            engine_config.eval_trace.square_value[sq] = i16(engine_config.eval_trace.square_value[sq] + v);
            engine_config.eval_trace.passers[c] += v;
        }
    }
    w.positional_op[c] += op_sum;
    w.positional_en[c] += en_sum;
    // The threat word wraps as a u16, as when raised step by step.
    w.ply_record->threat[them] = u16(w.ply_record->threat[them] + threat);
}

// Candidate passers in the endgame.
template <bool Trace, int c>
void evaluate_candidates(EvalWork& w)
{
    const Position& pos = *w.pos;
    const int enemy_king = w.king_sq[c ^ 1];
    for (u64 set = w.pawn_entry->candidates & pos.pieces[c][PAWN]; set;) {
        const int sq = pop_lowest_bit(set);
        const int r = rank_of(sq ^ relative_rank_flip[c]);
        if (w.occupied & square_bit(sq + pawn_push[c])) continue;
        const int two_ahead = r < 6 ? sq + 2 * pawn_push[c] : sq + pawn_push[c];
        int v = ((24 * king_distance(enemy_king, two_ahead) + 32 * (r - 2)) * w.tables->pawn_candidate_en) / 256;
        w.positional_en[c] += v;
        if constexpr (Trace) {
            int tv = v * w.phase / 24;
            engine_config.eval_trace.square_value[sq] = i16(engine_config.eval_trace.square_value[sq] + tv);
            engine_config.eval_trace.passers[c] += tv;
        }
    }
}

// Pieces left hanging. The all-attacks sets include the kings, so
// a king counts as an attacker and as a defender wherever "any piece" or
// "defended" is said (a king next to an undefended knight does threaten
// it); queens and rooks are hung only by the piece kinds named for them.
template <int c>
[[gnu::always_inline]] inline void evaluate_hung_pieces(EvalWork& w)
{
    const Position& pos = *w.pos;
    const EvalTables& t = *w.tables;
    const int them = c ^ 1;
    if (!(pos.pieces[c][0] & w.all_attacks[them])) return;
    const u64 loose = pos.pieces[c][PAWN] & w.all_attacks[them] & ~w.pawn_attacks[them];
    const int covered = count_bits(loose & w.all_attacks[c] & ~w.pawn_attacks[c]);
    w.positional_op[c] -= 3 * covered;
    w.positional_en[c] -= 12 * covered;
    const u64 minor_attacks = w.pawn_attacks[them] | w.knight_attacks[them] | w.bishop_attacks[them];
    u64 hung = (pos.pieces[c][QUEEN] & (minor_attacks | w.rook_attacks[them])) | (loose & ~w.all_attacks[c]) |
               ((pos.pieces[c][KNIGHT] | pos.pieces[c][BISHOP]) &
                (w.pawn_attacks[them] | (w.all_attacks[them] & ~w.all_attacks[c]))) |
               (pos.pieces[c][ROOK] & minor_attacks);
    w.hung |= hung;
    if (!hung) return;
    // Sums and the most valuable piece in locals: the threat word is a
    // store the compiler cannot keep apart from the work record.
    int op = 0, en = 0, top = 0;
    for (int k = 0; hung; k++) {
        const int sq = pop_lowest_bit(hung);
        const int value = exchange_piece_value[piece_type_of(pos.board[sq])];
        if (value > top) top = value;
        op += t.hung.op - 15 * k;
        en += t.hung.en - 15 * k;
    }
    w.positional_op[c] += op;
    w.positional_en[c] += en;
    u16& threat = w.ply_record->threat[c];
    if (top > threat) threat = u16(top);
}

// Pieces that stand alone between a slider of the enemy and `target`.
inline u64 pinned_against(int target, u64 straight_pinners, u64 diagonal_pinners, u64 occupied)
{
    u64 pinned = 0;
    for (u64 s = (rook_rays[target] & straight_pinners) | (bishop_rays[target] & diagonal_pinners); s;) {
        u64 between = between_squares[target][pop_lowest_bit(s)] & occupied;
        if (between && !(between & (between - 1))) pinned |= between;
    }
    return pinned;
}

// Pins against the king, and against a single queen.
template <int c>
[[gnu::always_inline]] inline void evaluate_pins(EvalWork& w)
{
    const Position& pos = *w.pos;
    const int them = c ^ 1;
    // A pinned piece stands on the attack set of its pinner: without an
    // enemy slider reaching any piece there is nothing to look for.
    const u64 reached = pos.pieces[c][0] & ~pos.pieces[c][PAWN] &
                        (w.bishop_attacks[them] | w.rook_attacks[them] | w.queen_attacks[them]);
    if (!reached) return;
    const u64 queens = pos.pieces[them][QUEEN];
    u64 pinned = pinned_against(w.king_sq[c], pos.pieces[them][ROOK] | queens, pos.pieces[them][BISHOP] | queens,
                                w.occupied);
    if (count_bits(pos.pieces[c][QUEEN]) == 1) {
        pinned |= pinned_against(pos.lists[c][QUEEN][0], pos.pieces[them][ROOK], pos.pieces[them][BISHOP], w.occupied);
    }
    pinned &= reached;
    w.pinned |= pinned;
    const int n = count_bits(pinned);
    w.positional_op[c] += n * w.tables->pinned.op;
    w.positional_en[c] += n * w.tables->pinned.en;
}

// Scale down scores of material patterns that are hard to win. The caller
// has checked that the leader has at most 13 piece units: with more, no
// pattern applies.
double drawish_factor(const EvalWork& w, int leader)
{
    const Position& pos = *w.pos;
    const int wk = leader, lk = leader ^ 1;
    const u32 kw = pos.material_key[wk], kl = pos.material_key[lk];
    const int uw = pos.piece_units[wk], ul = pos.piece_units[lk];
    const int pw = piece_count(kw, PAWN), pl = piece_count(kl, PAWN);
    if (uw - ul >= 4) {
        if (kw == 2 * material_key_step[KNIGHT]) return 0.05;
        if (kw == material_key_step[ROOK] || kw == material_key_step[QUEEN]) {
            bool lone_queen_vs_pieces = kw == material_key_step[QUEEN] && ul >= 6;
            if (pl == 0) return lone_queen_vs_pieces ? 0.75 : 1.0;
            return lone_queen_vs_pieces ? 0.675 : 0.9;
        }
        return 1.0;
    }
    if (pw == 0) {
        if (kw == 2 * material_key_step[BISHOP] && kl == material_key_step[KNIGHT]) return 0.9;
        if (uw > 8) return 0.25;
        if (uw >= 4) return 0.15;
        return 0.05;
    }
    if (kw == 1 && kl == 1) {
        // One pawn each: hopeless unless the leader's pawn wins on its own.
        return kpk_bitbase_score_for(pos, pos.side, wk) != 0 ? 1.0 : 0.25;
    }
    if (uw < 4 && ul == 0) {
        // Rook pawns with no bishop, or the bishop of the wrong colour.
        const u64 pawns = pos.pieces[wk][PAWN];
        if (kw & 0xFF0F0) return 1.0;  // knights, rooks or queens
        int file;
        if (!(pawns & ~FILE_A)) file = 0;
        else if (!(pawns & ~FILE_H)) file = 7;
        else return 1.0;
        const int promotion = wk == WHITE ? 56 + file : file;
        if (king_distance(w.king_sq[lk], promotion) > 1) return 1.0;
        if (pos.pieces[wk][BISHOP]) {
            const int bishop = pos.lists[wk][BISHOP][0];
            const bool same_colour = ((LIGHT_SQUARES & square_bit(bishop)) != 0) == ((LIGHT_SQUARES & square_bit(promotion)) != 0);
            if (same_colour) return 1.0;
        }
        return 0.06;
    }
    if (uw > 8 || ul == 0) return 1.0;

    double a = 0.9, b = 0.8, e = 1.0;
    const int surplus = pw - pl;
    const bool opposite_bishops = piece_count(kw, BISHOP) == 1 && piece_count(kl, BISHOP) == 1 &&
                                  !((kw | kl) & 0xF0000) && uw <= ul && surplus < 3 &&
                                  ((pos.pieces[wk][BISHOP] & LIGHT_SQUARES) != 0) !=
                                      ((pos.pieces[lk][BISHOP] & LIGHT_SQUARES) != 0);
    if (opposite_bishops) {
        if (surplus == 2) a = 0.72, b = 0.64, e = 0.8;
        else a = 0.45, b = 0.4, e = 0.5;
    }
    if (uw + pw - ul - pl >= 2) return e;
    if (pw == 1) {
        const int sq = pos.lists[wk][PAWN][0];
        const u64 path = file_ahead(wk, sq);
        const bool minor_cover = ((w.knight_attacks[lk] | w.bishop_attacks[lk]) & path) != 0;
        const bool king_cover = (king_attacks[w.king_sq[lk]] & path & ~king_attacks[w.king_sq[wk]]) != 0;
        // With both kinds of cover the king's is taken first.
        if (king_cover) return e * 0.5;
        if (minor_cover) return e * 0.3;
        return e * ((kw & 0xFF0) ? 0.6 : 0.75);
    }
    if (pw == 2) return b;
    if (pw == 3) return a;
    return e;
}

} // namespace

void clear_eval_trace()
{
    EvalTrace& tr = engine_config.eval_trace;
    std::memset(&tr, 0, sizeof tr);
    tr.draw_adjust = 1.0;
}

namespace {

// The evaluation past the cache probe; trace mode is a separate copy so
// that the search's evaluations carry none of its bookkeeping.
template <bool Trace>
int evaluate_full(ThreadData* td, EvalWork& w, int colour, bool searching, u64 key, EvalCacheEntry& cache)
{
    Position& pos = *w.pos;
    PlyRecord& pr = *w.ply_record;
    EvalTrace& tr = engine_config.eval_trace;
    const u64 pawns[2] = {pos.pieces[WHITE][PAWN], pos.pieces[BLACK][PAWN]};
    PawnHashEntry& pe = td->pawn_hash[pos.pawn_key & (PAWN_HASH_SIZE - 1)];
    w.pawn_entry = &pe;
    td->counters[CNT_PAWN_PROBES]++;
    const bool pawn_hit = pe.key == pos.pawn_key && searching;
    if (pawn_hit) {
        td->counters[CNT_PAWN_HITS]++;
    } else {
        pe.key = pos.pawn_key;
        pe.candidates = 0;
        pe.op[0] = pe.op[1] = pe.en[0] = pe.en[1] = 0;
        pe.file_mask[0] = pe.file_mask[1] = 0;
        pe.passed = 0;
        for (int c = 0; c < 2; c++) {
            u64 span = 0;
            for (u64 s = pawns[c]; s;) {
                int sq = pop_lowest_bit(s);
                span |= adjacent_files[file_of(sq)] & (c == WHITE ? ranks_above[rank_of(sq)] : ranks_below[rank_of(sq)]);
                if (!(passed_pawn_span[c][sq] & pawns[c ^ 1])) pe.passed |= square_bit(sq);
            }
            pe.attack_span[c] = span;
            pe.shelter[c] = shelter_values(c, pawns[c]);
            pe.storm_files[c] = u8(occupied_files(pawns[c ^ 1] & ENEMY_HALF[c]));
        }
    }

    // Work-record set-up.
    u64 king_files = 0;
    for (int c = 0; c < 2; c++) {
        const int ksq = w.king_sq[c];
        w.king_zone[c] = king_zone_of[ksq];
        king_files |= file_mask[file_of(ksq)] | adjacent_files[file_of(ksq)];
        w.pawn_attacks[c] = pawn_attack_set(c, pawns[c]);
        w.king_attacks[c] = king_attacks[ksq];
        w.attacked_twice[c] = w.king_attacks[c] & w.pawn_attacks[c];
        w.all_attacks[c] = w.king_attacks[c] | w.pawn_attacks[c];
        w.blocked_by_pawn[c] = pawns[c] & pawns_pushed(c ^ 1, pawns[c ^ 1]);
        w.positional_op[c] = w.positional_en[c] = 0;
    }
    w.king_files = king_files;
    for (int c = 0; c < 2; c++) w.mobility_area[c] = ~(w.pawn_attacks[c ^ 1] | pawns[c] | pos.pieces[c][KING]);
    const int pawn_total = count_bits(pawns[WHITE] | pawns[BLACK]);
    w.pawn_count_term = pawn_total > 7 ? 2 * pawn_total - 14 : 0;
    w.outposts[WHITE] = WHITE_OUTPOST_ZONE & ~pe.attack_span[BLACK];
    w.outposts[BLACK] = BLACK_OUTPOST_ZONE & ~pe.attack_span[WHITE];
    w.seventh_rank_flag[WHITE] = u8(((pos.pieces[BLACK][KING] | pawns[BLACK]) & 0xFFFF000000000000ULL) != 0);
    w.seventh_rank_flag[BLACK] = u8(((pos.pieces[WHITE][KING] | pawns[WHITE]) & 0x000000000000FFFFULL) != 0);
    w.hung = w.pinned = w.free_passers = 0;

    // Material and game phase.
    const EvalTables& t = td->eval_tables;
    for (int c = 0; c < 2; c++) {
        const u32 k = pos.material_key[c];
        const MaterialShare& pn = t.material_pawns_knights[k & 0xFF];
        const MaterialShare& br = t.material_bishops_rooks[(k >> 8) & 0xFF];
        const MaterialShare& q = t.material_queens[(k >> 16) & 15];
        w.material_op[c] = pn.op + br.op + q.op;
        w.material_en[c] = pn.en + br.en + q.en - ((k & 0xFFFF0) == 0x10000 ? 50 : 0);  // a queen as the only piece
        const int units = pn.units + br.units + q.units;
        w.phase_units[c] = units > 12 ? 12 : units;
    }
    w.phase = 24 - w.phase_units[WHITE] - w.phase_units[BLACK];

    if (!pawn_hit) {
        evaluate_pawn_structure<Trace, WHITE>(w);
        evaluate_pawn_structure<Trace, BLACK>(w);
    }

    // Pawn structure plus the blocked pawns (not cached: any piece blocks).
    for (int c = 0; c < 2; c++) {
        const u64 blocked = pawns[c] & pawns_pushed(c ^ 1, w.occupied);
        int penalty = 2 * count_bits(blocked);
        const u64 centre_home = c == WHITE ? square_bit(11) | square_bit(12) : square_bit(51) | square_bit(52);
        penalty += 12 * count_bits(blocked & centre_home);
        w.positional_op[c] += pe.op[c] - penalty;
        w.positional_en[c] += pe.en[c] - penalty;
    }

    evaluate_piece_activity<Trace>(w);

    evaluate_passed_pawns<Trace, WHITE>(w);
    evaluate_passed_pawns<Trace, BLACK>(w);
    if (w.phase > 13) {
        evaluate_candidates<Trace, WHITE>(w);
        evaluate_candidates<Trace, BLACK>(w);
    }
    evaluate_hung_pieces<WHITE>(w);
    evaluate_hung_pieces<BLACK>(w);
    evaluate_pins<WHITE>(w);
    evaluate_pins<BLACK>(w);

    // Tempo.
    w.positional_op[colour] += 14;
    w.positional_en[colour] += 7;

    const int op = (w.positional_op[WHITE] - w.positional_op[BLACK]) * 154 / 128 + w.material_op[WHITE] - w.material_op[BLACK];
    const int en = (w.positional_en[WHITE] - w.positional_en[BLACK]) * 154 / 128 + w.material_en[WHITE] - w.material_en[BLACK];
    int score = tapered(w.phase, op, en);

    // Contempt, outside analysis only.
    const int contempt = t.contempt;
    if (contempt != 0 && search_state.target_time < 6000.0) {
        const int engine = search_state.engine_colour;
        const int side = contempt > 0 ? engine : engine ^ 1;
        int m = 2 * piece_count(pos.material_key[side], PAWN);
        if (m > 12) m = 12;
        if (pos.piece_units[side] > 3) m += pos.piece_units[side] - 3;
        const int adjust = m * contempt / 41;
        score += engine == BLACK ? -adjust : adjust;
    }

    if (colour == BLACK) score = -score;

    double factor = 1.0;
    if (score >= 15 || score <= -15) {
        const int leader = score > 0 ? colour : colour ^ 1;
        if (pos.piece_units[leader] <= 13) {
            factor = drawish_factor(w, leader);
            if (factor != 1.0) score = int(score * factor);
        }
    }
    if (score > EVAL_SCORE_LIMIT) score = EVAL_SCORE_LIMIT;
    if (score < -EVAL_SCORE_LIMIT) score = -EVAL_SCORE_LIMIT;

    cache.key = key;
    cache.threat[WHITE] = pr.threat[WHITE];
    cache.threat[BLACK] = pr.threat[BLACK];
    cache.score = i16(score);

    if constexpr (Trace) {
        tr.stage = w.phase;
        for (int c = 0; c < 2; c++) {
            tr.material[c] = tapered(w.phase, w.material_op[c], w.material_en[c]);
            tr.positional[c] = tapered(w.phase, w.positional_op[c], w.positional_en[c]);
        }
        tr.hung = w.hung;
        tr.pinned = w.pinned;
        tr.draw_adjust = factor;
    }
    return score;
}

} // namespace

int evaluate_position(ThreadData* td, int colour, int ply, int in_check)
{
    if (in_check) return -MATE;
    Position& pos = td->pos;
    PlyRecord& pr = td->ply[ply];
    const u32 wkey = pos.material_key[WHITE], bkey = pos.material_key[BLACK];

    // Insufficient material: kings and bishops alone, with at most one
    // bishop a side or every bishop on squares of one colour. (A mated king's
    // straight neighbours are of the other colour: no such bishop covers
    // them, nor stands on them.)
    if (!((wkey | bkey) & ~0xF00u)) {
        const u64 bishops = pos.pieces[WHITE][BISHOP] | pos.pieces[BLACK][BISHOP];
        if ((wkey <= 0x100 && bkey <= 0x100) || !(bishops & LIGHT_SQUARES) || !(bishops & ~LIGHT_SQUARES)) {
            pr.drawn = 1;
            return 0;
        }
    }

    td->counters[CNT_EVAL_PROBES]++;
    EvalWork& w = td->eval_work;
    w.pos = &pos;
    w.td = td;
    w.ply_record = &pr;
    w.tables = &td->eval_tables;
    w.ply = ply;
    w.king_sq[WHITE] = u8(king_square(pos, WHITE));
    w.king_sq[BLACK] = u8(king_square(pos, BLACK));
    w.occupied = occupancy(pos);
    const bool searching = td->current_depth.load(std::memory_order_relaxed) != 0;
    w.trace = u8(!searching && td->index == 0 && ply == 1);
    // A trace shows one evaluation: a second trace-mode call (the quiescence
    // search at the root) replaces the first instead of adding to it.
    if (w.trace) clear_eval_trace();

    if (wkey == 0 || bkey == 0) {
        int score;
        if (evaluate_bare_king(w, colour, wkey + bkey, &score)) return score;
    }

    const u64 key = full_key(pos);
    EvalCacheEntry& cache = td->eval_cache[eval_cache_slot(key, colour)];
    if (cache.key == key && searching && ply >= 2) {
        td->counters[CNT_EVAL_HITS]++;
        pr.threat[WHITE] = cache.threat[WHITE];
        pr.threat[BLACK] = cache.threat[BLACK];
        return cache.score;
    }

    return w.trace ? evaluate_full<true>(td, w, colour, searching, key, cache)
                   : evaluate_full<false>(td, w, colour, searching, key, cache);
}
