#include "zobrist.h"

#include <bit>

#include "log.h"

u64 zobrist_piece[16][64];
u64 zobrist_state[66];

namespace {

bool keys_ready = false;
u32 mwc_z = 1;
u32 mwc_w = 1;

u32 next_random32()
{
    mwc_z = 36969 * (mwc_z & 0xFFFF) + (mwc_z >> 16);
    mwc_w = 18000 * (mwc_w & 0xFFFF) + (mwc_w >> 16);
    return (mwc_z << 16) + mwc_w;
}

u64 next_random64()
{
    u64 high = next_random32();
    u64 low = next_random32();
    return (high << 32) | low;
}

// A candidate must differ from every earlier key by at least four bits in
// each 32-bit half.
bool too_close_to_earlier(const u64* keys, int count, u64 candidate)
{
    bool close = false;
    for (int i = 0; i < count; i++) {
        u64 x = candidate ^ keys[i];
        if (std::popcount(u32(x)) < 4 || std::popcount(u32(x >> 32)) < 4) close = true;
    }
    return close;
}

} // namespace

void generate_zobrist_keys()
{
    if (keys_ready) return;
    keys_ready = true;
    u64* keys = &zobrist_piece[0][0];
    keys[0] = next_random64();
    for (int index = 1; index < 16 * 64; index++) {
        u64 candidate = next_random64();
        for (int tries = 1; tries < 5 && too_close_to_earlier(keys, index, candidate); tries++)
            candidate = next_random64();
        if (too_close_to_earlier(keys, index, candidate)) send_line("bad hashcode");
        keys[index] = candidate;
    }
    for (int i = 0; i < 66; i++) zobrist_state[i] = next_random64();
}
