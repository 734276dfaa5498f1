// Evaluation records held inside ThreadData and EngineConfig.
// Placeholder layouts until the evaluation lands.
#pragma once

#include "types.h"

struct EvalCacheEntry {
    u64 key;
    i16 score;
    u16 threat[2];
};

struct PawnHashEntry {
    u64 key;
};

struct EvalTables {
    int placeholder;
};

struct EvalWork {
    int placeholder;
};

struct EvalTrace {
    i16 square_value[64];
};

constexpr int EVAL_CACHE_SIZE = 16384;
constexpr int PAWN_HASH_SIZE = 8192;
