// The selectivity rules of the search, one test per rule: each gives
// positions and depths where the rule must fire or must not, and checks the
// consequence against the same search with the rule switched off by its
// knob (equal node counts where it must not fire), or against the value the
// rule hands back (a cut at once, a quiescence score, a singular flag).
// Node-level cases search one node at a chosen ply and window; whole
// searches go through the deepening driver and the root search.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "root.h"
#include "search_harness.h"
#include "search_setup.h"
#include "tablebase/tablebase.h"
#include "trace.h"

using namespace search_harness;

namespace {

struct Outcome {
    int score = 0;
    u64 nodes = 0;
};

// `td` is the record of the node-level runs.
struct SearchRuleTest : NodeSearchTest<SearchRuleTest> {
    ParamRecord saved_params{};

    static void SetUpTestSuite()
    {
        search_setup::init_engine_with_one_thread();
        NodeSearchTest::SetUpTestSuite();
    }

    void SetUp() override
    {
        saved_params = params;
        NodeSearchTest::SetUp();
        search_state.multipv = 1;
    }

    void TearDown() override
    {
        params = saved_params;
        init_pruning_tables();
        reset_search_state();
        engine_config.output_delay = OUTPUT_DELAY_QUIET;
    }

    // The static evaluation of the side to move at ply p, with the ply's
    // threat words as the node search leaves them. (A node in check has no
    // static value, -10000; its cases take their window from this one.)
    static int eval_at(const char* fen, int p)
    {
        EXPECT_EQ(prepare_at_ply(td, fen, p), 1) << fen;
        td->ply[p].threat[WHITE] = td->ply[p].threat[BLACK] = 0;
        return evaluate_position(td, td->pos.side, p, 0);
    }

    // One node of `fen` at ply p searched to depth d in (alpha, beta), from
    // a table that holds only what `seed` stores in it.
    template <typename Seed>
    static Outcome node_with(const char* fen, int p, int d, int alpha, int beta, int node_type, Seed seed)
    {
        clear_hash_table();
        search_state.hash_age = 1;
        EXPECT_EQ(prepare_at_ply(td, fen, p), 1) << fen;
        seed(td->pos);
        u16 pv[MAX_PLY] = {};
        Outcome run;
        run.score = search_node(td->pos, td->pos.side, p, d, alpha, beta, node_type, pv);
        run.nodes = td->counters[CNT_NODES];
        return run;
    }

    static Outcome node(const char* fen, int p, int d, int alpha, int beta, int node_type)
    {
        return node_with(fen, p, d, alpha, beta, node_type, [](Position&) {});
    }

    // A whole single-threaded search of `fen` to `depth` through the
    // deepening driver; the score and the nodes of thread 0.
    static Outcome whole(const char* fen, int depth)
    {
        EXPECT_TRUE(search_setup::set_game_fen(fen)) << fen;
        search_setup::search_single_thread(depth);
        return {search_state.best_score, thread_table[0].load()->counters[CNT_NODES]};
    }
};

// White to move with no capture and no check, so that the quiescence search
// called by futility returns at once; the material differs.
const char* const FULL_BOARD = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1";
const char* const THEY_HAVE_A_KNIGHT = "1n2k3/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w - - 0 1";
const char* const THEY_HAVE_A_ROOK = "r3k3/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w - - 0 1";
const char* const KNIGHT_AGAINST_ROOK = "r3k3/pppppppp/8/8/8/8/PPPPPPPP/1N2K3 w - - 0 1";
const char* const ROOK_AGAINST_KNIGHT = "1n2k3/pppppppp/8/8/8/8/PPPPPPPP/R3K3 w - - 0 1";
// In check from the e7 rook: three evasions.
const char* const IN_CHECK = "4k3/4r3/8/8/8/8/PPPP1PPP/RNBQKBNR w - - 0 1";
// In check from the e8 rook: 6 evasions, all quiet (class 0 in check).
const char* const EVASIONS = "4r2k/6pp/8/8/8/2N5/PP4PP/4KB2 w - - 0 1";
// Qd8+ is safe; with the a8 rook it loses the queen.
const char* const SAFE_CHECK = "6k1/5pp1/7p/8/8/8/5PPP/3Q2K1 w - - 0 1";
const char* const UNSAFE_CHECK = "r5k1/5pp1/7p/8/8/8/5PPP/3Q2K1 w - - 0 1";

// Futility: at d <= FP_depth (3), not in check, at a non-PV node whose
// evaluation is at least FP_margin (125) x d below alpha, when the table
// does not say the node reaches beta and the opponent has more than 3 piece
// units, the node returns the quiescence score (here alpha, found at once).
// Otherwise the node searches exactly as with futility off.
TEST_F(SearchRuleTest, FutilityConditions)
{
    enum Entry { NONE, REACHES_BETA_LOWER, REACHES_BETA_UPPER };
    const struct {
        const char* fen;
        int depth, below_alpha, node_type;
        Entry entry;
        bool pruned;
    } cases[] = {
        {FULL_BOARD, 1, 125, NODE_NON_PV, NONE, true},
        {FULL_BOARD, 2, 250, NODE_NON_PV, NONE, true},
        {FULL_BOARD, 2, 249, NODE_NON_PV, NONE, false},  // one short of the margin
        {FULL_BOARD, 3, 375, NODE_NON_PV, NONE, true},
        {FULL_BOARD, 3, 374, NODE_NON_PV, NONE, false},
        {FULL_BOARD, 4, 800, NODE_NON_PV, NONE, false},  // deeper than FP_depth
        {FULL_BOARD, 2, 250, NODE_PV, NONE, false},      // PV node
        {FULL_BOARD, 2, 250, -NODE_NON_PV, NONE, true},  // re-searched non-PV node
        {THEY_HAVE_A_KNIGHT, 2, 300, NODE_NON_PV, NONE, false},   // 3 units: not more than 3
        {THEY_HAVE_A_ROOK, 2, 300, NODE_NON_PV, NONE, true},
        {KNIGHT_AGAINST_ROOK, 2, 300, NODE_NON_PV, NONE, true},   // the opponent's units count,
        {ROOK_AGAINST_KNIGHT, 2, 300, NODE_NON_PV, NONE, false},  // not the side's own
        {IN_CHECK, 1, 300, NODE_NON_PV, NONE, false},
        {FULL_BOARD, 2, 300, NODE_NON_PV, REACHES_BETA_LOWER, false},  // the table forbids it
        {FULL_BOARD, 2, 300, NODE_NON_PV, REACHES_BETA_UPPER, true},   // an upper bound does not
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fen) + " depth " + std::to_string(c.depth) + " below alpha " +
                     std::to_string(c.below_alpha) + " type " + std::to_string(c.node_type));
        const int alpha = eval_at(c.fen, 3) + c.below_alpha;
        auto seed = [&](Position& pos) {
            if (c.entry == NONE) return;
            const int score = alpha + 500;  // at or above beta, from a depth-1 search
            store_hash_entry(pos, 3, 1, score, NULL_MOVE, c.entry == REACHES_BETA_LOWER ? alpha : score + 1,
                             c.entry == REACHES_BETA_LOWER ? alpha + 1 : score + 2);
        };
        const Outcome with = node_with(c.fen, 3, c.depth, alpha, alpha + 1, c.node_type, seed);
        FP_depth = 0;
        const Outcome without = node_with(c.fen, 3, c.depth, alpha, alpha + 1, c.node_type, seed);
        init_pruning_tables();
        if (c.pruned) {
            EXPECT_EQ(with.nodes, 1u);
            EXPECT_EQ(with.score, alpha);
            EXPECT_GT(without.nodes, 1u);  // the rule made the difference
        } else {
            EXPECT_EQ(with.nodes, without.nodes);
            EXPECT_EQ(with.score, without.score);
        }
    }
}

