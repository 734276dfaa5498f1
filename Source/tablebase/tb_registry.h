// Discovery of the Syzygy tables on the tablebase path and the registry of
// the tables found: one entry per material, reached through a small hash of
// material keys. Tables are mapped later, on their first probe.
#pragma once

#include <atomic>

#include "platform.h"
#include "tb_decode.h"
#include "types.h"

constexpr int TBMAX_PIECE = 254;
constexpr int TBMAX_PAWN = 256;
constexpr int TB_HASH_BITS = 10;
constexpr int TB_HASH_SLOTS = 5;  // HSHMAX
constexpr int TB_NAME_COUNT = 510;
// Longest path open_table_file composes (directory, "/", name, suffix).
constexpr int TB_PATH_BUFFER = FILE_PATH_BUFFER;  // 256 on Linux, 260 on Windows

// Head shared by both kinds of entry.
struct TbEntryHead {
    const u8* data;           // mapped ".rtbw" base, null until loaded
    u64 key;                  // material key of the table as named
    u64 mapping;              // mapped length
    std::atomic<u8> ready;    // 1 once loaded; stored with release, read with acquire
    u8 piece_count;
    u8 symmetric;
    u8 has_pawns;
};

// Decoders, index factors, piece order and group sizes of both sides of a
// pawnless table, or of one leading-pawn file of a pawn table.
struct TbSideTables {
    TbPairDecoder* decoder[2];
    u32 group_factors[2][6];
    u8 piece_order[2][6];
    u8 group_sizes[2][6];
};

struct TbPieceEntry {
    TbEntryHead head;
    u8 encoding;  // 0: three or more single pieces, 2: only the kings single
    TbSideTables tables;
};

struct TbPawnEntry {
    TbEntryHead head;
    u8 pawn_counts[2];     // leading colour's pawns, then the other colour's
    TbSideTables file[4];  // leading pawn on files a/h, b/g, c/f, d/e
};

struct TbHashSlot {
    std::atomic<u64> key;  // 0 = free or cleared after a failed load
    TbEntryHead* entry;
};

extern TbPieceEntry tb_piece_entries[TBMAX_PIECE];
extern TbPawnEntry tb_pawn_entries[TBMAX_PAWN];
extern int tb_piece_entry_count;
extern int tb_pawn_entry_count;
extern TbHashSlot tb_key_hash[1 << TB_HASH_BITS][TB_HASH_SLOTS];
// Largest piece count of the registered tables; 0 = no tables, probe nothing.
extern std::atomic<u32> tb_largest_piece_count;
// Serialises the loading of WDL tables (a Win32 mutex on Windows, a POSIX
// mutex on Linux); made by the first scan with a path.
extern PlatformMutex tb_load_mutex;

// Releases the previous scan and registers the tables found under the
// directories of `path_text` (separated by ":" on Linux, ";" on Windows); prints
// "info string found %d tablebases" on standard output. An empty text or
// "<empty>" leaves probing off. Safe to call while a search runs: probes
// that start meanwhile fail (no result), and the call waits until the probes
// already inside the prober have left before anything is unmapped.
void scan_tablebase_paths(const char* path_text);
// Registers one table by its material name (called by the scan).
void register_table_name(const char* name);
// Opens name + suffix read-only from the first directory that holds it;
// returns the descriptor (a handle on Windows) or INVALID_FILE.
FileHandle open_table_file(const char* name, const char* suffix);
// Prints "HSHMAX too low!" on standard error and ends the process.
[[noreturn]] void table_hash_overflow_exit();

// The 510 material names the scan tries, in its order; returns the count.
int tablebase_name_list(char names[TB_NAME_COUNT][16]);
// Piece counts of a material name, indexed colour * 8 + type.
void count_material_name(const char* name, int counts[16]);

// Finds the hash slot of a material key; nullptr when no table has it.
TbHashSlot* find_table_slot(u64 key);

// Guard around every probe entry point: a probe enters before it touches
// the registry and leaves when done. Entering fails (returns false) while a scan
// is replacing the tables. Nests within one thread.
bool tb_enter_prober();
void tb_leave_prober();

// Release of one decoder set (used by the scan and the loaders).
void free_side_tables(TbSideTables& t);
