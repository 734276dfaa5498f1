// The console half of the command interpreter ("-c"): a person sets up and
// edits positions, plays moves, lets the engine move or analyse, steps
// through the game, loads and saves games and runs the developer tools, in
// short text commands, one line per call.
#pragma once

#include <cstdio>

#include "types.h"

// Editor lines are cut to 77 characters.
constexpr int EDITOR_LINE_SIZE = 78;

// Console "self": the engine keeps playing moves for both sides (the main
// loop plays each found move and starts the next search).
extern i32 self_play;

// Keeps the line a search found, from its ply `from_ply` on (entries
// indexed by ply, 0 ends the line), as the known line of the position with
// full key `key`: "pv" in that position starts from it. The search's root
// has no table entry of its own, so a line read from the table alone
// starts nowhere there.
void remember_searched_line(u64 key, const u16* line, int from_ply);

// Executes one console command line (never empty, never exactly "uci").
void run_console_command(char* line);

// Plays a new move on the game (legal moves only) and clears the move record
// after it, so that "]" and "jump" cannot replay a move of an abandoned
// continuation. Returns the play_game_move result.
int play_new_game_move(Move move);

// The board editor: reads its lines from `in` until "." or the end of input,
// then sets the game position from the board it built, or keeps the previous
// position when the board is not playable (no king of a side, pawns on the
// edge ranks, the side not to move in check, ...).
void run_board_editor(std::FILE* in);
