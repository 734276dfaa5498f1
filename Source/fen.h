// Positions to and from FEN text, and the console board diagram.
#pragma once

#include "types.h"

// Sets the position from a FEN or EPD text (placement, side, castling, en
// passant, then the half-move clock when the fifth field is a number, else
// 0; anything after is ignored) and empties the owner's undo stack. A clock
// above MAX_HALFMOVE_CLOCK is read as MAX_HALFMOVE_CLOCK.
//
// The text is parsed into a scratch position and checked first; a text
// that is not a playable position is rejected, the position is left as it
// was and 0 is returned with the reason in *reason (when given). Rejected:
// other than 8 ranks of 8 squares, unknown placement letters, not exactly
// one king per side, pawns on the first or last rank, more pieces of a type
// than the square lists can hold (also after promotions), and the side not
// to move in check. An en-passant square no double push can have left
// becomes "none". Castling rights without their king and rook are dropped
// with the message "Illegal EPD record" (the position is still accepted).
// A side field other than "w" or "b" (or none) is rejected. Returns true on
// success.
bool set_position_from_fen(Position& pos, const char* text, const char** reason = nullptr);

// Writes the four-field FEN (placement, side, castling, en passant),
// NUL-terminated; `out` needs room for 100 characters.
void position_to_fen(const Position& pos, char* out);

// Prints the FEN, the board (white "PNBRQK", black "onbrqk", empty dark
// squares "+", light "-") and the side to move in one output call, and copies
// the text to the log while logging is on.
void print_board_diagram(const Position& pos);

// The standard start position.
extern const char* const START_FEN;
