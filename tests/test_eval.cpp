// Static evaluation: colour and file symmetry over a position suite, cached
// against fresh evaluations, the bare-king endings and drawish scaling, and
// the readings chosen where the rules leave a choice.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "bitbase.h"
#include "bitboard.h"
#include "eval.h"
#include "eval_positions.h"
#include "fen.h"
#include "makemove.h"
#include "movegen.h"
#include "params.h"
#include "records.h"
#include "zobrist.h"

namespace {

using eval_positions::colour_flipped;
using eval_positions::file_mirrored;

struct EvalResult {
    int score;
    u16 threat[2];
};

struct EvalTest : ::testing::Test {
    static inline ThreadData* td = nullptr;
    static inline std::vector<std::string> suite;

    static void SetUpTestSuite()
    {
        init_board_tables();
        generate_zobrist_keys();
        build_kpk_bitbase();
        if (!td) {
            td = allocate_thread_data();
            reset_thread_links(td);
        }
        if (suite.empty()) build_suite();
    }

    // The global state the tests change, put back afterwards.
    ParamRecord saved_record;
    EvalTables saved_tables;
    double saved_target_time = 0;
    u8 saved_engine_colour = 0;
    u8 saved_builtin_pst = 1;

    void SetUp() override
    {
        saved_record = params;
        saved_tables = eval_tables;
        saved_target_time = search_state.target_time;
        saved_engine_colour = search_state.engine_colour;
        saved_builtin_pst = engine_config.builtin_pst;
        use_default_params();
        td->index = 1;  // no trace unless a test asks for it
        td->current_depth = 0;
        search_state.target_time = 1.0;
        search_state.engine_colour = 0;
    }

    void TearDown() override
    {
        params = saved_record;
        eval_tables = saved_tables;
        search_state.target_time = saved_target_time;
        search_state.engine_colour = saved_engine_colour;
        engine_config.builtin_pst = saved_builtin_pst;
    }

    static void use_default_params()
    {
        write_default_params(params);
        use_current_params();
    }

    static void use_current_params()
    {
        init_evaluation_tables();
        td->eval_tables = eval_tables;
    }

    static bool set(const std::string& fen)
    {
        const char* reason = "";
        bool ok = set_position_from_fen(td->pos, fen.c_str(), &reason) == 1;
        EXPECT_TRUE(ok) << fen << ": " << reason;
        reset_thread_links(td);
        return ok;
    }

    static int in_check()
    {
        const Position& pos = td->pos;
        return is_square_attacked_by(pos, king_square(pos, pos.side), pos.side ^ 1);
    }

    // Evaluation of the side to move at `ply`, threat words cleared first.
    static EvalResult eval_here(int ply = 2)
    {
        PlyRecord& pr = td->ply[ply];
        pr.threat[0] = pr.threat[1] = 0;
        pr.drawn = 0;
        EvalResult r;
        r.score = evaluate_position(td, td->pos.side, ply, in_check());
        r.threat[0] = pr.threat[0];
        r.threat[1] = pr.threat[1];
        return r;
    }

    static EvalResult eval_fen(const std::string& fen, int ply = 2)
    {
        if (!set(fen)) return EvalResult{0, {0, 0}};
        return eval_here(ply);
    }

    // Trace-mode evaluation (thread 0, ply 1, no search running).
    static EvalResult eval_traced(const std::string& fen)
    {
        td->index = 0;
        EvalResult r = eval_fen(fen, 1);
        td->index = 1;
        return r;
    }

    // Everything one trace-mode evaluation leaves behind: the score, the
    // threat words, the positional accumulators and the trace.
    struct Breakdown {
        int score;
        u16 threat[2];
        int op[2];
        int en[2];
        EvalTrace trace;
    };

    static Breakdown breakdown(const std::string& fen)
    {
        Breakdown b{};
        if (!set(fen)) return b;
        EXPECT_FALSE(in_check()) << fen;
        td->index = 0;
        EvalResult r = eval_here(1);
        td->index = 1;
        b.score = r.score;
        for (int c = 0; c < 2; c++) {
            b.threat[c] = r.threat[c];
            b.op[c] = td->eval_work.positional_op[c];
            b.en[c] = td->eval_work.positional_en[c];
        }
        b.trace = engine_config.eval_trace;
        return b;
    }

    struct OpEn {
        int op;
        int en;
    };

    // What the parameters that `change` alters add to the positional
    // accumulators of `colour`: the defaults against the changed record.
    template <class Change>
    static OpEn share_of(const std::string& fen, int colour, Change change)
    {
        const Breakdown with = breakdown(fen);
        change(params);
        use_current_params();
        const Breakdown without = breakdown(fen);
        use_default_params();
        return OpEn{with.op[colour] - without.op[colour], with.en[colour] - without.en[colour]};
    }

    // What `fen` adds to the positional accumulators of `colour` over
    // `reference`, the same position with one piece elsewhere.
    static OpEn share_between(const std::string& fen, const std::string& reference, int colour)
    {
        const Breakdown a = breakdown(fen);
        const Breakdown b = breakdown(reference);
        return OpEn{a.op[colour] - b.op[colour], a.en[colour] - b.en[colour]};
    }

    // The set of the named squares ("e4 h3").
    static u64 squares(const std::string& names)
    {
        u64 set = 0;
        for (size_t i = 0; i + 1 < names.size(); i += 3) set |= square_bit((names[i] - 'a') + 8 * (names[i + 1] - '1'));
        return set;
    }

    static int tapered(int phase, int op, int en) { return (en * phase + op * (24 - phase)) / 24; }

    static std::string with_side(std::string fen, char side)
    {
        fen[fen.find(' ') + 1] = side;
        return fen;
    }

