// PGN scanning: games whose moves carry engine evaluations in comments are
// turned into an annotated game list with blunder marks (mode 1, "tmp.pgn"
// plus "bm"/"am" records in "tmpX.epd") or into EPD training lines (modes 2
// to 4, "tmp.epd").
#pragma once

#include <cstdio>

#include "tools/game_text.h"
#include "types.h"

// A ply of the game being scanned: the move as written and the mover's
// evaluation in centipawns (-MATE or below: none).
constexpr int SCAN_MOVE_TEXT_SIZE = 16;
struct ScanMoveEntry {
    char text[SCAN_MOVE_TEXT_SIZE];
    i16 eval;
};

constexpr i16 SCAN_EVAL_NONE = -30000;      // no comment after the move
constexpr i16 SCAN_EVAL_UNREADABLE = -29999; // a comment without a value
// Plies kept per game; a longer game is cut there (the game record cannot
// hold more moves anyway).
constexpr int SCAN_MAX_PLIES = 1024;
// Characters of comment text kept per move: this many from its start and
// this many of the newest.
constexpr int SCAN_COMMENT_SIZE = 1024;

// Scans the whole file in the given mode (1 to 4); prints "games= %d,
// positions= %d" at the end and returns 0, after a line with the number of
// games left out because their FEN tag holds no playable position (when
// there are such). A file that cannot be opened or an output that cannot be
// written whole is reported and gives 1, without the count. `poll` (see
// toolsupport.h) runs while the file is read; once it says stop, the game
// being read is left out.
int scan_pgn_file(const char* path, int mode, bool (*poll)() = nullptr);

// Replays one game on the game record from its start and writes its
// output; `positions` receives the number of EPD lines written (0 in mode 1;
// a ply without an evaluation has none). False, with nothing written, when
// the start is no playable position.
bool scan_pgn_game(std::FILE* out, std::FILE* second, const ScanMoveEntry* entries, int count, int mode,
                   int result, int& positions, const GameStart& start);

// The evaluation a comment text gives for a move (white_move tells whose
// move it follows); SCAN_EVAL_UNREADABLE when it holds none.
i16 scan_comment_value(const char* text, bool white_move);
