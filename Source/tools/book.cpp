#include "book.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "log.h"
#include "makemove.h"
#include "movegen.h"
#include "movetext.h"
#include "platform.h"
#include "records.h"

int book_record_size = WINDOWS_BUILD ? BOOK_RECORD_SIZE_WINDOWS : BOOK_RECORD_SIZE_LINUX;
u16* book_key_table = nullptr;
i32* book_index = nullptr;
BookRecord* book_cache = nullptr;
int book_cache_capacity = 0;
int book_cache_count = 0;
int book_record_count = 0;
u16 book_key16 = 0;
u32 book_key32 = 0;

bool book_file_named() { return engine_config.book_file[0] != 0; }

namespace {

constexpr int piece_index_base[7] = {0, 0, 128, 256, 384, 512, 640};

// Range of key16 values whose records are all in the cache (empty when
// high < low). Kept as ints so that "one above 0xFFFF" can be said.
int cache_high = 0;
int cache_low = 1;

BookRecord found_record;

void empty_cache_range()
{
    cache_high = 0;
    cache_low = 1;
}

u16 get16(const unsigned char* p) { return u16(p[0] | (p[1] << 8)); }
u32 get32(const unsigned char* p) { return u32(get16(p)) | (u32(get16(p + 2)) << 16); }
void put16(unsigned char* p, u16 v)
{
    p[0] = u8(v);
    p[1] = u8(v >> 8);
}
void put32(unsigned char* p, u32 v)
{
    put16(p, u16(v));
    put16(p + 2, u16(v >> 16));
}

// Offset of key32 in a record: after the padding on Linux, packed on Windows.
int key32_offset() { return book_record_size == BOOK_RECORD_SIZE_WINDOWS ? 2 : 4; }

u16 lookup_key(int side) { return side == WHITE ? u16(book_key16 | 0x8000) : u16(book_key16 & 0x7FFF); }

// True when record r sorts before the key (K, k32) in the book's descending order.
bool sorts_before(const BookRecord& r, u16 key16, u32 key32)
{
    return key16 < r.key16 || (key16 == r.key16 && key32 < r.key32);
}

// Reads records from record number `first` into the cache, stopping at the
// end of the file, when the cache is full, or after the first record of a
// lower bucket than `key16`'s. Returns true when the end of the file was met.
bool fill_cache(std::FILE* file, int first, u16 key16)
{
    book_cache_count = 0;
    if (std::fseek(file, long(first) * book_record_size, SEEK_SET) != 0) return true;
    while (book_cache_count < book_cache_capacity) {
        BookRecord r;
        if (!read_book_record(file, &r)) return true;
        book_cache[book_cache_count++] = r;
        if ((r.key16 & 0xFFC0) < (key16 & 0xFFC0)) return false;
    }
    return false;
}

// Bisection over the cached records.
const BookRecord* search_cache(u16 key16, u32 key32)
{
    int low = 0, high = book_cache_count - 1;
    while (low <= high) {
        int middle = (low + high) / 2;
        const BookRecord& r = book_cache[middle];
        if (r.key16 == key16 && r.key32 == key32) {
            found_record = r;
            return &found_record;
        }
        if (sorts_before(r, key16, key32)) low = middle + 1;
        else high = middle - 1;
    }
    return nullptr;
}

// Brings the records of key16 into the cache and looks the key up. The
// cached range covers a key only when every record of that key is held: the
// last record read may be followed in the file by more of its key, so it
// bounds the range only when the file ended there. A key with more records
// than the cache holds is scanned straight from the file.
const BookRecord* reload_and_find(u16 key16, u32 key32)
{
    empty_cache_range();
    if (!book_file_named()) return nullptr;
    i32 first = book_index[key16 >> 6];
    if (first < 0) return nullptr;
    std::FILE* file = open_regular_file(engine_config.book_file, "rb").file;
    if (!file) return nullptr;
    const BookRecord* result = nullptr;
    bool starts_at_key = true;  // the first record read is the first of its key
    for (;;) {
        int at_end = fill_cache(file, first, key16);
        if (book_cache_count == 0) break;
        const BookRecord& last = book_cache[book_cache_count - 1];
        cache_high = starts_at_key ? book_cache[0].key16 : book_cache[0].key16 - 1;
        cache_low = at_end ? last.key16 : last.key16 + 1;
        if (key16 >= cache_low) {
            if (key16 <= cache_high) result = search_cache(key16, key32);
            break;
        }
        // The cache filled above key16: go on from the first record of the
        // last key held, whose records may continue in the file.
        int group = book_cache_count - 1;
        while (group > 0 && book_cache[group - 1].key16 == last.key16) group--;
        if (group > 0) {
            first += group;
            starts_at_key = true;
            continue;
        }
        if (last.key16 > key16) {
            first += book_cache_count;
            starts_at_key = false;
            continue;
        }
        // key16 alone fills the cache: scan its records in the file.
        empty_cache_range();
        std::fseek(file, long(first) * book_record_size, SEEK_SET);
        BookRecord r;
        while (read_book_record(file, &r) && r.key16 == key16) {
            if (r.key32 == key32) {
                found_record = r;
                result = &found_record;
                break;
            }
        }
        break;
    }
    std::fclose(file);
    return result;
}

}  // namespace

