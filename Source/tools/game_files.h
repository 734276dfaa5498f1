// The console's game files: "load" reads a game from a PGN file onto the
// game record, "save" appends the game to "tmp.pgn", "get" sets up a
// position of "test.epd" by its id, and "book" shows the book's choice.
#pragma once

// Reads one game of a PGN file: `selector` a number from 1 to 1000 picks
// that game (counted by its "[Event " line), a word that does not start with
// a digit picks the game in which a line holding it is found; anything else
// picks game 1. Sends "loading %s, tag %s\n", plays the moves from the
// game's own start (its FEN tag, when it has one; variations, comments and
// annotations left out), prints the board. A file that cannot be opened is
// named. Both clocks are reset to the move time.
void run_load_command(const char* path, const char* selector);

// Appends the game in algebraic notation to "tmp.pgn"; says so when that
// fails.
void run_save_command();

// Sets up the first position of "test.epd" whose line holds id "ID".
void run_get_command(const char* id);

// Shows the book's table for the game position and its choice.
void run_book_command();
