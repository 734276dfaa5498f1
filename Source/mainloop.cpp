#include "mainloop.h"

#include <cstdio>

#include "bitboard.h"
#include "console.h"
#include "fen.h"
#include "input.h"
#include "log.h"
#include "makemove.h"
#include "movetext.h"
#include "platform.h"
#include "records.h"
#include "report.h"
#include "threads.h"
#include "timecontrol.h"
#include "tools/book.h"
#include "tt.h"

i32 self_play = 0;

namespace {

// Starts the search clock, then plays a book move or wakes the threads.
void start_pending_search()
{
    start_search_clock();
    Position& pos = game_record->pos;
    if (search_state.own_book && game_record->undo_count <= search_state.book_depth) {
        choose_book_move(pos, 0);
        Move move = search_state.best_line[1];
        if (move) {
            send_format("%sbook move is %s%s", engine_config.protocol == 1 ? "info string " : "",
                        square_name[move_from(move)], square_name[move_to(move)]);
            search_state.best_score = 0;
            search_state.stop = STOP_NORMAL;
        }
    }
    if (pos.halfmove_clock <= 100 && search_state.best_line[1] == 0) wake_search_threads();
    search_state.search_command = 0;
}

void report_console_result()
{
    sample_hash_fill();
    const u64* sums = search_state.summed_counters;
    double elapsed = search_state.elapsed_time;
    char move_text[16];
    send_format("move= %s, time= %0.3f, score= %d, nodes= %0.0f, nps= %0.0fK ebf= %0.2f",
                move_text_or_null(search_state.best_line[1], move_text), elapsed, search_state.best_score,
                double(sums[0]), double(sums[0]) / (elapsed + 0.001) * 0.001, effective_branching_factor());
    send_format("Hash fill= %.1f%%, Hash hits: main= %0.1f%%, pawn= %0.1f%%, eval= %0.1f%%, TB=%0.0fK",
                search_state.hash_fill * 100, double(sums[4]) * 100 / double(sums[3] + 1),
                double(sums[6]) * 100 / double(sums[5] + 1), double(sums[2]) * 100 / double(sums[1] + 1),
                double(sums[7]) * 0.001);
    const i32* n = search_state.diagnostic_counters;
    if (n[0] + n[1] + n[2] + n[3] != 0)
        send_format("ncnt1= %d, ncnt2= %d, ncnt3= %d, ncnt4= %d", n[0], n[1], n[2], n[3]);
    send_line("");
}

// Self-play: charge the mover's clock and play the found move for the next
// search, or end self-play when none was found.
void continue_self_play()
{
    Position& pos = game_record->pos;
    search_state.clocks[pos.side] += search_state.increment - search_state.elapsed_time;
    Move move = search_state.best_line[1];
    if (!move) {
        self_play = 0;
        return;
    }
    if (play_new_game_move(move) != GAME_MOVE_PLAYED) {
        self_play = 0;
        return;
    }
    print_board_diagram(pos);
    search_state.search_command = 1;
}

void report_search_result()
{
    sum_thread_counters();
    print_pv_line_if_due(0, 0, search_state.best_depth, search_state.best_score, search_state.best_line);
    if (engine_config.protocol == 1) {
        char best[16], ponder[16], line[48];
        move_text_or_null(search_state.best_line[1], best);
        if (search_state.best_line[2])
            std::snprintf(line, sizeof line, "bestmove %s ponder %s", best,
                          move_text_or_null(search_state.best_line[2], ponder));
        else
            std::snprintf(line, sizeof line, "bestmove %s", best);
        send_line(line);
    } else {
        report_console_result();
    }
    if (self_play) continue_self_play();
    search_state.search_state = 0;
}

}  // namespace

void main_loop_pass()
{
    if (search_state.search_command == 0) {
        sleep_ms(5);
        check_search_time();
        process_input();
        if (engine_config.quit) return;
    }
    // A "go" that arrives while pondering, without "ponderhit" or "stop"
    // first, has aborted the pondering search: once its threads are idle it
    // is dropped unreported, so that the new search can start (it would
    // otherwise wait for a state change that never comes).
    if (search_state.search_command != 0 && search_state.search_state == 2 && count_searching_threads() == 0)
        search_state.search_state = 0;
    if (search_state.search_command != 0 && search_state.search_state == 0) start_pending_search();
    // A pondering search, or an infinite one before "stop", is never
    // reported, whatever made its threads finish.
    if (search_state.search_state != 0 && search_state.search_state != 2 && !search_state.infinite &&
        count_searching_threads() == 0)
        report_search_result();
}

void run_main_loop()
{
    while (!engine_config.quit) main_loop_pass();
}