// Static-evaluation pruning: at d <= SEP_depth (3), not in check, at a
// non-PV node whose evaluation is at least beta + (threat word / 2) + 25,
// when the table gives no fail-low hint and the side has at least 4 piece
// units, the node returns beta unsearched when the evaluation is at least
// beta + SEP_margin (75) x d, or at d < 3 when no piece of the side loses
// so much to a capture that the evaluation falls to beta + 99. (The null
// move, which would also cut these nodes, is off.)
TEST_F(SearchRuleTest, StaticEvaluationPruningConditions)
{
    // The e4 pawn hangs to the d5 pawn (100); the d4 pawn is a black
    // passer that gives white a threat word, with nothing en prise.
    const char* const HANGING_PAWN = "4k3/ppp5/8/3p4/4P3/8/P7/R3K3 w - - 0 1";
    const char* const PASSER_THREAT = "4k3/8/8/8/3p4/8/P7/R3K3 w - - 0 1";
    enum Base { BETA, THREAT_LINE };  // "above" counts from beta, or from beta + threat / 2 + 25
    enum Entry { NONE, FAILS_LOW_UPPER, FAILS_LOW_LOWER };
    const struct {
        const char* fen;
        int depth;
        Base base;
        int above, node_type;
        Entry entry;
        bool cut;
    } cases[] = {
        {FULL_BOARD, 3, BETA, 225, NODE_NON_PV, NONE, true},
        {FULL_BOARD, 3, BETA, 224, NODE_NON_PV, NONE, false},  // short of 75 x 3, and d = 3 has no safety path
        {HANGING_PAWN, 1, BETA, 75, NODE_NON_PV, NONE, true},
        {HANGING_PAWN, 1, BETA, 74, NODE_NON_PV, NONE, false},   // the pawn is not safe
        {HANGING_PAWN, 2, BETA, 150, NODE_NON_PV, NONE, true},
        {HANGING_PAWN, 2, BETA, 149, NODE_NON_PV, NONE, false},
        {FULL_BOARD, 2, THREAT_LINE, 0, NODE_NON_PV, NONE, true},   // safe at beta + 25
        {FULL_BOARD, 2, THREAT_LINE, -1, NODE_NON_PV, NONE, false},
        {PASSER_THREAT, 2, THREAT_LINE, 0, NODE_NON_PV, NONE, true},  // safe at beta + threat / 2 + 25
        {PASSER_THREAT, 2, THREAT_LINE, -1, NODE_NON_PV, NONE, false},
        {FULL_BOARD, 4, BETA, 1000, NODE_NON_PV, NONE, false},  // deeper than SEP_depth
        {FULL_BOARD, 2, BETA, 300, NODE_PV, NONE, false},       // PV node
        {KNIGHT_AGAINST_ROOK, 2, BETA, 300, NODE_NON_PV, NONE, false},  // the side's own 3 units
        {ROOK_AGAINST_KNIGHT, 2, BETA, 300, NODE_NON_PV, NONE, true},
        {IN_CHECK, 2, BETA, 300, NODE_NON_PV, NONE, false},
        {FULL_BOARD, 2, BETA, 300, NODE_NON_PV, FAILS_LOW_UPPER, false},
        {FULL_BOARD, 2, BETA, 300, NODE_NON_PV, FAILS_LOW_LOWER, true},  // a lower bound is no hint
    };
    NMP_depth = 99;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fen) + " depth " + std::to_string(c.depth) + " above " +
                     std::to_string(c.above) + " type " + std::to_string(c.node_type));
        const int e = eval_at(c.fen, 3);
        const int threat = i16(td->ply[3].threat[WHITE]) / 2;
        if (c.fen == PASSER_THREAT) {
            ASSERT_GT(threat, 0);
        }
        if (c.fen == HANGING_PAWN) {
            ASSERT_LT(threat + 25, 74);
        }
        const int beta = e - c.above - (c.base == THREAT_LINE ? threat + 25 : 0);
        auto seed = [&](Position& pos) {
            if (c.entry == NONE) return;
            const int score = beta - 400;  // at or below alpha, from a depth-1 search
            store_hash_entry(pos, 3, 1, score, NULL_MOVE, c.entry == FAILS_LOW_UPPER ? score : score - 2,
                             c.entry == FAILS_LOW_UPPER ? score + 1 : score - 1);
        };
        const Outcome r = node_with(c.fen, 3, c.depth, beta - 1, beta, c.node_type, seed);
        EXPECT_EQ(r.nodes == 1 && r.score == beta, c.cut) << r.nodes << " nodes, score " << r.score;
    }
}

