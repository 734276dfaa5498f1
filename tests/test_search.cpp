// The node search, move loop and quiescence search: exact mate scores, draws,
// the ply-66 leaf, mate-distance bounds, the tests the node search uses
// (pieces safe from exchange, the capture cut test, the singular test, the
// slider test of late-move pruning), quiescence pruning, the stop byte, the
// node limit and the throttle, pruning against a search without it, and
// reproducible node counts.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "movetext.h"
#include "search_harness.h"
#include "tablebase/tablebase.h"
#include "test_data.h"
#include "test_files.h"

using namespace search_harness;

namespace {

struct SearchTest : NodeSearchTest<SearchTest> {
    static void SetUpTestSuite()
    {
        init_engine_once();
        NodeSearchTest::SetUpTestSuite();
    }

    void SetUp() override
    {
        NodeSearchTest::SetUp();
        clear_hash_table();
        search_state.hash_age = 1;
        td->node_limit = u64(1) << 62;
    }

    void TearDown() override
    {
        search_selective = true;
        reset_search_state();
    }

    // (The FEN reader starts every position with the half-move clock at 0.)
    // Prepares the record for a direct call at ply p: the plies above hold
    // ordinary (non-null) moves and no tablebase result.
    static void at_ply(const char* fen, int p) { ASSERT_EQ(prepare_at_ply(td, fen, p), 1) << fen; }

    // Static evaluation of the side to move stored in ply p, as the node
    // search does before it calls the quiescence search.
    static int stand_pat(int p)
    {
        Position& pos = td->pos;
        int e = evaluate_position(td, pos.side, p, 0);
        td->ply[p].static_eval = i16(e);
        return e;
    }

    // The moves of ply p's list up to its end mark, as coordinate texts.
    static std::vector<std::string> list_texts(int p)
    {
        std::vector<std::string> out;
        char text[MOVE_TEXT_SIZE];
        for (const MoveEntry* e = td->ply[p].list_start; e->move != MOVE_LIST_END; e++) {
            write_move_text(e->move, text);
            out.push_back(text);
        }
        return out;
    }

