#include "ordering.h"

#include "movegen.h"
#include "records.h"
#include "see.h"

namespace {

// The list starts of the next two plies lie behind the end mark, so a ply
// that makes a null move and generates nothing still leaves a valid start.
inline void set_next_list_starts(ThreadData* td, int ply, MoveEntry* next)
{
    if (ply + 1 < MAX_PLY) td->ply[ply + 1].list_start = next;
    if (ply + 2 < MAX_PLY) td->ply[ply + 2].list_start = next + 1;
}

inline MoveEntry* find_end_mark(MoveEntry* e)
{
    while (e->move != MOVE_LIST_END) e++;
    return e;
}

// The earliest of the highest scores offered. Written as selections rather
// than a branch: which entry wins is data the processor cannot predict.
struct BestEntry {
    MoveEntry* entry;
    int score;
    void offer(MoveEntry* e, int s)
    {
        entry = s > score ? e : entry;
        score = s > score ? s : score;
    }
};

// The highest score from `current` up to the first entry where `at_end`
// holds (the earliest of equal scores).
template <typename AtEnd>
inline MoveEntry* find_best(MoveEntry* current, AtEnd at_end)
{
    BestEntry best{current, current->score};
    for (MoveEntry* e = current + 1; !at_end(e); e++) best.offer(e, e->score);
    return best.entry;
}

// The same up to the end mark.
inline MoveEntry* find_best(MoveEntry* current)
{
    return find_best(current, [](const MoveEntry* e) { return e->move == MOVE_LIST_END; });
}

inline void swap_into(MoveEntry* current, MoveEntry* best)
{
    if (best != current) {
        MoveEntry t = *best;
        *best = *current;
        *current = t;
    }
}

// The highest score from `current` to the end mark (the earliest of equal
// scores) is swapped into `current`.
inline void select_best(MoveEntry* current)
{
    swap_into(current, find_best(current));
}

// A capture whose exchange is still to be tested carries this bit in its
// piece code and its victim/attacker score, which only the test can lower
// (to 4..10). The test runs when the capture would be handed out, so a
// cut-off spares the tests of the captures behind it; each selection then
// sees the same scores as if every capture had been tested up front. Every
// entry carrying the bit scores above 150, so none is left when the
// captures stage ends, and none is ever handed out.
constexpr u8 EXCHANGE_UNTESTED = 0x80;

void score_captures(Position& pos, MoveEntry* first, MoveEntry* end)
{
    int side = pos.side;
    u64 occ = occupancy(pos);
    for (MoveEntry* e = first; e != end; e++) {
        int mover_type = piece_type_of(e->piece);
        int victim_type = piece_type_of(e->captured);
        // Losing captures go behind the quiet moves that score above them; a
        // queen promotion by push onto a square the opponent holds too (the
        // exchange counts the pawn).
        const bool test = coarse_piece_value[mover_type] > coarse_piece_value[victim_type];
        if (e->move & (PROMO_KNIGHT | PROMO_BISHOP | PROMO_ROOK)) {
            const bool losing =
                test && !exchange_value_at_least(pos, side, move_from(e->move), move_to(e->move), occ,
                                                 EXCHANGE_THRESHOLD);
            e->score = losing ? i16(victim_type + 4) : ORDER_UNDER_PROMOTION;
        } else {
            e->score = capture_order_score(*e);
            if (test) e->piece |= EXCHANGE_UNTESTED;
        }
    }
}

// The best capture from `current` on by the scores of the tested exchanges,
// swapped into `current`. A capture that passes its test keeps its score and
// so stays the best; one that fails is demoted and the selection runs again.
inline void select_best_capture(Position& pos, MoveEntry* current)
{
    for (;;) {
        MoveEntry* best = find_best(current);
        if (best->piece & EXCHANGE_UNTESTED) {
            best->piece &= u8(~EXCHANGE_UNTESTED);
            if (!exchange_value_at_least(pos, pos.side, move_from(best->move), move_to(best->move), occupancy(pos),
                                         EXCHANGE_THRESHOLD)) {
                best->score = i16(piece_type_of(best->captured) + 4);
                continue;
            }
        }
        swap_into(current, best);
        return;
    }
}

// Countermoves answer the last move made (indexed by the piece now on its
// destination); there are none after a null move.
inline void countermoves_of(const ThreadData* td, const Position& pos, Move& counter, Move& counter2)
{
    counter = counter2 = NULL_MOVE;
    if (td->last_move == NULL_MOVE) return;
    int to = move_to(td->last_move);
    int index = pos.board[to] * 64 + to;
    counter = td->countermove[index];
    counter2 = td->countermove2[index];
}

// Writes the quiet moves' order scores and returns the earliest of the
// highest, or `end` when there are none: the first selection needs no pass
// of its own over them.
MoveEntry* score_quiets(Position& pos, MoveEntry* first, MoveEntry* end, int in_check)
{
    ThreadData* td = pos.owner;
    int ply = td->search_ply;
    const PlyRecord& pr = td->ply[ply];
    Move counter, counter2;
    countermoves_of(td, pos, counter, counter2);

    BestEntry best{end, INT32_MIN};
    // Most moves are none of the special ones; their destinations sort them
    // out with one test.
    if (in_check) {
        // Every other move scores 0, the lowest score here: the first entry
        // is the best unless a special one scores higher.
        if (first == end) return end;
        best = {first, 0};
        const u64 special_to =
            square_bit(move_to(pr.evasion_move)) | square_bit(move_to(counter)) | square_bit(move_to(counter2));
        for (MoveEntry* e = first; e != end; e++) {
            Move m = e->move;
            e->score = 0;
            if (special_to & square_bit(move_to(m))) {
                const int score = m == pr.evasion_move ? 90 : m == counter ? 70 : m == counter2 ? 60 : 0;
                e->score = i16(score);
                best.offer(e, score);
            }
        }
        return best.entry;
    }

    // The follow-up answers this side's own previous move (two plies up).
    Move followup = NULL_MOVE;
    if (ply > 2) {
        const MoveEntry* previous = td->ply[ply - 2].current;
        if (previous && previous->move != NULL_MOVE)
            followup = td->followup[(previous->piece & 15) * 64 + move_to(previous->move)];
    }
    const u64 special_to = square_bit(move_to(pr.killer[0])) | square_bit(move_to(pr.killer[1])) |
                           square_bit(move_to(pr.killer[2])) | square_bit(move_to(counter)) |
                           square_bit(move_to(counter2)) | square_bit(move_to(followup));
    for (MoveEntry* e = first; e != end; e++) {
        Move m = e->move;
        int h = td->history[e->piece][move_to(m)] / 128;
        int bonus = 0;
        if (special_to & square_bit(move_to(m)))
            bonus = m == pr.killer[0]   ? 50
                    : m == pr.killer[1] ? 48
                    : m == pr.killer[2] ? 46
                    : m == counter      ? 44
                    : m == counter2     ? 42
                    : m == followup     ? 32
                                        : 0;
        e->score = i16(h + bonus);
        best.offer(e, h + bonus);
    }
    return best.entry;
}

} // namespace

