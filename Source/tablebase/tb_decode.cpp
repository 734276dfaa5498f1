#include "tb_decode.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

inline u32 read_u16_le(const u8* p) { return u32(p[0]) | (u32(p[1]) << 8); }
inline u32 read_u32_le(const u8* p) { return u32(p[0]) | (u32(p[1]) << 8) | (u32(p[2]) << 16) | (u32(p[3]) << 24); }

inline u32 left_half(const u8* entry) { return u32(entry[0]) | (u32(entry[1] & 15) << 8); }
inline u32 right_half(const u8* entry) { return u32(entry[1] >> 4) | (u32(entry[2]) << 4); }

constexpr u32 LEAF = 4095;

// Next big-endian 32-bit word of a block; bytes past the block end read as 0.
inline u32 next_word(const u8*& p, const u8* end)
{
    if (end - p >= 4) {
        u32 w;
        std::memcpy(&w, p, 4);
        p += 4;
        return __builtin_bswap32(w);
    }
    u32 w = 0;
    for (int k = 0; k < 4; k++) {
        w <<= 8;
        if (p < end) w |= *p++;
    }
    return w;
}

TbPairDecoder* allocate_decoder(u32 lengths, u32 symbols)
{
    const size_t bytes = sizeof(TbPairDecoder) + sizeof(u32) * lengths + symbols;
    auto* d = static_cast<TbPairDecoder*>(std::calloc(1, bytes));
    if (!d) return nullptr;
    d->base = reinterpret_cast<u32*>(d + 1);
    d->symbol_length = reinterpret_cast<u8*>(d->base + lengths);
    return d;
}

} // namespace

TbPairDecoder* make_constant_decoder(u32 value)
{
    TbPairDecoder* d = allocate_decoder(0, 0);
    if (!d) return nullptr;
    d->index_bits = 0;
    d->min_length = value;
    return d;
}

void free_pair_decoder(TbPairDecoder* d) { std::free(d); }

bool pair_symbol_length(TbPairDecoder* d, u32 s, u8* state)
{
    state[s] = 1;
    const u8* entry = d->symbol_pattern + 3 * s;
    const u32 right = right_half(entry);
    if (right == LEAF) {
        d->symbol_length[s] = 0;
    } else {
        const u32 left = left_half(entry);
        if (left >= d->symbol_count || right >= d->symbol_count) return false;
        for (u32 half : {left, right}) {
            if (state[half] == 1) return false;  // a symbol made of itself
            if (state[half] == 0 && !pair_symbol_length(d, half, state)) return false;
        }
        const u32 length = u32(d->symbol_length[left]) + d->symbol_length[right] + 1;
        if (length > 255) return false;
        d->symbol_length[s] = u8(length);
    }
    state[s] = 2;
    return true;
}

