// The static evaluation.
#pragma once

#include "records.h"
#include "types.h"
#include "zobrist.h"

// Score of the thread's position for `colour` (the side to move), in
// centipawns. Uses the thread's EvalTables copy, evaluation cache and pawn
// hash; raises the threat words of PlyRecord `ply` (the caller clears them)
// and sets its drawn flag for insufficient material. A non-zero `in_check`
// returns -MATE at once. Trace mode (thread 0, ply 1, no iteration running)
// fills engine_config.eval_trace.
int evaluate_position(ThreadData* td, int colour, int ply, int in_check);

// The evaluation-cache slot of a full position key for `colour`: one slot
// per colour side by side.
inline u32 eval_cache_slot(u64 key, int colour) { return (u32(key) & (EVAL_CACHE_SIZE - 2)) + u32(colour); }

// Starts loading the evaluation-cache and pawn-hash entries of the thread's
// position (`key` its full key), so that they have arrived when the node
// evaluates it: both tables are larger than the core's own cache.
// The load helpers are always inlined: g++ takes a helper that only
// prefetches for a function without effects and drops the call whole when
// it is left out of line (the Windows builds lost the table loads so).
[[gnu::always_inline]] inline void prefetch_eval_entries(const ThreadData* td, const Position& pos, u64 key)
{
    __builtin_prefetch(&td->eval_cache[eval_cache_slot(key, pos.side)]);
    const PawnHashEntry* pe = &td->pawn_hash[pos.pawn_key & (PAWN_HASH_SIZE - 1)];
    __builtin_prefetch(pe);
    __builtin_prefetch(reinterpret_cast<const char*>(pe) + sizeof(PawnHashEntry) - 1);
}

// The same for a child's evaluation-cache entry, from the parent, before
// the move is played (`key` from likely_key_after).
[[gnu::always_inline]] inline void prefetch_child_eval_entry(const ThreadData* td, u64 key, int child_side)
{
    __builtin_prefetch(&td->eval_cache[eval_cache_slot(key, child_side)]);
}

// Static evaluations never reach this magnitude, so that they can never be
// read as mate or tablebase scores.
constexpr int EVAL_SCORE_LIMIT = 9000;

// Clears the trace area: per-square values and totals 0, empty sets,
// draw adjustment 1.0.
void clear_eval_trace();