bool read_book_record(std::FILE* file, BookRecord* record)
{
    unsigned char bytes[BOOK_RECORD_SIZE_LINUX];
    if (std::fread(bytes, size_t(book_record_size), 1, file) != 1) return false;
    int k = key32_offset();
    record->key16 = get16(bytes);
    record->key32 = get32(bytes + k);
    record->wins = get16(bytes + k + 4);
    record->losses = get16(bytes + k + 6);
    record->draws = get16(bytes + k + 8);
    record->spare = get16(bytes + k + 10);
    return true;
}

bool write_book_record(std::FILE* file, const BookRecord& record)
{
    unsigned char bytes[BOOK_RECORD_SIZE_LINUX] = {};
    int k = key32_offset();
    put16(bytes, record.key16);
    put32(bytes + k, record.key32);
    put16(bytes + k + 4, record.wins);
    put16(bytes + k + 6, record.losses);
    put16(bytes + k + 8, record.draws);
    put16(bytes + k + 10, record.spare);
    return std::fwrite(bytes, size_t(book_record_size), 1, file) == 1;
}

void fill_book_key_table(u16* table)
{
    u32 x = 77;
    for (int i = 0; i < BOOK_KEY_TABLE_SIZE; i++) {
        x = (33 * x + 12345) & 0xFFFF;
        table[i] = u16(x);
    }
}

void book_position_key(const Position& pos)
{
    u16 key16 = 0;
    u32 sum = 0;
    if (book_key_table) {
        for (int sq = 0; sq < 64; sq++) {
            int code = pos.board[sq];
            if (!code) continue;
            int colour = piece_colour_of(code);
            int i = piece_index_base[piece_type_of(code)] + sq + 64 * colour;
            if (colour == pos.side) key16 ^= book_key_table[i];
            sum ^= (u32(book_key_table[i + 1]) << 16) | book_key_table[i + 2];
        }
    }
    book_key16 = key16;
    book_key32 = sum + pos.ep_square;
}

const BookRecord* find_book_record(int side)
{
    if (book_record_count == 0 || !book_cache || !book_index) return nullptr;
    u16 key16 = lookup_key(side);
    if (book_key16 == 0) empty_cache_range();
    if (cache_low <= key16 && key16 <= cache_high) return search_cache(key16, book_key32);
    return reload_and_find(key16, book_key32);
}

