// The alpha-beta search below the root: the node search with its cheap exits
// (mate distance, draws, tablebases, the transposition table, futility
// pruning, static-evaluation pruning (reverse futility pruning), the capture
// cut test (ProbCut), null-move pruning), internal iterative deepening and
// the singular test (singular extensions); the move loop with late-move
// pruning, fractional extensions, late-move reductions and the
// principal-variation search (PVS); and the quiescence search at the leaves.
//
// Scores are from the side to move's point of view (score.h). A side mated
// at ply p scores mated_in(p) (the root is ply 1, so a mate in one move is
// 9998 for the root side); stalemates, repetitions and fifty-move draws
// score 0.
// Plies run from 1 (root) to at most MAX_SEARCH_PLY; ply records two beyond
// it are touched.
#pragma once

#include "types.h"

// Switch for tests and experiments: with it false the node search does no
// futility, static-evaluation pruning, capture cut test or null move, and
// the move loop no late-move pruning and no late-move reductions. Internal
// deepening, extensions, the hash cuts and the quiescence search's own
// delta and exchange pruning stay. Changed only while no search runs.
extern bool search_selective;

// Copies a child's principal variation into the node's line from ply
// `from` on, up to and including its terminating 0.
inline void copy_child_line(u16* pv, const u16* child_pv, int from)
{
    for (int i = from; i < MAX_PLY; i++) {
        pv[i] = child_pv[i];
        if (child_pv[i] == 0) break;
    }
}

// Alpha-beta search of one node at ply p (2 or more) with remaining depth d.
// node_type NODE_PV is a principal-variation node; non-PV children of a PV
// node get NODE_NON_PV, full-window re-searches the negated type. `pv` is a
// 70-entry line indexed by ply; the node clears entries p and p + 1 and
// fills them from p on. Returns 0 at once while the stop byte is set.
int search_node(Position& pos, int side, int ply, int depth, int alpha, int beta, int node_type, u16* pv);

// The same node at the fixed ply 2: the search of a root move's reply.
int search_root_child(Position& pos, int side, int depth, int alpha, int beta, int node_type, u16* pv);

// The tablebase gate: the tablebase code (TB_CODE_*) of the side to move, or
// TB_CODE_NONE when the position is outside the probe limits, has castling
// rights, or the tables give no result.
int probe_tablebase_in_search(const Position& pos, int depth);

// Whether no piece of `side` (king excepted) loses so much to an enemy
// capture that score - loss falls to bound + 99 or below.
bool pieces_safe_from_exchange(Position& pos, int side, int score, int bound);

// ProbCut, the capture cut test: whether a capture or promotion that wins
// material by exchange already scores bound or more in a reduced search of
// `depth` (child depth - 1).
bool probcut_capture_test(Position& pos, int ply, int depth, int bound);

// The test of singular extensions: whether every legal move other than
// `move` stays at or below `bound` in a null-window search of `depth`
// (child depth - 1); false when `move` is illegal, when another move beats
// the bound, or when the search stops.
bool singular_move_test(Position& pos, int ply, int depth, int bound, int in_check, Move move);

// Searches the moves of the node at ply p after the node search decided to:
// picks, prunes, extends, reduces, searches and keeps the history (the
// history heuristic), killer, countermove and follow-up tables; stores the
// result in the transposition table when d >= 0. Returns the best score,
// mated_in(p) when mated and 0 when stalemated; returns 0 at once when the
// stop byte gets set.
int search_move_loop(Position& pos, int side, int ply, int depth, int alpha, int beta, int in_check,
                     int node_type, u16* pv);

// For a late bishop (3), rook (4) or queen (5) move of the side to move from
// `origin` to `destination`: true when a square of `targets` on a new line of
// the slider through the destination is attacked by the side's other
// pieces (the mover lifted off its origin).
bool slider_still_attacks_targets(Position& pos, int type, int origin, int destination, u64 targets);

// Quiescence search at ply p: stand pat on the ply's static evaluation (the
// caller stores it in the ply record first), then captures and queen
// promotions in victim/attacker order (MVV/LVA) and, at depth 0 or more,
// quiet checks and pushes to the seventh rank. Each move is searched by
// search_node at depth d - 1. The side to move must not be in check (the
// node search takes those nodes): the legality test relies on it.
int quiescence_search(Position& pos, int side, int ply, int depth, int alpha, int beta, int node_type, u16* pv);
