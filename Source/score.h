// The score scale: centipawns from the side to move's point of view, with
// mates and tablebase results above every evaluation. Plies count from the
// root, which is ply 1.
#pragma once

// A mate at ply n scores MATE - n, being mated there n - MATE. -MATE itself
// is worse than any score a search returns: it marks "no score yet".
constexpr int MATE = 10000;

// Scores beyond +-MATE_BOUND are mates or tablebase results: the table
// stores them relative to the node, late moves are neither pruned nor
// reduced while the best score is below -MATE_BOUND, and the root window
// opens fully past it.
constexpr int MATE_BOUND = 9697;

// A tablebase win at ply n scores TB_WIN - n, a loss n - TB_LOSS: below
// every mate the search can find, above every evaluation.
constexpr int TB_WIN = 9799;
constexpr int TB_LOSS = 9800;

// What a root tablebase win (or, negated, loss) is shown as while the
// search has not found a mate.
constexpr int TB_SHOWN = 9800;

// Scores above MATE_SHOWN are reported as "mate n", scores below
// MATED_SHOWN as "mate -n": every mate the search can reach (it ends at
// MAX_SEARCH_PLY) lies beyond them, and no tablebase result does.
constexpr int MATE_SHOWN = 9899;
constexpr int MATED_SHOWN = -9900;

constexpr int mate_in(int ply) { return MATE - ply; }
constexpr int mated_in(int ply) { return ply - MATE; }
constexpr int tb_win_in(int ply) { return TB_WIN - ply; }
constexpr int tb_loss_in(int ply) { return ply - TB_LOSS; }

// The lowest score of a mate found within `plies` plies of the root: the
// deepening needs no further iteration once it has one.
constexpr int mate_within(int plies) { return mate_in(1 + plies); }