    static Move parse_on_game(const char* fen, const char* text)
    {
        set_position_from_fen(game_record->pos, fen);
        reset_thread_links(game_record);
        game_record->undo_count = 0;
        Move m = NULL_MOVE;
        parse_move_text(text, m);
        return m;
    }
};

// --- Scores of terminal positions -----------------------------------------

TEST_F(SearchTest, MatedSideScoresPlyMinusMate)
{
    // Black to move is mated (back-rank mate): at ply 2 that is -9998.
    at_ply("R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1", 2);
    u16 pv[MAX_PLY] = {};
    EXPECT_EQ(search_root_child(td->pos, BLACK, 3, -10000, 10000, NODE_PV, pv), -9998);
    at_ply("R5k1/5ppp/8/8/8/8/8/6K1 b - - 0 1", 7);
    EXPECT_EQ(search_node(td->pos, BLACK, 7, 3, -10000, 10000, NODE_PV, pv), -9993);
}

TEST_F(SearchTest, StalemateScoresZero)
{
    at_ply("7k/5Q2/6K1/8/8/8/8/8 b - - 0 1", 2);
    u16 pv[MAX_PLY] = {};
    EXPECT_EQ(search_root_child(td->pos, BLACK, 2, -10000, 10000, NODE_PV, pv), 0);
    // In a window above 0 the stalemate fails low to alpha.
    EXPECT_EQ(search_root_child(td->pos, BLACK, 2, 50, 100, NODE_NON_PV, pv), 50);
}

TEST_F(SearchTest, MateInOneAndTwoFromTheRoot)
{
    // Mate in one move is 9998 for the root side, mate in two 9996.
    RootResult r = fresh_search(td, "6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1", 3);
    EXPECT_EQ(r.score, 9998);
    EXPECT_EQ(r.move, make_move(0, 56));
    r = fresh_search(td, "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - 0 1", 4);
    EXPECT_EQ(r.score, 9996);
}

TEST_F(SearchTest, RepetitionsScoreZero)
{
    // Knights out and back: the start position occurs again with the clock at 4.
    ASSERT_EQ(prepare_thread(td, "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"), 1);
    const char* shuffle[] = {"g1f3", "g8f6", "f3g1", "f6g8"};
    td->search_ply = 0;  // the game moves below the root
    for (const char* m : shuffle) play_move(td->pos, make_move((m[0] - 'a') + 8 * (m[1] - '1'), (m[2] - 'a') + 8 * (m[3] - '1')));
    const u16 undo_before = td->undo_count;
    for (int i = 0; i < MAX_PLY; i++) td->ply[i].tb_result = TB_CODE_NONE;
    static MoveEntry ordinary{0x0C1C, 0, 2, 0};
    for (int i = 0; i < 6; i++) td->ply[i].current = &ordinary;
    td->current_depth.store(4);
    u16 pv[MAX_PLY] = {};

    // Deeper than ply 3 the first repetition is a draw.
    td->search_ply = 4;
    td->ply[4].list_start = &td->move_stack[100];
    EXPECT_EQ(search_node(td->pos, WHITE, 4, 3, -500, 500, NODE_PV, pv), 0);
    EXPECT_EQ(td->undo_count, undo_before);

    // At ply 2 it takes a third occurrence: with one earlier occurrence the
    // node is searched (and white's extra tempo scores above 0).
    td->search_ply = 2;
    td->ply[2].list_start = &td->move_stack[100];
    const u64 nodes = td->counters[CNT_NODES];
    search_root_child(td->pos, WHITE, 2, -500, 500, NODE_PV, pv);
    EXPECT_GT(td->counters[CNT_NODES], nodes + 1);
    for (const char* m : shuffle) play_move(td->pos, make_move((m[0] - 'a') + 8 * (m[1] - '1'), (m[2] - 'a') + 8 * (m[3] - '1')));
    td->search_ply = 2;
    EXPECT_EQ(search_root_child(td->pos, WHITE, 2, -500, 500, NODE_PV, pv), 0);
}

TEST_F(SearchTest, PlySixtySixReturnsTheStaticValue)
{
    const char* fen = "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4";
    at_ply(fen, 66);
    const int e = evaluate_position(td, WHITE, 66, 0);
    u16 pv[MAX_PLY] = {};
    const u64 nodes = td->counters[CNT_NODES];
    EXPECT_EQ(search_node(td->pos, WHITE, 66, 6, -10000, 10000, NODE_PV, pv), e);
    EXPECT_EQ(td->counters[CNT_NODES], nodes + 1);  // nothing searched below it
    // In check at ply 66: 0.
    at_ply("4k3/8/8/8/8/8/4r3/4K3 w - - 0 1", 66);
    EXPECT_EQ(search_node(td->pos, WHITE, 66, 6, -10000, 10000, NODE_PV, pv), 0);
}

TEST_F(SearchTest, MateDistanceBoundsTheWindow)
{
    at_ply("r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4", 10);
    u16 pv[MAX_PLY] = {};
    search_node(td->pos, WHITE, 10, 0, -10000, 10000, NODE_PV, pv);
    EXPECT_EQ(td->ply[10].alpha, -9990);
    EXPECT_EQ(td->ply[10].beta, 9989);
    // A window entirely beyond the bounds returns alpha at once.
    const u64 nodes = td->counters[CNT_NODES];
    EXPECT_EQ(search_node(td->pos, WHITE, 10, 3, 9995, 9999, NODE_NON_PV, pv), 9995);
    EXPECT_EQ(td->counters[CNT_NODES], nodes + 1);
}

// --- Stop byte, node limit, throttle ----------------------------------------

TEST_F(SearchTest, StopByteReturnsZeroAndStoresNothing)
{
    at_ply("r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4", 2);
    search_state.stop.store(STOP_NORMAL);
    u16 pv[MAX_PLY] = {};
    EXPECT_EQ(search_root_child(td->pos, WHITE, 5, -10000, 10000, NODE_PV, pv), 0);
    TTEntry h;
    probe_hash_table(td->pos, h);
    EXPECT_LT(h.depth, TT_MISS_BELOW);
}

TEST_F(SearchTest, NodeLimitStopsOnlyAfterDepthTwo)
{
    at_ply("r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4", 2);
    td->node_limit = 50;
    td->completed_depth = 1;
    u16 pv[MAX_PLY] = {};
    search_root_child(td->pos, WHITE, 4, -10000, 10000, NODE_PV, pv);
    EXPECT_EQ(search_state.stop.load(), STOP_RUN);
    EXPECT_GT(td->counters[CNT_NODES], 50u);
    td->completed_depth = 2;
    td->counters[CNT_NODES] = 0;
    search_root_child(td->pos, WHITE, 6, -10000, 10000, NODE_PV, pv);
    EXPECT_EQ(search_state.stop.load(), STOP_NORMAL);
    EXPECT_LE(td->counters[CNT_NODES], 60u);
}

TEST_F(SearchTest, ThrottleLetsGoWhenNobodyRefreshesTheClock)
{
    // A strength limit with a clock that never moves (a search on the main
    // thread): the node returns instead of sleeping forever.
    at_ply("r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4", 2);
    search_state.target_rate = 100.0;
    search_state.published_iteration.store(2);
    search_state.elapsed_time.store(0.5);
    td->counters[CNT_NODES] = 1000;
    u16 pv[MAX_PLY] = {};
    const auto start = std::chrono::steady_clock::now();
    search_root_child(td->pos, WHITE, 1, -10000, 10000, NODE_PV, pv);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(seconds, HANG_SECONDS);
    search_state.elapsed_time.store(0.0);
}

// --- The node search's own tests --------------------------------------------

TEST_F(SearchTest, PiecesSafeFromExchange)
{
    // White knight on e5 attacked by the d6 pawn and undefended: it loses 330.
    at_ply("4k3/8/3p4/4N3/8/8/8/4K3 w - - 0 1", 2);
    EXPECT_EQ(pieces_safe_from_exchange(td->pos, WHITE, 400, 0), 0);   // 400 - 330 <= 99
    EXPECT_EQ(pieces_safe_from_exchange(td->pos, WHITE, 430, 0), 1);   // 100 > 99
    EXPECT_EQ(pieces_safe_from_exchange(td->pos, WHITE, 429, 0), 0);
    // Nothing attacked: safe whatever the score.
    at_ply("4k3/8/8/4N3/8/8/8/4K3 w - - 0 1", 2);
    EXPECT_EQ(pieces_safe_from_exchange(td->pos, WHITE, -5000, 0), 1);
}

TEST_F(SearchTest, CaptureCutTestFindsAWinningCapture)
{
    // White wins the undefended black queen with the knight.
    const char* fen = "4k3/pp6/3q4/8/4N3/8/PP6/4K3 w - - 0 1";
    at_ply(fen, 3);
    const int e = stand_pat(3);
    EXPECT_EQ(probcut_capture_test(td->pos, 3, 3, e + 500), 1);
    EXPECT_EQ(probcut_capture_test(td->pos, 3, 3, e + 2000), 0);
    // Without a capture that wins by exchange the test fails at once.
    at_ply("4k3/8/2p5/3p4/8/8/8/3QK3 w - - 0 1", 3);
    const u64 nodes = td->counters[CNT_NODES];
    EXPECT_EQ(probcut_capture_test(td->pos, 3, 3, -5000), 0);
    EXPECT_EQ(td->counters[CNT_NODES], nodes);
}

TEST_F(SearchTest, SingularTestOnTheOnlyMate)
{
    // Only Ra8 mates: it is singular against a bound far above any
    // non-mating score; a non-mating move is not.
    const char* fen = "6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1";
    at_ply(fen, 3);
    const Move mate = make_move(0, 56);
    EXPECT_EQ(singular_move_test(td->pos, 3, 2, 5000, 0, mate), 1);
    at_ply(fen, 3);
    EXPECT_EQ(singular_move_test(td->pos, 3, 2, 5000, 0, make_move(0, 8)), 0);
    // An illegal move is never singular.
    at_ply("4k3/8/8/8/8/8/4r3/R3K3 w - - 0 1", 3);
    EXPECT_EQ(singular_move_test(td->pos, 3, 2, 0, 1, make_move(0, 8)), 0);
}

TEST_F(SearchTest, SliderStillAttacksTargets)
{
    // The white rook goes a1-a7 next to the black king on b8's zone; the
    // square a8 on the new line is also covered by the white bishop on d5.
    at_ply("1k6/8/8/3B4/8/8/8/R3K3 w - - 0 1", 3);
    const u64 zone = king_attacks[57];
    EXPECT_EQ(slider_still_attacks_targets(td->pos, ROOK, 0, 48, zone), 1);
    // Without the bishop nothing else covers the zone squares on that line.
    at_ply("1k6/8/8/8/8/8/8/R3K3 w - - 0 1", 3);
    EXPECT_EQ(slider_still_attacks_targets(td->pos, ROOK, 0, 48, zone), 0);
    // a8 is covered by the bishop too, but it lies on the a-file through the
    // rook's origin: an old line, not counted. Only b7 / c7 on the new rank.
    at_ply("1k6/8/8/3B4/8/8/8/R3K3 w - - 0 1", 3);
    EXPECT_EQ(slider_still_attacks_targets(td->pos, ROOK, 0, 48, square_bit(56)), 0);
    // Rook h1-h7 with target b7: an own rook between target and destination
    // (a battery) does not block the line, and covers b7 itself; a knight
    // there blocks it.
    at_ply("k7/4R3/8/8/8/8/8/4K2R w - - 0 1", 3);
    EXPECT_EQ(slider_still_attacks_targets(td->pos, ROOK, 7, 55, square_bit(49)), 1);
    at_ply("k7/4N3/8/8/8/8/8/4K2R w - - 0 1", 3);
    EXPECT_EQ(slider_still_attacks_targets(td->pos, ROOK, 7, 55, square_bit(49)), 0);
}

// --- Quiescence search -------------------------------------------------------

TEST_F(SearchTest, QuiescenceStandPatAtBeta)
{
    at_ply("4k3/8/8/3p4/4P3/8/8/4K3 w - - 0 1", 3);
    const int e = stand_pat(3);
    u16 pv[MAX_PLY] = {};
    const u64 nodes = td->counters[CNT_NODES];
    EXPECT_EQ(quiescence_search(td->pos, WHITE, 3, 0, e - 50, e, NODE_NON_PV, pv), e);
    EXPECT_EQ(td->counters[CNT_NODES], nodes);
}

TEST_F(SearchTest, QuiescenceDeltaPruning)
{
    // exd5 takes a pawn (100). It is skipped when 100 + e <= best - m, with
    // best = max(alpha, e) and margin m 150 at non-PV nodes at d <= 0, else
    // 250; taking the opponent's last pawn into a balance of at most 3 piece
    // units in its favour is never skipped. (White has no quiet check.)
    const char* const ONE_PAWN_LEFT = "4k3/p7/8/3p4/4P3/8/P7/4K3 w - - 0 1";
    const char* const LAST_PAWN = "4k3/8/8/3p4/4P3/8/P7/4K3 w - - 0 1";
    const char* const LAST_PAWN_ROOK_UP = "4k2r/8/8/3p4/4P3/8/P7/4K3 w - - 0 1";
    const struct {
        const char* fen;
        int depth, node_type, above_eval;
        bool played;
    } cases[] = {
        {ONE_PAWN_LEFT, -1, NODE_NON_PV, 250, false}, {ONE_PAWN_LEFT, -1, NODE_NON_PV, 249, true},
        {ONE_PAWN_LEFT, 0, NODE_NON_PV, 250, false},  {ONE_PAWN_LEFT, 0, NODE_NON_PV, 249, true},
        {ONE_PAWN_LEFT, -1, NODE_PV, 350, false}, {ONE_PAWN_LEFT, -1, NODE_PV, 349, true},         // PV node
        {ONE_PAWN_LEFT, 1, NODE_NON_PV, 350, false},  {ONE_PAWN_LEFT, 1, NODE_NON_PV, 349, true},  // the futility call, d > 0
        {LAST_PAWN, -1, NODE_NON_PV, 2000, true},     {LAST_PAWN_ROOK_UP, -1, NODE_NON_PV, 250, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fen) + " depth " + std::to_string(c.depth) + " type " +
                     std::to_string(c.node_type) + " alpha e + " + std::to_string(c.above_eval));
        at_ply(c.fen, 3);
        const int e = stand_pat(3);
        u16 pv[MAX_PLY] = {};
        const u64 nodes = td->counters[CNT_NODES];
        const int alpha = e + c.above_eval;
        EXPECT_EQ(quiescence_search(td->pos, WHITE, 3, c.depth, alpha, alpha + 1, c.node_type, pv), alpha);
        EXPECT_EQ(td->counters[CNT_NODES] - nodes, c.played ? 1u : 0u);
    }
}

