#include "bench.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "bitboard.h"
#include "driver.h"
#include "eval.h"
#include "fen.h"
#include "log.h"
#include "makemove.h"
#include "movegen.h"
#include "movetext.h"
#include "ordering.h"
#include "platform.h"
#include "report.h"
#include "score.h"
#include "threads.h"
#include "timecontrol.h"
#include "tt.h"

const char* const bench_positions[BENCH_POSITION_COUNT] = {
    "r1bqkb1r/pp1ppppp/2n2n2/8/3NP3/2N5/PPP2PPP/R1BQKB1R b KQkq -",
    "1n5k/3q3p/pp1p2pB/5r2/1PP1Qp2/P6P/6P1/2R3K1 w - -",
    "1r1qbr1k/4bp1p/p3p2Q/3pP3/2pP4/P1N1PN2/1PR2RP1/6K1 b - -",
    "2r1q2k/7p/p1np1P1P/8/1pP2R2/8/PP1Q4/R1KN2r1 b - -",
    "r2r2k1/5pp1/2bPp3/p1N4p/1qQ5/2P2P2/BP4PP/1K1R4 b - -",
    "5r1k/5rp1/p1n1p1qp/2P1p3/P7/4QN1P/5PP1/2R1R2K w - -",
    "2r3k1/1pq1b1p1/p1b1pr1p/8/PP2pP2/2P1B3/4B1PP/RQR4K w - -",
    "1r3b2/3R2pk/6q1/3Q1p2/p6P/4B2P/1P3P1K/8 w - -",
    "r2r2k1/6bp/1P2q1p1/4pp2/p1N5/2Q5/PPR3PP/4R2K b - -",
    "2r1q2k/7p/p1np1P1P/8/1pP2R2/8/PP1Q4/R1KN2r1 b - -",
    "r1bq1r1k/p1pnbpp1/1p2p3/6p1/3PB3/5N2/PPPQ1PPP/2KR3R w - - ",
    "r1b2rk1/1p1nbppp/pq1p4/3B4/P2NP3/2N1p3/1PP3PP/R2Q1R1K w - -",
    "r3r1kb/1npb1p1p/2q2np1/4p1B1/ppP1P2Q/1P2RNNP/P1B2PP1/3R2K1 w - -",
    "2rr3k/2qnbppp/p1n1p3/1p1pP3/3P1N2/1Q1BBP2/PP3P1P/1KR3R1 w - -",
    "3q1r1k/1b3ppp/p1n5/1p1pPB2/2rP4/P6N/1P2Q1PP/R4RK1 w - -",
    "r1b1k2r/1p1pppb1/p5pp/3P4/q2p1B2/3P1Q2/PPP2PPP/R3R1K1 w kq -",
    "R4bk1/2Bbp2p/2p2pp1/1rPp4/3P4/4P2P/4BPPK/1q1Q4 w - -",
    "r2q1rk1/5ppp/3b4/1nnP2P1/1Q3BbP/Pp4N1/1P4B1/1KN2R1R b - -",
    "r7/5pk1/5p2/2p5/pp6/1P1B1KPN/P6P/8 b - -",
    "r2q3r/1p1bbQ2/4p1Bk/3pP3/1n1P1P1p/pP6/Pn4PP/R1B1R1K1 w - -",
};

double elo_of_node_rate(double rate) { return rate > 21 ? 111 * std::log(rate - 20) + 1337 : 1337; }

double node_rate_of_elo(double elo) { return std::exp((elo - 1337) / 111) + 20; }

double strength_for_rate(double rate) { return std::max(1500.0, elo_of_node_rate(rate)); }

void run_benchmark(int count, bool single_thread, bool (*poll)())
{
    search_state.move_time = 99;
    engine_config.output_delay = OUTPUT_DELAY_QUIET;
    if (search_state.depth_limit > 40) search_state.depth_limit = 17;
    send_format("%s running benchmark using %d threads", ENGINE_NAME, search_state.thread_count);
    double total_nodes = 0, total_time = 0.01;
    for (int i = 0; i < count && !engine_config.quit; i++) {
        set_position_from_fen(game_record->pos, bench_positions[i]);
        clear_hash_table();
        start_search_clock();
        if (single_thread) {
            search_state.depth_limit = 17;
            run_single_thread_search();
        } else {
            wake_search_threads();
            serve_input_until_search_ends(poll);
        }
        update_elapsed_time();
        sum_thread_counters();
        total_nodes += double(search_state.summed_counters[SUM_NODES]);
        total_time += search_state.elapsed_time;
        send_format("pos %2d: %6.2f seconds", i, search_state.elapsed_time.load());
    }
    send_format("total time= %0.2f seconds, nodes= %.0f, nps= %.0f", total_time, total_nodes,
                total_nodes / total_time);
    engine_config.quit = 1;
}

void speed_test_walk(ThreadData& td, int colour, int ply, int depth)
{
    if (ply == 1) {
        td.current_depth = u8(depth);
        for (PlyRecord& p : td.ply) {
            p.hash_move = 0;
            p.killer[0] = p.killer[1] = p.killer[2] = 0;
            p.evasion_move = 0;
        }
        for (auto& row : td.history)
            for (i16& h : row) h = 2048;
        std::memset(td.countermove, 0, sizeof td.countermove);
        std::memset(td.countermove2, 0, sizeof td.countermove2);
        std::memset(td.followup, 0, sizeof td.followup);
    }
    td.counters[CNT_NODES]++;
    PlyRecord& node = td.ply[ply];
    node.node_type = NODE_PV;
    node.alpha = -MATE;
    node.beta = MATE;
    node.extension = node.reduction = node.internal_deepening = node.singular = 0;
    node.moves_tried = 0;
    node.hash_move = 0;
    node.tb_result = TB_CODE_NONE;
    if (ply + 2 < MAX_PLY) {
        PlyRecord& later = td.ply[ply + 2];
        later.killer[0] = later.killer[1] = later.killer[2] = 0;
    }

    Position& pos = td.pos;
    int in_check = is_square_attacked_by(pos, king_square(pos, colour), colour ^ 1);
    evaluate_position(&td, colour, ply, in_check);
    if (depth <= 0) return;
    node.hash_move = 0;
    node.moves_tried = 0;
    node.stage = PICK_HASH_MOVE;
    for (;;) {
        MoveEntry* entry = pick_next_move(pos, in_check);
        if (!entry) break;
        Move move = entry->move;
        if (!king_safe_after_nonzero_move(pos, colour, move)) continue;
        if (node.moves_tried++ >= 6) continue;
        play_move(pos, move);
        speed_test_walk(td, colour ^ 1, ply + 1, depth - 1);
        take_back_move(pos);
        if (depth > 3) {
            update_elapsed_time();
            if (search_state.elapsed_time > 0.4) return;
        }
    }
}

void run_speed_test()
{
    search_state.elapsed_time = 0.0;
    search_start_time = monotonic_seconds();
    prepare_thread_for_search(0);
    ThreadData& td = *thread_table[0];
    speed_test_walk(td, WHITE, 1, 8);
    update_elapsed_time();
    double nodes = double(td.counters[CNT_NODES]);
    double elapsed = search_state.elapsed_time;
    search_state.calibration_rate = nodes * 0.51 / (elapsed + 0.001);
    search_state.strength_ceiling = strength_for_rate(search_state.calibration_rate);
    send_format("info string et= %.3f, nodes= %.0f, nps= %0.0f", elapsed, nodes, search_state.calibration_rate);
}
