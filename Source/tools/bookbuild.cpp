#include "tools/bookbuild.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "fen.h"
#include "makemove.h"
#include "movetext.h"
#include "platform.h"
#include "records.h"
#include "tools/book.h"
#include "tools/game_text.h"
#include "tools/textline.h"
#include "tools/toolsupport.h"
#include "trace.h"

namespace {

constexpr int BOOK_PLIES = 50;
constexpr int FLUSH_GAMES = 200;
constexpr int MERGE_GAMES = 5000;
constexpr int PRUNE_GAMES = 9;
constexpr u32 COUNT_CAP = 60000;

const char* const BOOK_PGN = "book.pgn";
const char* const BOOK_OUT = "book.opn";
const char* const SCRATCH = "tmp.opn";
const char* const MERGE_OUT = "tmp__0.opn";

// While a build has not merged yet, an old "book.opn" is not part of it; it
// is replaced only by the build's first successful merge.
bool ignore_old_book = false;

void report(const char* what, const char* file)
{
    std::printf("\nmkbook: %s %s\n", what, file);
    std::fflush(stdout);
}

// Closes a file that was written: a failed flush or close is a failed write.
bool close_written(std::FILE* file, const char* name)
{
    const bool ok = close_written_file(file);
    if (!ok) report("could not write", name);
    return ok;
}

// True when record a sorts before record b in the book order.
bool sorts_before(u16 key16_a, u32 key32_a, u16 key16_b, u32 key32_b)
{
    return key16_a > key16_b || (key16_a == key16_b && key32_a > key32_b);
}

u16 capped_sum(u16 a, u16 b)
{
    u32 s = u32(a) + b;
    return u16(s > COUNT_CAP ? COUNT_CAP : s);
}

// Source of book records for a merge: a file or the in-memory set.
struct RecordSource {
    std::FILE* file = nullptr;
    const BookRecord* records = nullptr;
    int count = 0;
    int next = 0;
    BookRecord current{};
    bool has = false;
    bool read_error = false;