TEST_F(SearchTest, QuiescenceQuietChecksOnlyOnTheFirstPly)
{
    // No captures; Nd6+ and Nf6+ are the quiet knight checks.
    const char* fen = "4k3/8/8/8/4N3/8/8/4K3 w - - 0 1";
    at_ply(fen, 3);
    int e = stand_pat(3);
    u16 pv[MAX_PLY] = {};
    u64 nodes = td->counters[CNT_NODES];
    quiescence_search(td->pos, WHITE, 3, 0, e + 2000, e + 2001, NODE_NON_PV, pv);
    EXPECT_GT(td->counters[CNT_NODES], nodes);
    EXPECT_EQ(list_texts(3), (std::vector<std::string>{"e4d6", "e4f6"}));
    at_ply(fen, 3);
    e = stand_pat(3);
    nodes = td->counters[CNT_NODES];
    quiescence_search(td->pos, WHITE, 3, -1, e + 2000, e + 2001, NODE_NON_PV, pv);
    EXPECT_EQ(td->counters[CNT_NODES], nodes);
}

TEST_F(SearchTest, QuiescenceCheckingPushToTheSeventhIsListedOnce)
{
    // f6-f7 checks the king on g8 and is a push to the seventh rank: it is
    // listed once. c6-c7 is a plain push to the seventh.
    at_ply("6k1/8/2P2P2/8/8/8/8/4K3 w - - 0 1", 3);
    const int e = stand_pat(3);
    u16 pv[MAX_PLY] = {};
    quiescence_search(td->pos, WHITE, 3, 0, e + 2000, e + 2001, NODE_NON_PV, pv);
    EXPECT_EQ(list_texts(3), (std::vector<std::string>{"f6f7", "c6c7"}));
}

