// Search benchmark: a single-thread fixed-depth search of a few positions
// from a fresh state, reporting nodes, time and nodes per second; then the
// same positions at a smaller depth with pruning and reductions off, for
// the node ratio; then the mate suite with and without pruning.
//
// Usage: search_bench [depth [depth without pruning]]   (defaults 11 and 7)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "../tests/search_harness.h"
#include "movetext.h"

using namespace search_harness;

namespace {

const char* const positions[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP3PPP/R2QKB1R w KQ - 0 1",
    "r2q1rk1/pp1bbppp/2n1pn2/3p4/3P4/2NBPN2/PP3PPP/R1BQ1RK1 w - - 0 1",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "6k1/5pp1/p3p2p/3bP3/1p1B4/1P3P2/P5PP/6K1 w - - 0 1",
};

struct Totals {
    unsigned long long nodes = 0;
    double seconds = 0;
};

Totals run_set(ThreadData* td, int depth, bool verbose)
{
    Totals t;
    char text[MOVE_TEXT_SIZE];
    for (const char* fen : positions) {
        auto start = std::chrono::steady_clock::now();
        RootResult r = fresh_search(td, fen, depth);
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        t.nodes += r.nodes;
        t.seconds += s;
        if (verbose) {
            write_move_text(r.move, text);
            std::printf("  %-6s %6d %12llu nodes %8.3f s  %s\n", text, r.score, (unsigned long long)r.nodes, s, fen);
        }
    }
    return t;
}

} // namespace

int main(int argc, char** argv)
{
    const int depth = argc > 1 ? std::atoi(argv[1]) : 11;
    const int plain_depth = argc > 2 ? std::atoi(argv[2]) : 7;
    init_engine_once();
    ThreadData* td = allocate_thread_data();
    if (!td) return 1;

    std::printf("full search, depth %d:\n", depth);
    search_selective = true;
    Totals full = run_set(td, depth, true);
    std::printf("total %llu nodes in %.3f s, %.0f nodes per second\n\n", full.nodes, full.seconds,
                full.nodes / (full.seconds > 0 ? full.seconds : 1e-9));

    std::printf("depth %d with and without pruning and reductions:\n", plain_depth);
    Totals with = run_set(td, plain_depth, false);
    search_selective = false;
    Totals without = run_set(td, plain_depth, true);
    search_selective = true;
    std::printf("with %llu nodes, without %llu nodes: ratio %.1f (%.0f nodes per second without)\n\n", with.nodes,
                without.nodes, double(without.nodes) / double(with.nodes ? with.nodes : 1),
                without.nodes / (without.seconds > 0 ? without.seconds : 1e-9));

    // The mate positions of the test data in the repository.
    std::string suite = __FILE__;
    suite = suite.substr(0, suite.find_last_of('/') + 1) + "../tests/data/mates.epd";
    std::ifstream in(suite);
    if (!in) std::fprintf(stderr, "cannot open %s\n", suite.c_str());
    std::string line;
    int same = 0, total = 0;
    while (std::getline(in, line)) {
        size_t bm = line.find(" bm "), dm = line.find("dm ");
        if (bm == std::string::npos || dm == std::string::npos) continue;
        std::string fen = line.substr(0, bm);
        int moves = std::atoi(line.c_str() + dm + 3);
        search_selective = true;
        RootResult a = fresh_search(td, fen.c_str(), 2 * moves);
        search_selective = false;
        RootResult b = fresh_search(td, fen.c_str(), 2 * moves);
        search_selective = true;
        total++;
        if (a.score == b.score && a.move == b.move && a.score == 10000 - 2 * moves) same++;
        std::printf("  mate in %d: %d / %d, nodes %llu / %llu\n", moves, a.score, b.score,
                    (unsigned long long)a.nodes, (unsigned long long)b.nodes);
    }
    std::printf("mates: %d of %d found alike with and without pruning\n", same, total);
    delete td;
    free_hash_table();
    return 0;
}
