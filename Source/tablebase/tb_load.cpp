#include "tb_load.h"

bool piece_order_is_valid(const u8 order[6], int n, const int counts[16])
{
    int seen[16] = {};
    for (int i = 0; i < n; i++) {
        const int code = order[i];
        if ((code & 7) == 0 || (code & 7) == 7) return false;
        if (i > 0 && code != order[i - 1] && seen[code]) return false;  // a kind split into two runs
        seen[code]++;
    }
    for (int c = 0; c < 16; c++)
        if (seen[c] != counts[c]) return false;
    return true;
}

bool pawn_order_is_valid(const u8 order[6], int n, const int counts[16], const u8 pawn_counts[2], int lead_code)
{
    if (!piece_order_is_valid(order, n, counts)) return false;
    if ((lead_code & 7) != 1 || counts[lead_code] != pawn_counts[0] || counts[lead_code ^ 8] != pawn_counts[1])
        return false;
    for (int i = 0; i < pawn_counts[0]; i++)
        if (order[i] != lead_code) return false;
    for (int i = pawn_counts[0]; i < pawn_counts[0] + pawn_counts[1]; i++)
        if (order[i] != (lead_code ^ 8)) return false;
    return true;
}

TbPairDecoder* read_pair_header(const u8* base, u64 length, u64* at, u64 values, int constant_value,
                                TbSectionSizes* sizes)
{
    *sizes = TbSectionSizes{};
    if (*at + 2 > length) return nullptr;
    const u8* header = base + *at;
    if (header[0] & 0x80) {
        *at += 2;
        return make_constant_decoder(u32(constant_value < 0 ? header[1] : constant_value));
    }
    const u8* next = nullptr;
    TbPairDecoder* d = build_pair_decoder(header, base + length, values, sizes, &next);
    if (d) *at = u64(next - base);
    return d;
}

bool place_sections(const u8* base, u64 length, u64* at, TbPairDecoder* const* decoders,
                   const TbSectionSizes* sizes, int count)
{
    u64 p = *at;
    for (int i = 0; i < count; i++) {
        if (sizes[i].index_table > length - p) return false;
        decoders[i]->index_table = base + p;
        p += sizes[i].index_table;
    }
    for (int i = 0; i < count; i++) {
        if (sizes[i].size_table > length - p) return false;
        decoders[i]->size_table = base + p;
        p += sizes[i].size_table;
    }
    for (int i = 0; i < count; i++) {
        if (sizes[i].data == 0) continue;  // constant table: no data
        p = (p + 63) & ~u64(63);
        if (p > length || sizes[i].data > length - p) return false;
        decoders[i]->data = base + p;
        p += sizes[i].data;
    }
    *at = p;
    return true;
}