    // Curated positions plus positions sampled from seeded random games,
    // biased towards captures so that the games reach endgames.
    static void build_suite()
    {
        suite = eval_positions::curated();
        ThreadData* walker = allocate_thread_data();
        reset_thread_links(walker);
        u32 seed = 12345;
        auto next = [&seed]() {
            seed = seed * 1103515245u + 12345u;
            return (seed >> 16) & 0x7FFF;
        };
        static const char* starts[] = {
            "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
            "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq -",
            "rnbqkb1r/ppp1pppp/5n2/3p4/2PP4/8/PP2PPPP/RNBQKBNR w KQkq -",
            "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP3PPP/R2QKB1R w KQ -",
        };
        for (int game = 0; game < 48; game++) {
            set_position_from_fen(walker->pos, starts[game % 4]);
            reset_thread_links(walker);
            for (int ply = 0; ply < 160; ply++) {
                Position& pos = walker->pos;
                generate_all_moves(pos);
                std::vector<Move> legal, captures;
                for (const MoveEntry* e = walker->ply[walker->search_ply].list_start; e->move != MOVE_LIST_END; e++) {
                    if (!king_safe_after_move(pos, pos.side, e->move)) continue;
                    legal.push_back(e->move);
                    if (e->captured) captures.push_back(e->move);
                }
                if (legal.empty()) break;
                const std::vector<Move>& pool = (!captures.empty() && next() % 100 < 60) ? captures : legal;
                play_move(pos, pool[next() % pool.size()]);
                char fen[128];
                position_to_fen(pos, fen);
                // Re-set from the text so that the walk never runs out of plies.
                set_position_from_fen(pos, fen);
                reset_thread_links(walker);
                if (ply % 7 == 3) suite.push_back(fen);
            }
        }
        delete walker;
    }
};

TEST_F(EvalTest, SuiteIsLargeAndVaried)
{
    EXPECT_GE(suite.size(), 200u);
    int endgames = 0, kpk = 0;
    for (const std::string& fen : suite) {
        ASSERT_TRUE(set(fen));
        if (td->pos.piece_units[0] + td->pos.piece_units[1] <= 10) endgames++;
        if (td->pos.material_key[0] + td->pos.material_key[1] == 1) kpk++;
    }
    EXPECT_GE(endgames, 60);
    EXPECT_GE(kpk, 8);
    RecordProperty("positions", int(suite.size()));
    RecordProperty("endgames", endgames);
}

// The central guard against ordering traps: every term must treat the two
// colours alike.
TEST_F(EvalTest, ColourFlippedTwinsScoreAlike)
{
    int compared = 0;
    for (const std::string& fen : suite) {
        std::string twin = colour_flipped(fen);
        EvalResult a = eval_fen(fen);
        EvalResult b = eval_fen(twin);
        EXPECT_EQ(a.score, b.score) << fen << "  vs  " << twin;
        EXPECT_EQ(a.threat[0], b.threat[1]) << fen;
        EXPECT_EQ(a.threat[1], b.threat[0]) << fen;
        compared++;
    }
    EXPECT_GE(compared, 200);
}

TEST_F(EvalTest, FileMirroredTwinsScoreAlike)
{
    int compared = 0;
    for (const std::string& fen : suite) {
        if (eval_positions::split_fields(fen)[2] != "-") continue;
        std::string twin = file_mirrored(fen);
        EvalResult a = eval_fen(fen);
        EvalResult b = eval_fen(twin);
        EXPECT_EQ(a.score, b.score) << fen << "  vs  " << twin;
        EXPECT_EQ(a.threat[0], b.threat[0]) << fen;
        EXPECT_EQ(a.threat[1], b.threat[1]) << fen;
        compared++;
    }
    EXPECT_GE(compared, 100);
}

// Pawn-hash hits and evaluation-cache hits give what a fresh evaluation gives.
TEST_F(EvalTest, CachedEvaluationEqualsFresh)
{
    for (const std::string& fen : suite) {
        ASSERT_TRUE(set(fen));
        if (in_check()) continue;
        td->current_depth = 0;
        EvalResult fresh = eval_here(1);  // no cache read, pawn terms recomputed

        td->current_depth = 5;
        u64 pawn_hits = td->counters[CNT_PAWN_HITS];
        u64 cache_hits = td->counters[CNT_EVAL_HITS];
        EvalResult pawn_cached = eval_here(1);  // ply 1: pawn hash only
        EvalResult cached = eval_here(3);       // evaluation cache
        td->current_depth = 0;

        EXPECT_EQ(pawn_cached.score, fresh.score) << fen;
        EXPECT_EQ(pawn_cached.threat[0], fresh.threat[0]) << fen;
        EXPECT_EQ(pawn_cached.threat[1], fresh.threat[1]) << fen;
        EXPECT_EQ(cached.score, fresh.score) << fen;
        EXPECT_EQ(cached.threat[0], fresh.threat[0]) << fen;
        EXPECT_EQ(cached.threat[1], fresh.threat[1]) << fen;
        // Bare-king endings return before either cache.
        const Position& pos = td->pos;
        if (pos.material_key[0] && pos.material_key[1]) {
            EXPECT_EQ(td->counters[CNT_PAWN_HITS], pawn_hits + 1) << fen;
            EXPECT_EQ(td->counters[CNT_EVAL_HITS], cache_hits + 1) << fen;
        }
    }
}

// The material tables by key part add up to the count-times-value sums and
// the phase units of the whole key, bishop pair included.
TEST_F(EvalTest, MaterialTablesMatchThePieceCounts)
{
    const EvalTables& t = td->eval_tables;
    for (int pawns = 0; pawns <= 8; pawns++)
        for (int knights = 0; knights <= 3; knights++)
            for (int bishops = 0; bishops <= 3; bishops++)
                for (int rooks = 0; rooks <= 3; rooks++)
                    for (int queens = 0; queens <= 3; queens++) {
                        const int n[5] = {pawns, knights, bishops, rooks, queens};
                        u32 key = 0;
                        int op = 0, en = 0;
                        for (int i = 0; i < 5; i++) {
                            key += u32(n[i]) << (4 * i);
                            op += n[i] * t.material[i].op;
                            en += n[i] * t.material[i].en;
                        }
                        if (bishops >= 2) {
                            op += t.bishop_pair.op;
                            en += t.bishop_pair.en;
                        }
                        const MaterialShare& a = t.material_pawns_knights[key & 0xFF];
                        const MaterialShare& b = t.material_bishops_rooks[(key >> 8) & 0xFF];
                        const MaterialShare& q = t.material_queens[(key >> 16) & 15];
                        EXPECT_EQ(a.op + b.op + q.op, op) << std::hex << key;
                        EXPECT_EQ(a.en + b.en + q.en, en) << std::hex << key;
                        EXPECT_EQ(a.units + b.units + q.units, knights + bishops + 2 * rooks + 4 * queens) << std::hex << key;
                    }
}

TEST_F(EvalTest, CacheReadOnlyWhileSearchingAndFromPlyTwo)
{
    const std::string fen = "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq -";
    ASSERT_TRUE(set(fen));
    const u64 key = full_key(td->pos);
    EvalCacheEntry& slot = td->eval_cache[(u32(key) & 0x3FFE) + td->pos.side];
    td->current_depth = 0;
    const int real = eval_here(2).score;

    auto poison = [&]() {
        slot.key = key;
        slot.score = 4321;
        slot.threat[0] = 7;
        slot.threat[1] = 9;
    };
    // No search running: not read, but written.
    poison();
    EXPECT_EQ(eval_here(2).score, real);
    EXPECT_EQ(slot.score, real);
    EXPECT_EQ(slot.key, key);

    td->current_depth = 3;
    for (int ply = 0; ply < 2; ply++) {
        poison();
        EXPECT_EQ(eval_here(ply).score, real) << "ply " << ply;
    }
    poison();
    EvalResult hit = eval_here(2);
    EXPECT_EQ(hit.score, 4321);
    EXPECT_EQ(hit.threat[0], 7);
    EXPECT_EQ(hit.threat[1], 9);
    td->current_depth = 0;
}

TEST_F(EvalTest, TrivialCases)
{
    // In check.
    EXPECT_EQ(eval_fen("4k3/8/8/8/8/8/8/R3K2r w - -").score, -10000);
    // King and bishop against king: a draw by material.
    EvalResult kbk = eval_fen("8/8/4k3/8/8/8/3K4/2B5 w - -");
    EXPECT_EQ(kbk.score, 0);
    EXPECT_EQ(td->ply[2].drawn, 1);
    EvalResult bishops = eval_fen("8/8/4k3/8/2b5/8/3K4/2B5 b - -");
    EXPECT_EQ(bishops.score, 0);
    EXPECT_EQ(td->ply[2].drawn, 1);
    // King and knight against king is evaluated, then scaled by 0.05.
    eval_traced("8/8/4k3/8/8/8/3K4/2N5 w - -");
    EXPECT_EQ(td->ply[1].drawn, 0);
    EXPECT_DOUBLE_EQ(engine_config.eval_trace.draw_adjust, 0.05);
}

TEST_F(EvalTest, BareKingEndings)
{
    // Rook and pawn against the bare king: the lone-king formula, the pawn
    // adds nothing. White Kd2, Rc4, Pd4 against Ke6 (edge value 10, kings
    // 4 apart): 500 + 200 - 10 * 4 + 10.
    EXPECT_EQ(eval_fen("8/8/4k3/8/2RP4/8/3K4/8 w - -").score, 670);
    EXPECT_EQ(eval_fen("8/8/4k3/8/2RP4/8/3K4/8 b - -").score, -670);
    EXPECT_EQ(eval_fen("8/8/4k3/8/2R5/8/3K4/8 w - -").score, 670);
    // Queen against a king in the corner: 1000 + 200 - 10 * 2 + 60.
    EXPECT_EQ(eval_fen("k7/8/1K6/8/8/8/7Q/8 w - -").score, 1240);
    EXPECT_EQ(eval_fen("k7/8/1K6/8/8/8/7Q/8 b - -").score, -1240);

    // Bishop and knight, strong king c3 (central block: 2), weak king b1.
    // Dark-squared bishop on c1: corner value of b1 is 18.
    int dark = 2 + 200 + 2 * 18 - 2 * 2;
    EXPECT_EQ(eval_fen("8/8/8/8/8/2K5/8/1kB1N3 w - -").score, 4 * dark);
    EXPECT_EQ(eval_fen("8/8/8/8/8/2K5/8/1kB1N3 b - -").score, -4 * dark);
    // A light-squared bishop (d1) reads the corner table mirrored: g1 is 8.
    int light = 2 + 200 + 2 * 8 - 2 * 2;
    EXPECT_EQ(eval_fen("8/8/8/8/8/2K5/8/1k1BN3 w - -").score, 4 * light);
    EXPECT_EQ(eval_fen("8/8/8/8/8/2K5/8/1k1BN3 b - -").score, -4 * light);

    // King and pawn against king: the bitbase, for the side to move.
    EXPECT_EQ(eval_fen("8/8/4k3/8/8/8/4P3/4K3 w - -").score, 0);  // the defender holds
    EXPECT_EQ(eval_fen("7k/8/8/8/8/8/1P6/1K6 w - -").score, 800);  // outside the square
    EXPECT_EQ(eval_fen("7k/8/8/8/8/8/1P6/1K6 b - -").score, -800);
    EXPECT_EQ(eval_fen("2k5/2P5/2K5/8/8/8/8/8 b - -").score, 0);   // stalemate
    EXPECT_EQ(eval_fen("8/8/8/8/8/3kp3/8/7K b - -").score, 800);
}

TEST_F(EvalTest, ContemptOnlyOutsideAnalysis)
{
    const std::string fen = "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq -";
    const int neutral = eval_fen(fen).score;
    params.contempt = 41;
    use_current_params();
    // Analysis (target 6000 s or more): no contempt.
    search_state.target_time = 6000.0;
    EXPECT_EQ(eval_fen(fen).score, neutral);
    // Engine playing white: m = min(12, 16) + (units 32 - 3) = 41, times 41 / 41.
    search_state.target_time = 10.0;
    search_state.engine_colour = 0;
    EXPECT_EQ(eval_fen(fen).score, neutral + 41);
    // Engine playing black: the same amount against white.
    search_state.engine_colour = 1;
    EXPECT_EQ(eval_fen(fen).score, neutral - 41);
    // A negative contempt looks at the opponent's material.
    params.contempt = -41;
    use_current_params();
    EXPECT_EQ(eval_fen(fen).score, neutral + 41);
}

// Where the rules leave a choice, the reading taken.
TEST_F(EvalTest, PawnWeaknessesAddUp)
{
    // A lone white pawn on d3, no pawn ahead of it: backward (rank < 4),
    // isolated and weak at once: shape 6 - 4 - 8 - 8 in the opening.
    ASSERT_TRUE(set("4k3/7p/8/8/8/3P4/8/4K3 w - -"));
    eval_here();
    const PawnHashEntry& pe = td->pawn_hash[td->pos.pawn_key & (PAWN_HASH_SIZE - 1)];
    EXPECT_EQ(pe.op[WHITE], 6 - 4 - 8 - 8);
    EXPECT_EQ(pe.en[WHITE], 0 - 4 - 8 - 8);
    // Opposed by a black pawn on d6: not weak any more.
    ASSERT_TRUE(set("4k3/8/3p4/8/8/3P4/8/4K3 w - -"));
    eval_here();
    const PawnHashEntry& pe2 = td->pawn_hash[td->pos.pawn_key & (PAWN_HASH_SIZE - 1)];
    EXPECT_EQ(pe2.op[WHITE], 6 - 4 - 8);
}

TEST_F(EvalTest, CandidateFrontSpanStartsBeyondTheSquareAhead)
{
    // e4 against d5: the d5 pawn stands level with e5 and is passed by the
    // push, so e4 is a candidate.
    ASSERT_TRUE(set("4k3/8/8/3p4/4P3/8/8/4K3 w - -"));
    eval_here();
    const PawnHashEntry& pe = td->pawn_hash[td->pos.pawn_key & (PAWN_HASH_SIZE - 1)];
    EXPECT_TRUE(pe.candidates & square_bit(28));
    EXPECT_FALSE(pe.passed & square_bit(28));
    // Against d6 the pawn still has to get past it: not a candidate.
    ASSERT_TRUE(set("4k3/8/3p4/8/4P3/8/8/4K3 w - -"));
    eval_here();
    const PawnHashEntry& pe2 = td->pawn_hash[td->pos.pawn_key & (PAWN_HASH_SIZE - 1)];
    EXPECT_FALSE(pe2.candidates & square_bit(28));
    // With a pawn beside it the candidate may face one pawn.
    ASSERT_TRUE(set("4k3/8/3p4/8/4PP2/8/8/4K3 w - -"));
    eval_here();
    const PawnHashEntry& pe3 = td->pawn_hash[td->pos.pawn_key & (PAWN_HASH_SIZE - 1)];
    EXPECT_TRUE(pe3.candidates & square_bit(28));

    // e4 and d5 are both candidates, each with the enemy king 2 from the
    // square two ahead; their endgame bonus counts from phase 14 on.
    const int candidate = (24 * 2 + 32 * (3 - 2)) * params.pawn_candidate[1] / 256;
    Breakdown b = breakdown("r3k2r/8/8/3p4/4P3/8/8/Q3K2R w - -");
    EXPECT_EQ(b.trace.stage, 14);
    EXPECT_EQ(b.trace.passers[WHITE], candidate * 14 / 24);
    EXPECT_EQ(b.trace.passers[BLACK], candidate * 14 / 24);
    b = breakdown("rn2k2r/8/8/3p4/4P3/8/8/Q3K2R w - -");
    EXPECT_EQ(b.trace.stage, 13);
    EXPECT_EQ(b.trace.passers[WHITE], 0);
    EXPECT_EQ(b.trace.passers[BLACK], 0);
}

TEST_F(EvalTest, KingCountsInHungPieces)
{
    // White knight on e4 attacked only by the black king on e5 (f4 protects
    // nothing of it), no white defender: hung.
    eval_traced("8/8/8/4k3/4N3/8/8/K7 b - -");
    EXPECT_TRUE(engine_config.eval_trace.hung & square_bit(28));
    // Knight attacked by a rook and defended by its own king only: not hung.
    eval_traced("4r1k1/8/8/8/4N3/4K3/8/8 w - -");
    EXPECT_FALSE(engine_config.eval_trace.hung & square_bit(28));
    // The same knight without the king's cover is hung.
    eval_traced("4r1k1/8/8/8/4N3/8/8/K7 w - -");
    EXPECT_TRUE(engine_config.eval_trace.hung & square_bit(28));
    // Threat word: the hung knight's exchange value.
    EvalResult r = eval_fen("4r1k1/8/8/8/4N3/8/8/K7 b - -");
    EXPECT_EQ(r.threat[WHITE], 330);
}

TEST_F(EvalTest, PinsAgainstKingAndQueen)
{
    eval_traced("4k3/8/8/8/1b6/8/3N4/4K3 w - -");
    EXPECT_EQ(engine_config.eval_trace.pinned, square_bit(11));
    // The d5 knight stands alone between the d1 rook and its only queen.
    eval_traced("3qk3/8/8/3n4/8/8/8/3RK3 b - -");
    EXPECT_EQ(engine_config.eval_trace.pinned, square_bit(35));
    // With a second black queen the queen pins are not looked for.
    eval_traced("3qk2q/8/8/3n4/8/8/8/3RK3 b - -");
    EXPECT_EQ(engine_config.eval_trace.pinned, 0u);
    eval_traced("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -");
    EXPECT_EQ(engine_config.eval_trace.pinned, 0u);
    EXPECT_EQ(engine_config.eval_trace.hung, 0u);
    EXPECT_DOUBLE_EQ(engine_config.eval_trace.draw_adjust, 1.0);
    EXPECT_EQ(engine_config.eval_trace.stage, 0);
    EXPECT_EQ(engine_config.eval_trace.material[0], engine_config.eval_trace.material[1]);
}

TEST_F(EvalTest, DrawishScaling)
{
    auto factor = [](const char* fen) {
        eval_traced(fen);
        return engine_config.eval_trace.draw_adjust;
    };
    // No pawns for the leader.
    EXPECT_DOUBLE_EQ(factor("8/8/4k3/2n5/8/8/3K4/2BB4 w - -"), 0.9);    // two bishops against a knight
    EXPECT_DOUBLE_EQ(factor("8/8/b3k3/2r5/8/8/2RK4/2R5 w - -"), 0.25);  // two rooks against rook and bishop
    EXPECT_DOUBLE_EQ(factor("8/8/4k3/2b5/8/8/3K4/2R5 w - -"), 0.15);    // rook against bishop
    EXPECT_DOUBLE_EQ(factor("8/8/4k3/8/8/8/1N1K4/2N5 w - -"), 0.05);    // two knights alone
    EXPECT_DOUBLE_EQ(factor("8/6k1/8/8/8/8/Q5K1/2r1b3 w - -"), 0.25);   // queen against rook and bishop
    // Rook pawn and bishop: only the wrong bishop with the king in the corner.
    EXPECT_DOUBLE_EQ(factor("6k1/8/8/8/8/8/P7/2B3K1 w - -"), 1.0);
    EXPECT_DOUBLE_EQ(factor("k7/8/8/8/8/8/P7/2B3K1 w - -"), 0.06);
    EXPECT_DOUBLE_EQ(factor("1k6/8/8/8/8/8/P7/1B4K1 w - -"), 1.0);
    // One pawn each: a quarter unless the leader's pawn wins alone.
    EXPECT_DOUBLE_EQ(factor("k7/7p/P7/1K6/8/8/8/8 w - -"), 0.25);
    EXPECT_DOUBLE_EQ(factor("k7/8/PK6/8/8/8/7p/8 b - -"), 1.0);
    // Opposite bishops, one pawn up: e = 0.5, the defending king ahead of the
    // pawn 0.5 of that; two pawns up: e = 0.8.
    EXPECT_DOUBLE_EQ(factor("3k4/8/8/3b4/3P4/8/5B2/5K2 w - -"), 0.25);
    EXPECT_DOUBLE_EQ(factor("5k2/8/8/3b4/3P4/8/5B2/5K2 w - -"), 0.3);
    EXPECT_DOUBLE_EQ(factor("5k2/8/8/3b4/1P1P4/8/5B2/5K2 w - -"), 0.8);
    // One pawn up otherwise: no cover (the leader has a bishop) 0.6, a rook's
    // cover does not count (no minor piece for the leader) 0.75, a knight on
    // the path 0.3, the king 0.5; with both, the king's cover is taken first.
    EXPECT_DOUBLE_EQ(factor("7k/n7/8/8/3P4/8/5B2/5K2 w - -"), 0.6);
    EXPECT_DOUBLE_EQ(factor("7k/r7/8/8/3P4/8/8/3R1K2 w - -"), 0.75);
    EXPECT_DOUBLE_EQ(factor("7k/8/8/8/3P4/2n5/5B2/5K2 w - -"), 0.3);
    EXPECT_DOUBLE_EQ(factor("4k3/8/8/3n4/3P4/8/5B2/5K2 w - -"), 0.5);
    EXPECT_DOUBLE_EQ(factor("3k4/8/8/8/3P4/2n5/5B2/5K2 w - -"), 0.5);
    // Four units or more ahead.
    EXPECT_DOUBLE_EQ(factor("8/6k1/8/8/8/8/Q5K1/2n1b3 w - -"), 0.75);     // lone queen against two minors
    EXPECT_DOUBLE_EQ(factor("8/6k1/8/3p4/8/8/Q5K1/2n1b3 w - -"), 0.675);
    EXPECT_DOUBLE_EQ(factor("8/6k1/8/6p1/8/8/R5K1/8 w - -"), 0.9);        // lone rook against a pawn
    EXPECT_DOUBLE_EQ(factor("8/6k1/8/8/8/8/R5K1/2n5 w - -"), 0.15);    // rook against knight: only 2 ahead

    // Either side of each threshold.
    EXPECT_DOUBLE_EQ(factor("r3k2r/8/8/8/8/8/8/RN2K2R w - -"), 0.25);      // 13 units: still scaled
    EXPECT_DOUBLE_EQ(factor("rnb1k3/8/8/8/8/8/8/RNB1K1N1 w - -"), 1.0);    // 14 units: never
    EXPECT_DOUBLE_EQ(factor("r3k3/8/8/8/8/8/8/RN2K3 w - -"), 0.15);        // 8 units, 3 ahead
    EXPECT_DOUBLE_EQ(factor("nb2k3/8/8/8/8/8/8/NBB1K3 w - -"), 0.25);      // 9 units
    EXPECT_DOUBLE_EQ(factor("r3k3/8/8/8/8/8/8/3QK3 w - -"), 1.0);          // lone queen against 5 units
    EXPECT_DOUBLE_EQ(factor("2k5/8/8/8/8/8/P7/2B3K1 w - -"), 1.0);         // king 2 from the corner
    EXPECT_DOUBLE_EQ(factor("1k6/8/8/8/8/8/P7/2B3K1 w - -"), 0.06);        // king 1 from the corner
    EXPECT_DOUBLE_EQ(factor("5k2/8/8/3b4/1P1P1P2/8/5B2/5K2 w - -"), 1.0);  // opposite bishops, 3 pawns up
    EXPECT_DOUBLE_EQ(factor("3qk3/8/8/8/8/8/P7/3QK3 w - -"), 1.0);         // a queen each: over 8 units
    // One pawn up with two, three and four pawns: b, a, e.
    EXPECT_DOUBLE_EQ(factor("3r2k1/p7/8/8/8/8/PP6/3R2K1 w - -"), 0.8);
    EXPECT_DOUBLE_EQ(factor("3r2k1/pp6/8/8/8/8/PPP5/3R2K1 w - -"), 0.9);
    EXPECT_DOUBLE_EQ(factor("3r2k1/ppp5/8/8/8/8/PPPP4/3R2K1 w - -"), 1.0);
}

// Scores below 15 either way are never scaled. Rook against rook, the
// position colour-symmetric, so only the tempo (14, 7) is left: times
// 154 / 128 that is (16, 8), at phase 20 (8 * 20 + 16 * 4) / 24 = 9.
// Contempt then moves the score in steps of 2c / 41 (the rook side's units
// 5 - 3 = 2); once it reaches 15 the lone rook's 0.15 applies.
TEST_F(EvalTest, ScalingStartsAtFifteen)
{
    const std::string fen = "1k6/3r4/8/8/8/8/3R4/1K6 w - -";
    EXPECT_EQ(eval_fen(fen).score, 9);
    search_state.target_time = 10.0;
    struct {
        int contempt;
        u8 engine;
        int score;
    } rows[] = {
        {103, WHITE, 14},   // 9 + 5
        {123, WHITE, 2},    // 9 + 6 = 15, times 0.15
        {472, BLACK, -14},  // 9 - 23
        {492, BLACK, -2},   // 9 - 24 = -15, black leads
    };
    for (const auto& r : rows) {
        params.contempt = i16(r.contempt);
        use_current_params();
        search_state.engine_colour = r.engine;
        EXPECT_EQ(eval_fen(fen).score, r.score) << "contempt " << r.contempt;
    }
}

TEST_F(EvalTest, SliderXraysAndAttackSets)
{
    // Bishop c1 sees through its own queen on d2, bishop f1 not through its
    // own rook on g2; the rook on a1 sees through the rook on a2.
    ASSERT_TRUE(set("4k3/7p/8/8/8/8/R2Q2R1/R1B1KB2 w - -"));
    eval_here();
    const EvalWork& w = td->eval_work;
    EXPECT_TRUE(w.bishop_attacks[WHITE] & square_bit(20));   // e3
    EXPECT_TRUE(w.bishop_attacks[WHITE] & square_bit(47));   // h6
    EXPECT_TRUE(w.bishop_attacks[WHITE] & square_bit(14));   // g2, the blocker itself
    EXPECT_FALSE(w.bishop_attacks[WHITE] & square_bit(23));  // h3
    EXPECT_TRUE(w.rook_attacks[WHITE] & square_bit(56));     // a8
    // Seeded sets: pawn and king attacks are in the all-attacks set.
    ASSERT_TRUE(set("4k3/7p/8/8/8/8/3P4/4K3 w - -"));
    eval_here();
    EXPECT_EQ(td->eval_work.all_attacks[WHITE], king_attacks[4] | square_bit(18) | square_bit(20));
    EXPECT_EQ(td->eval_work.attacked_twice[WHITE], 0u);
}

TEST_F(EvalTest, KnightWithoutMovesInTheEnemyHalf)
{
    // The same knight term on h8 and on h1 (same shape value, no square to
    // go to): only the knight in the enemy half pays 20 in the opening.
    eval_traced("rq5N/k4P1p/6P1/8/8/8/8/2RQKR2 w - -");
    const int far = engine_config.eval_trace.knights[WHITE];
    const int phase = engine_config.eval_trace.stage;
    eval_traced("rq6/k6p/8/8/8/6P1/5P2/2RQKR1N w - -");
    const int home = engine_config.eval_trace.knights[WHITE];
    EXPECT_EQ(engine_config.eval_trace.stage, phase);
    EXPECT_NEAR(far - home, -20.0 * (24 - phase) / 24, 1.0);
    EXPECT_LT(far, home);
}

// Three queens a side, ten knights, eight rooks: every table index stays in
// range (the sanitizer build checks the array bounds).
TEST_F(EvalTest, PromotedPiecesStayInRange)
{
    const char* crowded[] = {
        "7k/1pp5/5qqq/8/8/QQQ5/5PP1/K7 w - -",
        "N1N1k1N1/1N3N2/2N4N/8/8/8/8/4K3 b - -",
        "nnnnk3/nnnn4/8/8/8/8/NNNNNNNN/NNK5 w - -",
        "bbbbk3/bbbb4/8/8/8/8/RRRR1RRR/RRK5 b - -",
        "4k3/8/8/8/8/8/8/QQQQKQQQ b - -",
        "3k4/8/1N1N1N2/N1NN1N1N/4N3/8/8/4K3 b - -",
        "k7/pp6/8/8/8/8/QQQQ4/1QQQKQQQ w - -",
    };
    for (const char* fen : crowded) {
        ASSERT_TRUE(set(fen));
        ASSERT_FALSE(in_check()) << fen;
        EvalResult r = eval_here();
        EXPECT_GE(r.score, -EVAL_SCORE_LIMIT) << fen;
        EXPECT_LE(r.score, EVAL_SCORE_LIMIT) << fen;
        EvalResult twin = eval_fen(colour_flipped(fen));
        EXPECT_EQ(r.score, twin.score) << fen;
    }
    // Ten queens against a king: the score stays clear of mate scores.
    EXPECT_EQ(eval_fen("k7/pp6/8/8/8/8/QQQQ4/1QQQKQQQ w - -").score, EVAL_SCORE_LIMIT);
    EXPECT_EQ(eval_fen("kqqq1qqq/qqqq4/8/8/8/8/PP6/K7 b - -").score, EVAL_SCORE_LIMIT);
    // Eight knights against the black king's zone: the knight count stays at
    // 7 and does not spill into the bishop count.
    ASSERT_TRUE(set("3k4/8/1N1N1N2/N1NN1N1N/4N3/8/8/4K3 b - -"));
    eval_here();
    EXPECT_EQ(td->eval_work.zone_attackers[WHITE] & 7, 7);
    EXPECT_EQ(td->eval_work.zone_attackers[WHITE] >> 3, 0);
}

// King safety, one row per attack pattern against the white king (white
// has too little material for black's king to be scored): the inputs
// are read off the board by hand, the rest is the rule's arithmetic. Each row
// is also scored with the other side to move and colour-flipped.
TEST_F(EvalTest, KingSafetyInputs)
{
    struct KingCase {
        const char* fen;
        int phase;
        int corner;   // king corner factor: 0 on a1, b1, g1, h1
        int storm;    // storm files counted, -1 when the kings' files are too close
        int shield;
        int knights, bishops, rooks, queens;  // enemy pieces whose attacks reach the zone
        int zone_hits;
        bool knight_check, bishop_check, rook_check, queen_check, contact;
        int endgame;  // inner-board, pawn-span and rank terms of the king's endgame value
    };
    const KingCase cases[] = {
        // Kc1, shelter b-d: b3 2 + c2 3 + beside the king 1; kings' files 1
        // apart. Nb5 Be1 Rc6 Qc3 all reach the zone b1-d3; hits c3 (knight),
        // d2 c3 (bishop), c2 c3 (rook), b2 c2 d2 (queen). Safe checks on d2
        // (bishop), c2 (rook), a1 e1 ... (queen); the queen reaches c2 and
        // d2, attacked twice by black. No free inner square next to the king.
        {"1k6/8/2r5/1n6/8/1Pq5/P1P5/2K1b3 w - -", 16, 1, -1, 6, 1, 1, 1, 1, 8, false, true, true, true, true, -10},
        // Kf1 behind e2 f2 g2 (9 + 1). Nf3 (e1 g1) and Qe8 (e2, e3) reach
        // the zone, d4 hits e3, which the queen hits too; knight checks on d2
        // and h2, and Rh4, outside the zone, checks on h1.
        {"k3q3/8/8/8/3p3r/5n2/4PPP1/5K2 w - -", 17, 1, 3, 10, 1, 0, 0, 1, 5, true, false, true, false, false, -10},
        // Kh1 behind g2 h2, nothing on the f-file: 7. Black pawns f7 h7
        // still at home: one storm file (g). Re8 and Qh8 stay outside the
        // zone and check on e1 and a1.
        {"k3r2q/5p1p/8/8/8/8/6PP/7K w - -", 18, 0, 1, 7, 0, 0, 0, 0, 0, false, false, true, true, false, -10},
        // Two knights at the zone (hits g1 f2; g3 is covered by h2), a safe
        // knight check on f2, a queen check on b1 from outside the zone.
        {"7k/7q/8/7n/8/7n/6PP/7K w - -", 18, 0, -1, 7, 2, 0, 0, 0, 2, true, false, false, true, false, -10},
        // Kg1 behind f2 g2 h4 (3 + 3 + 1 + 1); g7 still at home: two storm
        // files. Ba7 (f2) and Bc6 (g2; f3 is covered by g2) reach the zone;
        // Nc3, outside the zone, checks on e2.
        {"1k4q1/b5p1/2b5/8/7P/2n5/5PP1/6K1 w - -", 17, 0, 2, 8, 0, 2, 0, 0, 2, true, false, false, false, false, -10},
        // Two rooks and no queen: the king's opening value is halved. Re2
        // hits f2 and checks on e1, Rg8 hits g2 (g3 is covered).
        {"k5r1/8/8/8/8/8/4rPPP/6K1 w - -", 20, 0, 3, 10, 0, 0, 2, 0, 2, false, false, true, false, false, -10},
        // Rook and knight are only 3 phase units: no shelter, storm or danger
        // terms, but still the halving.
        {"k7/8/8/8/7n/8/4rPPP/6K1 w - -", 21, 0, 0, 0, 0, 0, 0, 0, 0, false, false, false, false, false, -10},
        // Rf8 hits f1 f2 (f3 is covered by g2) and checks on f1; Qe8 checks
        // on e1 from outside the zone.
        {"1k2qr2/8/8/8/8/8/6PP/7K w - -", 18, 0, 3, 7, 0, 0, 1, 0, 2, false, false, true, true, false, -10},
        // Qb7 reaches the zone only through its own Bc6 (which hits g2).
        {"k7/1q6/2b5/8/8/8/5PPP/6K1 w - -", 19, 0, 3, 10, 0, 1, 0, 1, 1, false, false, false, true, false, -10},
        // The black king's file two from the shelter file: no storm; three:
        // the storm counts. Rh8's hit on h2 does not count, the white knight
        // covers it; Qd4 hits f2 and checks on a1 and d1.
        {"4k2r/8/8/8/3q4/5N2/5PPP/6K1 w - -", 17, 0, -1, 10, 0, 0, 1, 1, 1, false, false, false, true, false, -10},
        {"3k3r/8/8/8/3q4/5N2/5PPP/6K1 w - -", 17, 0, 3, 10, 0, 0, 1, 1, 1, false, false, false, true, false, -10},
        // Qd4's hit on f2 does not count, Rf1 covers it (and d1 and a1: no
        // safe check); Ng4 hits f2 and h2.
        {"k7/8/8/8/3q2n1/8/5PPP/5RK1 w - -", 17, 0, 3, 10, 1, 0, 0, 1, 2, false, false, false, false, false, -10},
        // Everything at once: the danger index passes 63 with black to move.
        // Hits f1 g1 f2 g2 (knights), g2 (bishop), f1 f2 (rook), f1 f2 g2 h2
        // (queens); all four checks; the queens reach g2, attacked twice.
        {"k7/8/8/3b1r2/8/4nqqn/6PP/7K b - -", 12, 0, 3, 7, 2, 1, 1, 2, 11, true, true, true, true, true, 0},
    };
    const EvalTables& t = td->eval_tables;
    for (const KingCase& c : cases) {
        const int checks = int(c.knight_check) + int(c.bishop_check) + int(c.rook_check) + int(c.queen_check);
        int danger = 6 * (2 * c.corner + std::max(c.storm, 0)) + 36 * c.knights + 26 * c.bishops + 46 * c.rooks +
                     46 * c.queens + 32 * checks + 32 * int(c.contact) + 16 * c.zone_hits - 8 * c.shield;
        danger += (c.queens == 0 && c.queen_check) ? 17 : -15;
        if (c.rooks == 0 && c.rook_check) danger += 32;
        if (c.knights == 0 && c.knight_check) danger += 32;

        const std::string own_side = c.fen;
        const char other = own_side[own_side.find(' ') + 1] == 'w' ? 'b' : 'w';
        for (const std::string& fen : {own_side, with_side(own_side, other), colour_flipped(own_side),
                                       colour_flipped(with_side(own_side, other))}) {
            SCOPED_TRACE(fen);
            ASSERT_TRUE(set(fen));
            const Position& pos = td->pos;
            const int us = pos.piece_units[WHITE] < pos.piece_units[BLACK] ? WHITE : BLACK;
            const u64* enemy = pos.pieces[us ^ 1];
            const int enemy_units = count_bits(enemy[KNIGHT] | enemy[BISHOP]) + 2 * count_bits(enemy[ROOK]) +
                                    4 * count_bits(enemy[QUEEN]);
            const bool scored = std::min(enemy_units, 12) > 3;
            const bool halved = enemy[QUEEN] == 0;
            const int ksq = king_square(pos, us), rel = ksq ^ relative_rank_flip[us];
            const int index = danger / 8 - (pos.side == us ? 2 : 0);
            const int cost = index > 0 ? t.king_danger[std::min(index, 63)] : 0;
            int op = t.pst[KING - 1][rel][0], en = t.pst[KING - 1][rel][1] + c.endgame;
            if (scored) {
                op += params.pawn_shield[0] * (c.shield - 9) / 10 + params.pawn_storm[0] * std::max(c.storm, 0) - 8 * checks +
                      12 * int(c.contact);
                en -= 8 * checks;
            }
            const int op_with = halved ? (op - cost) / 2 : op - cost;
            const int op_without = halved ? op / 2 : op;

            const Breakdown b = breakdown(fen);
            EXPECT_EQ(b.trace.stage, c.phase);
            EXPECT_EQ(b.trace.square_value[ksq], tapered(c.phase, op_with, en));
            if (c.contact) EXPECT_EQ(b.threat[us], 5000);
            else EXPECT_LT(b.threat[us], 5000);
            const OpEn danger_share = share_of(fen, us, [](ParamRecord& p) { p.king_safety[0] = 0; });
            EXPECT_EQ(danger_share.op, op_with - op_without) << "danger " << danger << ", index " << index;
            EXPECT_EQ(danger_share.en, 0);
        }
    }
}

// Passed pawns in pawn endings (the trace then shows the endgame values),
// each pawn's circumstances read off the board by hand: push is what the
// step to the stop square meets, the distances are the kings' to the target
// square, and `extra` is the enemy king outside the square or the own king
// next to the target off the rook files. Each row is also colour-flipped.
TEST_F(EvalTest, PassedPawnTerms)
{
    enum Push { REAR, OWN_BLOCKER, ENEMY_BLOCKER, LOST, SAFE, FREE };
    struct Passer {
        int rank;  // relative rank
        Push push;
        bool beside, defended;
        int enemy_king, own_king;
        bool extra;
    };
    struct PasserCase {
        const char* fen;
        int phase;
        std::vector<Passer> passers[2];
    };
    const PasserCase cases[] = {
        // e6 free and outside the black king's square; b4 safe, but Ka7
        // watches b6-b8.
        {"8/k7/4P3/8/1P6/8/8/4K3 w - -", 24, {{{5, FREE, false, false, 4, 7, true}, {3, SAFE, false, false, 1, 5, false}}, {}}},
        // The same with a black knight on h1: the opening half counts too.
        {"8/k7/4P3/8/1P6/8/8/4K2n w - -", 23, {{{5, FREE, false, false, 4, 7, true}, {3, SAFE, false, false, 1, 5, false}}, {}}},
        // e5 is outside the square of Ka8 only with white to move; h7 takes
        // its stop square two ahead (h5).
        {"k7/7p/8/4P3/8/8/8/4K3 w - -", 24, {{{4, FREE, false, false, 4, 6, true}}, {{1, FREE, false, false, 4, 7, false}}}},
        {"k7/7p/8/4P3/8/8/8/4K3 b - -", 24, {{{4, FREE, false, false, 4, 6, false}}, {{1, FREE, false, false, 4, 7, false}}}},
        // d6 beside e6, e6 blocked by its own king and defended by f5.
        {"8/4K3/3PP3/5P2/8/8/8/k7 w - -",
         24,
         {{{5, FREE, true, false, 7, 1, true}, {5, OWN_BLOCKER, true, true, 7, 1, true}, {4, FREE, false, false, 6, 1, true}},
          {}}},
        // a2 behind a3; e6 blocked by the black king; f5 would be taken on
        // f6; g2's stop square is g4, where its own king stands.
        {"8/4k3/4P3/5P2/6K1/P7/P5P1/8 w - -",
         24,
         {{{1, REAR, false, false, 0, 0, false},
           {2, FREE, false, false, 4, 6, false},
           {5, ENEMY_BLOCKER, false, true, 1, 4, false},
           {4, LOST, false, false, 1, 3, false},
           {1, OWN_BLOCKER, false, false, 3, 0, false}},
          {}}},
        // e6 is attacked by the black king but covered by the white one: the
        // push is safe, though not free.
        {"8/p3k3/8/4PK2/8/8/8/8 w - -", 24, {{{4, SAFE, false, false, 0, 2, false}}, {{1, FREE, false, false, 5, 4, false}}}},
        // The own king next to the target does not help a pawn on its 4th
        // rank.
        {"2k5/7p/4K3/8/3P4/8/8/8 w - -", 24, {{{3, SAFE, false, false, 2, 1, false}}, {{1, FREE, false, false, 3, 5, false}}}},
        // Rb6 takes on e6, and Ra6 behind it retakes: the push is safe.
        {"8/8/Rr6/4P3/8/8/8/1k5K w - -", 20, {{{4, SAFE, false, false, 6, 6, true}}, {}}},
        // The own king next to the target helps f5 but not the rook pawn h5.
        {"6k1/p7/6K1/5P1P/8/8/8/8 w - -",
         24,
         {{{4, SAFE, false, false, 1, 1, true}, {4, SAFE, false, false, 1, 1, false}}, {{1, FREE, false, false, 6, 6, false}}}},
    };
    const int free_bonus[8] = {0, 5, 5, 12, 20, 30, 40, 0};
    const int threat_step[8] = {0, 32, 32, 64, 128, 256, 512, 0};
    const EvalTables& t = td->eval_tables;
    for (const PasserCase& c : cases) {
        int total[2] = {0, 0};
        int threat[2] = {0, 0};  // against each colour
        for (int colour = 0; colour < 2; colour++) {
            for (const Passer& p : c.passers[colour]) {
                const int bonus = t.passed_bonus[p.rank];
                if (p.push == REAR) {
                    total[colour] += tapered(c.phase, bonus / 3, bonus / 3);
                    continue;
                }
                int base = bonus, value = bonus;
                if (p.push == ENEMY_BLOCKER) value = bonus - bonus / 4;
                if (p.push == SAFE || p.push == FREE) {
                    base = value = bonus + t.passed_step[p.rank] + (p.push == FREE ? free_bonus[p.rank] : 0);
                    threat[colour ^ 1] += threat_step[p.rank] * (p.push == FREE ? 2 : 1);
                }
                if (p.beside) value += base / 4;
                if (p.defended) value += base / 8;
                value += (24 * p.enemy_king - 16 * p.own_king) * (p.rank + 1) / 16;
                if (p.extra) value += base / 4;
                total[colour] += tapered(c.phase, value / 2, value);
            }
        }
        for (int flip = 0; flip < 2; flip++) {
            const std::string fen = flip ? colour_flipped(c.fen) : std::string(c.fen);
            SCOPED_TRACE(fen);
            const Breakdown b = breakdown(fen);
            EXPECT_EQ(b.trace.stage, c.phase);
            for (int colour = 0; colour < 2; colour++) {
                EXPECT_EQ(b.trace.passers[colour ^ flip], total[colour]) << "colour " << colour;
                EXPECT_EQ(b.threat[colour ^ flip], threat[colour]) << "colour " << colour;
            }
        }
    }
}

// Hung pieces: which pieces each rule catches, the threat words (the most
// valuable hung piece) and the hung pair each one costs.
TEST_F(EvalTest, HungPieceRules)
{
    struct HungCase {
        const char* fen;
        const char* hung;
        u16 threat[2];
    };
    const HungCase cases[] = {
        // A queen attacked by a rook is hung; a rook attacked by a queen is not.
        {"3rk3/8/8/8/8/8/8/3QK3 w - -", "d1", {1060, 0}},
        // Queen against queen: neither.
        {"3qk3/8/8/8/8/8/8/3QK3 w - -", "", {0, 0}},
        // Ra1 attacked by the knight is hung, Ra2 attacked by the rook is not;
        // Bd4, hung after it in square order, leaves the threat word at 530.
        {"4k3/8/8/8/3B4/1n6/R6r/R3K3 w - -", "a1 d4", {530, 0}},
        // Ne4 attacked by a pawn is hung though d3 defends it; Bc4 attacked
        // by a rook but defended by b3 is not; Bh3 attacked by a rook and
        // undefended is, and so is the black pawn f5 that it attacks.
        {"2r1k2r/8/8/5p2/2B1N3/1P1P3B/8/4K3 w - -", "e4 h3 f5", {330, 100}},
        // A pawn attacked by a pawn is never loose, whatever else attacks it.
        {"4k3/8/8/4p3/3P4/1n6/8/4K3 w - -", "", {0, 0}},
    };
    for (const HungCase& c : cases) {
        SCOPED_TRACE(c.fen);
        const u64 hung = squares(c.hung);
        const Breakdown b = breakdown(c.fen);
        EXPECT_EQ(b.trace.hung, hung);
        EXPECT_EQ(b.threat[WHITE], c.threat[WHITE]);
        EXPECT_EQ(b.threat[BLACK], c.threat[BLACK]);
        for (int colour = 0; colour < 2; colour++) {
            const int n = count_bits(hung & td->pos.pieces[colour][0]);
            const OpEn share = share_of(c.fen, colour, [](ParamRecord& p) { p.hung[0] = p.hung[1] = 0; });
            EXPECT_EQ(share.op, n * params.hung[0]) << "colour " << colour;
            EXPECT_EQ(share.en, n * params.hung[1]) << "colour " << colour;
        }
    }

    // What white pays, against the same position with the black attacker
    // out of play: two hung knights (the second costs 15 more), a loose
    // pawn covered by a knight only, the same pawn with no cover (hung).
    struct HungShare {
        const char* fen;
        const char* reference;
        int op, en;
    };
    const HungShare shares[] = {
        {"4k3/8/8/8/3NrN2/8/8/K7 w - -", "4k2r/8/8/8/3N1N2/8/8/K7 w - -", 2 * params.hung[0] - 15, 2 * params.hung[1] - 15},
        {"4k3/8/5n2/4p3/4P3/2N5/8/K7 w - -", "4k3/8/7n/4p3/4P3/2N5/8/K7 w - -", -3, -12},
        {"4k3/8/5n2/4p3/4P3/8/8/K7 w - -", "4k3/8/7n/4p3/4P3/8/8/K7 w - -", params.hung[0], params.hung[1]},
    };
    for (const HungShare& c : shares) {
        SCOPED_TRACE(c.fen);
        const OpEn share = share_between(c.fen, c.reference, WHITE);
        EXPECT_EQ(share.op, c.op);
        EXPECT_EQ(share.en, c.en);
    }
}

// A piece directly in front of a pawn costs 2, and 12 more in front of the
// d- and e-pawns on their home squares.
TEST_F(EvalTest, BlockedPawns)
{
    struct BlockCase {
        const char* fen;
        const char* reference;  // the blocker moved away
        int colour;
        int share;
    };
    const BlockCase cases[] = {
        {"K3k3/4p3/8/8/8/4n3/4P3/8 w - -", "K3k3/4p3/7n/8/8/8/4P3/8 w - -", WHITE, -14},
        {"K3k3/3p4/8/8/8/3n4/3P4/8 w - -", "K3k3/3p4/7n/8/8/8/3P4/8 w - -", WHITE, -14},
        {"K3k3/2p5/8/8/8/2n5/2P5/8 w - -", "K3k3/2p5/7n/8/8/8/2P5/8 w - -", WHITE, -2},
        {"K3k3/4p3/8/8/4n3/4P3/8/8 w - -", "K3k3/4p3/7n/8/8/4P3/8/8 w - -", WHITE, -2},
        {"4k3/4p3/4N3/8/8/8/4P3/7K w - -", "4k3/4p3/8/8/8/8/4P3/N6K w - -", BLACK, -14},
    };
    for (const BlockCase& c : cases) {
        SCOPED_TRACE(c.fen);
        const OpEn share = share_between(c.fen, c.reference, c.colour);
        EXPECT_EQ(share.op, c.share);
        EXPECT_EQ(share.en, c.share);
    }
}

// The queen's own terms: x-ray mobility, the king-file test, the 7th rank,
// and the endgame material of a queen that is the only piece.
TEST_F(EvalTest, QueenTerms)
{
    const EvalTables& t = td->eval_tables;
    const int q = QUEEN - 1;
    // Qa1 x-rays through Bb2 to h8: a2-a8, b1-d1, b2 and c3-h8 are 17
    // squares, and d1 lies on a king file.
    Breakdown b = breakdown("4k3/7p/8/8/8/8/1B6/Q3K3 w - -");
    EXPECT_EQ(b.trace.square_value[0],
              tapered(19, t.queen_mobility[17].op + t.pst[q][0][0], t.queen_mobility[17].en + t.pst[q][0][1]));
    // Shut in by a2, b2 and Nb1: one square (b1), no king file: 8 less.
    b = breakdown("4k3/7p/8/8/8/8/PP6/QN2K3 w - -");
    EXPECT_EQ(b.trace.square_value[0],
              tapered(19, t.queen_mobility[1].op + t.pst[q][0][0] - 8, t.queen_mobility[1].en + t.pst[q][0][1] - 8));

    // The same queen among all the other pieces (phase 0): its opening value.
    b = breakdown("qnb1kbnr/pp5r/8/8/8/8/PP5R/QNB1KBNR w - -");
    EXPECT_EQ(b.trace.square_value[0], t.queen_mobility[1].op + t.pst[q][0][0] - 8);

    // The 7th-rank bonus needs the black king or black pawns on ranks 7-8.
    auto rank7 = [](ParamRecord& p) { p.queen_rank7[1] = 0; };
    OpEn share = share_of("4k3/2Q4p/8/8/8/8/8/4K3 w - -", WHITE, rank7);
    EXPECT_EQ(share.op, 0);
    EXPECT_EQ(share.en, params.queen_rank7[1]);
    share = share_of("8/2Q5/4k2p/8/8/8/8/4K3 w - -", WHITE, rank7);
    EXPECT_EQ(share.en, 0);

    // A queen as the only piece loses 50 of its endgame material.
    b = breakdown("4k3/7p/8/8/8/8/P7/Q3K3 w - -");
    EXPECT_EQ(b.trace.material[WHITE],
              tapered(20, params.queen_value[0] + params.pawn_value[0], params.queen_value[1] - 50 + params.pawn_value[1]));
    b = breakdown("4k3/7p/8/8/8/8/P7/QN2K3 w - -");
    EXPECT_EQ(b.trace.material[WHITE],
              tapered(19, params.queen_value[0] + params.knight_value[0] + params.pawn_value[0],
                      params.queen_value[1] + params.knight_value[1] + params.pawn_value[1]));
}

} // namespace
