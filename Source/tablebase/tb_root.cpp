#include "tb_root.h"

#include <algorithm>

#include "tb_position.h"
#include "tb_probe.h"
#include "tb_registry.h"

static_assert(ROOT_MOVE_CODES_SIZE >= TB_MOVE_LIST_SIZE, "every legal root move has a code");

namespace {

constexpr i16 RATING_ILLEGAL = 32767;

Move engine_move(ProbeMove m)
{
    static const Move promotion_flag[5] = {0, PROMO_QUEEN, PROMO_ROOK, PROMO_BISHOP, PROMO_KNIGHT};
    const int promotion = probe_move_promotion(m);
    return Move((probe_move_from(m) << 8) | probe_move_to(m) | (promotion <= 4 ? promotion_flag[promotion] : 0));
}

bool has_legal_move(const TbPosition& pos)
{
    ProbeMove list[TB_MOVE_LIST_SIZE];
    ProbeMove* end = probe_board_generate_moves(pos, list);
    for (ProbeMove* m = list; m < end; m++) {
        TbPosition child;
        if (probe_board_apply_move(child, pos, *m)) return true;
    }
    return false;
}

// The code of a signed distance to the next zeroing move (positive: a win)
// from a root with half-move clock h. A table's distance may be one ply
// short of the real one, never long: a win (or loss) is certain when it
// comes before the fifty-move mark with a ply to spare, and spoilt when it
// comes after it. Exactly at the mark the tables cannot tell, nor past it,
// where only a mate on the board still wins: the search decides there (as
// the driver does with a win/draw/loss result alone past the mark).
int distance_code(int distance, int h)
{
    if (distance == 0) return TB_CODE_DRAW;
    const int reach = h + (distance > 0 ? distance : -distance);
    if (reach == FIFTY_MOVE_PLIES || h >= FIFTY_MOVE_PLIES) return TB_CODE_UNSURE;
    if (distance > 0) return reach < FIFTY_MOVE_PLIES ? TB_CODE_WIN : TB_CODE_CURSED_WIN;
    return reach < FIFTY_MOVE_PLIES ? TB_CODE_LOSS : TB_CODE_BLESSED_LOSS;
}

// The code of a move rated `rating` from a root with half-move clock h:
// the root's code itself for a move as good as the chosen one, otherwise
// never better than the root's. A move the tables cannot tell, or any move
// of a root they cannot tell, keeps its own code.
int move_code(int rating, int chosen_rating, int h, int root_code)
{
    if (rating == chosen_rating) return root_code;
    const int code = distance_code(rating, h);
    if (code == TB_CODE_UNSURE || root_code == TB_CODE_UNSURE) return code;
    return std::min(code, root_code);
}

i32 choose_root_move(const TbPosition& root, u32* wdl_code, u32* dtz_out, Move* move_out, RootMoveCodes* codes)
{
    int ok;
    const int d = dtz_probe_position(root, &ok);
    if (!ok) return TB_CODE_NONE;

    ProbeMove moves[TB_MOVE_LIST_SIZE];
    const int count = int(probe_board_generate_moves(root, moves) - moves);
    if (count == 0) return TB_CODE_NONE;
    i16 rating[TB_MOVE_LIST_SIZE];
    int draw_count = 0;
    for (int i = 0; i < count; i++) {
        TbPosition child;
        if (!probe_board_apply_move(child, root, moves[i])) {
            rating[i] = RATING_ILLEGAL;
            continue;
        }
        if (d > 0 && tb_side_to_move_in_check(child) && !has_legal_move(child)) {
            rating[i] = 1;  // mate
            continue;
        }
        int r;
        if (child.halfmove_clock == 0) {
            const int w = wdl_probe_position(child, &ok);
            if (!ok) return TB_CODE_NONE;
            r = dtz_of_wdl[2 - w];
        } else {
            const int c = dtz_probe_position(child, &ok);
            if (!ok) return TB_CODE_NONE;
            r = c < 0 ? 1 - c : c > 0 ? -c - 1 : 0;
        }
        if (r == 0) draw_count++;
        rating[i] = i16(r);
    }

    int chosen = -1;
    if (d > 0) {
        for (int i = 0; i < count; i++)
            if (rating[i] >= 1 && rating[i] != RATING_ILLEGAL && (chosen < 0 || rating[i] < rating[chosen]))
                chosen = i;
    } else if (d < 0) {
        for (int i = 0; i < count; i++)
            if (rating[i] < 0 && (chosen < 0 || rating[i] < rating[chosen])) chosen = i;
    } else {
        if (draw_count == 0) return TB_CODE_NONE;
        u64 skip = material_signature_key(root, root.white_to_move ? 0 : 1) % u64(draw_count);
        for (int i = 0; i < count && chosen < 0; i++) {
            if (rating[i] != 0) continue;
            if (skip == 0)
                chosen = i;
            else
                skip--;
        }
    }
    if (chosen < 0) return TB_CODE_NONE;

    const int h = root.halfmove_clock;
    const u32 code = u32(distance_code(d, h));
    *wdl_code = code;
    *dtz_out = u32(d < 0 ? -d : d);
    *move_out = engine_move(moves[chosen]);
    if (codes) {
        codes->count = 0;
        for (int i = 0; i < count; i++) {
            if (rating[i] == RATING_ILLEGAL) continue;
            codes->move[codes->count] = engine_move(moves[i]);
            codes->code[codes->count] = i8(move_code(rating[i], rating[chosen], h, int(code)));
            codes->count++;
        }
    }
    return i32(code);
}

} // namespace

i32 probe_root_moves_dtz(const Position& pos, u32* wdl_code, u32* dtz, Move* move, RootMoveCodes* codes)
{
    if (!tb_root_position_is_valid(pos)) return TB_CODE_NONE;
    const TbPosition root = tb_position_from_engine(pos, pos.halfmove_clock);
    if (!tb_enter_prober()) return TB_CODE_NONE;
    const i32 r = choose_root_move(root, wdl_code, dtz, move, codes);
    tb_leave_prober();
    return r;
}

bool probe_root_move_wdl_codes(const Position& pos, int root_code, RootMoveCodes* codes)
{
    if (!tb_root_position_is_valid(pos)) return false;
    // The search's probes see a clock of 0, and so do these.
    const TbPosition root = tb_position_from_engine(pos, 0);
    if (!tb_enter_prober()) return false;
    ProbeMove moves[TB_MOVE_LIST_SIZE];
    const int count = int(probe_board_generate_moves(root, moves) - moves);
    int found = 0;
    bool ok = true;
    for (int i = 0; i < count && ok; i++) {
        TbPosition child;
        if (!probe_board_apply_move(child, root, moves[i])) continue;
        int success;
        const int w = wdl_probe_position(child, &success);
        ok = success != 0;
        const int code = TB_CODE_DRAW - w;
        codes->move[found] = engine_move(moves[i]);
        codes->code[found] = i8(std::min(code, root_code));
        found++;
    }
    tb_leave_prober();
    if (ok) codes->count = found;
    return ok;
}
