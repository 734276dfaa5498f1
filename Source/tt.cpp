#include "tt.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <thread>

#include "platform.h"
#include "records.h"
#include "zobrist.h"

TranspositionTable transposition_table;

namespace {

// Entries are shared by all search threads without a lock: every field is
// read and written on its own with relaxed atomic access (plain moves on the
// target processors). A reader may see a mix of two writes; the check word
// rejects it.
template <typename T>
inline T load_field(T& field)
{
    return std::atomic_ref<T>(field).load(std::memory_order_relaxed);
}
template <typename T>
inline void store_field(T& field, T value)
{
    std::atomic_ref<T>(field).store(value, std::memory_order_relaxed);
}

// Field by field, as the search writes: a search may be running (the
// "Clear Hash" button does not stop it) and reads entries meanwhile.
void mark_range_empty(u64 begin, u64 end)
{
    TranspositionTable& tt = transposition_table;
    u64 empty_count = tt.entry_count + 16;
    for (u64 i = begin; i < end; i++) {
        TTEntry& e = tt.base[i];
        store_field(e.key_high, u32(0));
        store_field(e.check, u32(0));
        store_field(e.move, u16(0));
        store_field(e.score, i16(0));
        store_field(e.age, u16(0));
        store_field(e.bound, u8(0));
        store_field(e.depth, i8(i < empty_count ? TT_EMPTY_DEPTH : 0));
    }
}

// One share of a table cleared by several threads.
struct ClearShare {
    u64 begin, end;
    std::atomic<int>* unfinished;
};

void* clear_share(void* share_record)
{
    const ClearShare& share = *static_cast<ClearShare*>(share_record);
    mark_range_empty(share.begin, share.end);
    // The last touch of the share: its owner may return at once.
    share.unfinished->fetch_sub(1, std::memory_order_release);
    return nullptr;
}

// A large table is cleared by as many threads as the machine has cores (at
// least 64 MB each): touching gigabytes of new pages is what costs, and it
// shares out well. A share whose thread cannot start is cleared here.
void mark_entries_empty()
{
    TranspositionTable& tt = transposition_table;
    if (!tt.base) return;
    constexpr u64 SHARE_ENTRIES_MIN = (u64(64) << 20) / sizeof(TTEntry);
    constexpr int SHARES_MAX = 64;
    const u64 total = tt.allocated_entries;
    u64 shares = std::max(1u, std::thread::hardware_concurrency());
    shares = std::min({shares, u64(SHARES_MAX), std::max<u64>(1, total / SHARE_ENTRIES_MIN)});
    const u64 size = (total + shares - 1) / shares;
    ClearShare share[SHARES_MAX];
    std::atomic<int> unfinished{0};
    for (u64 k = 1; k < shares; k++) {
        share[k] = {k * size, std::min(total, (k + 1) * size), &unfinished};
        unfinished.fetch_add(1);
        if (start_detached_thread(clear_share, &share[k]) != 0) {
            unfinished.fetch_sub(1);
            mark_range_empty(share[k].begin, share[k].end);
        }
    }
    mark_range_empty(0, std::min(total, size));
    while (unfinished.load(std::memory_order_acquire) != 0) sleep_ms(1);
}

// The block for a table of `total` entries (large ones on 2 MB boundaries,
// so the kernel can back them with huge pages); null when it cannot be had.
void* allocate_table_block(u64 total)
{
    u64 bytes = total * sizeof(TTEntry);
    u64 alignment = bytes >= (u64(2) << 20) ? (u64(2) << 20) : 64;
    u64 rounded = (bytes + alignment - 1) / alignment * alignment;
    // Sizes are computed in 64 bits; a 32-bit build refuses what it cannot address.
    if (rounded > std::numeric_limits<size_t>::max()) return nullptr;
    return allocate_aligned_block(size_t(rounded), size_t(alignment));
}

void install_table(void* memory, u64 n)
{
    TranspositionTable& tt = transposition_table;
    tt.memory = memory;
    tt.base = static_cast<TTEntry*>(memory);
    tt.entry_count = n;
    tt.mask = hash_mask_for_entries(n);
    tt.allocated_entries = n + 32;
    mark_entries_empty();
}

void write_entry(TTEntry& e, u64 key, u16 move, i16 score, u16 age, u8 bound, i8 depth)
{
    store_field(e.key_high, u32(key >> 32));
    store_field(e.check, hash_check_word(key, move, score));
    store_field(e.score, score);
    store_field(e.age, age);
    store_field(e.bound, bound);
    store_field(e.move, move);
    store_field(e.depth, depth);
}

} // namespace

u64 hash_entries_for_size(int megabytes)
{
    if (megabytes < 0) megabytes = 0;
    return (u64(megabytes) << 20) / sizeof(TTEntry);
}

u64 hash_mask_for_entries(u64 entries)
{
    u64 power = 1;
    while (power * 2 <= entries) power *= 2;
    return power - 1;
}

void free_hash_table()
{
    TranspositionTable& tt = transposition_table;
    free_aligned_block(tt.memory);
    tt = TranspositionTable{};
}

