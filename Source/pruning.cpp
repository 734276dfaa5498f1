#include "pruning.h"

#include <algorithm>
#include <cmath>

#include "params.h"

i16 FP_depth = 3;
i16 FP_margin = 125;
i16 SEP_depth = 3;
i16 SEP_margin = 75;
i16 NMP_depth = 3;
i16 LMP_depth = 5;
i16 LMP_count = 3;
i16 LMR_depth = 3;

u8 reduction_pv[REDUCTION_DEPTHS][REDUCTION_MOVES];
u8 reduction_non_pv[REDUCTION_DEPTHS][REDUCTION_MOVES];

void init_pruning_tables()
{
    FP_depth = params.FP_depth;
    FP_margin = params.FP_margin;
    SEP_depth = params.SEP_depth;
    SEP_margin = params.SEP_margin;
    NMP_depth = params.NMP_depth;
    LMP_depth = params.LMP_depth;
    LMP_count = params.LMP_count;
    LMR_depth = params.LMR_depth;

    // A negative strength (a typo in "vant.rc", a tuner step) would give NaN
    // reductions; it is read as 0, no reductions at all.
    double strength = std::max(0, int(params.LMR_strength));
    double s = std::sqrt(strength) * 0.1;
    for (int d = 0; d < REDUCTION_DEPTHS; d++) {
        for (int m = 0; m < REDUCTION_MOVES; m++) {
            if (d < 3 || m < 2) {
                reduction_pv[d][m] = 0;
                reduction_non_pv[d][m] = 0;
                continue;
            }
            double x = std::min(double(d - 3), 0.3 * std::log(double(d)) * std::log(double(m)) - 0.4);
            if (x < 0) x = 0;
            reduction_pv[d][m] = u8(std::min(round_half_away(x * s), 2));
            reduction_non_pv[d][m] = u8(std::min(round_half_away((x + 1.2) * s), 4));
        }
    }
}
