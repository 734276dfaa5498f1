// Evaluation benchmark: evaluations per second over a fixed position set with
// the evaluation cache and the pawn hash out of play (no search running, so
// every call evaluates from scratch), and the build time of the
// king-and-pawn bitbase.
//
// Usage: eval_bench [seconds]   (default 3)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "../tests/eval_positions.h"
#include "bitbase.h"
#include "bitboard.h"
#include "eval.h"
#include "fen.h"
#include "params.h"
#include "records.h"
#include "zobrist.h"

int main(int argc, char** argv)
{
    using clock = std::chrono::steady_clock;
    double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
    if (seconds <= 0) seconds = 3.0;

    init_board_tables();
    generate_zobrist_keys();
    auto t0 = clock::now();
    int passes = build_kpk_bitbase();
    double build_ms = std::chrono::duration<double, std::milli>(clock::now() - t0).count();
    std::printf("bitbase: %d retrograde passes, %.1f ms\n", passes, build_ms);

    write_default_params(params);
    engine_config.builtin_pst = 1;
    init_evaluation_tables();
    ThreadData* td = allocate_thread_data();
    if (!td) return 1;
    reset_thread_links(td);
    td->eval_tables = eval_tables;
    td->index = 1;          // no trace
    td->current_depth = 0;  // no search running: caches are not read

    // Positions that reach the full evaluation (not in check, no bare king).
    std::vector<Position> set;
    for (const std::string& fen : eval_positions::curated()) {
        if (!set_position_from_fen(td->pos, fen.c_str())) continue;
        const Position& pos = td->pos;
        if (!pos.material_key[0] || !pos.material_key[1]) continue;
        if (is_square_attacked_by(pos, king_square(pos, pos.side), pos.side ^ 1)) continue;
        set.push_back(pos);
    }
    std::printf("positions: %zu\n", set.size());

    long long evaluations = 0, checksum = 0;
    auto start = clock::now();
    double elapsed = 0;
    while (elapsed < seconds) {
        for (const Position& p : set) {
            td->pos = p;
            td->pos.owner = td;
            td->ply[2].threat[0] = td->ply[2].threat[1] = 0;
            checksum += evaluate_position(td, p.side, 2, 0);
        }
        evaluations += (long long)set.size();
        elapsed = std::chrono::duration<double>(clock::now() - start).count();
    }
    std::printf("evaluations: %lld in %.2f s, %.0f evaluations/s (checksum %lld)\n", evaluations, elapsed,
                evaluations / elapsed, checksum / (evaluations / (long long)set.size()));
    delete td;
    return 0;
}
