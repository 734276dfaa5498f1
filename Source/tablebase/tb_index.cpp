#include "tb_index.h"

#include <cassert>

u32 choose_table[5][64];
u8 lead_pawn_slot[64];
u8 pawn_rank_order[64];
u32 lead_pawn_offset[5][24];
u32 lead_pawn_count[5][4];
i8 diagonal_side[64];
u8 transpose_square[64];
u8 triangle_slot[64];
u8 diagonal_index[64];
u8 lower_index[64];
i16 king_pair_index[10][64];

namespace {

u64 binomial(int n, int k)
{
    if (k < 0 || n < k) return 0;
    u64 r = 1;
    for (int i = 0; i < k; i++) r = r * u64(n - i) / u64(i + 1);
    return r;
}

// The ten squares of the a1-d1-d4 triangle in slot order: the six squares
// off the diagonal first, then a1, b2, c3, d4.
constexpr int triangle_squares[10] = {1, 2, 3, 10, 11, 19, 0, 9, 18, 27};

int king_distance(int a, int b)
{
    int df = file_of(a) - file_of(b), dr = rank_of(a) - rank_of(b);
    if (df < 0) df = -df;
    if (dr < 0) dr = -dr;
    return df > dr ? df : dr;
}

// Sorts a few squares in place (insertion sort).
void sort_ascending(u8* sq, int count)
{
    for (int a = 1; a < count; a++) {
        u8 v = sq[a];
        int b = a;
        while (b > 0 && sq[b - 1] > v) {
            sq[b] = sq[b - 1];
            b--;
        }
        sq[b] = v;
    }
}

// Index part of the groups from position i on (runs of equal pieces).
u64 encode_remaining_groups(int i, int n, const u8 sizes[6], u8 squares[6], const u32 factors[6])
{
    u64 idx = 0;
    while (i < n) {
        const int t = sizes[i];
        if (t == 0) break;  // damaged sizes; the table's bounds checks reject the index
        sort_ascending(squares + i, t);
        u64 s = 0;
        for (int m = i; m < i + t; m++) {
            const int p = squares[m];
            int j = 0;
            for (int q = 0; q < i; q++) j += squares[q] < p;
            assert(m-i >= 0 && m-i < 5);
            assert(p-j >= 0 && p-j < 64);
            s += choose_table[m - i][p - j];
        }
        idx += s * factors[i];
        i += t;
    }
    return idx;
}

} // namespace

void init_tb_index_tables()
{
    for (int k = 0; k < 5; k++)
        for (int n = 0; n < 64; n++) choose_table[k][n] = u32(binomial(n, k + 1));

    for (int sq = 0; sq < 64; sq++) {
        const int f = file_of(sq), r = rank_of(sq);
        const int folded = f < 7 - f ? f : 7 - f;
        lead_pawn_slot[sq] = 0;
        pawn_rank_order[sq] = 0;
        if (r >= 1 && r <= 6) {
            lead_pawn_slot[sq] = u8(6 * folded + r - 1);
            pawn_rank_order[sq] = u8(47 - 12 * folded - 2 * (r - 1) - (f >= 4 ? 1 : 0));
        }
        diagonal_side[sq] = i8(f == r ? 0 : (r > f ? 1 : -1));
        transpose_square[sq] = u8(8 * f + r);
        int a = folded, b = r < 7 - r ? r : 7 - r;
        if (a > b) {
            int t = a;
            a = b;
            b = t;
        }
        // (small, large) coordinates name the triangle square file = large, rank = small.
        const int named = 8 * a + b;
        triangle_slot[sq] = 0;
        for (int s = 0; s < 10; s++)
            if (triangle_squares[s] == named) triangle_slot[sq] = u8(s);
        diagonal_index[sq] = 0;
        if (f == r) diagonal_index[sq] = u8(f);
        else if (f + r == 7) diagonal_index[sq] = u8(8 + r);
    }
    int below = 0;
    for (int sq = 0; sq < 64; sq++)
        if (file_of(sq) > rank_of(sq)) lower_index[sq] = u8(below++);
    for (int sq = 0; sq < 64; sq++) {
        if (file_of(sq) < rank_of(sq)) lower_index[sq] = lower_index[transpose_square[sq]];
        else if (file_of(sq) == rank_of(sq)) lower_index[sq] = u8(28 + file_of(sq));
    }

    for (int t = 0; t < 5; t++) {
        for (int g = 0; g < 4; g++) {
            u32 sum = 0;
            for (int j = 0; j < 6; j++) {
                const int m = 6 * g + j;
                lead_pawn_offset[t][m] = sum;
                sum += u32(binomial(47 - 2 * m, t));
            }
            lead_pawn_count[t][g] = sum;
        }
    }

    // King pairs: all pairs except both-on-diagonal numbered first, in order
    // of first king slot then second square; the 21 diagonal pairs after them.
    int next = 0;
    for (int pass = 0; pass < 2; pass++) {
        for (int s = 0; s < 10; s++) {
            const int k1 = triangle_squares[s];
            for (int q = 0; q < 64; q++) {
                if (pass == 0) king_pair_index[s][q] = -1;
                if (king_distance(k1, q) <= 1) continue;
                if (s >= 6 && rank_of(q) > file_of(q)) continue;
                const bool both_on_diagonal = s >= 6 && file_of(q) == rank_of(q);
                if (both_on_diagonal != (pass == 1)) continue;
                king_pair_index[s][q] = i16(next++);
            }
        }
    }
}

void pawnless_group_sizes(u8 sizes[6], const u8 order[6], int n, int encoding)
{
    for (int i = 0; i < 6; i++) sizes[i] = 0;
    int i = encoding == 0 ? 3 : 2;
    sizes[0] = u8(i);
    while (i < n) {
        int j = i;
        while (j < n && order[j] == order[i]) j++;
        sizes[i] = u8(j - i);
        i = j;
    }
}