TEST_F(SearchTest, QuiescenceExchangePruningOnlyAtLeaves)
{
    // A capture by a piece worth more than its victim (coarse values) whose
    // exchange value is below -74 is skipped at d <= 0 and searched when
    // the call has a positive depth (the futility step's call). Each
    // position has that one capture and no quiet check: the queen takes a
    // pawn defended by a pawn (-960); the front rook of a battery takes a
    // knight defended by a pawn, the rear rook takes back (330 - 530 + 100
    // = -100); a bishop takes a defended knight (3 > 3 is false: searched).
    const struct {
        const char* fen;
        bool pruned;
    } cases[] = {
        {"k7/pp2p3/3p4/8/8/8/8/3QK3 w - - 0 1", true},
        {"4k3/8/4p3/3n4/8/8/3R4/3RK3 w - - 0 1", true},
        {"4k3/8/4p3/3n4/8/8/B7/4K3 w - - 0 1", false},
    };
    for (const auto& c : cases) {
        for (int d : {-1, 0, 1}) {
            SCOPED_TRACE(std::string(c.fen) + " depth " + std::to_string(d));
            at_ply(c.fen, 3);
            const int e = stand_pat(3);
            u16 pv[MAX_PLY] = {};
            const u64 nodes = td->counters[CNT_NODES];
            quiescence_search(td->pos, WHITE, 3, d, e - 500, e + 500, NODE_PV, pv);
            EXPECT_EQ(td->counters[CNT_NODES] == nodes, c.pruned && d <= 0);
        }
    }
}

