// The opening book: a file of position statistics (wins, losses and draws of
// the side to move), sorted by a two-part position key in descending order.
// A book move is chosen by playing each legal move and looking up the
// position it leads to.
#pragma once

#include <cstdio>

#include "types.h"

struct BookRecord {
    u16 key16;   // bits 0-14 side-to-move key, bit 15 set when white is to move
    u32 key32;   // all-pieces key plus the en-passant square
    u16 wins;    // games won by the side to move of this position
    u16 losses;
    u16 draws;
    u16 spare;
};

constexpr int BOOK_KEY_TABLE_SIZE = 772;
constexpr int BOOK_INDEX_SIZE = 1024;
constexpr int BOOK_CACHE_RECORDS = 2048;
// Record sizes on disk: 16 bytes (padding after key16) on Linux, 14 packed on
// Windows. The layouts are not interchangeable.
constexpr int BOOK_RECORD_SIZE_LINUX = 16;
constexpr int BOOK_RECORD_SIZE_WINDOWS = 14;

extern int book_record_size;          // layout read and written: 16 on Linux, 14 on Windows
extern u16* book_key_table;           // 772 words, null when it could not be made
extern i32* book_index;               // 1024 buckets: first record of key16 >> 6, or -1
extern BookRecord* book_cache;        // records of the bucket last read
extern int book_cache_capacity;       // records the cache can hold
extern int book_cache_count;          // records it holds
extern int book_record_count;         // records in the book file; 0 = no book
extern u16 book_key16;                // current book key (book_position_key)
extern u32 book_key32;

// True when "VantBook" names a file.
bool book_file_named();
// Fills the book's key table from its generator (x = 77, x = 33x + 12345).
void fill_book_key_table(u16* table);
// Computes the current book key of the position.
void book_position_key(const Position& pos);
// Looks the current book key up for the side to move (0 white, 1 black);
// returns a copy of the record that the next look-up overwrites, or null.
const BookRecord* find_book_record(int side);
// Chooses a book move for the position's side to move (the position of the
// game record) and leaves it as the shared best move (0 when none); prints
// its table when print is set.
void choose_book_move(Position& pos, int print);
// Start-up: the key table, the cache and the index of the file named by
// "VantBook".
void load_book_index();
// Shutdown: frees the key table, the index and the cache.
void free_book_tables();

// One record in the current layout: true when read / written.
bool read_book_record(std::FILE* file, BookRecord* record);
bool write_book_record(std::FILE* file, const BookRecord& record);