int setup_hash_table()
{
    generate_zobrist_keys();

    const u64 n = hash_entries_for_size(search_state.hash_size);
    void* memory = allocate_table_block(n + 32);
    if (!memory && transposition_table.memory) {
        // Perhaps room for one table only: give the old one back and try
        // again; failing that, the old size comes back (empty).
        const u64 old_n = transposition_table.entry_count;
        free_hash_table();
        memory = allocate_table_block(n + 32);
        if (!memory) {
            if (void* old_memory = allocate_table_block(old_n + 32)) install_table(old_memory, old_n);
            search_state.hash_fill = 0.0;
            return -1;
        }
    }
    if (!memory) return -1;
    free_hash_table();
    install_table(memory, n);

    search_state.hash_fill = 0.0;
    search_state.hash_age = 0;
    return 0;
}

void clear_hash_table()
{
    mark_entries_empty();
    search_state.hash_fill = 0.0;
    search_state.hash_age = 0;
}

void clear_hash_entries() { mark_entries_empty(); }

TTEntry* hash_bucket(const Position& pos)
{
    if (!table_has_entries()) return nullptr;
    return bucket_for_key(full_key(pos), pos.side);
}

void probe_hash_table(const Position& pos, TTEntry& out)
{
    out.key_high = 0;
    out.check = 0;
    out.move = 0;
    out.score = -MATE;
    out.age = 0;
    out.bound = 0;
    out.depth = TT_NO_ENTRY;
    if (search_state.use_table == TABLE_OFF || !table_has_entries()) return;

    u64 key = full_key(pos);
    TTEntry* bucket = bucket_for_key(key, pos.side);
    u32 high = u32(key >> 32);
    TTEntry* hit = nullptr;
    for (int i = 0; i < 4; i++) {
        if (load_field(bucket[i].key_high) == high) {
            hit = &bucket[i];
            break;
        }
    }
    if (!hit) return;

    // A hit keeps the entry alive for the current search. An entry already
    // of this search is left unwritten, so its cache line stays clean and is
    // not pulled away from the other threads that read it.
    const u16 age = search_state.hash_age;
    if (load_field(hit->age) != age) store_field(hit->age, age);
    out.key_high = load_field(hit->key_high);
    out.check = load_field(hit->check);
    out.move = load_field(hit->move);
    out.score = load_field(hit->score);
    out.age = load_field(hit->age);
    out.bound = load_field(hit->bound);
    out.depth = load_field(hit->depth);

    if (hash_check_word(key, out.move, out.score) != out.check) {
        out.depth = TT_BAD_CHECK;
        return;
    }
    if (out.move == 0) return;
    int from_piece = pos.board[move_from(out.move)];
    int to_piece = pos.board[move_to(out.move)];
    if (from_piece == 0 || piece_colour_of(from_piece) != pos.side ||
        (to_piece != 0 && piece_colour_of(to_piece) == pos.side))
        out.depth = TT_FOREIGN_MOVE;
}

void store_hash_entry(const Position& pos, int ply, int depth, int best_score, Move best_move,
                      int entry_alpha, int beta)
{
    if (search_state.use_table == TABLE_OFF || !table_has_entries() || depth < 0) return;

    u8 bound = best_score >= beta ? BOUND_LOWER : best_score > entry_alpha ? BOUND_EXACT : BOUND_UPPER;
    i16 score = i16(score_to_table(best_score, ply));
    i8 new_depth = i8(depth > 127 ? 127 : depth);
    u16 age = search_state.hash_age;

    u64 key = full_key(pos);
    TTEntry* bucket = bucket_for_key(key, pos.side);
    u32 high = u32(key >> 32);

    for (int i = 0; i < 4; i++) {
        if (load_field(bucket[i].key_high) == high) {
            if (new_depth >= load_field(bucket[i].depth) - 2)
                write_entry(bucket[i], key, best_move, score, age, bound, new_depth);
            return;
        }
    }

    // No entry of this position: replace the cheapest, old and shallow first.
    int victim = 0;
    int victim_cost = std::numeric_limits<int>::max();
    for (int i = 0; i < 4; i++) {
        int cost = int(i16(load_field(bucket[i].age))) * 16 + int(load_field(bucket[i].depth));
        if (cost < victim_cost) {
            victim_cost = cost;
            victim = i;
        }
    }
    if (new_depth >= load_field(bucket[victim].depth) - 7)
        write_entry(bucket[victim], key, best_move, score, age, bound, new_depth);
}

void sample_hash_fill()
{
    search_state.hash_fill = 0.0;
    const TranspositionTable& tt = transposition_table;
    if (!tt.base || tt.entry_count < 3000) return;
    u64 first = tt.entry_count / 2 - 500;
    u16 age = search_state.hash_age;
    int count = 0;
    // An emptied entry carries age 0, as does the age after a clear: only
    // entries that hold a position count.
    for (u64 i = first; i < first + 1000; i++)
        if (load_field(tt.base[i].age) == age && load_field(tt.base[i].depth) != TT_EMPTY_DEPTH) count++;
    search_state.hash_fill = count * 0.001;
}
