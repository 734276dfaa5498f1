#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "bitboard.h"
#include "board_fixture.h"
#include "fen.h"
#include "makemove.h"
#include "movegen.h"
#include "ordering.h"
#include "records.h"
#include "see.h"
#include "zobrist.h"

namespace {

// Earlier plies hold a few entries; the list of ply 3 starts behind them.
struct PickerTest : PlyRecordTest<3, 10> {
    void setup(const char* fen)
    {
        PlyRecordTest::setup(fen);
        if (HasFatalFailure()) return;
        ply().stage = PICK_HASH_MOVE;
    }
    // Draws every move from the picker, counting each one as tried.
    std::vector<std::string> pick_all(int in_check = 0, std::vector<int>* scores = nullptr)
    {
        std::vector<std::string> out;
        while (MoveEntry* e = pick_next_move(*pos, in_check)) {
            out.push_back(text_of(e->move));
            if (scores) scores->push_back(e->score);
            ply().moves_tried++;
            if (out.size() > 300) break;
        }
        return out;
    }
    // The quiet moves in generation order.
    std::vector<std::string> quiet_order()
    {
        MoveEntry scratch[256];
        MoveEntry* end = generate_quiet_moves(*pos, pos->side, scratch);
        std::vector<std::string> out;
        for (MoveEntry* e = scratch; e != end; e++) out.push_back(text_of(e->move));
        return out;
    }
};

TEST_F(PickerTest, HashMoveFirstThenAgainAmongCaptures)
{
    setup("7k/8/8/3n4/8/8/8/3R3K w - -");
    ply().hash_move = move_of("d1d5");
    MoveEntry* e = pick_next_move(*pos, 0);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->move, move_of("d1d5"));
    EXPECT_EQ(e->score, ORDER_HASH_MOVE);
    EXPECT_EQ(e->piece, piece_code(ROOK, WHITE));
    EXPECT_EQ(e->captured, piece_code(KNIGHT, BLACK));
    EXPECT_EQ(e, ply().list_start);
    // The next plies' lists start behind the hash entry and its end mark.
    EXPECT_EQ(td->ply[kPly + 1].list_start, ply().list_start + 2);
    EXPECT_EQ(td->ply[kPly + 2].list_start, ply().list_start + 3);

    e = pick_next_move(*pos, 0);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->move, move_of("d1d5"));
    EXPECT_EQ(e->score, 220 - 4);
    EXPECT_EQ(ply().stage, PICK_CAPTURES);
}

TEST_F(PickerTest, NoMovesGivesNoneOnTheFirstCall)
{
    // Every white piece is walled in: no pseudo-legal move at all.
    setup("7k/8/8/8/p1p5/P1Pp4/PB1P4/KRB5 w - -");
    EXPECT_EQ(pick_next_move(*pos, 0), nullptr);
}

TEST_F(PickerTest, EmptyCaptureListGoesStraightToQuietMoves)
{
    setup("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w - -");
    std::vector<std::string> picked = pick_all();
    // All quiet moves score 0: handed out in generation order.
    EXPECT_EQ(picked, quiet_order());
    EXPECT_EQ(picked.size(), 20u);
    EXPECT_EQ(picked.front(), "a2a3");
    EXPECT_EQ(picked.back(), "g1h3");
}

TEST_F(PickerTest, LosingCaptureDemotedAmongQuietMoves)
{
    // Rook takes a pawn defended by a pawn: 1 + 4 = 5.
    setup("7k/8/4p3/3p4/8/8/8/3R3K w - -");
    td->history[piece_code(ROOK, WHITE)][square("c1")] = 6 * 128;  // scores 6
    td->history[piece_code(ROOK, WHITE)][square("d2")] = 5 * 128;  // scores 5
    std::vector<int> scores;
    std::vector<std::string> picked = pick_all(0, &scores);
    ASSERT_GE(picked.size(), 4u);
    EXPECT_EQ(picked[0], "d1c1");
    EXPECT_EQ(picked[1], "d1d5");
    EXPECT_EQ(scores[1], 5);
    EXPECT_EQ(picked[2], "d1d2");
    // The rest score 0: list order from here on.
    EXPECT_EQ(ply().stage, PICK_LIST_ORDER);
    EXPECT_EQ(picked.size(), 1 + quiet_order().size());
}