void pawn_group_sizes(u8 sizes[6], const u8 order[6], int n, const u8 pawn_counts[2])
{
    for (int i = 0; i < 6; i++) sizes[i] = 0;
    int i = pawn_counts[0];
    sizes[0] = pawn_counts[0];
    if (pawn_counts[1]) {
        sizes[i] = pawn_counts[1];
        i += pawn_counts[1];
    }
    while (i < n) {
        int j = i;
        while (j < n && order[j] == order[i]) j++;
        sizes[i] = u8(j - i);
        i = j;
    }
}

u64 pawnless_index_factors(u32 factors[6], int n, int encoding, const u8 sizes[6], int order)
{
    int i = sizes[0];
    int free = 64 - i;
    u64 size = 1;
    bool lead_placed = false;
    for (int k = 0; i < n || k == order; k++) {
        if (k == order) {
            factors[0] = u32(size);
            size *= lead_group_size(encoding);
            lead_placed = true;
        } else {
            const int g = sizes[i];
            if (g < 1 || g > 5) return 0;
            factors[i] = u32(size);
            size *= choose_table[g - 1][free];
            free -= g;
            i += g;
        }
    }
    return lead_placed ? size : 0;
}

u64 pawn_table_index_factors(u32 factors[6], int n, int order, int order2, const u8 sizes[6], int file_group)
{
    const int lead = sizes[0];
    const bool has_second = order2 != 15;
    if (lead < 1 || lead > 5) return 0;
    int i = lead;
    if (has_second) i += sizes[lead];
    int free = 64 - i;
    u64 size = 1;
    bool lead_placed = false, second_placed = !has_second;
    for (int k = 0; i < n || k == order || (has_second && k == order2); k++) {
        if (k == order) {
            factors[0] = u32(size);
            size *= lead_pawn_count[lead - 1][file_group];
            lead_placed = true;
        } else if (has_second && k == order2) {
            const int g = sizes[lead];
            if (g < 1 || g > 5) return 0;
            factors[lead] = u32(size);
            size *= choose_table[g - 1][48 - lead];
            second_placed = true;
        } else {
            const int g = sizes[i];
            if (g < 1 || g > 5) return 0;
            factors[i] = u32(size);
            size *= choose_table[g - 1][free];
            free -= g;
            i += g;
        }
    }
    return lead_placed && second_placed ? size : 0;
}

u64 encode_piece(int n, int encoding, const u8 sizes[6], u8 squares[6], const u32 factors[6])
{
    if (squares[0] & 4)
        for (int i = 0; i < n; i++) squares[i] ^= 7;
    if (squares[0] & 32)
        for (int i = 0; i < n; i++) squares[i] ^= 56;

    int i = 0;
    while (i < n && diagonal_side[squares[i]] == 0) i++;
    const int lead = encoding == 0 ? 3 : 2;
    if (i < lead && i < n && diagonal_side[squares[i]] > 0)
        for (int k = 0; k < n; k++) squares[k] = transpose_square[squares[k]];

    u64 idx;
    if (encoding == 0) {
        const int a = squares[0], b = squares[1], c = squares[2];
        const int j = b > a ? 1 : 0;
        const int adj = (a < c ? 1 : 0) + (b < c ? 1 : 0);
        if (diagonal_side[a] != 0)
            idx = u64(triangle_slot[a]) * 3906 + 62 * u64(b - j) + u64(c - adj);
        else if (diagonal_side[b] != 0)
            idx = 23436 + u64(diagonal_index[a]) * 1736 + 62 * u64(lower_index[b]) + u64(c - adj);
        else if (diagonal_side[c] != 0)
            idx = 30380 + u64(diagonal_index[a]) * 196 + 28 * u64(diagonal_index[b] - j) + lower_index[c];
        else
            idx = 31164 + u64(diagonal_index[a]) * 42 + 6 * u64(diagonal_index[b] - j) + u64(diagonal_index[c] - adj);
        i = 3;
    } else {
        idx = u64(i64(king_pair_index[triangle_slot[squares[0]]][squares[1]]));
        i = 2;
    }
    idx *= factors[0];
    return idx + encode_remaining_groups(i, n, sizes, squares, factors);
}

u64 pawn_table_position_index(int n, const u8 pawn_counts[2], const u8 sizes[6], u8 squares[6], const u32 factors[6])
{
    const int lead = pawn_counts[0];
    const int t = lead - 1;
    if (squares[0] & 4)
        for (int i = 0; i < n; i++) squares[i] ^= 7;

    // Other leading pawns by rank order, largest first.
    for (int a = 2; a <= t; a++) {
        u8 v = squares[a];
        int b = a;
        while (b > 1 && pawn_rank_order[squares[b - 1]] < pawn_rank_order[v]) {
            squares[b] = squares[b - 1];
            b--;
        }
        squares[b] = v;
    }
    u64 idx = lead_pawn_offset[t][lead_pawn_slot[squares[0]]];
    for (int i = 1; i <= t; i++) idx += choose_table[t - i][pawn_rank_order[squares[i]]];
    idx *= factors[0];

    int i = lead;
    if (pawn_counts[1]) {
        const int u = sizes[i];
        sort_ascending(squares + i, u);
        u64 s = 0;
        for (int m = i; m < i + u; m++) {
            const int p = squares[m];
            int j = 0;
            for (int q = 0; q < lead; q++) j += squares[q] < p;
            s += choose_table[m - i][p - j - 8];
        }
        idx += s * factors[i];
        i += u;
    }
    return idx + encode_remaining_groups(i, n, sizes, squares, factors);
}
