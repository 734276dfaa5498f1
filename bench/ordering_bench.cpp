// Speed of the move-ordering machinery: a tree walk that takes every move
// from the staged picker (legality tested per move, as the move loop does),
// the exchange evaluation over all captures of a position set, and
// transposition-table stores and probes on a 64 MB table.
//
// Usage: ordering_bench [walk depth]   (default 5)
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "bitboard.h"
#include "fen.h"
#include "makemove.h"
#include "movegen.h"
#include "ordering.h"
#include "records.h"
#include "see.h"
#include "tt.h"
#include "zobrist.h"

namespace {

using bench_clock = std::chrono::steady_clock;

double seconds_since(bench_clock::time_point t0)
{
    return std::chrono::duration<double>(bench_clock::now() - t0).count();
}

u64 walk(Position& pos, int depth)
{
    ThreadData* td = pos.owner;
    PlyRecord& pr = td->ply[td->search_ply];
    int side = pos.side;
    int in_check = is_square_attacked_by(pos, king_square(pos, side), side ^ 1);
    pr.stage = PICK_HASH_MOVE;
    pr.moves_tried = 0;
    u64 nodes = 0;
    while (MoveEntry* e = pick_next_move(pos, in_check)) {
        if (!king_safe_after_move(pos, side, e->move)) continue;
        pr.moves_tried++;
        if (depth == 1) {
            nodes++;
            continue;
        }
        play_move(pos, e->move);
        nodes += walk(pos, depth - 1);
        take_back_move(pos);
    }
    return nodes;
}

const char* const positions[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
    "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP1BBPPP/R2QK2R w KQ -",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - -",
};

} // namespace

int main(int argc, char** argv)
{
    int depth = argc > 1 ? std::atoi(argv[1]) : 5;
    if (depth < 2 || depth > 7) depth = 5;
    init_board_tables();
    generate_zobrist_keys();
    ThreadData* td = allocate_thread_data();
    if (!td) return 1;
    reset_thread_links(td);

    // Picker walk.
    for (int i = 0; i < 2; i++) {
        set_position_from_fen(td->pos, positions[i]);
        td->search_ply = 1;
        reset_thread_links(td);
        auto t0 = bench_clock::now();
        u64 nodes = walk(td->pos, depth - i);
        double s = seconds_since(t0);
        std::printf("picker walk depth %d: %llu leaves, %.3f s, %.1f M leaves/s  (%s)\n", depth - i,
                    (unsigned long long)nodes, s, nodes / s * 1e-6, positions[i]);
    }

    // Exchange evaluation of every capture, repeated (each call restores the board).
    {
        static Position set[4];
        MoveEntry lists[4][256];
        MoveEntry* ends[4];
        for (int i = 0; i < 4; i++) {
            set_position_from_fen(td->pos, positions[i]);
            set[i] = td->pos;
            ends[i] = generate_captures(set[i], set[i].side, lists[i]);
        }
        u64 calls = 0;
        long sum = 0;
        auto t0 = bench_clock::now();
        for (int rep = 0; rep < 500000; rep++) {
            Position& pos = set[rep & 3];
            for (MoveEntry* e = lists[rep & 3]; e != ends[rep & 3]; e++) {
                sum += exchange_value_on_square(pos, pos.side, move_from(e->move), move_to(e->move));
                sum += exchange_meets_threshold(pos, e->move);
                calls += 2;
            }
        }
        double s = seconds_since(t0);
        std::printf("exchange: %llu calls, %.3f s, %.1f M calls/s (checksum %ld)\n", (unsigned long long)calls, s,
                    calls / s * 1e-6, sum);
    }

    // Table stores and probes at random keys.
    {
        search_state.hash_size = 64;
        search_state.use_table = TABLE_ON;
        if (setup_hash_table() != 0) return 1;
        search_state.hash_age = 1;
        Position pos{};
        pos.ep_square = NO_SQUARE;
        u64 x = 88172645463325252ULL;
        const int n = 20000000;
        auto t0 = bench_clock::now();
        int hits = 0;
        // Each key is stored, then probed again 1024 operations later.
        static u64 recent[1024];
        for (int i = 0; i < n; i++) {
            if (i & 1) {
                x ^= x << 13;
                x ^= x >> 7;
                x ^= x << 17;
                pos.key = x;
                pos.side = u8(x >> 63);
                store_hash_entry(pos, 3, int(x & 15), int(x % 200) - 100, 0, -50, 50);
                recent[(i >> 1) & 1023] = x;
            } else {
                pos.key = recent[(i >> 1) & 1023];
                pos.side = u8(pos.key >> 63);
                TTEntry e;
                probe_hash_table(pos, e);
                hits += e.depth >= TT_MISS_BELOW;
            }
        }
        double s = seconds_since(t0);
        std::printf("table: %d stores/probes, %.3f s, %.1f M ops/s (%d hits)\n", n, s, n / s * 1e-6, hits);
        free_hash_table();
    }
    delete td;
    return 0;
}
