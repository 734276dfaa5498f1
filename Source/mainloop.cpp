#include "mainloop.h"

#include <cstdio>

#include "bitboard.h"
#include "console.h"
#include "fen.h"
#include "input.h"
#include "log.h"
#include "makemove.h"
#include "movegen.h"
#include "movetext.h"
#include "platform.h"
#include "records.h"
#include "report.h"
#include "score.h"
#include "threads.h"
#include "timecontrol.h"
#include "tools/book.h"
#include "tt.h"
#include "uci.h"
#include "zobrist.h"

namespace {

// The full key of the position the last search started from: an engine
// move is played on the game only while the game still stands there.
u64 searched_key = 0;

// The longest wait of an idle engine: input and finished searches end it
// at once, so this only bounds how long nothing at all happens.
constexpr int IDLE_WAIT_MS = 250;

// Starts the search clock, then plays a book move or wakes the threads.
void start_pending_search()
{
    start_search_clock();
    Position& pos = game_record->pos;
    searched_key = full_key(pos);
    search_state.report_on_stop = search_state.infinite;
    search_state.quiescence_only = i8(search_state.depth_limit) == 0;
    if (!search_state.position_valid) {
        // The last "position" could not be set up: searching the one before
        // it would answer with a move of the wrong game.
        send_format("%sno valid position: send a position command first",
                    engine_config.protocol == PROTOCOL_UCI ? "info string " : "");
        search_state.fallback_move = NULL_MOVE;
        search_state.stop = STOP_NO_MOVES;
        search_state.search_command = SEARCH_NONE;
        return;
    }
    // What a search stopped before its first move answers. Past the
    // fifty-move mark the search still runs: every move but a mate scores as
    // the draw the opponent may claim, and the answer is a legal move.
    search_state.fallback_move = first_legal_move(pos);
    if (search_state.own_book && game_ply() <= search_state.book_depth) {
        choose_book_move(pos, 0);
        Move move = search_state.best_line[1];
        if (move) {
            send_format("%sbook move is %s%s", engine_config.protocol == PROTOCOL_UCI ? "info string " : "",
                        square_name[move_from(move)], square_name[move_to(move)]);
            search_state.best_score = 0;
            search_state.quiescence_only = 0;
            search_state.stop = STOP_NORMAL;
        }
    }
    if (search_state.best_line[1] == 0) wake_search_threads();
    search_state.search_command = SEARCH_NONE;
}

void report_console_result()
{
    sample_hash_fill();
    const u64* sums = search_state.summed_counters;
    double elapsed = search_state.elapsed_time;
    char move_text[16];
    // A search stopped before its first root move was searched has no score
    // (the best score still holds its -MATE start value, which is no mate):
    // 0 is shown, as for a book move; UCI prints no score then.
    const int score = search_state.best_score <= -MATE ? 0 : search_state.best_score;
    send_format("move= %s, time= %0.3f, score= %d, nodes= %0.0f, nps= %0.0fK ebf= %0.2f",
                move_text_or_null(search_state.best_line[1], move_text), elapsed, score,
                double(sums[SUM_NODES]), double(sums[SUM_NODES]) / (elapsed + 0.001) * 0.001,
                effective_branching_factor());
    send_format("Hash fill= %.1f%%, Hash hits: main= %0.1f%%, pawn= %0.1f%%, eval= %0.1f%%, TB=%0.0fK",
                search_state.hash_fill * 100, double(sums[SUM_HASH_HITS]) * 100 / double(sums[SUM_HASH_PROBES] + 1),
                double(sums[SUM_PAWN_HITS]) * 100 / double(sums[SUM_PAWN_PROBES] + 1),
                double(sums[SUM_EVAL_HITS]) * 100 / double(sums[SUM_EVAL_PROBES] + 1),
                double(sums[SUM_TB_HITS]) * 0.001);
    const i32* n = search_state.diagnostic_counters;
    if (n[0] + n[1] + n[2] + n[3] != 0)
        send_format("ncnt1= %d, ncnt2= %d, ncnt3= %d, ncnt4= %d", n[0], n[1], n[2], n[3]);
    send_line("");
}

// "mv" and self-play: the found move is played on the game and charged to
// the mover's clock; self-play then asks for the next search. Nothing is
// played, and self-play ends, when the search was aborted ("." or a command
// that set up another position or played a move) or the game no longer
// stands on the searched position. The line of the search (`searched`: it
// found one) is kept for "pv" from whichever position the game is left on.
void play_engine_move(const u16* searched)
{
    Position& pos = game_record->pos;
    const u16* line = search_state.best_line;
    remember_searched_line(searched_key, searched, 1);
    const Move move = line[1];
    if (search_state.stop == STOP_ABORT || full_key(pos) != searched_key || move == NULL_MOVE ||
        play_new_game_move(move) != GAME_MOVE_PLAYED) {
        self_play = 0;
        return;
    }
    search_state.clocks[pos.side ^ 1] += search_state.increment - search_state.elapsed_time;
    remember_searched_line(full_key(pos), line, 2);
    print_board_diagram(pos);
    if (self_play) search_state.search_command = SEARCH_THINK;
}

void report_search_result()
{
    sum_thread_counters();
    print_pv_line_if_due(0, 0, search_state.best_depth, search_state.best_score, search_state.best_line,
                         search_state.best_bound);
    // What "pv" may show is the search's own line, never the stand-in below.
    static const u16 no_line[MAX_PLY] = {};
    const u16* searched = search_state.best_line[1] != NULL_MOVE ? search_state.best_line : no_line;
    // Stopped before the first move was found (or asked for no search at
    // all): a legal move, never "null", when the position has one.
    if (search_state.best_line[1] == NULL_MOVE && search_state.fallback_move != NULL_MOVE) {
        search_state.best_line[1] = search_state.fallback_move;
        search_state.best_line[2] = NULL_MOVE;
    }
    if (engine_config.protocol == PROTOCOL_UCI) {
        char best[16], ponder[16], line[48];
        if (search_state.quiescence_only && search_state.best_score > -MATE)
            send_format("info depth 0 score cp %d", search_state.best_score);
        // No move to give (mate, stalemate, no valid position, the fifty-move
        // mark): the protocol's null move, which clients read as "none".
        if (search_state.best_line[1] == NULL_MOVE) std::snprintf(best, sizeof best, "0000");
        else write_move_text(search_state.best_line[1], best);
        if (search_state.best_line[2])
            std::snprintf(line, sizeof line, "bestmove %s ponder %s", best,
                          move_text_or_null(search_state.best_line[2], ponder));
        else
            std::snprintf(line, sizeof line, "bestmove %s", best);
        send_line(line);
    } else {
        report_console_result();
    }
    // The answer is out; the helpers, told to stop, leave within moments.
    // Whatever follows (an option, a position) finds every thread idle.
    wait_for_search_threads();
    if (engine_config.protocol == PROTOCOL_CONSOLE) {
        if (search_state.search_state == SEARCH_THINK) play_engine_move(searched);
        else remember_searched_line(searched_key, searched, 1);
    }
    search_state.search_state = SEARCH_NONE;
}

// A new search was asked for while the last one still runs or waits for
// "stop": the command that asked has aborted it; once its threads are idle
// it is reported when it was an ordinary search (its "go" is owed an
// answer) and dropped when it was pondering or infinite (only "stop" or
// "ponderhit" would have answered it; the next "stop" belongs to the new
// search).
void settle_previous_search()
{
    abort_search_and_wait();
    if (search_state.search_state == SEARCH_PONDER || search_state.report_on_stop)
        search_state.search_state = SEARCH_NONE;
    else
        report_search_result();
}

// The end of the input ends the session once the queued commands have run:
// a search with a limit finishes and reports, one that only "stop" would end
// is stopped and reports, then the engine quits.
void end_session_at_end_of_input()
{
    if (!input_at_end() || queued_command_count() > 0 || search_state.search_command != SEARCH_NONE) return;
    self_play = 0;
    const int state = search_state.search_state;
    if (state == SEARCH_PONDER || state == SEARCH_ANALYSE || (state != SEARCH_NONE && search_state.report_on_stop)) {
        stop_search_for_report();
        return;
    }
    if (state == SEARCH_NONE) engine_config.quit = 1;
}

// How long the idle tick may wait for input or a finished search: queued
// commands run at once, a running search is looked at every tick (sooner
// when its time is short), and an idle engine sleeps until input arrives.
int tick_wait_ms()
{
    if (queued_command_count() > 0) return 0;
    if (search_state.search_state != SEARCH_NONE) return milliseconds_to_time_check();
    return IDLE_WAIT_MS;
}

}  // namespace

void main_loop_pass()
{
    if (search_state.search_command == SEARCH_NONE) {
        wait_for_input_or_wake(tick_wait_ms(), !input_at_end());
        check_search_time();
        process_input();
        if (engine_config.quit) return;
        end_session_at_end_of_input();
        if (engine_config.quit) return;
    }
    if (search_state.search_command != SEARCH_NONE && search_state.search_state != SEARCH_NONE)
        settle_previous_search();
    if (search_state.search_command != SEARCH_NONE && search_state.search_state == SEARCH_NONE)
        start_pending_search();
    // A pondering search, or an infinite one before "stop", is never
    // reported, whatever made its threads finish. The answer is thread 0's:
    // it goes out before the helpers have left.
    if (search_state.search_state != SEARCH_NONE && search_state.search_state != SEARCH_PONDER &&
        !search_state.report_on_stop && !main_search_thread_busy())
        report_search_result();
}

void run_main_loop()
{
    while (!engine_config.quit) main_loop_pass();
}
