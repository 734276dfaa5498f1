#include "bitbase.h"

#include <cstdlib>
#include <cstring>

#include "bitboard.h"

u8 kpk_table[2][32][64][64];

namespace {

constexpr int PAWN_TO_MOVE = 0;
constexpr int LONE_TO_MOVE = 1;

int king_distance(int a, int b)
{
    int df = std::abs(file_of(a) - file_of(b));
    int dr = std::abs(rank_of(a) - rank_of(b));
    return df > dr ? df : dr;
}

// Pawn index of a pawn square on files a-d.
int pawn_index(int p) { return file_of(p) + 4 * rank_of(p); }

void initialise_entries()
{
    for (int pi = 0; pi < 32; pi++) {
        int p = 8 * (pi >> 2) + (pi & 3);
        for (int s = 0; s < 64; s++) {
            for (int l = 0; l < 64; l++) {
                u8& pawn_move = kpk_table[PAWN_TO_MOVE][pi][s][l];
                u8& lone_move = kpk_table[LONE_TO_MOVE][pi][s][l];
                pawn_move = lone_move = KPK_UNKNOWN;
                if (p == s || p == l || s == l || king_distance(s, l) <= 1) {
                    pawn_move = lone_move = KPK_ILLEGAL;
                } else if (l == p + 9 || (file_of(p) != 0 && l == p + 7)) {
                    pawn_move = KPK_ILLEGAL;  // the lone king stands in check
                } else if (rank_of(p) == 7) {
                    pawn_move = KPK_WIN;
                    if (king_distance(l, p) > 1 || king_distance(s, p) == 1) lone_move = KPK_WIN;
                }
            }
        }
    }
}

// One retrograde pass over pawns on ranks 2-7; returns the entries resolved.
int retrograde_pass()
{
    int changes = 0;
    for (int pi = 4; pi < 28; pi++) {
        int p = 8 * (pi >> 2) + (pi & 3);
        for (int s = 0; s < 64; s++) {
            for (int l = 0; l < 64; l++) {
                if (kpk_table[PAWN_TO_MOVE][pi][s][l] != KPK_UNKNOWN) continue;
                int found = kpk_table[LONE_TO_MOVE][pi + 4][s][l];
                if (rank_of(p) == 1 && found != KPK_ILLEGAL) found |= kpk_table[LONE_TO_MOVE][pi + 8][s][l];
                for (u64 to = king_attacks[s]; to;) {
                    int s2 = pop_lowest_bit(to);
                    found |= kpk_table[LONE_TO_MOVE][pi][s2][l];
                }
                u8 result = (found & KPK_WIN) ? KPK_WIN : (found & KPK_UNKNOWN) ? KPK_UNKNOWN : KPK_DRAW;
                if (result != KPK_UNKNOWN) {
                    kpk_table[PAWN_TO_MOVE][pi][s][l] = result;
                    changes++;
                }
            }
        }
    }
    for (int pi = 4; pi < 28; pi++) {
        int p = 8 * (pi >> 2) + (pi & 3);
        for (int s = 0; s < 64; s++) {
            bool pawn_defended = king_distance(s, p) < 2;
            for (int l = 0; l < 64; l++) {
                if (kpk_table[LONE_TO_MOVE][pi][s][l] != KPK_UNKNOWN) continue;
                int found = 0;
                for (u64 to = king_attacks[l]; to;) {
                    int l2 = pop_lowest_bit(to);
                    if (l2 == p && !pawn_defended) found |= KPK_DRAW;
                    else found |= kpk_table[PAWN_TO_MOVE][pi][s][l2];
                }
                u8 result = (found & KPK_DRAW) ? KPK_DRAW
                            : (found & KPK_UNKNOWN) ? KPK_UNKNOWN
                            : (found & KPK_WIN) ? KPK_WIN
                                                : KPK_DRAW;  // no legal move: stalemate
                if (result != KPK_UNKNOWN) {
                    kpk_table[LONE_TO_MOVE][pi][s][l] = result;
                    changes++;
                }
            }
        }
    }
    return changes;
}

} // namespace

int build_kpk_bitbase()
{
    initialise_entries();
    int passes = 0;
    do {
        passes++;
    } while (retrograde_pass() != 0);
    for (int side = 0; side < 2; side++)
        for (int pi = 4; pi < 28; pi++)
            for (int s = 0; s < 64; s++)
                for (int l = 0; l < 64; l++)
                    if (kpk_table[side][pi][s][l] != KPK_WIN) kpk_table[side][pi][s][l] = KPK_DRAW;
    return passes;
}

int kpk_bitbase_score_for(const Position& pos, int colour, int pawn_side)
{
    int p = pos.lists[pawn_side][PAWN][0];
    int s = king_square(pos, pawn_side);
    int l = king_square(pos, pawn_side ^ 1);
    if (pawn_side == BLACK) {
        // Turn the board so that the pawn moves up.
        p = 63 - p;
        s = 63 - s;
        l = 63 - l;
    }
    if (file_of(p) > 3) {
        p ^= 7;
        s ^= 7;
        l ^= 7;
    }
    int table = colour == pawn_side ? PAWN_TO_MOVE : LONE_TO_MOVE;
    if (kpk_table[table][pawn_index(p)][s][l] != KPK_WIN) return 0;
    return colour == pawn_side ? 800 : -800;
}

int kpk_bitbase_score(const Position& pos, int colour)
{
    return kpk_bitbase_score_for(pos, colour, pos.material_key[WHITE] != 0 ? WHITE : BLACK);
}