// The capture cut test: at d > 4, at a non-PV node whose evaluation is
// above beta + 24, with no fail-low hint and more than 3 piece units of its
// own, the node returns beta when probcut_capture_test(d - 3, beta + 125)
// finds a capture that holds that bound; the node then counts itself and
// the test's nodes only. (The null move is off.)
TEST_F(SearchRuleTest, CaptureCutTestConditions)
{
    // Rxd5 wins a pawn: its value in a reduced search lies within 100 of the
    // evaluation. Nxd6 wins the queen.
    const char* const FREE_PAWN = "4k3/pp6/8/3p4/8/8/PP6/3RK3 w - - 0 1";
    const char* const FREE_QUEEN = "4k3/pp6/3q4/8/4N3/8/PP6/R3K3 w - - 0 1";
    const char* const FREE_QUEEN_KNIGHT_ONLY = "4k3/pp6/3q4/8/4N3/8/PP6/4K3 w - - 0 1";
    NMP_depth = 99;
    auto direct = [&](const char* fen, int depth, int bound) {
        clear_hash_table();
        const int e = eval_at(fen, 3);
        td->ply[3].static_eval = i16(e);
        const u64 before = td->counters[CNT_NODES];
        const int found = probcut_capture_test(td->pos, 3, depth, bound);
        return Outcome{found, td->counters[CNT_NODES] - before};
    };
    // The highest bound the test holds at depth k.
    auto highest_held = [&](const char* fen, int k) {
        const int e = eval_at(fen, 3);
        int lo = e - 500, hi = e + 2000;
        while (lo < hi) {
            const int mid = lo + (hi - lo + 1) / 2;
            if (direct(fen, k, mid).score) lo = mid;
            else hi = mid - 1;
        }
        return lo;
    };
    enum Beta { HELD_MINUS_125, HELD_MINUS_124, EVAL_MINUS_25, EVAL_MINUS_24 };
    const struct {
        const char* fen;
        int depth;
        Beta beta;
        int node_type;
        bool fail_low_hint, cut;
    } cases[] = {
        {FREE_PAWN, 5, HELD_MINUS_125, NODE_NON_PV, false, true},
        {FREE_PAWN, 5, HELD_MINUS_124, NODE_NON_PV, false, false},  // the test fails at beta + 125
        {FREE_PAWN, 6, HELD_MINUS_125, NODE_NON_PV, false, true},
        {FREE_PAWN, 6, HELD_MINUS_124, NODE_NON_PV, false, false},
        {FREE_QUEEN, 5, EVAL_MINUS_25, NODE_NON_PV, false, true},
        {FREE_QUEEN, 5, EVAL_MINUS_24, NODE_NON_PV, false, false},  // not above beta + 24
        {FREE_QUEEN, 4, EVAL_MINUS_25, NODE_NON_PV, false, false},
        {FREE_QUEEN, 5, EVAL_MINUS_25, NODE_PV, false, false},      // PV node
        {FREE_QUEEN, 5, EVAL_MINUS_25, NODE_NON_PV, true, false},
        {FREE_QUEEN_KNIGHT_ONLY, 5, EVAL_MINUS_25, NODE_NON_PV, false, false},  // 3 units
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fen) + " depth " + std::to_string(c.depth) + " beta kind " +
                     std::to_string(c.beta) + " type " + std::to_string(c.node_type));
        const int e = eval_at(c.fen, 3);
        const int beta = c.beta == EVAL_MINUS_25   ? e - 25
                         : c.beta == EVAL_MINUS_24 ? e - 24
                                                   : highest_held(c.fen, c.depth - 3) - 125 + (c.beta == HELD_MINUS_124);
        const Outcome test = direct(c.fen, c.depth - 3, beta + 125);
        const Outcome r = node_with(c.fen, 3, c.depth, beta - 1, beta, c.node_type, [&](Position& pos) {
            if (c.fail_low_hint) store_hash_entry(pos, 3, 1, beta - 400, NULL_MOVE, beta - 400, beta - 399);
        });
        EXPECT_EQ(r.score == beta && r.nodes == 1 + test.nodes, c.cut)
            << r.nodes << " nodes, score " << r.score << "; the test alone " << test.nodes << " nodes";
        if (c.cut) {
            EXPECT_EQ(test.score, 1);
        }
    }
}

// Null move: at d >= NMP_depth (3), with the evaluation above beta + 11,
// no fail-low hint from the table, not in check, at a non-PV node, with at
// least 1 piece unit of its own, and when neither the move into the node nor
// the one before it was a null move. At depth 3 no other node of the tree
// is deep enough for a null move, so the node searches exactly as with the
// null move switched off unless the rule fires at the node itself.
TEST_F(SearchRuleTest, NullMoveConditions)
{
    const char* const KING_AND_PAWNS = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/4K3 w kq - 0 1";
    enum Entry { NONE, FAILS_LOW_UPPER, FAILS_LOW_LOWER };
    static MoveEntry null_entry{NULL_MOVE, 0, 0, 0};
    const struct {
        const char* fen;
        int depth, above_beta, node_type;
        Entry entry;
        int null_plies_back;  // 0: no null move above the node
        bool fires;
    } cases[] = {
        {FULL_BOARD, 3, 12, NODE_NON_PV, NONE, 0, true},
        {FULL_BOARD, 3, 11, NODE_NON_PV, NONE, 0, false},
        {FULL_BOARD, 2, 12, NODE_NON_PV, NONE, 0, false},
        {FULL_BOARD, 3, 12, NODE_PV, NONE, 0, false},      // PV node
        {FULL_BOARD, 3, 12, -NODE_NON_PV, NONE, 0, true},
        {IN_CHECK, 3, 12, NODE_NON_PV, NONE, 0, false},
        {KING_AND_PAWNS, 3, 12, NODE_NON_PV, NONE, 0, false},
        {KNIGHT_AGAINST_ROOK, 3, 12, NODE_NON_PV, NONE, 0, true},
        {FULL_BOARD, 3, 12, NODE_NON_PV, FAILS_LOW_UPPER, 0, false},
        {FULL_BOARD, 3, 12, NODE_NON_PV, FAILS_LOW_LOWER, 0, true},
        {FULL_BOARD, 3, 12, NODE_NON_PV, NONE, 1, false},  // the move into the node was a null move
        {FULL_BOARD, 3, 12, NODE_NON_PV, NONE, 2, false},  // the move before it was
        {FULL_BOARD, 3, 12, NODE_NON_PV, NONE, 3, true},   // three plies back no longer counts
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fen) + " depth " + std::to_string(c.depth) + " above beta " +
                     std::to_string(c.above_beta) + " type " + std::to_string(c.node_type) + " null " +
                     std::to_string(c.null_plies_back) + " plies back");
        const int beta = eval_at(c.fen, 4) - c.above_beta;
        auto seed = [&](Position& pos) {
            if (c.null_plies_back) td->ply[4 - c.null_plies_back].current = &null_entry;
            if (c.entry == NONE) return;
            const int score = beta - 400;  // at or below alpha, from a depth-1 search
            store_hash_entry(pos, 4, 1, score, NULL_MOVE, c.entry == FAILS_LOW_UPPER ? score : score - 2,
                             c.entry == FAILS_LOW_UPPER ? score + 1 : score - 1);
        };
        const Outcome with = node_with(c.fen, 4, c.depth, beta - 1, beta, c.node_type, seed);
        NMP_depth = 99;
        const Outcome without = node_with(c.fen, 4, c.depth, beta - 1, beta, c.node_type, seed);
        init_pruning_tables();
        EXPECT_EQ(with.nodes != without.nodes || with.score != without.score, c.fires)
            << with.nodes << " / " << without.nodes << " nodes";
    }
}

