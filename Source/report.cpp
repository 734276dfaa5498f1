#include "report.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "log.h"
#include "movetext.h"
#include "records.h"
#include "score.h"
#include "threads.h"
#include "tt.h"

namespace {

// The MultiPV count of thread 0's current (or last) iteration: the lines
// being reported, whatever the option says meanwhile.
int lines_in_iteration()
{
    if (search_state.figures_kept) return search_state.kept_lines;
    const ThreadData* main_td = thread_table[0].load(std::memory_order_acquire);
    return main_td ? main_td->iteration_multipv.load(std::memory_order_relaxed)
                   : search_state.multipv.load(std::memory_order_relaxed);
}

// Thread 0's deepest ply, 1 being the root.
int main_thread_sel_depth()
{
    if (search_state.figures_kept) return search_state.kept_sel_depth;
    const ThreadData* main_td = thread_table[0].load(std::memory_order_acquire);
    return main_td ? main_td->sel_depth : 1;
}

// The tablebase code a line starting with `move` shows: with several lines
// each shows what its own move keeps of the root's result; a single line
// shows the root's.
int line_tb_code(Move move)
{
    const SearchState& ss = search_state;
    if (ss.root_tb_result == TB_CODE_NONE || lines_in_iteration() <= 1) return ss.root_tb_result;
    const int code = root_move_code(ss.root_tb_moves, move);
    return code != TB_CODE_NONE ? code : ss.root_tb_result;
}

// The score shown for a line's tablebase result: a known win or loss is
// shown as such unless the search has found a mate, a draw (also one the
// fifty-move rule makes) as 0, and where the tables cannot tell the search
// decides. A line whose move gives the root's result away shows the tables'
// value alone (a loss, else a draw, also for a move whose own result they
// cannot tell): the search refutes such a move right below the root, so its
// score is only a bound (even a mate score there is none). `from_tables`
// tells whether the value shown is the tables' own, which is exact whatever
// the search had bounded.
int displayed_score(int score, Move first_move, bool& from_tables)
{
    const int code = line_tb_code(first_move);
    from_tables = true;
    if (code != search_state.root_tb_result) return code == TB_CODE_LOSS ? -TB_SHOWN : 0;
    switch (code) {
    case TB_CODE_WIN:
        if (score < MATE_SHOWN) return TB_SHOWN;
        break;
    case TB_CODE_LOSS:
        if (score > MATED_SHOWN) return -TB_SHOWN;
        break;
    case TB_CODE_NONE:
    case TB_CODE_UNSURE: break;
    default: return 0;
    }
    from_tables = false;
    return score;
}

// Appends text at *pos within out[0..size), always terminated.
void append(char* out, std::size_t size, std::size_t& pos, const char* text)
{
    while (*text && pos + 1 < size) out[pos++] = *text++;
    out[pos] = 0;
}

}  // namespace

void format_uci_score(int score, char* out, std::size_t size)
{
    if (score > MATE_SHOWN) std::snprintf(out, size, "mate %d", (MATE - score) / 2);
    // Being mated at ply n from the root scores n - MATE with n odd; the
    // moves left to the mate are (n - 1) / 2, so -9997 is "mate -1".
    else if (score < MATED_SHOWN) std::snprintf(out, size, "mate -%d", (score + MATE) / 2);
    else std::snprintf(out, size, "cp %d", score);
}

void sum_thread_counters()
{
    // The threads that searched are gone: their sums stay.
    if (search_state.figures_kept) return;
    u64* sums = search_state.summed_counters;
    for (int i = 0; i < SUM_COUNT; i++) sums[i] = 0;
    for (int j = 0; j < search_state.thread_count; j++) {
        const ThreadData* td = thread_table[j].load(std::memory_order_acquire);
        if (!td) continue;
        sums[SUM_NODES] += td->counters[CNT_NODES];
        sums[SUM_EVAL_PROBES] += td->counters[CNT_EVAL_PROBES];
        sums[SUM_EVAL_HITS] += td->counters[CNT_EVAL_HITS];
        sums[SUM_HASH_PROBES] += td->counters[CNT_HASH_PROBES];
        sums[SUM_HASH_HITS] += td->counters[CNT_HASH_HITS];
        sums[SUM_PAWN_PROBES] += td->counters[CNT_PAWN_PROBES];
        sums[SUM_PAWN_HITS] += td->counters[CNT_PAWN_HITS];
        sums[SUM_TB_HITS] += td->counters[CNT_TB_HITS];
    }
}

void keep_search_figures()
{
    SearchState& ss = search_state;
    if (ss.figures_kept) return;  // kept before an earlier replacement
    sum_thread_counters();
    ss.kept_sel_depth = u8(main_thread_sel_depth());
    ss.kept_lines = u8(lines_in_iteration());
    ss.figures_kept = 1;
}