TbPairDecoder* build_pair_decoder(const u8* header, const u8* end, u64 values, TbSectionSizes* sizes,
                                  const u8** next)
{
    if (end - header < 12) return nullptr;
    const u32 block_size = header[1];
    const u32 index_bits = header[2];
    const u32 extra_blocks = header[3];
    const i32 real_blocks = i32(read_u32_le(header + 4));
    const u32 max_length = header[8];
    const u32 min_length = header[9];
    if (min_length < 1 || max_length > 32 || min_length > max_length) return nullptr;
    if (index_bits < 1 || index_bits > 32 || block_size > 31 || real_blocks < 0) return nullptr;
    const u32 lengths = max_length - min_length + 1;
    if (u64(end - header) < 12 + 2 * u64(lengths)) return nullptr;
    const u32 symbols = read_u16_le(header + 10 + 2 * lengths);
    if (symbols == 0 || symbols > 4096) return nullptr;
    const u64 header_bytes = 12 + 2 * u64(lengths) + 3 * u64(symbols) + (symbols & 1);
    if (u64(end - header) < header_bytes) return nullptr;
    if (values == 0) return nullptr;

    TbPairDecoder* d = allocate_decoder(lengths, symbols);
    if (!d) return nullptr;
    d->block_size = block_size;
    d->index_bits = index_bits;
    d->min_length = min_length;
    d->max_length = max_length;
    d->symbol_count = symbols;
    d->offset = header + 10;
    d->symbol_pattern = header + 12 + 2 * lengths;
    d->real_blocks = u32(real_blocks);
    d->total_blocks = u32(real_blocks) + extra_blocks;
    d->index_entries = ((values - 1) >> index_bits) + 1;

    sizes->index_table = 6 * d->index_entries;
    sizes->size_table = 2 * u64(d->total_blocks);
    sizes->data = u64(d->real_blocks) << block_size;
    *next = header + header_bytes;

    u8 state[4096] = {};
    for (u32 s = 0; s < symbols; s++) {
        if (state[s] == 0 && !pair_symbol_length(d, s, state)) {
            free_pair_decoder(d);
            return nullptr;
        }
    }

    // Canonical code bases, longest length first; shorter codes count higher.
    d->base[lengths - 1] = 0;
    for (int l = int(max_length) - 1; l >= int(min_length); l--) {
        const u32 i = u32(l) - min_length;
        d->base[i] = (d->base[i + 1] + read_u16_le(d->offset + 2 * i) - read_u16_le(d->offset + 2 * (i + 1))) / 2;
    }
    for (u32 i = 0; i < lengths; i++) d->base[i] = u32(u64(d->base[i]) << (32 - (i + min_length)));
    return d;
}

int decode_pair_coded_value(const TbPairDecoder* d, u64 index)
{
    if (d->index_bits == 0) return int(d->min_length);

    const u64 main = index >> d->index_bits;
    if (main >= d->index_entries) return -1;
    const u64 half = u64(1) << (d->index_bits - 1);
    i64 lit = i64(index & ((u64(1) << d->index_bits) - 1)) - i64(half);
    const u8* entry = d->index_table + 6 * main;
    i64 block = read_u32_le(entry);
    lit += read_u16_le(entry + 4);
    if (block >= d->total_blocks) return -1;

    // The index entry names the middle of its run: walk either way.
    if (lit < 0) {
        do {
            if (block == 0) return -1;
            block--;
            lit += i64(read_u16_le(d->size_table + 2 * block)) + 1;
        } while (lit < 0);
    } else {
        while (lit > i64(read_u16_le(d->size_table + 2 * block))) {
            lit -= i64(read_u16_le(d->size_table + 2 * block)) + 1;
            block++;
            if (block >= d->total_blocks) return -1;
        }
    }
    if (block >= d->real_blocks) return -1;

    const u64 block_bytes = u64(1) << d->block_size;
    const u8* ptr = d->data + u64(block) * block_bytes;
    const u8* const block_end = ptr + block_bytes;
    const u64 block_bits = block_bytes * 8;
    u64 consumed = 0;
    u64 buffer = u64(next_word(ptr, block_end)) << 32;
    buffer |= next_word(ptr, block_end);
    int bits = 64;

    const u32 min_length = d->min_length;
    u32 sym;
    for (;;) {
        const u32 window = u32(buffer >> 32);
        u32 l = min_length;
        while (d->base[l - min_length] > window) l++;
        sym = read_u16_le(d->offset + 2 * (l - min_length)) + ((window - d->base[l - min_length]) >> (32 - l));
        if (sym >= d->symbol_count) return -1;
        if (lit <= d->symbol_length[sym]) break;
        lit -= i64(d->symbol_length[sym]) + 1;
        consumed += l;
        if (consumed >= block_bits) return -1;  // ran past the block
        buffer <<= l;
        bits -= int(l);
        if (bits <= 32) {
            buffer |= u64(next_word(ptr, block_end)) << (32 - bits);
            bits += 32;
        }
    }

    while (d->symbol_length[sym] != 0) {
        const u8* pattern = d->symbol_pattern + 3 * sym;
        const u32 left = left_half(pattern);
        if (lit <= d->symbol_length[left]) {
            sym = left;
        } else {
            lit -= i64(d->symbol_length[left]) + 1;
            sym = right_half(pattern);
        }
    }
    return d->symbol_pattern[3 * sym];
}