TEST_F(SearchTest, FutilityHandsHopelessNodesToTheQuiescenceSearch)
{
    // Non-PV, depth 2, the evaluation 300 below alpha (margin 125 x 2): the
    // quiescence score with the node's window is the answer when it stays
    // at or below alpha. The start position has no capture and no check.
    const char* fen = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
    at_ply(fen, 3);
    const int e = evaluate_position(td, WHITE, 3, 0);
    u16 pv[MAX_PLY] = {};
    u64 nodes = td->counters[CNT_NODES];
    EXPECT_EQ(search_node(td->pos, WHITE, 3, 2, e + 300, e + 301, NODE_NON_PV, pv), e + 300);
    EXPECT_EQ(td->counters[CNT_NODES], nodes + 1);
    // Without pruning the moves are searched.
    search_selective = false;
    at_ply(fen, 3);
    nodes = td->counters[CNT_NODES];
    EXPECT_EQ(search_node(td->pos, WHITE, 3, 2, e + 300, e + 301, NODE_NON_PV, pv), e + 300);
    EXPECT_GT(td->counters[CNT_NODES], nodes + 20);
    // A PV node is never cut this way.
    search_selective = true;
    at_ply(fen, 3);
    nodes = td->counters[CNT_NODES];
    search_node(td->pos, WHITE, 3, 2, e + 300, e + 301, NODE_PV, pv);
    EXPECT_GT(td->counters[CNT_NODES], nodes + 20);
}

// --- Move loop ------------------------------------------------------------------

TEST_F(SearchTest, EnPassantKeepsAHistoryLikeAQuietMove)
{
    // The history table follows the entry's captured code, which is 0 for an
    // en-passant capture; a real capture leaves its history alone.
    at_ply("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 1", 3);
    td->ply[3].static_eval = i16(stand_pat(3));
    u16 pv[MAX_PLY] = {};
    search_move_loop(td->pos, WHITE, 3, 1, -10000, 10000, 0, NODE_PV, pv);
    EXPECT_NE(td->history[piece_code(PAWN, WHITE)][43], 2048);  // e5xd6 e.p.
    at_ply("4k3/8/8/3p4/4P3/8/8/4K3 w - - 0 1", 3);
    td->ply[3].static_eval = i16(stand_pat(3));
    search_move_loop(td->pos, WHITE, 3, 1, -10000, 10000, 0, NODE_PV, pv);
    EXPECT_EQ(td->history[piece_code(PAWN, WHITE)][35], 2048);  // e4xd5
    EXPECT_NE(td->history[piece_code(PAWN, WHITE)][36], 2048);  // e4-e5
}