// The null move's reply is searched at max(d - R, 1) - 1 with R = 4 when
// the side has more than 5 piece units and d >= 8, else 3. When the reply
// fails low the node returns beta at d < 6; deeper it returns a move loop
// at d - 5 (verification). The reply's position holds a table entry that
// makes it fail low at once, but only when the entry is at least as deep
// as the reply: one ply shallower, the reply is searched.
TEST_F(SearchRuleTest, NullMoveReductionAndVerification)
{
    const struct {
        const char* fen;
        int depth, reply_depth;
    } cases[] = {
        {FULL_BOARD, 5, 1},          {FULL_BOARD, 6, 2}, {FULL_BOARD, 7, 3},
        {FULL_BOARD, 8, 3},          {FULL_BOARD, 9, 4},  // R = 4 from depth 8 with more than 5 units
        {ROOK_AGAINST_KNIGHT, 8, 4},  // 5 units: R = 3
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fen) + " depth " + std::to_string(c.depth));
        const int beta = eval_at(c.fen, 4) - 12;
        auto with_reply_entry = [&](int entry_depth) {
            return node_with(c.fen, 4, c.depth, beta - 1, beta, NODE_NON_PV, [&](Position& pos) {
                play_null_move(pos);
                const int score = -beta - 100;  // the reply's upper bound, below its alpha
                store_hash_entry(pos, 5, entry_depth, score, NULL_MOVE, score, score + 1);
                take_back_null_move(pos);
            });
        };
        const Outcome answered = with_reply_entry(c.reply_depth);
        const Outcome searched = with_reply_entry(c.reply_depth - 1);
        EXPECT_LT(answered.nodes, searched.nodes);
        if (c.depth < 6) {
            EXPECT_EQ(answered.nodes, 2u);  // the node and the reply
            EXPECT_EQ(answered.score, beta);
        } else {
            // Then the node is a move loop at d - 5 from the same state.
            const int e = eval_at(c.fen, 4);
            td->ply[4].static_eval = i16(e);
            clear_hash_table();
            u16 pv[MAX_PLY] = {};
            const int v = search_move_loop(td->pos, WHITE, 4, c.depth - 5, beta - 1, beta, 0, NODE_NON_PV, pv);
            EXPECT_EQ(answered.nodes, 2 + td->counters[CNT_NODES]);
            EXPECT_EQ(answered.score, v);
        }
    }
}

// One move of a search trace: the ply it was played at, the remaining
// depth of the node that played it (for a root move, the iteration), and
// its text ("null" for a null move).
struct TracedMove {
    int ply, depth;
    std::string move;
};

// A whole single-threaded search of `fen` to `depth` with the search trace
// on down to `trace_depth` plies, and the moves the trace holds for it. The
// trace file is opened once per process and kept: call it in a child
// process, which it moves into a fresh directory of its own (exit code 3
// when it cannot).
std::vector<TracedMove> traced_search(const char* fen, int depth, int trace_depth)
{
    static const struct Directory {
        char path[32] = "/tmp/vant_trace_XXXXXX";
        Directory()
        {
            if (!mkdtemp(path) || chdir(path) != 0) std::exit(3);
        }
        ~Directory()
        {
            std::remove("trace.txt");
            rmdir(path);
        }
    } directory;
    std::streamoff start = 0;
    if (std::ifstream old{"trace.txt", std::ios::ate}) start = old.tellg();
    if (!search_setup::set_game_fen(fen)) std::exit(3);
    engine_config.trace_depth = u16(trace_depth);
    search_setup::search_single_thread(depth);
    engine_config.trace_depth = 0;
    flush_search_trace();

    // A line starts at the ply its indentation gives (nine blanks a ply) and
    // goes one ply deeper per entry "(depth)move"; headings start with 'S'.
    std::vector<TracedMove> moves;
    std::ifstream in("trace.txt");
    in.seekg(start);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == 'S') continue;
        int ply = int(line.find_first_not_of(' ') / 9) + 1;
        for (size_t open = line.find('('); open != std::string::npos; open = line.find('(', open + 1), ply++) {
            const size_t close = line.find(')', open);
            const size_t end = line.find(' ', close);
            moves.push_back({ply, std::stoi(line.substr(open + 1, close - open - 1)),
                             line.substr(close + 1, end - close - 1)});
        }
    }
    return moves;
}

