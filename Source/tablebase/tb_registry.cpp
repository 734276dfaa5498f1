#include "tb_registry.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "tb_index.h"
#include "tb_map.h"
#include "tb_position.h"
#include "tb_probe.h"

TbPieceEntry tb_piece_entries[TBMAX_PIECE];
TbPawnEntry tb_pawn_entries[TBMAX_PAWN];
int tb_piece_entry_count = 0;
int tb_pawn_entry_count = 0;
TbHashSlot tb_key_hash[1 << TB_HASH_BITS][TB_HASH_SLOTS];
std::atomic<u32> tb_largest_piece_count{0};
PlatformMutex tb_load_mutex;

namespace {

bool index_tables_built = false;

// The directories of the last scan: one copy of the path text owns them.
char* path_copy = nullptr;
char** path_dirs = nullptr;
int path_dir_count = 0;

// Longest name the scan tries ("KQRBvKN" and the like) plus ".rtbw".
constexpr size_t LONGEST_FILE_NAME = 7 + 5;

// Probes in flight, one flag per thread (a cache line each, so that probing
// threads do not share a written line), for the scan to wait on.
struct alignas(64) ProbeSlot {
    std::atomic<u8> owned{0};
    std::atomic<u8> busy{0};
};
constexpr int PROBE_SLOTS = 256;
ProbeSlot probe_slots[PROBE_SLOTS];
std::atomic<int> unslotted_busy{0};  // threads beyond PROBE_SLOTS share a counter
std::atomic<u8> probing_paused{0};

struct ThreadProbeState {
    int slot = -1;  // -1 not claimed yet, -2 none free
    int depth = 0;
    ~ThreadProbeState()
    {
        if (slot >= 0) probe_slots[slot].owned.store(0, std::memory_order_release);
    }
};
thread_local ThreadProbeState thread_probe;

void pause_probing_and_wait()
{
    probing_paused.store(1, std::memory_order_seq_cst);
    for (;;) {
        bool busy = unslotted_busy.load(std::memory_order_seq_cst) != 0;
        for (int i = 0; i < PROBE_SLOTS && !busy; i++)
            busy = probe_slots[i].busy.load(std::memory_order_seq_cst) != 0;
        if (!busy) return;
        std::this_thread::yield();
    }
}

void resume_probing() { probing_paused.store(0, std::memory_order_seq_cst); }

void insert_key(u64 key, TbEntryHead* entry)
{
    TbHashSlot* bucket = tb_key_hash[key >> (64 - TB_HASH_BITS)];
    for (int s = 0; s < TB_HASH_SLOTS; s++) {
        if (!bucket[s].entry) {
            bucket[s].key.store(key, std::memory_order_relaxed);
            bucket[s].entry = entry;
            return;
        }
    }
    table_hash_overflow_exit();
}

void release_previous_scan()
{
    std::free(path_copy);
    std::free(path_dirs);
    path_copy = nullptr;
    path_dirs = nullptr;
    path_dir_count = 0;

    for (int i = 0; i < tb_piece_entry_count; i++) {
        TbPieceEntry& e = tb_piece_entries[i];
        unmap_table_file(e.head.data, e.head.mapping);
        e.head.data = nullptr;
        e.head.mapping = 0;
        e.head.ready.store(0, std::memory_order_relaxed);
        free_side_tables(e.tables);
    }
    for (int i = 0; i < tb_pawn_entry_count; i++) {
        TbPawnEntry& e = tb_pawn_entries[i];
        unmap_table_file(e.head.data, e.head.mapping);
        e.head.data = nullptr;
        e.head.mapping = 0;
        e.head.ready.store(0, std::memory_order_relaxed);
        for (TbSideTables& t : e.file) free_side_tables(t);
    }
    release_dtz_cache();

    tb_piece_entry_count = 0;
    tb_pawn_entry_count = 0;
    tb_largest_piece_count.store(0, std::memory_order_relaxed);
    for (auto& bucket : tb_key_hash) {
        for (TbHashSlot& slot : bucket) {
            slot.key.store(0, std::memory_order_relaxed);
            slot.entry = nullptr;
        }
    }
}

// Splits a copy of the text at the path separator (":", ";" on Windows) into
// the non-empty directories; those too long for a table path are reported
// and left out.
bool build_path_list(const char* text)
{
    const size_t length = std::strlen(text);
    path_copy = static_cast<char*>(std::malloc(length + 1));
    path_dirs = static_cast<char**>(std::malloc(sizeof(char*) * (length / 2 + 1)));
    if (!path_copy || !path_dirs) {
        std::fprintf(stderr, "Not enough memory for the tablebase path.\n");
        return false;
    }
    std::memcpy(path_copy, text, length + 1);
    for (char* p = path_copy; *p;) {
        char* start = p;
        while (*p && *p != PATH_LIST_SEPARATOR) p++;
        if (*p) *p++ = 0;
        if (!*start) continue;
        const size_t dir_length = std::strlen(start);
        if (dir_length + 1 + LONGEST_FILE_NAME >= size_t(TB_PATH_BUFFER)) {
            std::fprintf(stderr, "Tablebase directory too long (%zu characters, at most %zu), skipped: %s\n",
                         dir_length, size_t(TB_PATH_BUFFER) - 2 - LONGEST_FILE_NAME, start);
            continue;
        }
        path_dirs[path_dir_count++] = start;
    }
    return true;
}

} // namespace

