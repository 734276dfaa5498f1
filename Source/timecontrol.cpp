#include "timecontrol.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "fen.h"
#include "log.h"
#include "makemove.h"
#include "params.h"
#include "platform.h"
#include "pruning.h"
#include "records.h"
#include "score.h"
#include "threads.h"

double search_start_time = 0.0;

namespace {

// The moment of the hard limit on the monotonic clock, for the search
// threads' own check; infinitely far while no threaded search is timed.
std::atomic<double> search_deadline{HUGE_VAL};

// What the report of a stopped search may take at most: the hard limit
// stops the search this much (or a tenth of its time, when less) before the
// time given runs out.
constexpr double REPORT_MARGIN = 0.005;

// Targets below this are short enough that the clock is looked at every
// millisecond instead of every tick.
constexpr double SHORT_TARGET = 0.02;

}  // namespace

double compute_hard_time_limit(int side)
{
    const SearchState& ss = search_state;
    // A move time is the time given; a clock gives itself less the overhead
    // kept back for the interface.
    const double given = ss.time_mode == TIME_MODE_FIXED ? ss.move_time : ss.clocks[side] - ss.move_overhead;
    return given - std::min(REPORT_MARGIN, 0.1 * std::max(given, 0.0));
}

void update_elapsed_time()
{
    search_state.elapsed_time.store(monotonic_seconds() - search_start_time, std::memory_order_relaxed);
}

double compute_target_time(int side, int ply)
{
    SearchState& ss = search_state;
    if (ss.time_mode == TIME_MODE_FIXED) {
        ss.clocks[side] = ss.move_time;
        return ss.move_time;
    }
    double clock = ss.clocks[side];
    int moves_to_go;
    if (ss.time_mode == TIME_MODE_CLOCK) {
        moves_to_go = ply < 30 ? 38 - ply / 2 : 24;
        ss.moves_to_go = u16(moves_to_go);
    } else if (engine_config.protocol == PROTOCOL_UCI) {
        moves_to_go = ss.moves_to_go;
    } else {
        moves_to_go = ss.time_mode - (ply / 2) % ss.time_mode;
        ss.moves_to_go = u16(moves_to_go);
    }
    double target = clock / (moves_to_go + 1);
    if (ss.ponder && moves_to_go >= 3) target *= 1.3;
    if (ss.increment > 0 && clock > 4 * ss.move_overhead)
        target += ss.increment * clock / (2 * ss.increment + clock);
    double cap = 0.65 * clock - 4 * ss.move_overhead;
    if (target > cap) target = cap;
    if (target < 0.002) target = 0.002;
    return target;
}

void start_search_clock()
{
    SearchState& ss = search_state;
    search_start_time = monotonic_seconds();
    ss.elapsed_time.store(0.0, std::memory_order_relaxed);

    // Parameter changes since the last search take effect (not for the
    // shallow searches of the tools, which set their tables themselves).
    if (i8(ss.depth_limit) > 2) {
        init_evaluation_tables();
        init_pruning_tables();
    }

    const Position& game = game_record->pos;
    const int side = game.side;
    game_record->search_ply = 1;
    game_record->pv[1] = 0;
    ss.engine_colour = u8(side);
    if (params.UCI_LimitStrength == 0) ss.target_rate = 1e9;

    const int ply = game_ply();

    // The whole best line is cleared, not only the best move: a search that
    // never runs (fifty-move rule, no legal move) must not report the ponder
    // move of the previous one. The root tablebase result is cleared for the
    // same reason; the driver sets it again when it probes.
    for (u16& move : ss.best_line) move = 0;
    ss.stop.store(STOP_RUN);
    for (i32& counter : ss.diagnostic_counters) counter = 0;
    ss.best_score = -MATE;
    ss.best_bound = BOUND_EXACT;
    ss.best_line_mark = BOUND_EXACT;
    ss.best_depth = 0;
    ss.figures_kept = 0;
    ss.published_iteration.store(0);
    ss.last_finished_depth.store(0, std::memory_order_relaxed);
    ss.last_change_depth = 0;
    ss.easy_move.store(EASY_NONE, std::memory_order_relaxed);
    ss.hash_age = u16(ply + 1);
    if (ss.hash_size < 1) ss.use_table = TABLE_OFF;
    for (int d = 0; d < MAX_PLY; d++) {
        ss.score_by_depth[d] = -MATE;
        ss.move_by_depth[d] = 0;
        ss.nodes_by_depth[d].store(0, std::memory_order_relaxed);
    }
    ss.root_tb_result = TB_CODE_NONE;
    ss.root_tb_moves.count = 0;
    ss.search_state.store(ss.search_command.load());

    ss.target_time = compute_target_time(side, ply);
    ss.hard_time_limit = compute_hard_time_limit(side);

    if (engine_config.output_delay < OUTPUT_DELAY_QUIET) {
        char fen[128], text[192];
        position_to_fen(game, fen);
        if (engine_config.protocol == PROTOCOL_UCI) {
            std::snprintf(text, sizeof text, "info string fen %s", fen);
            log_line(text);
            std::snprintf(text, sizeof text, "info string ply= %d, trg_time= %0.3f sec", ply, ss.target_time);
            log_line(text);
        } else {
            std::snprintf(text, sizeof text, "fen %s", fen);
            send_line(text);
            std::snprintf(text, sizeof text, "Ply= %d, Clock= %0.2fs  Target time= %0.2fs", ply, ss.clocks[side],
                          ss.target_time);
            send_line(text);
        }
    }
}

