// The pair-coded value decoder on small hand-built tables: canonical codes
// of 2 to 4 bits, pair symbols, runs that cross blocks in both directions
// and codes that straddle two 32-bit words; damaged headers are refused.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "tablebase/tb_decode.h"

namespace {

// Symbols in code order (longest codes first): lengths and meaning.
struct TestSymbol {
    int length;
    int left;   // leaf value, or left symbol of a pair
    int right;  // -1 for a leaf
};
const TestSymbol symbols[8] = {
    {4, 10, -1}, {4, 11, -1}, {4, 12, -1}, {4, 13, -1}, {3, 20, -1}, {3, 0, 4}, {2, 5, 1}, {2, 30, -1},
};
// Canonical codes: offsets of lengths 2, 3, 4 and the unshifted bases.
const int code_offset[5] = {0, 0, 6, 4, 0};
const int code_base[5] = {0, 0, 2, 2, 0};

void expand(int s, std::vector<int>& out)
{
    if (symbols[s].right < 0) {
        out.push_back(symbols[s].left);
        return;
    }
    expand(symbols[s].left, out);
    expand(symbols[s].right, out);
}

std::vector<u8> build_header(int real_blocks, int block_size, int index_bits)
{
    std::vector<u8> h = {0, u8(block_size), u8(index_bits), 0};
    for (int k = 0; k < 4; k++) h.push_back(u8(real_blocks >> (8 * k)));
    h.push_back(4);  // maximum code length
    h.push_back(2);  // minimum code length
    for (int l = 2; l <= 4; l++) {
        h.push_back(u8(code_offset[l]));
        h.push_back(0);
    }
    h.push_back(8);
    h.push_back(0);
    for (const TestSymbol& s : symbols) {
        const int left = s.left, right = s.right < 0 ? 4095 : s.right;
        h.push_back(u8(left & 0xFF));
        h.push_back(u8(((left >> 8) & 15) | ((right & 15) << 4)));
        h.push_back(u8(right >> 4));
    }
    return h;
}

// A table of pseudo-random symbols packed into 8-byte blocks.
struct HandTable {
    std::vector<u8> header, index_table, size_table, data;
    std::vector<int> values;
    TbPairDecoder* decoder = nullptr;
};

void build_table(HandTable& t, unsigned seed)
{
    const int block_bytes = 8, index_bits = 3;
    std::vector<std::vector<int>> blocks(1);
    std::vector<int> block_values(1, 0);
    int bits_used = 0;
    std::vector<int> first_value_of_block(1, 0);
    // Fill until a multiple of 8 values is reached after at least 40 blocks.
    for (;;) {
        seed = seed * 1103515245u + 12345u;
        const int s = int((seed >> 16) % 8);
        if (bits_used + symbols[s].length > block_bytes * 8) {
            if (blocks.size() >= 40 && t.values.size() % 8 == 0) break;
            blocks.emplace_back();
            block_values.push_back(0);
            first_value_of_block.push_back(int(t.values.size()));
            bits_used = 0;
        }
        blocks.back().push_back(s);
        bits_used += symbols[s].length;
        std::vector<int> v;
        expand(s, v);
        block_values.back() += int(v.size());
        t.values.insert(t.values.end(), v.begin(), v.end());
        if (blocks.size() >= 40 && t.values.size() % 8 == 0 && bits_used > 40) break;
    }
    const int block_count = int(blocks.size());
    for (const auto& b : blocks) {
        std::vector<u8> bytes(block_bytes, 0);
        int bit = 0;
        for (int s : b) {
            const int l = symbols[s].length;
            const int code = s - code_offset[l] + code_base[l];
            for (int k = l - 1; k >= 0; k--, bit++)
                if ((code >> k) & 1) bytes[bit / 8] |= u8(0x80 >> (bit % 8));
        }
        t.data.insert(t.data.end(), bytes.begin(), bytes.end());
    }
    for (int b = 0; b < block_count; b++) {
        t.size_table.push_back(u8((block_values[b] - 1) & 0xFF));
        t.size_table.push_back(u8((block_values[b] - 1) >> 8));
    }
    const int entries = int(t.values.size()) >> index_bits;
    for (int e = 0; e < entries; e++) {
        const int middle = e * 8 + 4;
        int b = 0;
        while (b + 1 < block_count && first_value_of_block[b + 1] <= middle) b++;
        const int pos = middle - first_value_of_block[b];
        for (int k = 0; k < 4; k++) t.index_table.push_back(u8(b >> (8 * k)));
        t.index_table.push_back(u8(pos & 0xFF));
        t.index_table.push_back(u8(pos >> 8));
    }
    t.header = build_header(block_count, 3, index_bits);
    TbSectionSizes sizes{};
    const u8* next = nullptr;
    t.decoder = build_pair_decoder(t.header.data(), t.header.data() + t.header.size(), t.values.size(), &sizes, &next);
    ASSERT_NE(t.decoder, nullptr);
    EXPECT_EQ(next, t.header.data() + t.header.size());
    EXPECT_EQ(sizes.index_table, t.index_table.size());
    EXPECT_EQ(sizes.size_table, t.size_table.size());
    EXPECT_EQ(sizes.data, t.data.size());
    t.decoder->index_table = t.index_table.data();
    t.decoder->size_table = t.size_table.data();
    t.decoder->data = t.data.data();
}

TEST(TbDecodeTest, SymbolLengthsOfLeavesAndPairs)
{
    HandTable t;
    build_table(t, 1);
    const int expected[8] = {0, 0, 0, 0, 0, 1, 2, 0};
    for (int s = 0; s < 8; s++) EXPECT_EQ(t.decoder->symbol_length[s], expected[s]) << s;
    free_pair_decoder(t.decoder);
}

TEST(TbDecodeTest, EveryIndexDecodesToItsValue)
{
    for (unsigned seed = 1; seed <= 20; seed++) {
        HandTable t;
        build_table(t, seed);
        for (size_t i = 0; i < t.values.size(); i++)
            ASSERT_EQ(decode_pair_coded_value(t.decoder, i), t.values[i]) << "seed " << seed << " index " << i;
        // Past the last index entry: no value.
        EXPECT_EQ(decode_pair_coded_value(t.decoder, t.values.size() + 8), -1);
        free_pair_decoder(t.decoder);
    }
}

TEST(TbDecodeTest, ConstantTable)
{
    TbPairDecoder* d = make_constant_decoder(3);
    for (u64 i : {u64(0), u64(1), u64(12345), u64(1) << 40}) EXPECT_EQ(decode_pair_coded_value(d, i), 3);
    free_pair_decoder(d);
}

TEST(TbDecodeTest, DamagedHeadersAreRefused)
{
    TbSectionSizes sizes{};
    const u8* next = nullptr;
    std::vector<u8> h = build_header(4, 3, 3);
    // Truncated anywhere.
    for (size_t cut = 0; cut < h.size(); cut++)
        EXPECT_EQ(build_pair_decoder(h.data(), h.data() + cut, 64, &sizes, &next), nullptr) << cut;
    // A pair made of itself.
    std::vector<u8> cyclic = h;
    const size_t sym5 = 12 + 2 * 3 + 3 * 5;
    cyclic[sym5] = 5;
    cyclic[sym5 + 1] = u8((4 & 15) << 4);
    EXPECT_EQ(build_pair_decoder(cyclic.data(), cyclic.data() + cyclic.size(), 64, &sizes, &next), nullptr);
    // A pair half beyond the symbol count.
    std::vector<u8> wide = h;
    wide[sym5] = 200;
    EXPECT_EQ(build_pair_decoder(wide.data(), wide.data() + wide.size(), 64, &sizes, &next), nullptr);
    // Impossible code lengths and index bits.
    std::vector<u8> lengths = h;
    lengths[9] = 5;  // minimum above maximum
    EXPECT_EQ(build_pair_decoder(lengths.data(), lengths.data() + lengths.size(), 64, &sizes, &next), nullptr);
    std::vector<u8> no_index = h;
    no_index[2] = 0;
    EXPECT_EQ(build_pair_decoder(no_index.data(), no_index.data() + no_index.size(), 64, &sizes, &next), nullptr);
    std::vector<u8> negative = h;
    negative[7] = 0x80;
    EXPECT_EQ(build_pair_decoder(negative.data(), negative.data() + negative.size(), 64, &sizes, &next), nullptr);
    // The intact header is accepted.
    TbPairDecoder* d = build_pair_decoder(h.data(), h.data() + h.size(), 64, &sizes, &next);
    EXPECT_NE(d, nullptr);
    free_pair_decoder(d);
}

// Damaged data (index entries naming missing blocks, sizes that run past
// the table) give -1, never a read outside the sections.
TEST(TbDecodeTest, DamagedDataGivesNoValue)
{
    HandTable t;
    build_table(t, 7);
    std::vector<u8> index = t.index_table;
    index[0] = 0xFF;  // block 255 of 40-odd
    t.decoder->index_table = index.data();
    EXPECT_EQ(decode_pair_coded_value(t.decoder, 0), -1);
    std::vector<u8> index2 = t.index_table;
    index2[4] = 0xFF;  // position far past the run
    index2[5] = 0xFF;
    t.decoder->index_table = index2.data();
    EXPECT_EQ(decode_pair_coded_value(t.decoder, 3), -1);
    t.decoder->index_table = t.index_table.data();
    std::vector<u8> sizes = t.size_table;
    sizes[0] = 0xFF;  // first block claims 256 values it does not hold
    sizes[1] = 0;
    t.decoder->size_table = sizes.data();
    for (u64 i = 0; i < 16; i++) {
        const int v = decode_pair_coded_value(t.decoder, i);
        EXPECT_GE(v, -1);
        EXPECT_LE(v, 255);
    }
    free_pair_decoder(t.decoder);
}

} // namespace