TEST_F(SearchTest, QuietCutOffFillsKillersAndCountermoves)
{
    // Black has just played Kh8-g8; the mating quiet move Ra8 is the only
    // one to reach the window, cuts off and becomes killer 2 and the
    // countermove of Kh8-g8.
    const Move last = make_move(63, 62);
    const Move mate = make_move(0, 56);
    at_ply("7k/5ppp/8/8/8/8/8/R5K1 b - - 0 1", 3);
    play_move(td->pos, last);
    td->search_ply = 3;
    td->ply[3].static_eval = i16(stand_pat(3));
    u16 pv[MAX_PLY] = {};
    EXPECT_EQ(search_move_loop(td->pos, WHITE, 3, 2, 9000, 9500, 0, NODE_NON_PV, pv), 9500);  // children fail hard
    EXPECT_EQ(td->ply[3].killer[1], mate);
    EXPECT_EQ(td->ply[3].killer[0], NULL_MOVE);
    EXPECT_EQ(td->countermove[piece_code(KING, BLACK) * 64 + 62], mate);
    EXPECT_EQ(td->ply[3].best_move, mate);

    // After a null move (last move 0) the same cut fills killer 1 only.
    at_ply("7k/5ppp/8/8/8/8/8/R5K1 b - - 0 1", 3);
    play_move(td->pos, last);
    play_null_move(td->pos);
    play_null_move(td->pos);
    td->search_ply = 3;
    td->ply[3].static_eval = i16(stand_pat(3));
    search_move_loop(td->pos, WHITE, 3, 2, 9000, 9500, 0, NODE_NON_PV, pv);
    EXPECT_EQ(td->ply[3].killer[0], mate);
    EXPECT_EQ(td->ply[3].killer[1], NULL_MOVE);
    EXPECT_EQ(td->countermove[piece_code(KING, BLACK) * 64 + 62], NULL_MOVE);
}

// --- Whole searches -----------------------------------------------------------

const char* const node_count_positions[] = {
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP3PPP/R2QKB1R w KQ - 0 1",
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
};

TEST_F(SearchTest, PruningCutsTheTreeAtEqualDepth)
{
    u64 full = 0, plain = 0;
    for (const char* fen : node_count_positions) {
        search_selective = true;
        full += fresh_search(td, fen, 5).nodes;
        search_selective = false;
        plain += fresh_search(td, fen, 5).nodes;
    }
    search_selective = true;
    std::printf("depth 5: %llu nodes with pruning, %llu without (ratio %.2f)\n", (unsigned long long)full,
                (unsigned long long)plain, double(plain) / double(full));
    EXPECT_LT(full * 2, plain);
}

TEST_F(SearchTest, SameNodesFromAFreshState)
{
    for (const char* fen : node_count_positions) {
        RootResult a = fresh_search(td, fen, 5);
        RootResult b = fresh_search(td, fen, 5);
        EXPECT_EQ(a.nodes, b.nodes) << fen;
        EXPECT_EQ(a.score, b.score) << fen;
        EXPECT_EQ(a.move, b.move) << fen;
    }
}

TEST_F(SearchTest, MatesFromTheSuiteWithAndWithoutPruning)
{
    ASSERT_TRUE(test_data_present(mate_suite_file()));
    std::ifstream in(mate_suite_file());
    ASSERT_TRUE(in.good());
    std::string line;
    int checked = 0;
    while (std::getline(in, line)) {
        const size_t bm = line.find(" bm ");
        const size_t dm = line.find("dm ");
        if (bm == std::string::npos || dm == std::string::npos) continue;
        const std::string fen = line.substr(0, bm);
        const std::string san = line.substr(bm + 4, line.find(';', bm) - bm - 4);
        const int moves = std::stoi(line.substr(dm + 3));
        const int want = 10000 - 2 * moves;
        const Move expected = parse_on_game(fen.c_str(), san.c_str());
        ASSERT_NE(expected, NULL_MOVE) << line;

        search_selective = true;
        RootResult a = fresh_search(td, fen.c_str(), 2 * moves);
        search_selective = false;
        RootResult b = fresh_search(td, fen.c_str(), 2 * moves);
        search_selective = true;
        EXPECT_EQ(a.score, want) << line;
        EXPECT_EQ(b.score, want) << line;
        EXPECT_EQ(a.move, expected) << line;
        EXPECT_EQ(b.move, expected) << line;
        checked++;
    }
    EXPECT_EQ(checked, 14);
}