void choose_book_move(Position& pos, int print)
{
    search_state.best_line[1] = 0;
    search_state.best_line[2] = 0;
    if (book_record_count == 0 || !book_cache || !book_index || !book_key_table) return;
    int side = pos.side;
    ThreadData* owner = pos.owner;
    generate_all_moves(pos);
    MoveEntry* list = owner->ply[owner->search_ply].list_start;
    book_position_key(pos);
    // Within a game the position itself must be in the book.
    if (owner->undo_count > 0 && !find_book_record(side)) return;

    double threshold = side == WHITE ? 0.45 : 0.41;
    const char* prefix = engine_config.protocol == PROTOCOL_UCI ? "info string " : " ";
    char line[128];
    std::snprintf(line, sizeof line, "%s  move  result    wins losses  draws", prefix);
    send_line(line);

    Move candidates[256];
    double weights[256];
    int candidate_count = 0;
    double max_weight = 0.0;
    for (MoveEntry* slot = list; slot->move != MOVE_LIST_END; slot++) {
        // Highest order score first; equal scores keep their list order.
        MoveEntry* best = slot;
        for (MoveEntry* e = slot + 1; e->move != MOVE_LIST_END; e++)
            if (e->score > best->score) best = e;
        std::swap(*slot, *best);
        slot->score = 0;
        Move move = slot->move;
        if (!king_safe_after_nonzero_move(pos, side, move)) continue;
        play_move(pos, move);
        book_position_key(pos);
        if (const BookRecord* r = find_book_record(pos.side)) {
            // The record counts for the side now to move: the mover's wins
            // are its losses.
            int wins = r->losses, losses = r->wins, draws = r->draws;
            if (wins + draws > 0) {
                double x = wins + 0.5 * draws;
                double score = x / (wins + losses + draws);
                double weight = std::log(x);
                if (wins + draws > 8 && score > threshold && candidate_count < 256) {
                    candidates[candidate_count] = move;
                    weights[candidate_count++] = weight;
                    if (weight > max_weight) max_weight = weight;
                }
                char text[MOVE_TEXT_SIZE];
                std::snprintf(line, sizeof line, "%s  %s   %0.1f%%   %5d  %5d  %5d", prefix,
                              move_text_or_null(move, text), score * 100, wins, losses, draws);
                send_line(line);
            }
        }
        take_back_move(pos);
    }

    // A variety below 1 would divide by zero: it means no randomness.
    int variety = search_state.book_variety < 1 ? 1 : search_state.book_variety;
    double best_value = 0.0;
    for (int i = 0; i < candidate_count; i++) {
        int r = std::rand();
        double value = 2 * ((r % variety) * 0.01) * max_weight + weights[i];
        if (value > best_value) {
            best_value = value;
            search_state.best_line[1] = candidates[i];
        }
    }
    if (print && search_state.best_line[1]) {
        char text[MOVE_TEXT_SIZE];
        std::printf("book move is %s\n", move_text_or_null(search_state.best_line[1], text));
    }
}

void load_book_index()
{
    if (!book_key_table) {
        book_key_table = new (std::nothrow) u16[BOOK_KEY_TABLE_SIZE];
        if (book_key_table) fill_book_key_table(book_key_table);
        else send_line("Not enough memory!");
    }
    if (!book_cache) {
        book_cache = new (std::nothrow) BookRecord[BOOK_CACHE_RECORDS]();
        book_cache_capacity = book_cache ? BOOK_CACHE_RECORDS : 0;
    }
    if (!book_index) book_index = new (std::nothrow) i32[BOOK_INDEX_SIZE];
    book_record_count = 0;
    book_cache_count = 0;
    empty_cache_range();
    // Without the key table no key can be formed: the book stays off.
    if (!book_key_table || !book_cache || !book_index) return;
    for (int b = 0; b < BOOK_INDEX_SIZE; b++) book_index[b] = -1;
    if (book_file_named()) {
        // Only a regular file, read no further than its size: a FIFO would
        // hold up the start and a device such as /dev/zero never ends.
        const RegularFile book = open_regular_file(engine_config.book_file, "rb");
        if (book.status == REGULAR_FILE_NOT_REGULAR)
            send_format("book %s is not a regular file, ignored", engine_config.book_file);
        if (book.file) {
            const u64 records = book.size / u64(book_record_size);
            BookRecord r;
            while (u64(book_record_count) < records && book_record_count < INT32_MAX &&
                   read_book_record(book.file, &r)) {
                if (book_index[r.key16 >> 6] == -1) book_index[r.key16 >> 6] = book_record_count;
                book_record_count++;
            }
            std::fclose(book.file);
        }
    }
    book_key16 = 0;
    book_key32 = 0;
    find_book_record(WHITE);
}

void free_book_tables()
{
    delete[] book_cache;
    delete[] book_index;
    delete[] book_key_table;
    book_cache = nullptr;
    book_index = nullptr;
    book_key_table = nullptr;
    book_cache_capacity = 0;
    book_cache_count = 0;
    book_record_count = 0;
    empty_cache_range();
}