// Counts the null moves of a whole search, those played right after a null
// move and those one ply later, reports them on standard error and ends the
// process with 0 when there were many and none of either kind. The null
// move is allowed down to depth 1 and static-evaluation pruning is off, so
// that the shallow nodes two plies under a null move would try one.
[[noreturn]] void count_null_moves_of_a_whole_search()
{
    params.NMP_depth = 1;
    params.SEP_depth = 0;
    init_pruning_tables();
    const std::vector<TracedMove> moves =
        traced_search("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3", 7, 20);
    std::string path[MAX_PLY + 2];
    int nulls = 0, after_null = 0, two_after_null = 0;
    for (const TracedMove& m : moves) {
        if (m.ply > MAX_PLY) continue;
        path[m.ply] = m.move;
        if (m.move != "null") continue;
        nulls++;
        after_null += m.ply > 1 && path[m.ply - 1] == "null";
        two_after_null += m.ply > 2 && path[m.ply - 2] == "null";
    }
    std::fprintf(stderr, "%d null moves, %d right after one, %d two plies after one\n", nulls, after_null,
                 two_after_null);
    std::exit(nulls > 100 && after_null == 0 && two_after_null == 0 ? 0 : 1);
}

// The same history rule in a whole search. The trace file is the
// process's own, opened once for good: the search runs in a child process.
TEST_F(SearchRuleTest, NullMoveNeverTwiceWithinTwoPliesOfAWholeSearch)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(count_null_moves_of_a_whole_search(), ::testing::ExitedWithCode(0), "null moves");
}

// Internal deepening: at d > 3, when the table's depth for the node (with a
// move) is below d' = d - 3 at PV nodes, max(d, 6) - 5 elsewhere, and the
// evaluation is at least alpha - 199, the node first searches its moves at
// d' and takes the best of them as its hash move when it beats alpha. Nxd6
// wins the queen; the table names Ra6, which loses the rook, at depth 1, or
// nothing.
TEST_F(SearchRuleTest, InternalDeepeningConditions)
{
    const char* const fen = "4k3/pp6/3q4/8/4N3/8/PP6/R3K3 w - - 0 1";
    const Move table_move = make_move(0, 40), capture = make_move(28, 43);
    const struct {
        int depth, node_type, below_eval;
        bool entry, deepens;
    } cases[] = {
        {4, NODE_NON_PV, 199, false, true},
        {4, NODE_NON_PV, 200, false, false},  // the evaluation is further below alpha
        {3, NODE_NON_PV, 0, false, false},
        {4, NODE_NON_PV, 0, true, false},     // d' = max(4, 6) - 5 = 1: the entry is deep enough
        {6, NODE_NON_PV, 0, true, false},
        {7, NODE_NON_PV, 0, true, true},      // d' = 2
        {4, NODE_PV, 0, true, false},         // PV: d' = 4 - 3 = 1
        {5, NODE_PV, 0, true, true},          // d' = 2
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("depth " + std::to_string(c.depth) + " type " + std::to_string(c.node_type) + " alpha e + " +
                     std::to_string(c.below_eval) + (c.entry ? " with" : " without") + " an entry");
        const int alpha = eval_at(fen, 3) + c.below_eval;
        const int beta = c.node_type == NODE_PV ? alpha + 2000 : alpha + 1;
        node_with(fen, 3, c.depth, alpha, beta, c.node_type, [&](Position& pos) {
            if (c.entry) store_hash_entry(pos, 3, 1, alpha, table_move, alpha - 1, alpha + 1);  // exact, depth 1
        });
        EXPECT_EQ(td->ply[3].hash_move, c.deepens ? capture : c.entry ? table_move : NULL_MOVE);
    }
}

// The singular test: at d > 7, with SingularExtension on, a hash move from
// an entry of depth hd > 0 whose value reaches beta, the node asks
// singular_move_test(d - 7, beta - 50) whether every other move stays at or
// below beta - 50, and sets its singular flag when it does. The position:
// Ra8 mates, the other moves keep white's extra rook; the entry (depth 5,
// too shallow for a cut, deep enough to skip internal deepening) names Ra8.
TEST_F(SearchRuleTest, SingularTestDepthAndMargin)
{
    const char* const fen = "6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - 0 1";
    const Move mate = make_move(0, 56);
    const int e = eval_at(fen, 3);
    params.SingularExtension = 1;

    // The other moves' best value at singular depth k: the lowest bound
    // that the test at that depth accepts, with the node's own ply record.
    auto test_at = [&](int k, int bound) {
        clear_hash_table();
        EXPECT_EQ(prepare_at_ply(td, fen, 3), 1);
        td->ply[3].hash_move = mate;  // as the node leaves its record
        td->ply[3].static_eval = i16(e);
        td->ply[3].moves_tried = 0;
        return singular_move_test(td->pos, 3, k, bound, 0, mate);
    };
    auto lowest_accepted = [&](int k) {
        int lo = e - 1000, hi = e + 1000;
        while (lo < hi) {
            const int mid = lo + (hi - lo) / 2;
            if (test_at(k, mid)) hi = mid;
            else lo = mid + 1;
        }
        return lo;
    };
    int accepted[4];
    for (int k = 0; k < 4; k++) accepted[k] = lowest_accepted(k);
    // The position tells the singular depths 1, 2 and 3 apart.
    ASSERT_NE(accepted[1], accepted[2]);
    ASSERT_NE(accepted[2], accepted[3]);

    auto singular_flag = [&](int d, int beta, int entry_depth, int entry_score) {
        const Outcome r = node_with(fen, 3, d, beta - 1, beta, NODE_NON_PV, [&](Position& pos) {
            store_hash_entry(pos, 3, entry_depth, entry_score, mate, entry_score - 2, entry_score - 1);  // a lower bound
        });
        EXPECT_GE(r.score, beta);  // the mate cuts
        return td->ply[3].singular;
    };
    int flags_set = 0, flags_clear = 0;
    for (int d : {7, 8, 9}) {
        const int k = d - 7;
        for (int beta : {accepted[k] + 49, accepted[k] + 50}) {
            SCOPED_TRACE("depth " + std::to_string(d) + " beta " + std::to_string(beta));
            ASSERT_LE(e, beta + 11);  // neither the null move nor the capture cut test runs
            const int expected = d > 7 && test_at(k, beta - 50);
            EXPECT_EQ(singular_flag(d, beta, 5, beta + 100), expected);
            (expected ? flags_set : flags_clear)++;
        }
    }
    EXPECT_GT(flags_set, 0);
    EXPECT_GT(flags_clear, 0);

    // No test with the value below beta, without a depth in the entry, or
    // with the extension switched off.
    const int beta = accepted[2] + 50;
    ASSERT_EQ(test_at(2, beta - 50), 1);
    EXPECT_EQ(singular_flag(9, beta, 5, beta - 1), 0);
    EXPECT_EQ(singular_flag(9, beta, 0, beta + 100), 0);
    params.SingularExtension = 0;
    EXPECT_EQ(singular_flag(9, beta, 5, beta + 100), 0);
}