void format_pv_line(u32 thread_index, u32 pv_number, int depth, int score, const u16* pv, char* out,
                    std::size_t size, u8 bound)
{
    const SearchState& ss = search_state;
    bool from_tables;
    const int shown = displayed_score(score, pv[1], from_tables);
    if (from_tables) bound = BOUND_EXACT;

    int move_count = 0;
    while (move_count < MAX_SEARCH_PLY && move_count + 1 < MAX_PLY && pv[move_count + 1] != 0) move_count++;

    const double elapsed = ss.elapsed_time.load(std::memory_order_relaxed);
    const double nodes = double(ss.summed_counters[SUM_NODES]);
    const double nps = elapsed > 0.001 ? nodes / elapsed : 0.0;
    const char marker = pv_number != PV_NUMBER_SHARED ? '.' : ' ';

    char move_text[MOVE_TEXT_SIZE];
    if (engine_config.protocol == PROTOCOL_UCI) {
        char pv_text[MAX_SEARCH_PLY * MOVE_TEXT_SIZE] = "";
        std::size_t at = 0;
        for (int i = 1; i <= move_count; i++) {
            if (i > 1) append(pv_text, sizeof pv_text, at, " ");
            write_move_text(pv[i], move_text);
            append(pv_text, sizeof pv_text, at, move_text);
        }
        char multipv_part[24] = "";
        // A line of the shared result is the main line: it is line 1.
        if (lines_in_iteration() > 1)
            std::snprintf(multipv_part, sizeof multipv_part, "multipv %u ",
                          pv_number == PV_NUMBER_SHARED ? 1u : pv_number + 1);
        char tag[16] = "";
        if (extra_report) std::snprintf(tag, sizeof tag, "[%02u%c] ", thread_index, marker);
        char score_part[24];
        format_uci_score(shown, score_part, sizeof score_part);
        const char* mark = bound == BOUND_LOWER ? " lowerbound" : bound == BOUND_UPPER ? " upperbound" : "";
        const int seldepth = main_thread_sel_depth() - 1;
        std::snprintf(out, size,
                      "info %s%sdepth %d seldepth %d score %s%s time %.0f nodes %.0f nps %.0f tbhits %.0f hashfull %.0f pv %s",
                      multipv_part, tag, depth, seldepth, score_part, mark, elapsed * 1000, nodes, nps,
                      double(ss.summed_counters[SUM_TB_HITS]), ss.hash_fill * 1000, pv_text);
    } else {
        // Console: 8 moves while the search runs, up to 32 at its end, the
        // 9th, 17th and 25th on a new indented line.
        const int limit = ss.stop.load() == STOP_RUN ? 8 : 32;
        char pv_text[32 * (MOVE_TEXT_SIZE + 32)] = "";
        std::size_t at = 0;
        for (int i = 1; i <= move_count && i <= limit; i++) {
            if (i == 9 || i == 17 || i == 25) append(pv_text, sizeof pv_text, at, "\n                              ");
            else if (i > 1) append(pv_text, sizeof pv_text, at, " ");
            write_move_text(pv[i], move_text);
            append(pv_text, sizeof pv_text, at, move_text);
        }
        std::snprintf(out, size, "%02u] %02d%c %5.1f %7.0fK %5d  %s", thread_index, depth, marker, elapsed,
                      nodes * 0.001, shown, pv_text);
    }
}

void format_progress_line(int depth, char* out, std::size_t size)
{
    const SearchState& ss = search_state;
    const double elapsed = ss.elapsed_time.load(std::memory_order_relaxed);
    const double nodes = double(ss.summed_counters[SUM_NODES]);
    std::snprintf(out, size, "info depth %d time %.0f nodes %.0f nps %.0f hashfull %.0f", depth, elapsed * 1000, nodes,
                  elapsed > 0.001 ? nodes / elapsed : 0.0, ss.hash_fill * 1000);
}

void format_currmove_line(Move move, int move_number, char* out, std::size_t size)
{
    char text[MOVE_TEXT_SIZE];
    write_move_text(move, text);
    std::snprintf(out, size, "info currmove %s currmovenumber %d", text, move_number);
}

void print_pv_line(u32 thread_index, u32 pv_number, int depth, int score, const u16* pv, u8 bound)
{
    SpinLockGuard guard(output_lock);
    sum_thread_counters();
    if (depth > 6) sample_hash_fill();
    char text[2048];
    format_pv_line(thread_index, pv_number, depth, score, pv, text, sizeof text, bound);
    send_line(text);
}

bool pv_lines_due()
{
    const double delay = engine_config.output_delay;
    if (search_state.stop.load() == STOP_RUN && delay > search_state.elapsed_time.load(std::memory_order_relaxed))
        return false;
    return delay != OUTPUT_DELAY_QUIET;
}

void print_pv_line_if_due(u32 thread_index, u32 pv_number, int depth, int score, const u16* pv, u8 bound)
{
    if (pv_lines_due() && depth != 0 && pv[1] != 0) print_pv_line(thread_index, pv_number, depth, score, pv, bound);
}

double effective_branching_factor()
{
    const int d = i8(search_state.last_finished_depth.load(std::memory_order_relaxed));
    if (d < 6) return 2.0;
    const double a = double(search_state.nodes_by_depth[d].load(std::memory_order_relaxed));
    const double b = double(search_state.nodes_by_depth[d - 4].load(std::memory_order_relaxed));
    if (a == 0 || b == 0) return 2.0;
    return std::pow(a / b, 0.25);
}