    void advance()
    {
        if (file) {
            has = read_book_record(file, &current) != 0;
            if (!has && std::ferror(file)) read_error = true;
        } else {
            has = next < count;
            if (has) current = records[next++];
        }
    }
};

// Two-way merge of sources in book order into `out`; equal keys become one
// record with the summed (capped) counts. Returns false on a failed read or write.
bool merge_sources(RecordSource& a, RecordSource& b, std::FILE* out)
{
    a.advance();
    b.advance();
    while (a.has || b.has) {
        BookRecord r;
        if (a.has && b.has && a.current.key16 == b.current.key16 && a.current.key32 == b.current.key32) {
            r = a.current;
            r.wins = capped_sum(r.wins, b.current.wins);
            r.losses = capped_sum(r.losses, b.current.losses);
            r.draws = capped_sum(r.draws, b.current.draws);
            a.advance();
            b.advance();
        } else if (!b.has ||
                   (a.has && sorts_before(a.current.key16, a.current.key32, b.current.key16, b.current.key32))) {
            r = a.current;
            a.advance();
        } else {
            r = b.current;
            b.advance();
        }
        if (!write_book_record(out, r)) return false;
    }
    return !a.read_error && !b.read_error;
}

// Adds one outcome of the position whose book key is current to the set.
void count_position(int side_to_move, int outcome)
{
    u16 key16 = side_to_move == WHITE ? u16(book_key16 | 0x8000) : u16(book_key16 & 0x7FFF);
    u32 key32 = book_key32;
    int low = 0, high = book_record_count - 1;
    while (low <= high) {
        int middle = (low + high) / 2;
        BookRecord& r = book_cache[middle];
        if (r.key16 == key16 && r.key32 == key32) {
            u16* field = outcome == 0 ? &r.wins : outcome == 1 ? &r.losses : &r.draws;
            if (*field < COUNT_CAP) (*field)++;
            return;
        }
        if (sorts_before(r.key16, r.key32, key16, key32)) low = middle + 1;
        else high = middle - 1;
    }
    // Not there: insert at `low`, the later records move up by one.
    std::memmove(&book_cache[low + 1], &book_cache[low], sizeof(BookRecord) * std::size_t(book_record_count - low));
    BookRecord& r = book_cache[low];
    r = BookRecord{};
    r.key16 = key16;
    r.key32 = key32;
    (outcome == 0 ? r.wins : outcome == 1 ? r.losses : r.draws) = 1;
    book_record_count++;
}

// Copies the records of "book.opn" seen in at least PRUNE_GAMES games.
bool prune_book()
{
    std::FILE* in = std::fopen(BOOK_OUT, "rb");
    if (!in) return true;  // nothing was built: nothing to prune
    std::FILE* out = std::fopen(SCRATCH, "wb");
    if (!out) {
        std::fclose(in);
        report("could not create", SCRATCH);
        return false;
    }
    std::printf("pruning...");
    std::fflush(stdout);
    BookRecord r;
    bool ok = true;
    while (ok && read_book_record(in, &r))
        if (u32(r.wins) + r.losses + r.draws >= PRUNE_GAMES) ok = write_book_record(out, r) != 0;
    if (std::ferror(in)) {
        report("could not read", BOOK_OUT);
        ok = false;
    }
    std::fclose(in);
    if (!ok) {
        std::fclose(out);
        report("could not write", SCRATCH);
        std::remove(SCRATCH);
        return false;
    }
    if (!close_written(out, SCRATCH)) {
        std::remove(SCRATCH);
        return false;
    }
    if (std::rename(SCRATCH, BOOK_OUT) != 0) {
        report("could not rename", SCRATCH);
        return false;
    }
    std::printf("\n");
    return true;
}

bool ensure_key_table()
{
    if (book_key_table) return true;
    book_key_table = new (std::nothrow) u16[BOOK_KEY_TABLE_SIZE];
    if (!book_key_table) return false;
    fill_book_key_table(book_key_table);
    return true;
}

// Closes a merge's output and moves it onto `target`; on any failure the
// partial output is removed, the target left as it was and false returned.
bool finish_merge_output(std::FILE* out, bool written, const char* target)
{
    if (!written) {
        std::fclose(out);
        report("could not write", MERGE_OUT);
        std::remove(MERGE_OUT);
        return false;
    }
    if (!close_written(out, MERGE_OUT)) {
        std::remove(MERGE_OUT);
        return false;
    }
    if (std::rename(MERGE_OUT, target) != 0) {
        report("could not rename", MERGE_OUT);
        return false;
    }
    return true;
}

} // namespace

bool flush_book_records()
{
    std::FILE* out = std::fopen(MERGE_OUT, "wb");
    if (!out) {
        report("could not create", MERGE_OUT);
        return false;
    }
    RecordSource old_records;
    old_records.file = std::fopen(SCRATCH, "rb");
    RecordSource fresh;
    fresh.records = book_cache;
    fresh.count = book_record_count;
    bool ok = merge_sources(old_records, fresh, out);
    if (old_records.file) std::fclose(old_records.file);
    if (!finish_merge_output(out, ok, SCRATCH)) return false;
    std::printf(".");
    std::fflush(stdout);
    return true;
}

bool merge_book_files()
{
    RecordSource scratch;
    scratch.file = std::fopen(SCRATCH, "rb");
    if (!scratch.file) return true;  // nothing flushed since the last merge
    std::FILE* out = std::fopen(MERGE_OUT, "wb");
    if (!out) {
        std::fclose(scratch.file);
        report("could not create", MERGE_OUT);
        return false;
    }
    std::printf("\nmerging...");
    std::fflush(stdout);
    RecordSource book;
    book.file = ignore_old_book ? nullptr : std::fopen(BOOK_OUT, "rb");
    bool ok = merge_sources(book, scratch, out);
    if (book.file) std::fclose(book.file);
    std::fclose(scratch.file);
    if (!finish_merge_output(out, ok, BOOK_OUT)) return false;
    ignore_old_book = false;
    std::remove(SCRATCH);
    std::printf("\n");
    return true;
}