void score_move_list(Position& pos, MoveEntry* list)
{
    ThreadData* td = pos.owner;
    const PlyRecord& pr = td->ply[td->search_ply];
    Move counter, counter2;
    countermoves_of(td, pos, counter, counter2);
    for (MoveEntry* e = list; e->move != MOVE_LIST_END; e++) {
        Move m = e->move;
        if (m == pr.hash_move) {
            e->score = ORDER_HASH_MOVE;
        } else if (e->captured != 0 || (m & PROMO_QUEEN)) {
            e->score = capture_order_score(*e);
        } else {
            int score = td->history[e->piece][move_to(m)] / 128;
            if (m == pr.killer[0] || m == pr.killer[1] || m == pr.killer[2] || m == counter ||
                m == counter2)
                score += 40;
            e->score = i16(score);
        }
    }
}

namespace {

// The selected entry of the selection stage; the rest go in list order once
// the selection reaches weak scores or 16 moves have been tried.
inline MoveEntry* hand_out_selected(PlyRecord& pr, MoveEntry* current)
{
    if (current->score < 4 || pr.moves_tried >= 16) pr.stage = PICK_LIST_ORDER;
    return current;
}

// Swaps `best`, the selection from `current` on, into `current` and notes
// its score and place for the next selection.
inline void take_selected(PlyRecord& pr, MoveEntry* current, MoveEntry* best)
{
    pr.selected_score = best->score;
    pr.selected_place = u16(best - pr.list_start);
    swap_into(current, best);
}

// The stages that generate and score, apart from the ones that only hand
// out the next entry: most calls take the short path in pick_next_move and
// do not pay for this one's register saves.
[[gnu::noinline]] MoveEntry* pick_from_stage(Position& pos, int in_check)
{
    ThreadData* td = pos.owner;
    int ply = td->search_ply;
    PlyRecord& pr = td->ply[ply];
    int side = pos.side;

    // Stages 0 and 100 place the pointer themselves.
    if (pr.stage != PICK_HASH_MOVE && pr.stage != PICK_GEN_ALL) pr.current++;

    switch (pr.stage) {
    case PICK_HASH_MOVE: {
        pr.stage = PICK_GEN_CAPTURES;
        pr.current = pr.list_start;
        if (pr.hash_move != NULL_MOVE) {
            MoveEntry* e = pr.list_start;
            e->move = pr.hash_move;
            e->piece = pos.board[move_from(pr.hash_move)];
            e->captured = pos.board[move_to(pr.hash_move)];
            e->score = ORDER_HASH_MOVE;
            e[1].move = MOVE_LIST_END;
            set_next_list_starts(td, ply, e + 2);
            return e;
        }
        [[fallthrough]];
    }
    case PICK_GEN_CAPTURES: {
        MoveEntry* end = generate_captures(pos, side, pr.current);
        end = generate_promotions(pos, side, 1, end);
        end->move = MOVE_LIST_END;
        set_next_list_starts(td, ply, end + 1);
        pr.stage = PICK_CAPTURES;
        if (end == pr.current) goto generate_quiets;
        score_captures(pos, pr.current, end);
        [[fallthrough]];
    }
    case PICK_CAPTURES:
        if (pr.current->move == MOVE_LIST_END) goto generate_quiets;
        select_best_capture(pos, pr.current);
        if (pr.current->score > ORDER_GOOD_CAPTURE_ABOVE) return pr.current;
        // The weak capture stays at the current entry and competes with the
        // quiet moves.
        [[fallthrough]];
    case PICK_GEN_QUIETS:
    generate_quiets: {
        MoveEntry* first = find_end_mark(pr.current);
        MoveEntry* end = generate_quiet_moves(pos, side, first);
        end->move = MOVE_LIST_END;
        set_next_list_starts(td, ply, end + 1);
        MoveEntry* best = score_quiets(pos, first, end, in_check);
        pr.stage = PICK_SELECT;
        if (pr.current->move == MOVE_LIST_END) return nullptr;
        // The first selection: only the weak captures before the quiet moves
        // are compared with the best of these.
        if (pr.current != first) {
            MoveEntry* capture = find_best(pr.current, [first](const MoveEntry* e) { return e == first; });
            if (best == end || capture->score >= best->score) best = capture;
        }
        take_selected(pr, pr.current, best);
        return hand_out_selected(pr, pr.current);
    }
    case PICK_GEN_ALL:
        generate_all_moves(pos);
        score_move_list(pos, pr.list_start);
        pr.current = pr.list_start;
        pr.stage = PICK_SELECT_ALL;
        [[fallthrough]];
    case PICK_SELECT_ALL:
        if (pr.current->move == MOVE_LIST_END) return nullptr;
        if (pr.moves_tried <= 15) select_best(pr.current);
        return pr.current;
    default:
        return nullptr;
    }
}

} // namespace

MoveEntry* pick_next_move(Position& pos, int in_check)
{
    PlyRecord& pr = pos.owner->ply[pos.owner->search_ply];
    switch (pr.stage) {
    case PICK_SELECT: {
        MoveEntry* current = ++pr.current;
        if (current->move == MOVE_LIST_END) return nullptr;
        // The last selection was the earliest of the highest scores, and the
        // entry it displaced scores lower: the next entry behind its place
        // with the same score, if any, is the earliest highest now.
        MoveEntry* best = pr.list_start + pr.selected_place + 1;
        while (best->move != MOVE_LIST_END && best->score != pr.selected_score) best++;
        if (best->move == MOVE_LIST_END) best = find_best(current);
        take_selected(pr, current, best);
        return hand_out_selected(pr, current);
    }
    case PICK_LIST_ORDER:
        return next_in_list_order(pr);
    default:
        return pick_from_stage(pos, in_check);
    }
}