void free_side_tables(TbSideTables& t)
{
    for (TbPairDecoder*& d : t.decoder) {
        free_pair_decoder(d);
        d = nullptr;
    }
}

void table_hash_overflow_exit()
{
    std::fprintf(stderr, "HSHMAX too low!\n");
    std::exit(1);
}

int tablebase_name_list(char names[TB_NAME_COUNT][16])
{
    static const char letters[] = "KQRBNP";
    int count = 0;
    auto add = [&](const char* format, int a, int b, int c, int d) {
        std::snprintf(names[count++], 16, format, letters[a], letters[b], letters[c], letters[d]);
    };
    for (int i = 1; i <= 5; i++) add("K%cvK", i, 0, 0, 0);
    for (int i = 1; i <= 5; i++)
        for (int j = i; j <= 5; j++) add("K%cvK%c", i, j, 0, 0);
    for (int i = 1; i <= 5; i++)
        for (int j = i; j <= 5; j++) add("K%c%cvK", i, j, 0, 0);
    for (int i = 1; i <= 5; i++)
        for (int j = i; j <= 5; j++)
            for (int k = 1; k <= 5; k++) add("K%c%cvK%c", i, j, k, 0);
    for (int i = 1; i <= 5; i++)
        for (int j = i; j <= 5; j++)
            for (int k = j; k <= 5; k++) add("K%c%c%cvK", i, j, k, 0);
    for (int i = 1; i <= 5; i++)
        for (int j = i; j <= 5; j++)
            for (int k = i; k <= 5; k++)
                for (int l = (k == i ? j : k); l <= 5; l++) add("K%c%cvK%c%c", i, j, k, l);
    for (int i = 1; i <= 5; i++)
        for (int j = i; j <= 5; j++)
            for (int k = j; k <= 5; k++)
                for (int l = 1; l <= 5; l++) add("K%c%c%cvK%c", i, j, k, l);
    for (int i = 1; i <= 5; i++)
        for (int j = i; j <= 5; j++)
            for (int k = j; k <= 5; k++)
                for (int l = k; l <= 5; l++) add("K%c%c%c%cvK", i, j, k, l);
    return count;
}

void count_material_name(const char* name, int counts[16])
{
    for (int i = 0; i < 16; i++) counts[i] = 0;
    int colour = 0;
    for (const char* p = name; *p; p++) {
        switch (*p) {
        case 'K': counts[8 * colour + KING]++; break;
        case 'Q': counts[8 * colour + QUEEN]++; break;
        case 'R': counts[8 * colour + ROOK]++; break;
        case 'B': counts[8 * colour + BISHOP]++; break;
        case 'N': counts[8 * colour + KNIGHT]++; break;
        case 'P': counts[8 * colour + PAWN]++; break;
        case 'v': colour = 1; break;
        default: break;
        }
    }
}

