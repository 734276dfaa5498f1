// Evaluation digest: a checksum of the static evaluation (score, threat
// words, drawn flag, and the trace breakdown of every 128th evaluation) and
// of the per-move helpers of the search (legality, check kind, move class,
// exchange values) over the curated position set and the positions of
// seeded random games played from it. Two builds that print the same digests
// compute alike, so a speed change is checked by running this before and
// after it.
//
// Usage: eval_digest [games per start position]   (default 200)
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "../tests/eval_positions.h"
#include "bitbase.h"
#include "bitboard.h"
#include "eval.h"
#include "fen.h"
#include "makemove.h"
#include "movegen.h"
#include "params.h"
#include "records.h"
#include "see.h"
#include "zobrist.h"

namespace {

u64 digest = 1469598103934665603ULL;
u64 move_digest = 1469598103934665603ULL;
u64 evaluations = 0;
u64 moves_seen = 0;

void fold(u64 v, u64& d = digest)
{
    d ^= v;
    d *= 1099511628211ULL;
}

void fold_bytes(const void* data, size_t size)
{
    const unsigned char* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; i++) fold(p[i]);
}

u32 rng_state = 12345;
u32 next_random()
{
    rng_state = rng_state * 1664525u + 1013904223u;
    return rng_state >> 8;
}

// Evaluates the thread's position for both colours, the side to move with
// and without the trace.
void evaluate_here(ThreadData* td)
{
    Position& pos = td->pos;
    const int side = pos.side;
    if (is_square_attacked_by(pos, king_square(pos, side), side ^ 1)) return;
    for (int colour : {side, side ^ 1}) {
        PlyRecord& pr = td->ply[2];
        pr.threat[0] = pr.threat[1] = 0;
        pr.drawn = 0;
        const int v = evaluate_position(td, colour, 2, 0);
        fold(u64(u32(v)) | (u64(pr.threat[0]) << 32) | (u64(pr.threat[1]) << 48));
        fold(pr.drawn);
        evaluations++;
    }
    if ((evaluations & 127) == 0) {
        td->index = 0;
        PlyRecord& pr = td->ply[1];
        pr.threat[0] = pr.threat[1] = 0;
        pr.drawn = 0;
        const int v = evaluate_position(td, side, 1, 0);
        fold(u64(u32(v)));
        fold_bytes(&engine_config.eval_trace, sizeof engine_config.eval_trace);
        td->index = 1;
    }
}

// Legal moves of the side to move into `out`; returns the count. Folds the
// move helpers' answers for every pseudo-legal move into the move digest.
int legal_moves(ThreadData* td, Move* out)
{
    Position& pos = td->pos;
    const int side = pos.side;
    generate_all_moves(pos);
    const KingSafetyHint hint = king_safety_hint(pos, side);
    int n = 0;
    for (MoveEntry* e = td->ply[td->search_ply].list_start; e->move != MOVE_LIST_END; e++) {
        const Move m = e->move;
        const int legal = king_safe_after_move(pos, side, m);
        const int with_hint = king_safe_with_hint(pos, side, m, hint);
        const int check = check_kind_after_move(pos, side, *e);
        const int kind = classify_move(pos, side, *e);
        const int threshold = exchange_meets_threshold(pos, m);
        const int exchange = exchange_value_on_square(pos, side, move_from(m), move_to(m));
        const int reply = exchange_value_on_square(pos, side ^ 1, NO_SQUARE, move_to(m));
        fold(u64(m) | u64(legal) << 16 | u64(with_hint) << 17 | u64(check) << 18 | u64(kind) << 24 |
                 u64(threshold) << 32,
             move_digest);
        fold(u64(u32(exchange)) | u64(u32(reply)) << 32, move_digest);
        moves_seen++;
        if (legal) out[n++] = m;
    }
    return n;
}

}  // namespace

int main(int argc, char** argv)
{
    const int games = argc > 1 ? std::atoi(argv[1]) : 200;
    init_board_tables();
    generate_zobrist_keys();
    build_kpk_bitbase();
    write_default_params(params);
    engine_config.builtin_pst = 1;
    init_evaluation_tables();
    ThreadData* td = allocate_thread_data();
    if (!td) return 1;
    reset_thread_links(td);
    td->eval_tables = eval_tables;
    td->index = 1;          // no trace unless asked for
    td->current_depth = 0;  // no search running: caches are not read

    Move moves[256];
    for (const std::string& fen : eval_positions::curated()) {
        for (int g = 0; g < games; g++) {
            if (!set_position_from_fen(td->pos, fen.c_str())) break;
            td->pos.owner = td;
            td->undo_count = 0;
            td->search_ply = 1;
            // Short games keep to the position's character, long ones reach
            // endings and promotions.
            const int length = g % 4 == 0 ? 200 : 2 + int(next_random() % 16);
            for (int ply = 0; ply < length; ply++) {
                evaluate_here(td);
                const int n = legal_moves(td, moves);
                if (n == 0 || td->pos.halfmove_clock > 100) break;
                play_move(td->pos, moves[next_random() % n]);
                td->search_ply = 1;
                if (td->undo_count >= UNDO_STACK_SIZE - 1) break;
            }
        }
    }
    std::printf("evaluations %llu digest %016llx\n", (unsigned long long)evaluations, (unsigned long long)digest);
    std::printf("moves %llu digest %016llx\n", (unsigned long long)moves_seen, (unsigned long long)move_digest);
    delete td;
    return 0;
}
