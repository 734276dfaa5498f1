// DTZ tables: a cache of 64 loaded ".rtbz" files (most recently used
// first), the lookup of a stored distance, the one-ply search for the side
// a table does not store, and the en-passant correction. Only one thread at
// a time probes DTZ (the root probe), so the cache takes no lock.
#include <cstdio>
#include <cstdlib>

#include "bitboard.h"
#include "tb_index.h"
#include "tb_load.h"
#include "tb_lookup.h"
#include "tb_map.h"
#include "tb_probe.h"
#include "tb_registry.h"

const int dtz_of_wdl[5] = {-1, -101, 0, 101, 1};
const int dtz_map_of_wdl[5] = {1, 3, 0, 2, 0};
const int dtz_ply_flag_of_wdl[5] = {8, 0, 0, 0, 4};

namespace {

constexpr u32 DTZ_MAGIC = 0xA50C66D7;

// One stored side of a pawnless table or of one leading-pawn file.
struct DtzFileTables {
    TbPairDecoder* decoder;
    u32 group_factors[6];
    u8 piece_order[6];
    u8 group_sizes[6];
    u8 flags;            // bit 0 side stored, 1 value maps, 2 wins in plies, 3 losses in plies
    u16 map_offset[4];   // from the map base
    u8 map_length[4];
};

// One loaded ".rtbz" file. A pawnless table (DtzPieceTable) uses file[0]
// and `encoding`; a table with pawns (DtzPawnTable) uses `pawn_counts` and
// one record per leading-pawn file.
struct DtzTableHead {
    const u8* data;
    u64 key;
    u64 mapping;
    u8 piece_count;
    u8 symmetric;
    u8 has_pawns;
    u8 encoding;
    u8 pawn_counts[2];
    const u8* map_base;
    DtzFileTables file[4];
};

struct DtzCacheSlot {
    u64 key1;             // the table's material key
    u64 key2;             // its colour-swapped key
    DtzTableHead* table;  // null when loading failed (or nothing loaded yet)
};

DtzCacheSlot dtz_cache[DTZ_CACHE_SIZE];

int table_file_count(const DtzTableHead* head) { return head->has_pawns ? 4 : 1; }

void free_dtz_table(DtzTableHead* head)
{
    if (!head) return;
    unmap_table_file(head->data, head->mapping);
    for (int i = 0; i < table_file_count(head); i++) free_pair_decoder(head->file[i].decoder);
    std::free(head);
}

// Reads the header of a mapped ".rtbz" file; 0 when anything is damaged or
// lies outside the file.
int fill_dtz_table(DtzTableHead* head, const u8* data, u64 length, const char* name)
{
    if (length < 6 || read_le32(data) != DTZ_MAGIC) return 0;
    const int n = head->piece_count;
    if (n < 3 || n > 6) return 0;
    int counts[16];
    count_material_name(name, counts);
    u64 at = 5;
    DtzFileTables* files = head->file;
    u64 values[4];
    int used = 1;

    if (!head->has_pawns) {
        DtzFileTables& ft = head->file[0];
        if (at + 1 + n > length) return 0;
        const int order = data[at++] & 15;
        for (int i = 0; i < n && i < 6; i++) ft.piece_order[i] = data[at + i] & 15;
        at += n;
        if (!piece_order_is_valid(ft.piece_order, n, counts)) return 0;
        pawnless_group_sizes(ft.group_sizes, ft.piece_order, n, head->encoding);
        values[0] = pawnless_index_factors(ft.group_factors, n, head->encoding, ft.group_sizes, order);
        if (!values[0]) return 0;
    } else {
        DtzTableHead* t = head;
        used = (data[4] & 2) ? 4 : 1;
        int order[4], order2[4];
        for (int f = 0; f < 4; f++) {
            if (at + 1 + (t->pawn_counts[1] ? 1 : 0) + n > length) return 0;
            order[f] = data[at++] & 15;
            order2[f] = t->pawn_counts[1] ? data[at++] & 15 : 15;
            for (int i = 0; i < n && i < 6; i++) t->file[f].piece_order[i] = data[at + i] & 15;
            at += n;
        }
        const int lead_code = t->file[0].piece_order[0];
        for (int f = 0; f < used; f++) {
            DtzFileTables& ft = t->file[f];
            if (!pawn_order_is_valid(ft.piece_order, n, counts, t->pawn_counts, lead_code)) return 0;
            if (t->pawn_counts[1] && order2[f] == 15) return 0;
            pawn_group_sizes(ft.group_sizes, ft.piece_order, n, t->pawn_counts);
            values[f] = pawn_table_index_factors(ft.group_factors, n, order[f], order2[f], ft.group_sizes, f);
            if (!values[f]) return 0;
        }
    }
    at += at & 1;

    TbPairDecoder* decoders[4];
    TbSectionSizes sizes[4];
    for (int f = 0; f < used; f++) {
        if (at >= length) return 0;
        files[f].flags = data[at];
        files[f].decoder = read_pair_header(data, length, &at, values[f], 0, &sizes[f]);
        if (!files[f].decoder) return 0;
        decoders[f] = files[f].decoder;
    }

    head->map_base = data + at;
    for (int f = 0; f < used; f++) {
        if (!(files[f].flags & 2)) continue;
        for (int i = 0; i < 4; i++) {
            if (at >= length) return 0;
            const u64 offset = at + 1 - u64(head->map_base - data);
            if (offset > 0xFFFF) return 0;
            files[f].map_offset[i] = u16(offset);
            files[f].map_length[i] = data[at];
            at += 1 + u64(data[at]);
            if (at > length) return 0;
        }
    }
    at += at & 1;
    return place_sections(data, length, &at, decoders, sizes, used);
}

// Moves slot i to the front of the cache.
void move_to_front(int i)
{
    const DtzCacheSlot hit = dtz_cache[i];
    for (int k = i; k > 0; k--) dtz_cache[k] = dtz_cache[k - 1];
    dtz_cache[0] = hit;
}

DtzTableHead* find_dtz_table(const TbPosition& pos)
{
    const u64 key = material_signature_key(pos, 0);
    if (dtz_cache[0].key1 == key || dtz_cache[0].key2 == key) return dtz_cache[0].table;
    for (int i = 1; i < DTZ_CACHE_SIZE; i++) {
        if (dtz_cache[i].key1 == key) {
            move_to_front(i);
            return dtz_cache[0].table;
        }
    }

    TbHashSlot* slot = find_table_slot(key);
    if (!slot) return nullptr;
    const int mirror = key != slot->entry->key;
    char name[TB_NAME_SIZE];
    material_name_string(pos, name, mirror);

    free_dtz_table(dtz_cache[DTZ_CACHE_SIZE - 1].table);
    for (int k = DTZ_CACHE_SIZE - 1; k > 0; k--) dtz_cache[k] = dtz_cache[k - 1];
    dtz_cache[0].key1 = material_signature_key(pos, mirror);
    dtz_cache[0].key2 = material_signature_key(pos, !mirror);
    dtz_cache[0].table = nullptr;

    slot = find_table_slot(dtz_cache[0].key1);
    if (!slot) return nullptr;
    const TbEntryHead* entry = slot->entry;
    auto* head = static_cast<DtzTableHead*>(std::calloc(1, sizeof(DtzTableHead)));
    if (!head) return nullptr;
    if (!entry->has_pawns) {
        head->encoding = reinterpret_cast<const TbPieceEntry*>(entry)->encoding;
    } else {
        head->pawn_counts[0] = reinterpret_cast<const TbPawnEntry*>(entry)->pawn_counts[0];
        head->pawn_counts[1] = reinterpret_cast<const TbPawnEntry*>(entry)->pawn_counts[1];
    }
    head->key = entry->key;
    head->piece_count = entry->piece_count;
    head->symmetric = entry->symmetric;
    head->has_pawns = entry->has_pawns;

    u64 length = 0;
    const u8* data = map_table_file(name, ".rtbz", &length);
    if (!data) {
        std::free(head);
        return nullptr;
    }
    head->data = data;
    head->mapping = length;
    if (!fill_dtz_table(head, data, length, name)) {
        std::fprintf(stderr, "Corrupted table.\n");
        free_dtz_table(head);
        return nullptr;
    }
    dtz_cache[0].table = head;
    return head;
}

// Squares of order[start..n-1] (codes XOR c, squares XOR m) into p.
// The table's distance for the position. Sets *success to -1 when the table
// stores the other side to move, 0 when damaged.
int lookup_dtz_value(const TbPosition& pos, DtzTableHead* head, int wdl, int* success)
{
    const u64 key = material_signature_key(pos, 0);
    const TbView view = table_view(head->symmetric, key == head->key, pos.white_to_move);
    const int c = view.colour_offset, m = view.flip, s = view.side;
    const int n = head->piece_count;
    u8 p[6];
    const DtzFileTables* ft;
    u64 idx;
    if (!head->has_pawns) {
        ft = &head->file[0];
        if (!head->symmetric && (ft->flags & 1) != s) {
            *success = -1;
            return 0;
        }
        if (!fill_squares(p, 0, n, ft->piece_order, pos, c, 0)) {
            *success = 0;
            return 0;
        }
        idx = encode_piece(n, head->encoding, ft->group_sizes, p, ft->group_factors);
    } else {
        const DtzTableHead* t = head;
        const int lead = t->pawn_counts[0];
        if (!gather_leading_pawns(p, pos, t->file[0].piece_order[0] ^ c, lead, m)) {
            *success = 0;
            return 0;
        }
        ft = &t->file[fold_file(p[0])];
        if (!ft->decoder) {
            *success = 0;
            return 0;
        }
        if ((ft->flags & 1) != s) {
            *success = -1;
            return 0;
        }
        if (!fill_squares(p, lead, n, ft->piece_order, pos, c, m)) {
            *success = 0;
            return 0;
        }
        idx = pawn_table_position_index(n, t->pawn_counts, ft->group_sizes, p, ft->group_factors);
    }
    int v = decode_pair_coded_value(ft->decoder, idx);
    if (v < 0) {
        *success = 0;
        return 0;
    }
    if (ft->flags & 2) {
        const int map = dtz_map_of_wdl[wdl + 2];
        if (v >= ft->map_length[map]) {
            *success = 0;
            return 0;
        }
        v = head->map_base[ft->map_offset[map] + v];
    }
    int d;
    if ((ft->flags & dtz_ply_flag_of_wdl[wdl + 2]) == 0 || (wdl & 1))
        d = 2 * v + 1 + ((wdl & 1) ? 100 : 0);
    else
        d = v + 1;
    return wdl > 0 ? d : -d;
}

int dtz_probe_internal(const TbPosition& pos, int* success, int one_ply_depth);

// One ply of search for a position whose side to move the table does not
// store. Every reached position has the stored side to move, so a second
// nested search only happens with a damaged table and fails.
int dtz_one_ply_search(const TbPosition& pos, int wdl, int* success, int one_ply_depth)
{
    if (one_ply_depth > 0) {
        *success = 0;
        return 0;
    }
    ProbeMove list[TB_MOVE_LIST_SIZE];
    ProbeMove* end = probe_board_generate_moves(pos, list);
    *success = -1;
    if (wdl > 0) {
        int best = BEST_NONE;
        for (ProbeMove* m = list; m < end; m++) {
            TbPosition child;
            if (!probe_board_apply_move(child, pos, *m) || child.halfmove_clock == 0) continue;
            const int v = dtz_probe_internal(child, success, one_ply_depth + 1);
            if (*success == 0) return 0;
            if (v < 0 && 1 - v < best) best = 1 - v;
        }
        if (best == BEST_NONE) {
            // No move reaches a lost position for the opponent: the tables
            // contradict each other. No result rather than a false value.
            *success = 0;
            return 0;
        }
        return best;
    }
    int best = -1;
    for (ProbeMove* m = list; m < end; m++) {
        TbPosition child;
        if (!probe_board_apply_move(child, pos, *m)) continue;
        int v;
        if (child.halfmove_clock == 0) {
            v = -1;
            if (wdl == -1) {
                const int w = wdl_capture_search(child, 1, 2, success);
                if (*success == 0) return 0;
                v = w == 2 ? 0 : -101;
            }
        } else {
            v = -dtz_probe_internal(child, success, one_ply_depth + 1) - 1;
            if (*success == 0) return 0;
        }
        if (v < best) best = v;
    }
    return best;
}

int probe_dtz_no_ep(const TbPosition& pos, int* success, int one_ply_depth)
{
    *success = 1;
    const int wdl = wdl_capture_search(pos, -2, 2, success);
    if (*success == 0) return 0;
    if (wdl == 0) return 0;
    if (*success == 2 && wdl > 0) return wdl == 2 ? 1 : 101;

    if (wdl > 0) {
        // A pawn push into a lost position for the opponent zeroes at once.
        const int colour = pos.white_to_move ? WHITE : BLACK;
        const u64 us = pos.white_to_move ? pos.white : pos.black;
        const u64 occ = pos.white | pos.black;
        const int push = colour == WHITE ? 8 : -8;
        const int second_rank = colour == WHITE ? 1 : 6;
        for (u64 pawns = pos.pawns & us; pawns; pawns &= pawns - 1) {
            const int sq = lowest_bit_index(pawns);
            const int ahead = sq + push;
            if (ahead < 0 || ahead > 63 || (occ & square_bit(ahead))) continue;
            ProbeMove moves[5];
            int count = 0;
            if (rank_of(ahead) == 0 || rank_of(ahead) == 7) {
                moves[count++] = make_probe_move(sq, ahead, TB_PROMO_QUEEN);
                moves[count++] = make_probe_move(sq, ahead, TB_PROMO_KNIGHT);
                moves[count++] = make_probe_move(sq, ahead, TB_PROMO_ROOK);
                moves[count++] = make_probe_move(sq, ahead, TB_PROMO_BISHOP);
            } else {
                moves[count++] = make_probe_move(sq, ahead);
                if (rank_of(sq) == second_rank && !(occ & square_bit(ahead + push)))
                    moves[count++] = make_probe_move(sq, ahead + push);
            }
            for (int i = 0; i < count; i++) {
                TbPosition child;
                if (!probe_board_apply_move(child, pos, moves[i])) continue;
                int ok = 1;
                const int v = child.ep_square ? wdl_probe_internal(child, &ok)
                                              : wdl_capture_search(child, -2, 1 - wdl, &ok);
                if (ok == 0) {
                    *success = 0;
                    return 0;
                }
                if (-v == wdl) return wdl == 2 ? 1 : 101;
            }
        }
    }

    DtzTableHead* table = find_dtz_table(pos);
    if (!table) {
        *success = 0;
        return 0;
    }
    const int d = lookup_dtz_value(pos, table, wdl, success);
    if (*success == -1) return dtz_one_ply_search(pos, wdl, success, one_ply_depth);
    return d;
}

int dtz_probe_internal(const TbPosition& pos, int* success, int one_ply_depth)
{
    const int d = probe_dtz_no_ep(pos, success, one_ply_depth);
    if (*success == 0) return 0;
    const int best_ep = best_en_passant_capture(pos, success);
    if (*success == 0) return 0;
    if (best_ep == NO_EN_PASSANT_CAPTURE) return d;
    const int t = dtz_of_wdl[best_ep + 2];
    if (d < -100) return t >= 0 ? t : d;
    if (d < 0) return (t >= 0 || t < -100) ? t : d;
    if (d > 100) return t > 0 ? t : d;
    if (d > 0) return t == 1 ? 1 : d;
    if (t >= 0) return t;
    return has_move_besides_en_passant(pos) ? 0 : t;
}

} // namespace

int dtz_probe_position(const TbPosition& pos, int* success)
{
    if (!tb_enter_prober()) {
        *success = 0;
        return 0;
    }
    const int d = dtz_probe_internal(pos, success, 0);
    tb_leave_prober();
    return d;
}

void release_dtz_cache()
{
    for (DtzCacheSlot& slot : dtz_cache) {
        free_dtz_table(slot.table);
        slot = DtzCacheSlot{};
    }
}

u64 dtz_cache_slot_key(int i) { return dtz_cache[i].key1; }

bool dtz_cache_slot_loaded(int i) { return dtz_cache[i].table != nullptr; }
