// WDL tables: the loader (first use, under tb_load_mutex), the lookup of a
// stored value, the capture search and the en-passant correction.
#include <cstdio>

#include "bitboard.h"
#include "tb_index.h"
#include "tb_load.h"
#include "tb_lookup.h"
#include "tb_map.h"
#include "tb_probe.h"
#include "tb_registry.h"

namespace {

constexpr u32 WDL_MAGIC = 0x5D23E871;

// Reads the header of a mapped ".rtbw" file into its registry entry.
// Returns 0 when anything in it is damaged or lies outside the file.
int fill_wdl_entry(TbEntryHead* head, const u8* data, u64 length, const char* name)
{
    if (length < 6 || read_le32(data) != WDL_MAGIC) return 0;
    const u8 flags = data[4];
    const int sides = (flags & 1) ? 2 : 1;
    const int n = head->piece_count;
    if (n < 3 || n > 6) return 0;
    int counts[16];
    count_material_name(name, counts);
    u64 at = 5;

    TbPairDecoder* decoders[8];
    TbSectionSizes sizes[8];
    int count = 0;

    if (!head->has_pawns) {
        TbPieceEntry* e = reinterpret_cast<TbPieceEntry*>(head);
        TbSideTables& t = e->tables;
        if (at + 1 + n > length) return 0;
        const int order[2] = {data[at] & 15, data[at] >> 4};
        at++;
        for (int i = 0; i < n; i++) {
            t.piece_order[0][i] = data[at + i] & 15;
            t.piece_order[1][i] = data[at + i] >> 4;
        }
        at += n;
        at += at & 1;
        u64 values[2];
        for (int s = 0; s < sides; s++) {
            if (!piece_order_is_valid(t.piece_order[s], n, counts)) return 0;
            pawnless_group_sizes(t.group_sizes[s], t.piece_order[s], n, e->encoding);
            values[s] = pawnless_index_factors(t.group_factors[s], n, e->encoding, t.group_sizes[s], order[s]);
            if (!values[s]) return 0;
        }
        for (int s = 0; s < sides; s++) {
            t.decoder[s] = read_pair_header(data, length, &at, values[s], -1, &sizes[count]);
            if (!t.decoder[s]) return 0;
            decoders[count++] = t.decoder[s];
        }
    } else {
        TbPawnEntry* e = reinterpret_cast<TbPawnEntry*>(head);
        const int files = (flags & 2) ? 4 : 1;
        int order[4][2], order2[4][2];
        for (int f = 0; f < 4; f++) {
            TbSideTables& t = e->file[f];
            if (at + 1 + (e->pawn_counts[1] ? 1 : 0) + n > length) return 0;
            order[f][0] = data[at] & 15;
            order[f][1] = data[at] >> 4;
            at++;
            order2[f][0] = order2[f][1] = 15;
            if (e->pawn_counts[1]) {
                order2[f][0] = data[at] & 15;
                order2[f][1] = data[at] >> 4;
                at++;
            }
            for (int i = 0; i < n; i++) {
                t.piece_order[0][i] = data[at + i] & 15;
                t.piece_order[1][i] = data[at + i] >> 4;
            }
            at += n;
        }
        at += at & 1;
        const int lead_code = e->file[0].piece_order[0][0];
        u64 values[4][2];
        for (int f = 0; f < files; f++) {
            TbSideTables& t = e->file[f];
            for (int s = 0; s < sides; s++) {
                if (!pawn_order_is_valid(t.piece_order[s], n, counts, e->pawn_counts, lead_code)) return 0;
                if (e->pawn_counts[1] && order2[f][s] == 15) return 0;
                pawn_group_sizes(t.group_sizes[s], t.piece_order[s], n, e->pawn_counts);
                values[f][s] =
                    pawn_table_index_factors(t.group_factors[s], n, order[f][s], order2[f][s], t.group_sizes[s], f);
                if (!values[f][s]) return 0;
            }
        }
        for (int f = 0; f < files; f++) {
            for (int s = 0; s < sides; s++) {
                TbSideTables& t = e->file[f];
                t.decoder[s] = read_pair_header(data, length, &at, values[f][s], -1, &sizes[count]);
                if (!t.decoder[s]) return 0;
                decoders[count++] = t.decoder[s];
            }
        }
    }
    return place_sections(data, length, &at, decoders, sizes, count);
}

void free_entry_decoders(TbEntryHead* head)
{
    if (!head->has_pawns) {
        free_side_tables(reinterpret_cast<TbPieceEntry*>(head)->tables);
    } else {
        for (TbSideTables& t : reinterpret_cast<TbPawnEntry*>(head)->file) free_side_tables(t);
    }
}

// Maps and reads the table of an entry; the caller holds tb_load_mutex.
// Returns true when loaded, false when the file is missing or damaged.
bool load_wdl_table(TbEntryHead* head, const char* name)
{
    u64 length = 0;
    bool found = false;
    const u8* data = map_table_file(name, ".rtbw", &length, &found);
    if (!data) {
        if (!found) std::fprintf(stderr, "Could not find %s.rtbw\n", name);
        return false;
    }
    if (!fill_wdl_entry(head, data, length, name)) {
        std::fprintf(stderr, "Corrupted table.\n");
        free_entry_decoders(head);
        unmap_table_file(data, length);
        head->data = nullptr;
        head->mapping = 0;
        return false;
    }
    head->data = data;
    head->mapping = length;
    return true;
}

// Squares of the pieces of order[start..n-1] (codes XOR c, squares XOR m)
// into p[start..n-1]. 0 when the position does not hold the table's pieces.
// The stored value (-2..2) of the position in a loaded table.
int lookup_wdl_value(const TbPosition& pos, const TbEntryHead* head, u64 key, int* success)
{
    const TbView view = table_view(head->symmetric, key == head->key, pos.white_to_move);
    const int c = view.colour_offset, m = view.flip, s = view.side;
    const int n = head->piece_count;
    u8 p[6];
    int v;
    if (!head->has_pawns) {
        const TbPieceEntry* e = reinterpret_cast<const TbPieceEntry*>(head);
        const TbSideTables& t = e->tables;
        if (!t.decoder[s] || !fill_squares(p, 0, n, t.piece_order[s], pos, c, 0)) {
            *success = 0;
            return 0;
        }
        const u64 idx = encode_piece(n, e->encoding, t.group_sizes[s], p, t.group_factors[s]);
        v = decode_pair_coded_value(t.decoder[s], idx);
    } else {
        const TbPawnEntry* e = reinterpret_cast<const TbPawnEntry*>(head);
        const int lead = e->pawn_counts[0];
        if (!gather_leading_pawns(p, pos, e->file[0].piece_order[0][0] ^ c, lead, m)) {
            *success = 0;
            return 0;
        }
        const TbSideTables& t = e->file[fold_file(p[0])];
        if (!t.decoder[s] || !fill_squares(p, lead, n, t.piece_order[s], pos, c, m)) {
            *success = 0;
            return 0;
        }
        const u64 idx = pawn_table_position_index(n, e->pawn_counts, t.group_sizes[s], p, t.group_factors[s]);
        v = decode_pair_coded_value(t.decoder[s], idx);
    }
    if (v < 0 || v > 4) {
        *success = 0;
        return 0;
    }
    return v - 2;
}

// Finds, loads on first use and reads the table value of the position.
int table_value(const TbPosition& pos, u64 key, int* success)
{
    TbHashSlot* slot = find_table_slot(key);
    if (!slot) {
        *success = 0;
        return 0;
    }
    TbEntryHead* head = slot->entry;
    if (!head->ready.load(std::memory_order_acquire)) {
        lock_platform_mutex(tb_load_mutex);
        if (!head->ready.load(std::memory_order_acquire)) {
            char name[TB_NAME_SIZE];
            material_name_string(pos, name, key != head->key);
            if (!load_wdl_table(head, name)) {
                slot->key.store(0, std::memory_order_relaxed);
                unlock_platform_mutex(tb_load_mutex);
                *success = 0;
                return 0;
            }
            head->ready.store(1, std::memory_order_release);
        }
        unlock_platform_mutex(tb_load_mutex);
    }
    return lookup_wdl_value(pos, head, key, success);
}

} // namespace