TEST_F(SearchTest, MoveStackReserveEndsTheLine)
{
    // A node whose list would start too close to the end of the move stack
    // returns its static value instead of generating past the end.
    const char* fen = "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4";
    at_ply(fen, 20);
    const int e = evaluate_position(td, WHITE, 20, 0);
    td->ply[20].list_start = &td->move_stack[MOVE_STACK_SIZE - 100];
    u16 pv[MAX_PLY] = {};
    EXPECT_EQ(search_node(td->pos, WHITE, 20, 4, -10000, 10000, NODE_PV, pv), e);

    // Past the fifty-move mark the move-generating draw test is skipped there,
    // but a repetition is still a draw.
    td->pos.halfmove_clock = 100;
    td->undo_count = 4;
    td->undo[0].key = td->pos.key;
    EXPECT_EQ(search_node(td->pos, WHITE, 20, 4, -10000, 10000, NODE_PV, pv), 0);
    td->undo[0].key = ~td->pos.key;
    EXPECT_EQ(search_node(td->pos, WHITE, 20, 4, -10000, 10000, NODE_PV, pv), e);
}

} // namespace

// --- The tablebase gate inside the search --------------------------------------

struct TablebaseSearchTest : SearchTest {
    static void SetUpTestSuite()
    {
        SearchTest::SetUpTestSuite();
        probing_tables = true;
        scan_tablebase_paths(test_table_dir());
    }
    static void TearDownTestSuite()
    {
        scan_tablebase_paths("");
        probing_tables = false;
    }
    void SetUp() override
    {
        SearchTest::SetUp();
        ASSERT_TRUE(test_tables_present());
    }
};

TEST_F(TablebaseSearchTest, GateLimits)
{
    ASSERT_EQ(tb_largest_piece_count.load(), 4u);
    at_ply("4k3/8/8/8/8/8/8/4K2R w - - 0 1", 3);
    EXPECT_EQ(probe_tablebase_in_search(td->pos, 1), TB_CODE_WIN);
    EXPECT_EQ(probe_tablebase_in_search(td->pos, 0), TB_CODE_NONE);   // below the probe depth
    at_ply("4k3/8/8/8/8/8/8/4K2R w K - 0 1", 3);
    EXPECT_EQ(probe_tablebase_in_search(td->pos, 5), TB_CODE_NONE);   // castling right
    at_ply("4k3/8/8/8/8/8/8/RR2K2R w - - 0 1", 3);
    EXPECT_EQ(probe_tablebase_in_search(td->pos, 5), TB_CODE_NONE);   // more pieces than any table
    // The rook is lost at once: a draw for the side to move.
    at_ply("8/8/8/8/8/3k4/2R5/6K1 b - - 0 1", 3);
    EXPECT_EQ(probe_tablebase_in_search(td->pos, 1), TB_CODE_DRAW);
    search_state.probe_depths[0] = 3;
    EXPECT_EQ(probe_tablebase_in_search(td->pos, 2), TB_CODE_NONE);
    search_state.probe_depths[0] = 1;
}

TEST_F(TablebaseSearchTest, WinAfterAZeroingMoveScoresByPly)
{
    // Clock 0, no root result: a win at ply 7 is 9799 - 7.
    at_ply("4k3/8/8/8/8/8/8/4K2Q w - - 0 1", 7);
    u16 pv[MAX_PLY] = {};
    const u64 hits = td->counters[CNT_TB_HITS];
    EXPECT_EQ(search_node(td->pos, WHITE, 7, 3, -10000, 10000, NODE_NON_PV, pv), 9792);
    EXPECT_EQ(td->counters[CNT_TB_HITS], hits + 1);
    EXPECT_EQ(search_node(td->pos, WHITE, 7, 3, 9795, 9800, NODE_NON_PV, pv), 9795);
    // The loss seen from the other side: ply - 9800.
    at_ply("4k3/8/8/8/8/8/8/4K2Q b - - 0 1", 7);
    EXPECT_EQ(search_node(td->pos, BLACK, 7, 3, -10000, 10000, NODE_NON_PV, pv), 7 - 9800);
    // With the clock above 0 the node is searched normally.
    at_ply("4k3/8/8/8/8/8/8/4K2Q w - - 0 1", 7);
    td->pos.halfmove_clock = 3;
    const u64 nodes = td->counters[CNT_NODES];
    search_node(td->pos, WHITE, 7, 3, -10000, 10000, NODE_NON_PV, pv);
    EXPECT_GT(td->counters[CNT_NODES], nodes + 1);
}