TEST_F(PickerTest, CaptureScores)
{
    // A pawn taking a rook: 230 - 1.
    setup("7k/8/8/3r4/4P3/8/8/7K w - -");
    MoveEntry* e = pick_next_move(*pos, 0);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(text_of(e->move), "e4d5");
    EXPECT_EQ(e->score, 229);

    // Most valuable victim first, then least valuable attacker.
    setup("7k/8/8/2q1r3/8/3N4/8/2R1R2K w - -");
    std::vector<int> scores;
    std::vector<std::string> picked = pick_all(0, &scores);
    ASSERT_GE(picked.size(), 4u);
    EXPECT_EQ(picked[0], "d3c5");  // queen by knight
    EXPECT_EQ(scores[0], 240 - 2);
    EXPECT_EQ(picked[1], "c1c5");  // queen by rook
    EXPECT_EQ(scores[1], 240 - 4);
    EXPECT_EQ(picked[2], "d3e5");  // rook by knight
    EXPECT_EQ(scores[2], 230 - 2);
    EXPECT_EQ(picked[3], "e1e5");  // rook by rook
    EXPECT_EQ(scores[3], 230 - 4);
}

TEST_F(PickerTest, PromotionScores)
{
    // A safe promotion square: queen 199, under-promotions 15.
    setup("7k/1P6/8/8/8/8/8/7K w - -");
    std::vector<int> scores;
    std::vector<std::string> picked = pick_all(0, &scores);
    ASSERT_GE(picked.size(), 4u);
    EXPECT_EQ(picked[0], "b7b8q");
    EXPECT_EQ(scores[0], 199);
    EXPECT_EQ(picked[1], "b7b8n");
    EXPECT_EQ(scores[1], 15);
    EXPECT_EQ(picked[2], "b7b8b");
    EXPECT_EQ(picked[3], "b7b8r");

    // The knight on d7 wins the pawn on b8: every promotion there scores 4.
    setup("7k/1P1n4/8/8/8/8/8/7K w - -");
    scores.clear();
    picked = pick_all(0, &scores);
    for (size_t i = 0; i < picked.size(); i++)
        if (picked[i].rfind("b7b8", 0) == 0) {
            EXPECT_EQ(scores[i], 4) << picked[i];
        }
}

TEST_F(PickerTest, QuietBonusesOutsideCheck)
{
    setup("7k/8/8/8/8/8/8/3R3K w - -");
    const Move killer1 = move_of("d1d8"), killer2 = move_of("d1a1"), killer3 = move_of("d1d7");
    const Move counter = move_of("d1d6"), counter2 = move_of("d1d5"), followup = move_of("d1d4");
    ply().killer[0] = killer1;
    ply().killer[1] = killer2;
    ply().killer[2] = killer3;
    // The last move made put a black knight on f6; the countermove tables
    // answer it.
    pos->board[square("f6")] = piece_code(KNIGHT, BLACK);
    td->last_move = move_of("g8f6");
    int index = piece_code(KNIGHT, BLACK) * 64 + square("f6");
    td->countermove[index] = counter;
    td->countermove2[index] = counter2;
    // This side's own previous move (two plies up): the king to h1.
    MoveEntry previous = {move_of("g1h1"), 0, u8(piece_code(KING, WHITE)), 0};
    td->ply[kPly - 2].current = &previous;
    td->followup[piece_code(KING, WHITE) * 64 + square("h1")] = followup;
    td->history[piece_code(ROOK, WHITE)][square("d4")] = -129;  // truncates to -1

    std::vector<int> scores;
    std::vector<std::string> picked = pick_all(0, &scores);
    ASSERT_GE(picked.size(), 6u);
    EXPECT_EQ(picked[0], "d1d8");
    EXPECT_EQ(scores[0], 50);
    EXPECT_EQ(picked[1], "d1a1");
    EXPECT_EQ(scores[1], 48);
    EXPECT_EQ(picked[2], "d1d7");
    EXPECT_EQ(scores[2], 46);
    EXPECT_EQ(picked[3], "d1d6");
    EXPECT_EQ(scores[3], 44);
    EXPECT_EQ(picked[4], "d1d5");
    EXPECT_EQ(scores[4], 42);
    EXPECT_EQ(picked[5], "d1d4");
    EXPECT_EQ(scores[5], 31);
}