int wdl_capture_search(const TbPosition& pos, int alpha, int beta, int* success)
{
    ProbeMove list[TB_CAPTURE_LIST_SIZE];
    ProbeMove* end = probe_board_generate_captures(pos, list);
    const u64 them = pos.white_to_move ? pos.black : pos.white;
    for (ProbeMove* m = list; m < end; m++) {
        // A king that can be taken means an illegal position: no result.
        if (pos.kings & them & square_bit(probe_move_to(*m))) {
            *success = 0;
            return 0;
        }
        if (tb_is_en_passant_move(pos, *m)) continue;
        TbPosition child;
        if (!probe_board_apply_move(child, pos, *m)) continue;
        const int v = -wdl_capture_search(child, -beta, -alpha, success);
        if (*success == 0) return 0;
        if (v > alpha) {
            if (v >= beta) {
                *success = 2;
                return v;
            }
            alpha = v;
        }
    }

    const u64 key = material_signature_key(pos, 0);
    int v = 0;
    if (key != 0) {
        v = table_value(pos, key, success);
        if (*success == 0) return 0;
    }
    if (v > alpha) {
        *success = 1;
        return v;
    }
    *success = alpha >= 1 ? 2 : 1;
    return alpha;
}

int best_en_passant_capture(const TbPosition& pos, int* success)
{
    if (!pos.ep_square) return NO_EN_PASSANT_CAPTURE;
    const int colour = pos.white_to_move ? WHITE : BLACK;
    const u64 us = pos.white_to_move ? pos.white : pos.black;
    int best = NO_EN_PASSANT_CAPTURE;
    for (u64 capturers = pawn_attacks[colour ^ 1][pos.ep_square] & pos.pawns & us; capturers;
         capturers &= capturers - 1) {
        TbPosition child;
        if (!probe_board_apply_move(child, pos, make_probe_move(lowest_bit_index(capturers), pos.ep_square)))
            continue;
        int ok = 1;
        const int e = -wdl_capture_search(child, -2, 2, &ok);
        if (ok == 0) {
            *success = 0;
            return 0;
        }
        if (e > best) best = e;
    }
    return best;
}

