// Choice of the root move from the DTZ tables.
#pragma once

#include "types.h"

// Rates every legal move of the engine's root position by the tables and
// picks: among winning moves the quickest to zero, among drawing moves one
// chosen by the material, among losing moves the longest. Returns the
// tablebase code (TB_CODE_*) and writes it, the root DTZ magnitude and the
// move (engine encoding, promotion flags included); returns TB_CODE_NONE
// and writes nothing when the position is unsound, has castling rights, a
// probe fails or no move qualifies. The code is TB_CODE_UNSURE when the
// root's clock plus its distance is exactly the fifty-move mark, or the
// clock is past it, and the result is not a draw: a table's distance may
// be a ply short, and past the mark only a mate wins, so only a search can
// tell. Called by one thread at a time (the DTZ cache has no lock). With
// `codes`, also writes the code of every legal move: the root's own code
// for the moves as good as the chosen one, a lower one (draw, blessed
// loss, loss, or the fifty-move edge of a win or loss) for the moves that
// give its result away, and TB_CODE_UNSURE for a move whose own result the
// tables cannot tell at the root's clock.
i32 probe_root_moves_dtz(const Position& pos, u32* wdl_code, u32* dtz, Move* move, RootMoveCodes* codes = nullptr);

// The per-move codes from the WDL tables alone (clock 0), for a root whose
// code `root_code` came from them; no code is above the root's. False, with
// `codes` untouched, when the position is unsound or a probe fails.
bool probe_root_move_wdl_codes(const Position& pos, int root_code, RootMoveCodes* codes);