TEST_F(PickerTest, FollowUpCountsFromPlyThree)
{
    // The follow-up of this side's previous move (the entry handed out two
    // plies up) scores 32 from search ply 3 on, and never after a null move.
    struct Row {
        int ply;
        Move previous;
        int score;
    };
    const Row rows[] = {{2, move_of("g1h1"), 0}, {3, move_of("g1h1"), 32}, {4, move_of("g1h1"), 32}, {3, NULL_MOVE, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "ply " << row.ply << ", previous move " << row.previous);
        setup("7k/8/8/8/8/8/8/3R3K w - -");
        td->search_ply = u16(row.ply);
        PlyRecord& pr = td->ply[row.ply];
        pr.list_start = &td->move_stack[10];
        pr.stage = PICK_HASH_MOVE;
        pr.moves_tried = 0;
        MoveEntry previous = {row.previous, 0, u8(piece_code(KING, WHITE)), 0};
        td->ply[row.ply - 2].current = &previous;
        td->followup[piece_code(KING, WHITE) * 64 + move_to(row.previous)] = move_of("d1d4");
        const MoveEntry* first = pick_next_move(*pos, 0);
        ASSERT_NE(first, nullptr);
        // Without the bonus every move scores 0: the first generated comes first.
        EXPECT_EQ(text_of(first->move), row.score ? "d1d4" : quiet_order().front());
        EXPECT_EQ(first->score, row.score);
    }
}

TEST_F(PickerTest, NoCountermovesAfterANullMove)
{
    setup("7k/8/8/8/8/8/8/3R3K w - -");
    td->last_move = NULL_MOVE;
    td->countermove[0 * 64 + 0] = move_of("d1d6");
    std::vector<int> scores;
    std::vector<std::string> picked = pick_all(0, &scores);
    for (int s : scores) EXPECT_EQ(s, 0);
    EXPECT_EQ(picked, quiet_order());
}

TEST_F(PickerTest, InCheckQuietScoring)
{
    // The in-check flag is the caller's word; the picker does not test it.
    setup("7k/8/8/8/8/8/8/3R3K w - -");
    const Move evasion = move_of("d1d8"), counter = move_of("d1d2"), counter2 = move_of("d1c1");
    ply().evasion_move = evasion;
    ply().killer[1] = move_of("d1d3");  // killers do not count in check
    pos->board[square("a8")] = piece_code(ROOK, BLACK);
    td->last_move = move_of("a7a8");
    int index = piece_code(ROOK, BLACK) * 64 + square("a8");
    td->countermove[index] = counter;
    td->countermove2[index] = counter2;
    td->history[piece_code(ROOK, WHITE)][square("d3")] = 8000;  // no history in check

    std::vector<int> scores;
    std::vector<std::string> picked = pick_all(1, &scores);
    ASSERT_GE(picked.size(), 3u);
    EXPECT_EQ(picked[0], "d1d8");
    EXPECT_EQ(scores[0], 90);
    EXPECT_EQ(picked[1], "d1d2");
    EXPECT_EQ(scores[1], 70);
    EXPECT_EQ(picked[2], "d1c1");
    EXPECT_EQ(scores[2], 60);
    // The rest all score 0 (selection swaps have moved some of them).
    std::vector<std::string> rest;
    for (const std::string& m : quiet_order())
        if (m != "d1d8" && m != "d1d2" && m != "d1c1") rest.push_back(m);
    std::vector<std::string> tail(picked.begin() + 3, picked.end());
    for (size_t i = 3; i < scores.size(); i++) EXPECT_EQ(scores[i], 0);
    std::sort(rest.begin(), rest.end());
    std::sort(tail.begin(), tail.end());
    EXPECT_EQ(tail, rest);
}