bool has_move_besides_en_passant(const TbPosition& pos)
{
    ProbeMove list[TB_MOVE_LIST_SIZE];
    ProbeMove* end = probe_board_generate_moves(pos, list);
    for (ProbeMove* m = list; m < end; m++) {
        if (tb_is_en_passant_move(pos, *m)) continue;
        TbPosition child;
        if (probe_board_apply_move(child, pos, *m)) return true;
    }
    return false;
}

int wdl_probe_internal(const TbPosition& pos, int* success)
{
    *success = 1;
    const int v = wdl_capture_search(pos, -2, 2, success);
    if (*success == 0) return 0;
    const int best_ep = best_en_passant_capture(pos, success);
    if (*success == 0) return 0;
    if (best_ep == NO_EN_PASSANT_CAPTURE) return v;
    if (best_ep >= v) return best_ep;
    if (v != 0) return v;
    // The table says draw but every en-passant capture loses: the draw
    // holds only when some other move is legal.
    return has_move_besides_en_passant(pos) ? 0 : best_ep;
}

int wdl_probe_position(const TbPosition& pos, int* success)
{
    if (!tb_enter_prober()) {
        *success = 0;
        return 0;
    }
    const int v = wdl_probe_internal(pos, success);
    tb_leave_prober();
    return v;
}

int tb_probe_wdl_code(const TbPosition& pos)
{
    int success;
    const int v = wdl_probe_position(pos, &success);
    return success ? TB_CODE_DRAW + v : TB_CODE_NONE;
}

int wdl_table_value(const TbPosition& pos, int* success)
{
    if (!tb_enter_prober()) {
        *success = 0;
        return 0;
    }
    *success = 1;
    const u64 key = material_signature_key(pos, 0);
    const int v = key ? table_value(pos, key, success) : 0;
    tb_leave_prober();
    return v;
}
