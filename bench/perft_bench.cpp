// perft_bench "FEN" DEPTH: counts the legal move sequences of DEPTH plies from
// the position and prints the count and, on its last line, "nodes N nps M".
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "bitboard.h"
#include "fen.h"
#include "records.h"
#include "tools/perft.h"
#include "zobrist.h"

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: perft_bench \"FEN\" DEPTH\n");
        return 2;
    }
    int depth = std::atoi(argv[2]);
    if (depth < 1 || depth > 20) {
        std::fprintf(stderr, "depth must be 1 to 20\n");
        return 2;
    }
    init_board_tables();
    generate_zobrist_keys();
    ThreadData* td = allocate_thread_data();
    if (!td) return 1;
    reset_thread_links(td);
    const char* reason = "";
    if (!set_position_from_fen(td->pos, argv[1], &reason)) {
        std::fprintf(stderr, "bad FEN: %s\n", reason);
        return 2;
    }
    td->search_ply = 1;
    td->counters[CNT_NODES] = 0;

    auto start = std::chrono::steady_clock::now();
    perft_count(td, td->pos.side, 1, depth);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    u64 nodes = td->counters[CNT_NODES];
    std::printf("perft %d = %llu (%.3f s)\n", depth, (unsigned long long)nodes, seconds);
    std::printf("nodes %llu nps %.0f\n", (unsigned long long)nodes, nodes / (seconds > 0 ? seconds : 1e-9));
    return 0;
}
