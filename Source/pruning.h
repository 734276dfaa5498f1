// Selectivity knobs of the search and the late-move reduction tables, copied
// and derived from the ParamRecord by init_pruning_tables. FP: futility
// pruning; SEP: static-evaluation pruning (reverse futility pruning); NMP:
// null-move pruning; LMP: late-move pruning; LMR: late-move reductions.
#pragma once

#include "types.h"

extern i16 FP_depth;
extern i16 FP_margin;
extern i16 SEP_depth;
extern i16 SEP_margin;
extern i16 NMP_depth;
extern i16 LMP_depth;
extern i16 LMP_count;
extern i16 LMR_depth;

constexpr int REDUCTION_DEPTHS = 70;
constexpr int REDUCTION_MOVES = 32;
// Reductions by [depth][moves already tried]; the move loop indexes them with
// min(depth, 36) and min(moves tried, 31).
extern u8 reduction_pv[REDUCTION_DEPTHS][REDUCTION_MOVES];      // PV nodes, 0..2
extern u8 reduction_non_pv[REDUCTION_DEPTHS][REDUCTION_MOVES];  // other nodes, 0..4

// Copies the knobs from the live ParamRecord and rebuilds both tables,
// scaled by sqrt(LMR_strength) / 10.
void init_pruning_tables();
