// Everything the engine calls of the Syzygy prober.
//
// Start-up and the "SyzygyPath" option:
//   scan_tablebase_paths(search_state.tb_path);
// prints "info string found %d tablebases" on standard output (not through
// the line sender). It may be called while a search runs: probes that start
// meanwhile return "no result", and the scan waits until probes already
// inside the prober have left before it unmaps anything. An empty path or
// "<empty>" switches probing off.
//
// The search's probe, made by its gate probe_tablebase_in_search (search.cpp)
// after the gate's own depth, piece count (tb_largest_piece_count) and
// castling tests, with a half-move clock of 0:
//   int code = tb_probe_wdl_code(tb_position_from_engine(pos, 0));  // TB_CODE_*
//
// Once per search, before any probe of that search:
//   if (!tb_root_position_is_valid(root)) keep probing off for this search;
//
// Thread 0's root probe (one thread at a time):
//   u32 wdl, dtz; Move move;
//   i32 r = probe_root_moves_dtz(root, &wdl, &dtz, &move);  // TB_CODE_*
#pragma once

#include "tb_position.h"
#include "tb_probe.h"
#include "tb_registry.h"
#include "tb_root.h"