TEST_F(PickerTest, InCheckIgnoresHistoryAndKillers)
{
    setup("7k/8/8/8/8/8/8/3R3K w - -");
    ply().killer[0] = move_of("d1d5");
    ply().killer[1] = move_of("d1d3");
    td->history[piece_code(ROOK, WHITE)][square("d7")] = 8000;
    td->history[piece_code(KING, WHITE)][square("h2")] = 4000;
    std::vector<int> scores;
    EXPECT_EQ(pick_all(1, &scores), quiet_order());
    for (int s : scores) EXPECT_EQ(s, 0);
}

TEST_F(PickerTest, SelectionByScoreThenListOrder)
{
    // The staged picker selects by score until it has handed out a move
    // with 16 or more moves tried, or a chosen score below 4; the whole-list
    // picker selects while at most 15 moves are tried. After that both hand
    // out the rest in list order.
    struct Row {
        u16 stage;
        int first_tried;  // moves tried before the first pick
        int lowest;       // scores rise by 1 along the generation order from here
        size_t selected;  // picks made by selection
    };
    const Row rows[] = {
        {PICK_HASH_MOVE, 0, 10, 17}, {PICK_HASH_MOVE, 15, 10, 2}, {PICK_HASH_MOVE, 16, 10, 1},
        {PICK_HASH_MOVE, 0, -20, 8},   // 10 down to 3, the first below 4
        {PICK_GEN_ALL, 0, 10, 16},     {PICK_GEN_ALL, 15, 10, 1},   {PICK_GEN_ALL, 16, 10, 0},
        {PICK_GEN_ALL, 0, -20, 16},    // no score floor for the whole list
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "stage " << row.stage << ", " << row.first_tried << " tried, lowest "
                                        << row.lowest);
        setup("7k/8/8/8/8/8/8/R2Q3K w - -");  // 31 quiet moves, no capture
        ply().stage = row.stage;
        ply().moves_tried = i16(row.first_tried);
        td->ply[kPly - 2].current = nullptr;
        MoveEntry list[256];
        MoveEntry* end = generate_quiet_moves(*pos, WHITE, list);
        ASSERT_EQ(end - list, 31);
        for (int i = 0; i < 31; i++) {
            td->history[list[i].piece][move_to(list[i].move)] = i16(128 * (row.lowest + i));
            list[i].score = i16(row.lowest + i);
        }
        // The expected order: selection steps (the earliest of the highest
        // remaining scores swapped to the front), then list order.
        for (size_t i = 0; i < row.selected; i++) {
            MoveEntry* best = &list[i];
            for (MoveEntry* e = &list[i]; e != end; e++)
                if (e->score > best->score) best = e;
            std::swap(list[i], *best);
        }
        std::vector<std::string> expected;
        for (MoveEntry* e = list; e != end; e++) expected.push_back(text_of(e->move));
        EXPECT_EQ(pick_all(), expected);
    }
}

TEST_F(PickerTest, SelectionAmongTiedScores)
{
    // Scores 4 to 8 with many ties: each selection is still the earliest of
    // the highest remaining scores, after the swaps of the ones before it.
    setup("7k/8/8/8/8/8/8/R2Q3K w - -");
    td->ply[kPly - 2].current = nullptr;
    MoveEntry list[256];
    MoveEntry* end = generate_quiet_moves(*pos, WHITE, list);
    for (MoveEntry* e = list; e != end; e++) {
        e->score = i16(4 + (e - list + 2) * (e - list + 2) % 5);
        td->history[e->piece][move_to(e->move)] = i16(128 * e->score);
    }
    for (MoveEntry* current = list; current != list + 17; current++) {
        MoveEntry* best = current;
        for (MoveEntry* e = current; e != end; e++)
            if (e->score > best->score) best = e;
        std::swap(*current, *best);
    }
    std::vector<std::string> expected;
    for (MoveEntry* e = list; e != end; e++) expected.push_back(text_of(e->move));
    EXPECT_EQ(pick_all(), expected);
}

