// Making and taking back moves and null moves. Every change of a position
// during play and search goes through here: board, sets, square lists, keys,
// material keys, piece units, castling rights, en-passant square and
// half-move clock are all updated incrementally, and the owner's undo stack
// records what a take-back needs.
//
// None of the operations tests legality or the undo stack's bound: the
// caller plays pseudo-legal moves it has tested (movegen.h), and keeps the
// game history plus the search depth below UNDO_STACK_SIZE. Game-record moves
// from outside go through play_game_move, which checks both.
#pragma once

#include "types.h"

// Rights cleared by a move from or to each square (a1 2, e1 3, h1 1,
// a8 8, e8 12, h8 4).
extern const u8 castling_clear_mask[64];

// Plays a pseudo-legal, non-null move of the side to move.
void play_move(Position& pos, Move move);
// Undoes the move of the top undo record.
void take_back_move(Position& pos);
void play_null_move(Position& pos);
void take_back_null_move(Position& pos);

// Removes the piece on the square from board, list, sets, material key and
// piece units; the keys are left to the caller. Later list entries move down.
void take_piece_off_square(Position& pos, int square);
// Puts a piece on an empty square (board, appended to its list, sets,
// material key, piece units; not the keys). Returns false and changes nothing
// when the piece's square list is full.
bool put_piece_on_square(Position& pos, int square, int code);

// The piece key and the pawn key computed from the board.
u64 piece_key_from_board(const Position& pos);
u64 pawn_key_from_board(const Position& pos);

// Moves the game record holds at most: the undo stack less the deepest
// search. A longer game keeps only its latest plies (game_ply counts all).
constexpr int MAX_GAME_PLY = UNDO_STACK_SIZE - MAX_PLY;

enum GameMoveResult {
    GAME_MOVE_ILLEGAL = -1,  // not a legal move of the game position
    GAME_MOVE_PLAYED = 1,
};

// Plays a move on the game record's position after checking that it is legal
// there; on refusal the position is left as it was. The caller reports a
// refusal (game_move_refusal_text). A game of any length can be played: when
// the record is full, its oldest plies are dropped, all but those since the
// last capture or pawn move (the repetition test looks no further back).
int play_game_move(Move move);
// Plies of the game since its position was set, dropped plies included.
int game_ply();
// Takes back the last game move, keeping the game record at the root ply.
// Returns false when the game holds no move.
bool take_back_game_move();
// Text for a refusal of play_game_move ("" for GAME_MOVE_PLAYED).
const char* game_move_refusal_text(int result);
