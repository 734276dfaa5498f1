// Win/draw/loss and distance-to-zero probes of the Syzygy tables.
//
// Every probe takes a TbPosition and an out success flag: 0 means no result
// (no table, a damaged table, a scan replacing the tables) and the value is
// then 0 and meaningless.
#pragma once

#include "tb_position.h"
#include "types.h"

// Full WDL (-2..2) including en-passant captures.
int wdl_probe_position(const TbPosition& pos, int* success);
// The search's form of the WDL probe (probe_tablebase_in_search): the
// tablebase code (TB_CODE_*).
int tb_probe_wdl_code(const TbPosition& pos);
// The value stored in the WDL table for exactly this position (no capture
// or en-passant resolution); loads the table on first use.
int wdl_table_value(const TbPosition& pos, int* success);

// Signed distance to zeroing of the side to move, en passant included.
int dtz_probe_position(const TbPosition& pos, int* success);

// DTZ of a WDL value (index WDL + 2), the value map a WDL uses, and the
// flag bit telling that the values of that WDL are stored in plies.
extern const int dtz_of_wdl[5];
extern const int dtz_map_of_wdl[5];
extern const int dtz_ply_flag_of_wdl[5];

constexpr int DTZ_CACHE_SIZE = 64;
constexpr int BEST_NONE = 65535;
// Releases every cached DTZ table (called by the scan).
void release_dtz_cache();
// Test view of the DTZ cache: the first key of slot i and whether a table is
// loaded there (a slot may remember a failed load).
u64 dtz_cache_slot_key(int i);
bool dtz_cache_slot_loaded(int i);

// Used by the DTZ probe, inside the prober (no guard of their own); not for
// the engine.
int wdl_probe_internal(const TbPosition& pos, int* success);
// WDL of the side to move within (alpha, beta), captures and promotions
// resolved by a small search. Success 2 when the value is a win reached by a
// capture or promotion (or at least beta), 1 otherwise.
int wdl_capture_search(const TbPosition& pos, int alpha, int beta, int* success);
// The best WDL value among the side to move's legal en-passant captures, or
// NO_EN_PASSANT_CAPTURE; on a failed probe *success becomes 0 (otherwise it
// is left as it was).
constexpr int NO_EN_PASSANT_CAPTURE = -3;
int best_en_passant_capture(const TbPosition& pos, int* success);
// Whether the side to move has a legal move other than an en-passant capture.
bool has_move_besides_en_passant(const TbPosition& pos);