void register_table_name(const char* name)
{
    int counts[16];
    count_material_name(name, counts);
    const u64 key = material_key_from_counts(counts, 0);
    const u64 swapped = material_key_from_counts(counts, 1);
    const bool has_pawns = counts[PAWN] + counts[8 + PAWN] > 0;

    TbEntryHead* head;
    if (!has_pawns) {
        if (tb_piece_entry_count == TBMAX_PIECE) {
            std::fprintf(stderr, "TBMAX_PIECE limit too low!\n");
            std::exit(1);
        }
        TbPieceEntry& e = tb_piece_entries[tb_piece_entry_count++];
        int singles = 0;
        for (int c : counts) singles += c == 1;
        e.encoding = singles >= 3 ? 0 : 2;
        e.tables = TbSideTables{};
        head = &e.head;
    } else {
        if (tb_pawn_entry_count == TBMAX_PAWN) {
            std::fprintf(stderr, "TBMAX_PAWN limit too low!\n");
            std::exit(1);
        }
        TbPawnEntry& e = tb_pawn_entries[tb_pawn_entry_count++];
        const int white_pawns = counts[PAWN], black_pawns = counts[8 + PAWN];
        const bool black_leads = black_pawns > 0 && (white_pawns == 0 || white_pawns > black_pawns);
        e.pawn_counts[0] = u8(black_leads ? black_pawns : white_pawns);
        e.pawn_counts[1] = u8(black_leads ? white_pawns : black_pawns);
        for (TbSideTables& t : e.file) t = TbSideTables{};
        head = &e.head;
    }
    int pieces = 0;
    for (int c : counts) pieces += c;
    head->data = nullptr;
    head->key = key;
    head->mapping = 0;
    head->ready.store(0, std::memory_order_relaxed);
    head->piece_count = u8(pieces);
    head->symmetric = key == swapped;
    head->has_pawns = has_pawns;
    if (u32(pieces) > tb_largest_piece_count.load(std::memory_order_relaxed))
        tb_largest_piece_count.store(u32(pieces), std::memory_order_relaxed);

    insert_key(key, head);
    if (swapped != key) insert_key(swapped, head);
}

FileHandle open_table_file(const char* name, const char* suffix)
{
    const size_t name_length = std::strlen(name), suffix_length = std::strlen(suffix);
    char path[TB_PATH_BUFFER];
    for (int i = 0; i < path_dir_count; i++) {
        const size_t dir_length = std::strlen(path_dirs[i]);
        if (dir_length + 1 + name_length + suffix_length >= sizeof(path)) continue;
        std::memcpy(path, path_dirs[i], dir_length);
        path[dir_length] = '/';
        std::memcpy(path + dir_length + 1, name, name_length);
        std::memcpy(path + dir_length + 1 + name_length, suffix, suffix_length + 1);
        const FileHandle file = open_read_only_file(path);
        if (file != INVALID_FILE) return file;
    }
    return INVALID_FILE;
}

TbHashSlot* find_table_slot(u64 key)
{
    if (key == 0) return nullptr;
    TbHashSlot* bucket = tb_key_hash[key >> (64 - TB_HASH_BITS)];
    for (int s = 0; s < TB_HASH_SLOTS; s++)
        if (bucket[s].key.load(std::memory_order_relaxed) == key && bucket[s].entry) return &bucket[s];
    return nullptr;
}

bool tb_enter_prober()
{
    ThreadProbeState& t = thread_probe;
    if (t.depth > 0) {
        t.depth++;
        return true;
    }
    if (t.slot == -1) {
        t.slot = -2;
        for (int i = 0; i < PROBE_SLOTS; i++) {
            u8 free_slot = 0;
            if (probe_slots[i].owned.compare_exchange_strong(free_slot, 1)) {
                t.slot = i;
                break;
            }
        }
    }
    if (t.slot >= 0)
        probe_slots[t.slot].busy.store(1, std::memory_order_seq_cst);
    else
        unslotted_busy.fetch_add(1, std::memory_order_seq_cst);
    t.depth = 1;
    if (probing_paused.load(std::memory_order_seq_cst)) {
        tb_leave_prober();
        return false;
    }
    return true;
}

void tb_leave_prober()
{
    ThreadProbeState& t = thread_probe;
    if (--t.depth > 0) return;
    if (t.slot >= 0)
        probe_slots[t.slot].busy.store(0, std::memory_order_release);
    else
        unslotted_busy.fetch_sub(1, std::memory_order_release);
}

void scan_tablebase_paths(const char* path_text)
{
    pause_probing_and_wait();
    if (!index_tables_built) {
        init_tb_index_tables();
        index_tables_built = true;
    }
    release_previous_scan();
    if (!path_text || !*path_text || std::strcmp(path_text, "<empty>") == 0) {
        resume_probing();
        return;
    }
    if (!tb_load_mutex.handle) create_platform_mutex(tb_load_mutex);
    if (build_path_list(path_text)) {
        static char names[TB_NAME_COUNT][16];
        const int count = tablebase_name_list(names);
        for (int i = 0; i < count; i++) {
            const FileHandle file = open_table_file(names[i], ".rtbw");
            if (file == INVALID_FILE) continue;
            close_file(file);
            register_table_name(names[i]);
        }
    }
    std::printf("info string found %d tablebases\n", tb_piece_entry_count + tb_pawn_entry_count);
    std::fflush(stdout);
    resume_probing();
}
