// Moves as text: coordinate notation for the protocol, the algebraic forms
// the console writes, and the parser for typed and PGN moves.
#pragma once

#include "types.h"

// Room every move-text buffer below must have.
constexpr int MOVE_TEXT_SIZE = 16;

// Origin and destination names and, for a promotion, "q"/"n"/"b"/"r" in UCI
// mode or "=Q"/"=N"/"=B"/"=R" in console mode (e7e8q, e7e8=Q). The null move
// comes out as a1a1; use move_text_or_null where it can occur.
void write_move_text(Move move, char* out);
// The same, "null" for the null move; returns out.
char* move_text_or_null(Move move, char* out);

// For a move of the side to move, before it is played: the coordinate text
// (promotions always as e7e8=Q) and three algebraic forms. Piece moves:
// form 1 the standard short algebraic text, disambiguated by file, else by
// rank, else by the whole origin square when another piece of the type
// reaches the destination (Nf3, Nbd2, R1e2, Qh4e1); form 2 always with the
// origin file (Ngf3), form 3 always with the origin rank (N1f3); castling is
// "o-o"/"O-O"/"0-0" (queen side "o-o-o"/...). Pawn moves: form 1 "e4",
// "exd5", "e8=Q"; form 2 "ed" for captures, else empty; form 3 empty.
// A check appends "+" to every non-empty text.
void move_to_algebraic_forms(const Position& pos, Move move, char* coordinate, char* form1, char* form2,
                             char* form3);

// Finds the legal move of the game record's position that the text names
// (coordinate text or algebraic, with O, 0 or o for castling, "=Q" or "Q"
// for promotions; "+", "#", "!" and "?" marks are ignored). Returns true with
// the move in `out` when exactly one legal move matches; prints "ambiguous
// move" when two match; false otherwise. The text itself is not changed.
bool parse_move_text(const char* text, Move& out);