TEST_F(TablebaseSearchTest, ChildBetterThanItsParentsResultReturnsBeta)
{
    // The parent wins (4); here the side to move can take the rook and draw
    // (2 > 4 - 4): the move into this node was a mistake.
    at_ply("8/8/8/8/8/3k4/2R5/6K1 b - - 0 1", 5);
    search_state.root_tb_result = TB_CODE_WIN;
    td->ply[4].tb_result = TB_CODE_WIN;
    u16 pv[MAX_PLY] = {};
    EXPECT_EQ(search_node(td->pos, BLACK, 5, 2, -300, 123, NODE_NON_PV, pv), 123);
    EXPECT_EQ(td->ply[5].tb_result, TB_CODE_DRAW);
    // A parent that only draws (2) allows the draw: no early exit.
    at_ply("8/8/8/8/8/3k4/2R5/6K1 b - - 0 1", 5);
    td->ply[4].tb_result = TB_CODE_DRAW;
    const u64 nodes = td->counters[CNT_NODES];
    search_node(td->pos, BLACK, 5, 2, -300, 123, NODE_NON_PV, pv);
    EXPECT_GT(td->counters[CNT_NODES], nodes + 1);
}

// Right below the root, the root's own code for the move judges it: that
// code knows the game's half-move clock, the tables' result here (at clock
// 0) does not.
TEST_F(TablebaseSearchTest, RootMoveCodesJudgeTheMovesRightBelowTheRoot)
{
    u16 pv[MAX_PLY] = {};
    RootMoveCodes& codes = search_state.root_tb_moves;
    // (The clock is past 0, or the node would be one after a zeroing move.)
    const auto root_is = [&](int root_code, int move_code) {
        td->pos.halfmove_clock = 7;
        search_state.root_tb_result = root_code;
        td->ply[1].tb_result = root_code;
        codes.count = 1;
        codes.move[0] = td->ply[1].current->move;
        codes.code[0] = i8(move_code);
    };
    const auto searched = [&](int side) {
        const u64 nodes = td->counters[CNT_NODES];
        search_node(td->pos, side, 2, 2, -10000, 10000, NODE_PV, pv);
        return td->counters[CNT_NODES] > nodes + 1;
    };
    // Black to move loses at clock 0; the root wins, but this move only
    // keeps a win the fifty-move rule spoils: refuted.
    at_ply("8/8/8/4k3/8/8/8/3QK3 b - - 0 1", 2);
    root_is(TB_CODE_WIN, TB_CODE_CURSED_WIN);
    EXPECT_EQ(search_node(td->pos, BLACK, 2, 2, -300, 123, NODE_NON_PV, pv), 123);
    at_ply("8/8/8/4k3/8/8/8/3QK3 b - - 0 1", 2);
    root_is(TB_CODE_WIN, TB_CODE_WIN);
    EXPECT_TRUE(searched(BLACK));
    // The root is lost at clock 0 but saved by the clock, and so is this
    // move: searched, although white to move here wins at clock 0.
    at_ply("8/8/8/4k3/8/8/8/3QK3 w - - 0 1", 2);
    root_is(TB_CODE_BLESSED_LOSS, TB_CODE_BLESSED_LOSS);
    EXPECT_TRUE(searched(WHITE));
    // A root the tables cannot tell: only the codes judge, and nothing
    // below is probed on its behalf.
    at_ply("8/8/8/4k3/8/8/8/3QK3 b - - 0 1", 2);
    root_is(TB_CODE_UNSURE, TB_CODE_CURSED_WIN);
    EXPECT_EQ(search_node(td->pos, BLACK, 2, 2, -300, 123, NODE_NON_PV, pv), 123);
    at_ply("8/8/8/4k3/8/8/8/3QK3 b - - 0 1", 2);
    root_is(TB_CODE_UNSURE, TB_CODE_UNSURE);
    EXPECT_TRUE(searched(BLACK));
    EXPECT_EQ(td->ply[2].tb_result, TB_CODE_NONE);
}