TEST_F(PickerTest, WholeListStages)
{
    setup("7k/8/8/3n4/8/8/8/3R3K w - -");
    ply().stage = PICK_GEN_ALL;
    ply().hash_move = move_of("d1d2");
    td->history[piece_code(ROOK, WHITE)][square("d3")] = 10 * 128;
    std::vector<int> scores;
    std::vector<std::string> picked = pick_all(0, &scores);
    ASSERT_GE(picked.size(), 3u);
    EXPECT_EQ(picked[0], "d1d2");
    EXPECT_EQ(scores[0], 255);
    EXPECT_EQ(picked[1], "d1d5");
    EXPECT_EQ(scores[1], 216);
    EXPECT_EQ(picked[2], "d1d3");
    EXPECT_EQ(scores[2], 10);
    // The hash move is generated once only in the whole list.
    int hash_count = 0;
    for (const std::string& m : picked) hash_count += m == "d1d2";
    EXPECT_EQ(hash_count, 1);
}

TEST_F(PickerTest, ScoreMoveListRules)
{
    setup("7k/1P6/8/3pP3/8/8/8/3R3K w - d6");
    ASSERT_EQ(pos->ep_square, square("d6"));
    ply().hash_move = move_of("d1d4");
    ply().killer[2] = move_of("d1d3");
    pos->board[square("d5")] = piece_code(PAWN, BLACK);
    td->last_move = move_of("d7d5");
    td->countermove2[piece_code(PAWN, BLACK) * 64 + square("d5")] = move_of("d1c1");
    td->history[piece_code(ROOK, WHITE)][square("c1")] = 300;  // 2
    MoveEntry* list = ply().list_start;
    MoveEntry* end = generate_captures(*pos, WHITE, list);
    end = generate_promotions(*pos, WHITE, 1, end);
    end = generate_quiet_moves(*pos, WHITE, end);
    end->move = MOVE_LIST_END;
    score_move_list(*pos, list);
    auto score_of = [&](const char* text) {
        for (MoveEntry* e = list; e != end; e++)
            if (e->move == move_of(text)) return int(e->score);
        ADD_FAILURE() << text << " not generated";
        return -1;
    };
    EXPECT_EQ(score_of("d1d4"), 255);
    EXPECT_EQ(score_of("d1d5"), 210 - 4);     // capture
    EXPECT_EQ(score_of("b7b8q"), 200 - 1);    // queen promotion
    EXPECT_EQ(score_of("b7b8n"), 0);          // under-promotion: a quiet move
    EXPECT_EQ(score_of("e5d6"), 0);           // en passant: a quiet move
    EXPECT_EQ(score_of("d1d3"), 40);          // killer 3
    EXPECT_EQ(score_of("d1c1"), 2 + 40);      // second countermove
    EXPECT_EQ(score_of("d1e1"), 0);
}

