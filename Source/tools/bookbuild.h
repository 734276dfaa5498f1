// Book building: "mkbook" turns the games of "book.pgn" into the book file
// "book.opn". The positions after each of a game's first 50 moves are
// gathered in memory as book records, flushed every 200 games into the
// sorted scratch file "tmp.opn", merged every 5000 games into "book.opn",
// and finally pruned to the positions seen in at least 9 games.
#pragma once

#include "types.h"

// Records the in-memory set may hold (200 games of 50 positions fit twice).
constexpr int BOOK_BUILD_RECORDS = 20000;

// The console's "mkbook": forgets the book in use (no book until the engine
// is restarted), replaces the book's record cache by a buffer of
// BOOK_BUILD_RECORDS records and builds the book from the game record's
// position. Returns 1 when "book.opn" was built.
int run_mkbook_command();

// Builds "book.opn" from "book.pgn", each game from its own start (its FEN
// tag, when it has one; a game whose tag holds no playable position is left
// out and counted); `pos` is the game record's position, left at the start
// position. Returns true on success, false after a failure (which
// it reports; "done" is printed only on success).
bool build_book_from_pgn(Position& pos);

// Merges the in-memory record set into "tmp.opn" (the set is kept).
// Returns true on success.
bool flush_book_records();
// Merges "tmp.opn" into "book.opn" and removes "tmp.opn". Returns true on
// success (also when there was nothing to merge).
bool merge_book_files();