// Late-move pruning: at d <= LMP_depth (5), not in check, at a non-PV node
// outside internal deepening, once max(4, LMP_count (3) x d) moves were
// searched, a later quiet non-checking move is dropped unless it is castling,
// scores 40 or more in the ordering, or attacks something near the enemy
// king or an enemy piece (and is safe by exchange). Here white has 20 quiet
// moves, none of them checks, captures or attacks on anything, so the node
// searches exactly that many; with castling (19 moves) one more.
TEST_F(SearchRuleTest, LateMovePruningCount)
{
    const char* const QUIET = "7k/6pp/8/8/8/8/PP4PP/1N2KB2 w - - 0 1";
    const char* const CASTLING = "7k/6pp/8/8/8/8/PP4PP/1N2K2R w K - 0 1";
    const struct {
        const char* fen;
        int depth, node_type, lmp_count, lmp_depth, searched;
    } cases[] = {
        {QUIET, 1, NODE_NON_PV, 3, 5, 4},   // max(4, 3)
        {QUIET, 2, NODE_NON_PV, 3, 5, 6},
        {QUIET, 3, NODE_NON_PV, 3, 5, 9},
        {QUIET, 4, NODE_NON_PV, 3, 5, 12},
        {QUIET, 5, NODE_NON_PV, 3, 5, 15},
        {QUIET, 6, NODE_NON_PV, 3, 5, 20},  // deeper than LMP_depth
        {QUIET, 4, NODE_NON_PV, 3, 3, 20},
        {QUIET, 1, NODE_NON_PV, 4, 5, 4},
        {QUIET, 2, NODE_NON_PV, 4, 5, 8},
        {QUIET, 2, NODE_PV, 3, 5, 20},      // PV node
        {QUIET, 2, -NODE_NON_PV, 3, 5, 6},
        {CASTLING, 1, NODE_NON_PV, 3, 5, 5},  // castling is never dropped
        {CASTLING, 2, NODE_NON_PV, 3, 5, 7},
        {CASTLING, 3, NODE_NON_PV, 3, 5, 10},
        {EVASIONS, 1, NODE_NON_PV, 3, 5, 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fen) + " depth " + std::to_string(c.depth) + " type " +
                     std::to_string(c.node_type) + " LMP_count " + std::to_string(c.lmp_count) + " LMP_depth " +
                     std::to_string(c.lmp_depth));
        LMP_count = i16(c.lmp_count);
        LMP_depth = i16(c.lmp_depth);
        node(c.fen, 3, c.depth, -5000, 5000, c.node_type);
        init_pruning_tables();
        EXPECT_EQ(td->ply[3].moves_tried, c.searched);
    }
    // The move loop of internal deepening prunes nothing.
    for (int flag : {0, 1}) {
        const int e = eval_at(QUIET, 3);
        td->ply[3].static_eval = i16(e);
        td->ply[3].internal_deepening = u8(flag);
        u16 pv[MAX_PLY] = {};
        search_move_loop(td->pos, WHITE, 3, 2, -5000, 5000, 0, NODE_NON_PV, pv);
        EXPECT_EQ(td->ply[3].moves_tried, flag ? 20 : 6);
    }
}

// Extensions, in sixteenths of a ply carried down the line: the singular
// hash move and a discovered check 16; a check or a pawn move to the
// seventh rank that is safe by exchange 16 at PV nodes, 8 elsewhere; a
// capture 8 at PV nodes up to ply 6, else 4. A sum of 16 or more extends
// the move by a ply. The move under test is the hash move (searched first,
// never reduced); the depth its reply was searched at is read from the
// reply's table entry.
TEST_F(SearchRuleTest, ExtensionsInSixteenths)
{
    const char* const CAPTURE = "6k1/5pp1/7p/3p4/8/8/5PPP/3Q2K1 w - - 0 1";        // Qxd5
    const char* const DISCOVERED = "3k4/5pp1/7p/8/8/8/3N1PPP/3R2K1 w - - 0 1";    // Nb3, the d1 rook checks
    const char* const SEVENTH = "6k1/8/P6p/8/8/8/5PPP/6K1 w - - 0 1";             // a6-a7
    const struct {
        const char* fen;
        int from, to, ply, node_type, accumulator, reply_depth;
    } cases[] = {
        {SAFE_CHECK, 3, 59, 3, NODE_PV, 0, 3},       // PV: 16
        {SAFE_CHECK, 3, 59, 3, NODE_NON_PV, 8, 3},   // non-PV: 8, the second 8 on the line
        {SAFE_CHECK, 3, 59, 3, NODE_NON_PV, 7, 2},
        {UNSAFE_CHECK, 3, 59, 3, NODE_PV, 15, 2},  // nothing for an unsafe check
        {UNSAFE_CHECK, 3, 59, 3, NODE_NON_PV, 15, 2},
        {CAPTURE, 3, 35, 3, NODE_PV, 8, 3},          // PV up to ply 6: 8
        {CAPTURE, 3, 35, 3, NODE_PV, 7, 2},
        {CAPTURE, 3, 35, 7, NODE_PV, 12, 3},         // deeper: 4
        {CAPTURE, 3, 35, 7, NODE_PV, 11, 2},
        {CAPTURE, 3, 35, 3, NODE_NON_PV, 12, 3},     // non-PV: 4
        {CAPTURE, 3, 35, 3, NODE_NON_PV, 11, 2},
        {DISCOVERED, 11, 17, 3, NODE_NON_PV, 0, 3},  // 16 anywhere
        {SEVENTH, 40, 48, 3, NODE_PV, 0, 3},
        {SEVENTH, 40, 48, 3, NODE_NON_PV, 8, 3},
        {SEVENTH, 40, 48, 3, NODE_NON_PV, 7, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fen) + " move " + std::to_string(c.from) + "-" + std::to_string(c.to) + " ply " +
                     std::to_string(c.ply) + " type " + std::to_string(c.node_type) + " accumulator " +
                     std::to_string(c.accumulator));
        const Move move = make_move(c.from, c.to);
        node_with(c.fen, c.ply, 3, -5000, 5000, c.node_type, [&](Position& pos) {
            store_hash_entry(pos, c.ply, 0, 0, move, -5000, 5000);  // names the move, cuts nothing
            td->ext_accumulator = u16(c.accumulator);
        });
        EXPECT_EQ(td->ext_accumulator, c.accumulator);  // restored on the way out
        play_move(td->pos, move);
        TTEntry reply;
        probe_hash_table(td->pos, reply);
        take_back_move(td->pos);
        EXPECT_EQ(reply.depth, c.reply_depth);
    }
}

