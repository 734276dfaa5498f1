// The transposition table: one global table of 16-byte entries in buckets of
// four, shared by all search threads without a lock. White to move addresses
// buckets from the start of the table, black to move from its end. Each entry
// carries a check word (low key half mixed with move and score) so a reader
// rejects an entry torn by two concurrent writers.
#pragma once

#include "score.h"
#include "types.h"

// Bound kinds of a stored score.
constexpr u8 BOUND_UPPER = 1;   // fail low
constexpr u8 BOUND_LOWER = 2;   // fail high
constexpr u8 BOUND_EXACT = 3;

// Depth values of an entry: -50 marks an empty slot; the probe reports misses
// through the depth of its copy (any depth below -10 is a miss).
constexpr i8 TT_EMPTY_DEPTH = -50;
constexpr i8 TT_NO_ENTRY = -99;      // no key match, table off or empty
constexpr i8 TT_BAD_CHECK = -98;     // check word does not match (torn entry)
constexpr i8 TT_FOREIGN_MOVE = -97;  // stored move cannot belong to the side to move
constexpr int TT_MISS_BELOW = -10;

struct TTEntry {
    u32 key_high;   // upper 32 bits of the full key
    u32 check;      // low key half ^ (move << 16) ^ (score + 15000)
    u16 move;
    i16 score;      // mate scores stored as distance from the node
    u16 age;        // search number of the last write or hit
    u8 bound;
    i8 depth;       // remaining depth; -50 empty
};
static_assert(sizeof(TTEntry) == 16, "transposition entries are 16 bytes");

struct TranspositionTable {
    TTEntry* base = nullptr;   // first entry, cache-line aligned
    u64 entry_count = 0;       // n = Hash MB * 2^20 / 16
    u64 mask = 0;              // largest power of two not above n, minus 1
    void* memory = nullptr;    // the allocation behind base
    u64 allocated_entries = 0; // n + 32
};

extern TranspositionTable transposition_table;

// Largest "Hash" in megabytes: 8192 in 64-bit builds; 1024 in 32-bit builds,
// the largest power of two a 2 GB process address space still holds beside
// the threads and the program.
constexpr int HASH_MAX_MB = sizeof(void*) >= 8 ? 8192 : 1024;

// Check word of an entry: all in 32-bit arithmetic, the score sign-extended.
inline u32 hash_check_word(u64 full_key, u16 move, i16 score)
{
    return u32(full_key) ^ (u32(move) << 16) ^ u32(i32(score) + 15000);
}

// Mate scores (beyond +-MATE_BOUND): stored as the distance to mate from the
// node (ply = the node's distance from the root) and converted back when
// read.
inline int score_to_table(int score, int ply)
{
    if (score < -MATE_BOUND) return score - ply;
    if (score >= MATE_BOUND) return score + ply;
    return score;
}
inline int score_from_table(int score, int ply)
{
    if (score < -MATE_BOUND) return score + ply;
    if (score >= MATE_BOUND) return score - ply;
    return score;
}

// Whether a table is allocated and holds entries (not after "Hash" 0 or a
// failed allocation).
inline bool table_has_entries()
{
    return transposition_table.base != nullptr && transposition_table.entry_count > 0;
}

// The first entry of the bucket of a full key with `side` to move (the table
// must hold entries).
inline TTEntry* bucket_for_key(u64 key, int side)
{
    const TranspositionTable& tt = transposition_table;
    const u64 offset = key & tt.mask;
    return side == WHITE ? tt.base + offset : tt.base + (tt.entry_count - offset);
}

// Entry count for a "Hash" size in megabytes (64-bit: 8192 MB is 2^29
// entries) and the address mask for an entry count (largest power of two not
// above it, minus 1; 0 for an empty table).
u64 hash_entries_for_size(int megabytes);
u64 hash_mask_for_entries(u64 entries);

// Generates the Zobrist keys on its first call; frees the old table and
// allocates one for the current "Hash" size, initialises it, and resets the
// hash fill and age. Returns 0, or -1 when the allocation fails: then a table
// of the old size stays (emptied), or none when even that cannot be had
// (probes miss and stores do nothing).
int setup_hash_table();
// Marks every entry empty and resets the hash fill and age; no search runs.
void clear_hash_table();
// Marks every entry empty under a running search, which keeps its age and
// samples the fill itself (its thread 0 writes both).
void clear_hash_entries();
// Releases the table (shutdown).
void free_hash_table();

// Looks the position up. `out` is the copied entry; its depth carries the
// failure codes -99, -98, -97 (any depth below -10 is a miss). On -99 the
// copy holds move 0 and score -MATE. A hit refreshes the entry's age. An
// empty or missing table (Hash 0, failed allocation) always misses. The score is returned as stored: the caller
// converts it back with score_from_table.
void probe_hash_table(const Position& pos, TTEntry& out);

// The store at the end of a node (depth 0 or more): the bound follows from the
// best score against beta and the alpha the move loop was entered with; the
// score is mate-adjusted for the ply; best_move is 0 when no move improved on
// the initial -MATE. Replacement: a same-key entry is overwritten when the
// new depth is at least its depth - 2; otherwise the cheapest entry of the
// bucket (age * 16 + depth) when the new depth is at least its depth - 7.
// Nothing is stored while the use-table byte is 0, for a depth below 0, or
// into an empty or missing table.
void store_hash_entry(const Position& pos, int ply, int depth, int best_score, Move best_move,
                      int entry_alpha, int beta);

// The first entry of the position's bucket, or nullptr when the table holds
// no entries. Readers that scan the bucket themselves use it.
TTEntry* hash_bucket(const Position& pos);
// Hints the cache to load the bucket of a full key with `side` to move:
// the node search calls it as soon as its key is known, the move loop for a
// child before playing the move. A bucket starts at any entry, so its four
// entries usually straddle two cache lines: both are loaded.
[[gnu::always_inline]] inline void prefetch_bucket_of_key(u64 key, int side)
{
    if (!table_has_entries()) return;
    const TTEntry* bucket = bucket_for_key(key, side);
    __builtin_prefetch(bucket);
    __builtin_prefetch(bucket + 3);
}

// Sets the hash-fill value from 1,000 entries in the middle of the table:
// the share that hold a position written or hit at the current age (0.0 for
// tables below 3,000 entries).
void sample_hash_fill();
