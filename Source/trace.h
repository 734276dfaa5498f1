// The search trace: with a trace depth set (console "trace"), every move and
// null move made within that many plies of the root is written to
// "trace.txt" as an indented tree with its remaining depth.
#pragma once

#include "types.h"

// Called by play_move and play_null_move before they change the position
// (move 0 for a null move). Does nothing while the trace depth is 0.
void write_search_trace(const Position& pos, Move move);
// Pushes what the trace has buffered to the file (the file is otherwise
// complete only when the process ends normally).
void flush_search_trace();
// "trace.txt" while the trace depth is set (the file any move made from now
// on may create), else nullptr: a command that reads a file and plays moves
// counts it among its outputs.
const char* search_trace_output();