// Walks the tree with the staged picker as the move loop does (hash move
// first and skipped when it comes again, legality tested per move) with
// scrambled history, killers and hash moves: every legal move must come out
// exactly once, so the leaf counts equal perft.
// The captures stage hands out the same entries with the same scores as
// scoring every capture's exchange before the first selection would.
TEST_F(PickerTest, CapturesAsIfEveryExchangeWereTestedFirst)
{
    const char* fens[] = {
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
        "r2q1rk1/pP1p2pp/Q4n2/bbp1p3/Np6/1B3NBn/pPPP1PPP/R3K2R b KQ -",
        "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP1BBPPP/R2QK2R w - -",
        "1n2k3/P1Pn4/8/3q4/2R1p3/3P1B2/8/4K2Q w - -",
    };
    auto check = [&]() {
        const int side = pos->side;
        MoveEntry list[256];
        MoveEntry* end = generate_promotions(*pos, side, 1, generate_captures(*pos, side, list));
        end->move = MOVE_LIST_END;
        for (MoveEntry* e = list; e != end; e++) {
            const int victim = piece_type_of(e->captured);
            if (coarse_piece_value[piece_type_of(e->piece)] > coarse_piece_value[victim] &&
                exchange_value_recursive(*pos, side, move_from(e->move), move_to(e->move), occupancy(*pos), 0) <
                    EXCHANGE_THRESHOLD)
                e->score = i16(victim + 4);
            else if (e->move & (PROMO_KNIGHT | PROMO_BISHOP | PROMO_ROOK))
                e->score = ORDER_UNDER_PROMOTION;
            else
                e->score = i16(victim_order_value[e->captured] - attacker_order_value[e->piece]);
        }
        ply().hash_move = NULL_MOVE;
        ply().stage = PICK_HASH_MOVE;
        ply().moves_tried = 0;
        for (MoveEntry* current = list; current != end; current++) {
            MoveEntry* best = current;
            for (MoveEntry* e = current + 1; e != end; e++)
                if (e->score > best->score) best = e;
            std::swap(*best, *current);
            if (current->score <= ORDER_GOOD_CAPTURE_ABOVE) break;
            const MoveEntry* e = pick_next_move(*pos, 0);
            ASSERT_NE(e, nullptr);
            EXPECT_EQ(text_of(e->move), text_of(current->move));
            EXPECT_EQ(e->score, current->score);
            EXPECT_EQ(e->piece, current->piece);
        }
        // The rest, quiet moves included, carry plain piece codes.
        while (const MoveEntry* e = pick_next_move(*pos, 0)) EXPECT_LT(e->piece, 16);
    };
    for (const char* fen : fens) {
        setup(fen);
        check();
        // And after every reply from there.
        MoveEntry moves[256];
        MoveEntry* end = generate_quiet_moves(*pos, pos->side, generate_captures(*pos, pos->side, moves));
        std::vector<Move> legal;
        for (MoveEntry* e = moves; e != end; e++)
            if (king_safe_after_move(*pos, pos->side, e->move)) legal.push_back(e->move);
        for (Move m : legal) {
            play_move(*pos, m);
            td->search_ply = kPly;
            check();
            take_back_move(*pos);
        }
    }
}

struct PickerPerftTest : PickerTest {
    u32 seed = 12345;
    u32 next_random()
    {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    }
    u64 walk(int depth)
    {
        ThreadData* t = td;
        Position& p = *pos;
        PlyRecord& pr = t->ply[t->search_ply];
        int side = p.side;
        int in_check = is_square_attacked_by(p, king_square(p, side), side ^ 1);
        MoveEntry scratch[256];
        MoveEntry* end = generate_captures(p, side, scratch);
        end = generate_promotions(p, side, 1, end);
        end = generate_quiet_moves(p, side, end);
        int n = int(end - scratch);
        pr.hash_move = n && next_random() % 4 ? scratch[next_random() % n].move : NULL_MOVE;
        for (int k = 0; k < 3; k++) pr.killer[k] = n ? scratch[next_random() % n].move : NULL_MOVE;
        pr.evasion_move = n ? scratch[next_random() % n].move : NULL_MOVE;
        pr.stage = PICK_HASH_MOVE;
        pr.moves_tried = 0;
        u64 nodes = 0;
        while (MoveEntry* e = pick_next_move(p, in_check)) {
            Move m = e->move;
            if (m == NULL_MOVE || (m == pr.hash_move && pr.moves_tried > 0)) continue;
            if (!king_safe_after_move(p, side, m)) continue;
            pr.moves_tried++;
            if (depth == 1) {
                nodes++;
            } else {
                play_move(p, m);
                nodes += walk(depth - 1);
                take_back_move(p);
            }
        }
        return nodes;
    }
    u64 perft(const char* fen, int depth)
    {
        const char* reason = "";
        EXPECT_EQ(set_position_from_fen(*pos, fen, &reason), 1) << reason;
        td->search_ply = 1;
        reset_thread_links(td);
        for (auto& row : td->history)
            for (i16& h : row) h = i16(int(next_random() % 16384) - 8192);
        for (u16& c : td->countermove) c = 0;
        return walk(depth);
    }
};

TEST_F(PickerPerftTest, EveryLegalMoveExactlyOnce)
{
    EXPECT_EQ(perft("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -", 3), 8902u);
    EXPECT_EQ(perft("r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -", 3), 97862u);
    EXPECT_EQ(perft("r2q1rk1/pP1p2pp/Q4n2/bbp1p3/Np6/1B3NBn/pPPP1PPP/R3K2R b KQ -", 3), 9467u);
    EXPECT_EQ(perft("8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -", 4), 43238u);
}

} // namespace