// Late-move reductions: active at d >= LMR_depth (3), not in check, when
// ply + d exceeds half the iteration depth; a quiet late move at a non-PV
// node is reduced by table B (1 at depth 3), at a PV node by table A (0 at
// depth 3) plus 1 when the evaluation fell by more than 150 since the side's
// previous move (ply p - 2). Where no move of the tree can be reduced the
// node searches exactly as with reductions off; where one is, it does not.
TEST_F(SearchRuleTest, LateMoveReductionConditions)
{
    const struct {
        const char* fen;
        int depth, node_type, iteration, grandparent_above;
        bool reduces;
    } cases[] = {
        {FULL_BOARD, 3, NODE_NON_PV, 4, 0, true},
        {FULL_BOARD, 2, NODE_NON_PV, 4, 0, false},   // below LMR_depth, and so is every node under it
        {FULL_BOARD, 4, NODE_NON_PV, 13, 0, true},   // 3 + 4 > 13 / 2
        {FULL_BOARD, 4, NODE_NON_PV, 14, 0, false},  // 3 + 4 = 14 / 2, and no node under it is further out
        {EVASIONS, 3, NODE_NON_PV, 4, 0, false},
        {FULL_BOARD, 3, NODE_PV, 4, 150, false},  // PV: table A gives 0, the evaluation held
        {FULL_BOARD, 3, NODE_PV, 4, 151, true},   // it fell by more than 150: one ply
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fen) + " depth " + std::to_string(c.depth) + " type " +
                     std::to_string(c.node_type) + " iteration " + std::to_string(c.iteration) +
                     " grandparent +" + std::to_string(c.grandparent_above));
        const int e = eval_at(c.fen, 3);
        auto seed = [&](Position&) {
            td->current_depth.store(u8(c.iteration));
            td->ply[1].static_eval = i16(e + c.grandparent_above);
        };
        const Outcome with = node_with(c.fen, 3, c.depth, e - 50, e + 50, c.node_type, seed);
        LMR_depth = 99;
        const Outcome without = node_with(c.fen, 3, c.depth, e - 50, e + 50, c.node_type, seed);
        init_pruning_tables();
        EXPECT_EQ(with.nodes != without.nodes || with.score != without.score, c.reduces)
            << with.nodes << " / " << without.nodes << " nodes";
    }
}

// Aspiration: from depth 4 on thread 0 searches the first root move in
// prev +- delta, delta = max(15, (15 - d) x 4) + |prev| / 16, and widens a
// failing bound by w = max(25, 2w) starting from w = delta; a later move
// that fails high over the best score is re-searched up to best + 1 + w
// with w = 25, 50, 100, ... Every bound that fails is printed as a line of
// its own (the children fail hard, so the line shows the bound itself).
// Here black's first move fails low twice at depth 4, then ...Bc5 fails
// high all the way to a mate.
TEST_F(SearchRuleTest, AspirationWindowWidening)
{
    struct Line {
        int score;
        std::string move;
    };
    auto lines_of_depth = [](const std::string& out, int depth) {
        std::vector<Line> lines;
        const std::string head = "info depth " + std::to_string(depth) + " ";
        for (size_t at = 0; (at = out.find(head, at)) != std::string::npos; at++) {
            const std::string line = out.substr(at, out.find('\n', at) - at);
            const size_t cp = line.find(" score cp ");
            const size_t pv = line.find(" pv ");
            if (cp == std::string::npos || pv == std::string::npos) continue;
            lines.push_back({std::stoi(line.substr(cp + 10)), line.substr(pv + 4, 4)});
        }
        return lines;
    };
    engine_config.output_delay = 0;
    ASSERT_TRUE(search_setup::set_game_fen("r1b1kb1r/pppp1ppp/5q2/4n3/3KP3/2N3PN/PPP4P/R1BQ1B1R b kq - 0 1"));
    testing::internal::CaptureStdout();
    search_setup::search_single_thread(4);
    const std::string out = testing::internal::GetCapturedStdout();
    const std::vector<Line> previous = lines_of_depth(out, 3);
    const std::vector<Line> lines = lines_of_depth(out, 4);
    ASSERT_FALSE(previous.empty()) << out;
    ASSERT_GE(lines.size(), 8u) << out;

    // The first move fails low at prev - delta and at the widened bound.
    const int prev = previous.back().score;
    const int delta = std::max(15, (15 - 4) * 4) + std::abs(prev) / 16;
    EXPECT_EQ(aspiration_delta(4, prev, true), delta);
    const int w1 = std::max(25, 2 * delta), w2 = std::max(25, 2 * w1);
    EXPECT_EQ(lines[0].score, prev - delta) << out;
    EXPECT_EQ(lines[1].score, prev - delta - w1) << out;
    EXPECT_GT(lines[2].score, prev - delta - w1 - w2) << out;  // inside the third window

    // ...Bc5 fails high over the best score before it: best + 26, then
    // 50, 100, 200, ... higher each time.
    size_t first = 0;
    while (first < lines.size() && lines[first].move != "f8c5") first++;
    ASSERT_GT(first, 0u) << out;
    ASSERT_GE(lines.size() - first, 5u) << out;
    EXPECT_EQ(lines[first].score, lines[first - 1].score + 26) << out;
    int step = 50;
    for (size_t i = first + 1; i < lines.size() && lines[i].move == "f8c5"; i++, step *= 2)
        EXPECT_EQ(lines[i].score - lines[i - 1].score, step) << out;
}