int search_instability(int d)
{
    SearchState& ss = search_state;
    // A consistent snapshot of the shared result, which thread 0 writes
    // under the same lock.
    int prev, best_score, last_change;
    Move best_move;
    {
        SpinLockGuard guard(result_lock);
        prev = ss.score_by_depth[d - 1];
        best_score = ss.best_score;
        best_move = ss.best_line[1];
        last_change = ss.last_change_depth;
    }

    const int magnitude = std::abs(prev);
    const int m = magnitude >= 800 ? 65 : magnitude / 16 + 15;

    int p = 0;
    for (int j = 0; j < ss.thread_count; j++) {
        const ThreadData* td = thread_table[j].load(std::memory_order_acquire);
        if (!td || td->current_depth.load(std::memory_order_relaxed) < d) continue;
        const int score = td->completed_score.load(std::memory_order_relaxed);
        const int kind = td->result_kind.load(std::memory_order_relaxed);
        if (thread_root_move(td) == best_move) {
            if (score < best_score && kind == RESULT_FAIL_LOW) p = 20;
        } else if (score > best_score) {
            if (kind == RESULT_FAIL_HIGH && p < 2) p = 2;
            if (score > best_score + 20 && p < 12) p = 12;
        }
    }
    if (best_score < prev - 4 * m) p = 20;
    else if (best_score < prev - 2 * m) p = std::max(p, 8);
    else if (best_score < prev - m) p = std::max(p, 4);
    if (d > 6 && d - 1 <= last_change) p = std::max(p, 1);
    return p;
}

double search_time_limit(int p, int d, double elapsed)
{
    const SearchState& ss = search_state;
    const double rest = std::max(0.0, ss.clocks[ss.engine_colour] - elapsed);
    double limit = p * 0.01 * rest + ss.target_time;
    int last_change;
    {
        SpinLockGuard guard(result_lock);
        last_change = ss.last_change_depth;
    }
    // A stable search stops earlier.
    if (p == 0 && d >= 8 && d - 3 > last_change && ss.time_mode != TIME_MODE_FIXED) limit *= 0.85;
    if (ss.time_mode != TIME_MODE_FIXED) limit -= ss.move_overhead;
    return limit;
}

namespace {

// Sets the stop byte unless another reason has set it meanwhile.
void request_stop(u8 reason)
{
    u8 running = STOP_RUN;
    search_state.stop.compare_exchange_strong(running, reason);
}

// The hard limit is reached: a thinking search stops and is reported, any
// other (analysis in the console) is aborted. A pondering search has no
// limit until "ponderhit".
void stop_at_hard_limit()
{
    const int state = search_state.search_state.load();
    if (state != SEARCH_PONDER) request_stop(state == SEARCH_THINK ? STOP_NORMAL : STOP_ABORT);
}

}  // namespace

void arm_search_deadline()
{
    search_deadline.store(search_start_time + search_state.hard_time_limit, std::memory_order_relaxed);
}

void disarm_search_deadline() { search_deadline.store(HUGE_VAL, std::memory_order_relaxed); }

void check_search_deadline()
{
    if (monotonic_seconds() >= search_deadline.load(std::memory_order_relaxed) &&
        search_state.stop.load(std::memory_order_relaxed) == STOP_RUN)
        stop_at_hard_limit();
}

void check_search_time()
{
    update_elapsed_time();
    SearchState& ss = search_state;
    const double elapsed = ss.elapsed_time.load(std::memory_order_relaxed);
    const int d = ss.published_iteration.load();
    if (ss.stop.load() != STOP_RUN || ss.search_state.load() == SEARCH_PONDER) return;
    // The hard limit: no rule below (depth, stability, strength limit) keeps
    // a search past the time it was given; the report answers the best move
    // found so far, else the first legal move.
    if (elapsed >= ss.hard_time_limit) {
        stop_at_hard_limit();
        return;
    }
    // Searches get 20 ms before the rules below may stop them, or their whole
    // target when it is shorter (a short clock must not pay for the floor).
    if (d < 2 || elapsed < std::min(SHORT_TARGET, ss.target_time)) return;

    const int p = search_instability(d);
    const double limit = search_time_limit(p, d, elapsed);
    const double rest = std::max(0.0, ss.clocks[ss.engine_colour] - elapsed);

    const int easy = ss.easy_move.load(std::memory_order_relaxed);
    if (elapsed < limit && easy != EASY_NONE && (easy == EASY_ONLY_MOVE || elapsed >= 0.5 * ss.target_time))
        request_stop(STOP_NORMAL);

    if (elapsed >= limit || (ss.time_mode != TIME_MODE_FIXED && rest < 5 * ss.move_overhead)) {
        int best_depth;
        {
            SpinLockGuard guard(result_lock);
            best_depth = ss.best_depth;
        }
        // Without two finished iterations there is no move worth playing yet;
        // the check repeats at the next tick. Under a strength limit the
        // second iteration crawls at the limited node rate: one is enough,
        // or the weakened engine would spend its whole clock on every move.
        const int depth_needed = ss.target_rate.load(std::memory_order_relaxed) < 1e9 ? 1 : 2;
        if (best_depth >= depth_needed) request_stop(ss.search_state.load() == SEARCH_THINK ? STOP_NORMAL : STOP_ABORT);
    }
}

int milliseconds_to_time_check()
{
    const SearchState& ss = search_state;
    // A stopped search wakes the main thread when thread 0 ends: waiting
    // without a pause would only take the core from the threads that must
    // unwind. The threads stop at the hard limit themselves, so the tick
    // need not spin towards it either.
    if (ss.search_state.load() == SEARCH_PONDER || ss.stop.load() != STOP_RUN) return 5;
    const double left = ss.hard_time_limit - ss.elapsed_time.load(std::memory_order_relaxed);
    if (left >= 0.005 && ss.target_time >= SHORT_TARGET) return 5;
    return 1;
}