bool build_book_from_pgn(Position& pos)
{
    book_record_count = 0;
    if (!book_cache || book_cache_capacity < FLUSH_GAMES * BOOK_PLIES || !ensure_key_table()) {
        report("not enough memory for", BOOK_OUT);
        return false;
    }
    // Only a regular file: a device or a FIFO of that name may never end.
    std::FILE* in = open_text_file(BOOK_PGN).file;
    if (!in) {
        report("could not open", BOOK_PGN);
        return false;
    }
    // A fresh build: neither the old book nor the scratch files of an
    // interrupted run take part in the merges. The old book stays in place
    // until the first merge of this build replaces it.
    ignore_old_book = true;
    std::remove(SCRATCH);
    std::remove(MERGE_OUT);

    int result = 2;
    int games = 0;
    long positions = 0;  // positions counted: none means no game was read
    int skipped = 0;     // games whose FEN tag holds no playable position
    bool playing = false;  // the moves of the current game are read
    bool ok = true;
    ThreadData* owner = pos.owner;
    set_position_from_fen(pos, START_FEN);
    GameText text;
    std::string line;
    while (ok && read_text_line(in, line)) {
        const GameLineKind kind = read_game_line(text, line);
        if (kind == GAME_LINE_TAG) {
            if (text.starts_game) playing = false;
            if (line.find("[Result") == std::string::npos) continue;
            result = line.find("1-0") != std::string::npos ? 0 : line.find("0-1") != std::string::npos ? 1 : 2;
            games++;
            if (games % FLUSH_GAMES == 0 && positions > 0) {
                ok = flush_book_records();
                book_record_count = 0;
                if (ok && games % MERGE_GAMES == 0) ok = merge_book_files();
            }
            continue;
        }
        if (kind != GAME_LINE_MOVETEXT) continue;
        // A game is read from its own start, known once its tags are.
        if (text.starts_moves) {
            playing = set_game_start(pos, text.start);
            if (!playing) skipped++;
        }
        std::string_view piece;
        for (GameTextPiece p; playing && (p = next_game_text_piece(text, piece)) != GAME_TEXT_END;) {
            if (p != GAME_TEXT_MOVE) continue;
            if (owner->undo_count >= BOOK_PLIES) break;
            Move move;
            // A move that cannot be read ends the use of the game.
            if (!parse_move_text(piece.data(), move) || play_game_move(move) != GAME_MOVE_PLAYED) {
                playing = false;
                break;
            }
            book_position_key(pos);
            int side = pos.side;
            int outcome = result == 2 ? 2 : result == side ? 0 : 1;
            count_position(side, outcome);
            positions++;
            // The set cannot outgrow its buffer: flush early when one more
            // game might not fit.
            if (book_record_count > book_cache_capacity - BOOK_PLIES) {
                ok = flush_book_records();
                book_record_count = 0;
                if (!ok) break;
            }
        }
    }
    if (ok && std::ferror(in)) {
        report("could not read", BOOK_PGN);
        ok = false;
    }
    std::fclose(in);
    if (ok && positions == 0) {
        // An empty file or one without a game: the old book stays as it is.
        report("no game read from", BOOK_PGN);
        ok = false;
    }
    if (ok) ok = flush_book_records();
    if (ok) ok = merge_book_files();
    if (ok) ok = prune_book();
    if (skipped > 0) std::printf("games skipped for an unreadable FEN tag: %d\n", skipped);
    ignore_old_book = false;
    set_position_from_fen(pos, START_FEN);
    if (!ok) return false;
    std::printf("done\n");
    std::fflush(stdout);
    return true;
}

int run_mkbook_command()
{
    // Refused before the book in use is given up.
    if (input_is_an_output("mkbook: game file", BOOK_PGN, {BOOK_OUT, SCRATCH, MERGE_OUT, search_trace_output()}))
        return 0;
    engine_config.book_file[0] = 0;
    delete[] book_cache;
    book_cache = new (std::nothrow) BookRecord[BOOK_BUILD_RECORDS]();
    book_cache_capacity = book_cache ? BOOK_BUILD_RECORDS : 0;
    book_cache_count = 0;
    if (!book_cache) return 0;
    return build_book_from_pgn(game_record->pos);
}