// The depth each root move of iteration d was first searched at: the
// remaining depth of its reply, read from the reply's first move (-1 when
// the reply played none). One entry per root move, in the order searched.
std::vector<std::pair<std::string, int>> root_reply_depths(const std::vector<TracedMove>& moves, int d)
{
    std::vector<std::pair<std::string, int>> out;
    for (size_t i = 0; i < moves.size(); i++) {
        if (moves[i].ply != 1 || moves[i].depth != d) continue;
        bool seen = false;
        for (const auto& [move, depth] : out) seen |= move == moves[i].move;
        if (seen) continue;
        out.push_back({moves[i].move, i + 1 < moves.size() && moves[i + 1].ply == 2 ? moves[i + 1].depth : -1});
    }
    return out;
}

// Checks the root's reductions and extensions in whole searches, reports
// what differs on standard error and ends the process with 0 when nothing
// does. From depth 8 a quiet root move after the first six is searched one
// ply shallower (when the side has pieces and pawns and the best score so
// far holds); a root move that gives a check safe by exchange is searched
// one ply deeper.
[[noreturn]] void check_root_depths_of_whole_searches()
{
    int faults = 0;
    auto expect = [&](bool ok, const std::string& what) {
        if (!ok) std::fprintf(stderr, "%s\n", what.c_str());
        faults += !ok;
    };
    // Replies cut by the table play no move and tell nothing; most must tell.
    auto expect_depths = [&](const std::string& what, const std::vector<std::pair<std::string, int>>& replies,
                             auto want) {
        size_t known = 0;
        for (size_t i = 0; i < replies.size(); i++) {
            if (replies[i].second == -1) continue;
            known++;
            expect(replies[i].second == want(i, replies[i].first), what + ", root move " + std::to_string(i + 1) + " " +
                                                     replies[i].first + " searched at " +
                                                     std::to_string(replies[i].second));
        }
        expect(known * 4 >= replies.size() * 3 && !replies.empty(),
               what + ": " + std::to_string(known) + " of " + std::to_string(replies.size()) +
                   " root moves with a known depth");
    };
    const std::vector<TracedMove> opening = traced_search(FULL_BOARD, 8, 2);
    expect_depths("iteration 7", root_reply_depths(opening, 7), [](size_t, const std::string&) { return 6; });
    expect_depths("iteration 8", root_reply_depths(opening, 8),
                  [](size_t i, const std::string&) { return i < 6 ? 7 : 6; });
    expect_depths("without pawns", root_reply_depths(traced_search("4k3/8/8/8/8/8/8/1N2KB2 w - - 0 1", 8, 2), 8),
                  [](size_t, const std::string& move) { return move == "f1b5" ? 8 : 7; });  // Bb5+
    for (const char* fen : {SAFE_CHECK, UNSAFE_CHECK}) {
        for (const auto& [move, depth] : root_reply_depths(traced_search(fen, 5, 2), 5)) {
            const int want = move == "d1d8" && fen == SAFE_CHECK ? 5 : 4;
            expect(depth == want || depth == -1,
                   std::string(fen) + ": " + move + " searched at " + std::to_string(depth));
        }
    }
    std::fprintf(stderr, "%d root depths differ\n", faults);
    std::exit(faults == 0 ? 0 : 1);
}

TEST_F(SearchRuleTest, RootReductionAndExtension)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(check_root_depths_of_whole_searches(), ::testing::ExitedWithCode(0), "root depths differ");
}

// The rules in whole searches through the deepening driver: a rule that
// cannot fire anywhere in the tree leaves the search exactly as it is with
// the rule switched off, one that fires changes it. Without pieces there is
// no null move (it needs 1 unit), no static-evaluation pruning (4 units) and
// no futility (the opponent needs more than 3); a knight each still allows
// the null move only. At depth 8 no node of a quiet opening is deeper than
// 7 (no root move is extended), too shallow for the singular test (d > 7).
TEST_F(SearchRuleTest, RulesInWholeSearches)
{
    const char* const PAWNS_ONLY = "8/pp3k2/8/8/8/8/PP3K2/8 w - - 0 1";
    const char* const KNIGHT_EACH = "4k3/pp4n1/8/8/8/8/PPP1P3/1N2K3 w - - 0 1";
    enum Switch { NULL_MOVE_OFF, STATIC_PRUNING_OFF, FUTILITY_OFF, SINGULAR_ON };
    const char* const names[] = {"null move off", "static-evaluation pruning off", "futility off", "singular test on"};
    const struct {
        const char* fen;
        int depth;
        Switch change;
        bool differs;
    } cases[] = {
        {PAWNS_ONLY, 8, NULL_MOVE_OFF, false},      {PAWNS_ONLY, 8, STATIC_PRUNING_OFF, false},
        {PAWNS_ONLY, 8, FUTILITY_OFF, false},       {KNIGHT_EACH, 8, NULL_MOVE_OFF, true},
        {KNIGHT_EACH, 8, STATIC_PRUNING_OFF, false}, {KNIGHT_EACH, 8, FUTILITY_OFF, false},
        {FULL_BOARD, 8, NULL_MOVE_OFF, true},       {FULL_BOARD, 8, STATIC_PRUNING_OFF, true},
        {FULL_BOARD, 8, FUTILITY_OFF, true},        {FULL_BOARD, 8, SINGULAR_ON, false},
        {FULL_BOARD, 9, SINGULAR_ON, true},
    };
    ParamRecord base = saved_params;
    base.SingularExtension = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fen) + " depth " + std::to_string(c.depth) + ", " + names[c.change]);
        params = base;
        init_pruning_tables();
        const Outcome plain = whole(c.fen, c.depth);
        params.NMP_depth = c.change == NULL_MOVE_OFF ? 99 : base.NMP_depth;
        params.SEP_depth = c.change == STATIC_PRUNING_OFF ? 0 : base.SEP_depth;
        params.FP_depth = c.change == FUTILITY_OFF ? 0 : base.FP_depth;
        params.SingularExtension = c.change == SINGULAR_ON;
        init_pruning_tables();
        const Outcome changed = whole(c.fen, c.depth);
        EXPECT_EQ(plain.nodes != changed.nodes || plain.score != changed.score, c.differs)
            << plain.nodes << " / " << changed.nodes << " nodes";
    }
}

}  // namespace
