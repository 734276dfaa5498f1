// Every probe vector probes to its stored table value, its full WDL
// and its full DTZ; the root move choice agrees with them.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "fen.h"
#include "records.h"
#include "tablebase/tablebase.h"
#include "zobrist.h"
#include "tb_test_support.h"

namespace {

std::vector<ProbeVector> load_vectors()
{
    std::vector<ProbeVector> vectors;
    FILE* f = std::fopen(probe_vector_file(), "r");
    if (!f) return vectors;
    char line[512];
    while (std::fgets(line, sizeof(line), f)) {
        ProbeVector v;
        if (parse_probe_vector(line, &v)) vectors.push_back(v);
    }
    std::fclose(f);
    return vectors;
}

struct TbVectorTest : ::testing::Test {
    static void SetUpTestSuite()
    {
        init_board_tables();
        testing::internal::CaptureStdout();
        scan_tablebase_paths(test_table_dir());
        found_line = testing::internal::GetCapturedStdout();
    }
    void SetUp() override
    {
        ASSERT_TRUE(test_tables_present());
        ASSERT_TRUE(test_data_present(probe_vector_file()));
    }
    static void TearDownTestSuite() { scan_tablebase_paths(""); }
    static std::string found_line;
};
std::string TbVectorTest::found_line;

TEST_F(TbVectorTest, ScanFindsAllTestTables)
{
    EXPECT_EQ(found_line, "info string found 35 tablebases\n");
    EXPECT_EQ(tb_largest_piece_count.load(), 4u);
}

TEST_F(TbVectorTest, EveryVectorProbesToItsValues)
{
    const std::vector<ProbeVector> vectors = load_vectors();
    ASSERT_EQ(vectors.size(), 100u);
    int passed = 0;
    for (const ProbeVector& v : vectors) {
        SCOPED_TRACE(v.fen);
        TbPosition pos;
        ASSERT_TRUE(tb_position_from_fen(v.fen.c_str(), &pos));
        int success = 0;
        const int stored = wdl_table_value(pos, &success);
        ASSERT_NE(success, 0);
        EXPECT_EQ(stored, v.wdl_table);
        const int wdl = wdl_probe_position(pos, &success);
        ASSERT_NE(success, 0);
        EXPECT_EQ(wdl, v.wdl);
        const int dtz = dtz_probe_position(pos, &success);
        ASSERT_NE(success, 0);
        EXPECT_EQ(dtz, v.dtz);
        EXPECT_EQ(tb_probe_wdl_code(pos), TB_CODE_DRAW + v.wdl);
        passed += stored == v.wdl_table && wdl == v.wdl && dtz == v.dtz;
    }
    EXPECT_EQ(passed, 100);
}

// The root choice returns the vector's result and a move whose child has
// the opposite WDL (every move of a lost position loses, so any is fine).
TEST_F(TbVectorTest, RootChoiceAgreesWithVectors)
{
    for (const ProbeVector& v : load_vectors()) {
        SCOPED_TRACE(v.fen);
        TbPosition pos = fen_position(v.fen.c_str());
        const Position engine = engine_position(pos);
        u32 code = 99, dtz = 99;
        Move move = 0;
        const i32 r = probe_root_moves_dtz(engine, &code, &dtz, &move);
        ASSERT_EQ(r, TB_CODE_DRAW + v.wdl);
        EXPECT_EQ(code, u32(r));
        EXPECT_EQ(dtz, u32(v.dtz < 0 ? -v.dtz : v.dtz));
        // Find the move in the prober's list and check its child.
        ProbeMove list[TB_MOVE_LIST_SIZE];
        ProbeMove* end = probe_board_generate_moves(pos, list);
        bool found = false;
        for (ProbeMove* m = list; m < end; m++) {
            const int promo = probe_move_promotion(*m);
            const Move flag = promo == 1 ? PROMO_QUEEN : promo == 2 ? PROMO_ROOK : promo == 3 ? PROMO_BISHOP
                              : promo == 4 ? PROMO_KNIGHT : 0;
            if (make_move(probe_move_from(*m), probe_move_to(*m), flag) != move) continue;
            TbPosition child;
            ASSERT_TRUE(probe_board_apply_move(child, pos, *m));
            int success = 0;
            const int child_wdl = wdl_probe_position(child, &success);
            ASSERT_NE(success, 0);
            EXPECT_EQ(child_wdl, -v.wdl);
            found = true;
        }
        EXPECT_TRUE(found);
    }
}

} // namespace

namespace {

// Black in check with White to move: the probes answer "no result" at once
// instead of taking the king.
TEST_F(TbVectorTest, KingInCheckOfTheSideNotToMoveIsNeverProbed)
{
    const TbPosition pos = fen_position("k7/8/1K6/8/8/8/8/7Q w - -");
    EXPECT_EQ(tb_probe_wdl_code(pos), TB_CODE_NONE);
    int success = 1;
    dtz_probe_position(pos, &success);
    EXPECT_EQ(success, 0);
    u32 code = 9, distance = 9;
    Move move = 9;
    EXPECT_EQ(probe_root_moves_dtz(engine_position(pos), &code, &distance, &move), TB_CODE_NONE);
    EXPECT_EQ(move, 9);
    // Castling rights keep the root probe off.
    EXPECT_EQ(probe_root_moves_dtz(engine_position(fen_position("8/8/8/8/8/8/1Q6/K6k w - -"), 1), &code, &distance,
                                   &move),
              TB_CODE_NONE);
    // A mated or stalemated root has no move to choose.
    EXPECT_EQ(probe_root_moves_dtz(engine_position(fen_position("k7/1Q6/1K6/8/8/8/8/8 b - -")), &code, &distance,
                                   &move),
              TB_CODE_NONE);
    EXPECT_EQ(probe_root_moves_dtz(engine_position(fen_position("k7/2Q5/1K6/8/8/8/8/8 b - -")), &code, &distance,
                                   &move),
              TB_CODE_NONE);
}

// Under-promotions are handed over with their flags.
TEST_F(TbVectorTest, RootMoveCarriesUnderPromotions)
{
    u32 code = 0, distance = 0;
    Move move = 0;
    // c8=Q stalemates; c8=R wins at once.
    ASSERT_EQ(probe_root_moves_dtz(engine_position(fen_position("8/k1P5/2K5/8/8/8/8/8 w - -")), &code, &distance,
                                   &move),
              TB_CODE_WIN);
    EXPECT_EQ(move, make_move(50, 58, PROMO_ROOK));
    EXPECT_EQ(distance, 1u);
    // A drawn position whose material key picks the knight promotion among
    // the drawing moves.
    ASSERT_EQ(probe_root_moves_dtz(engine_position(fen_position("8/4P3/5K2/1b6/8/1k6/8/8 w - -")), &code, &distance,
                                   &move),
              TB_CODE_DRAW);
    EXPECT_EQ(move, make_move(52, 60, PROMO_KNIGHT));
    EXPECT_EQ(distance, 0u);
}

// The code of each root move: the root's own for the moves that keep it,
// a draw for a move that hangs the rook, the cursed win for wins that the
// clock leaves too little room; never above the root's code.
TEST_F(TbVectorTest, RootMoveCodesTellWhatEachMoveKeeps)
{
    TbPosition pos = fen_position("8/8/8/8/8/2k5/8/KR6 w - -");
    u32 code = 0, distance = 0;
    Move best = 0;
    RootMoveCodes codes{}, wdl{}, late{}, edge{};
    ASSERT_EQ(probe_root_moves_dtz(engine_position(pos), &code, &distance, &best, &codes), TB_CODE_WIN);
    ASSERT_TRUE(probe_root_move_wdl_codes(engine_position(pos), TB_CODE_WIN, &wdl));
    // With one ply to spare for the quickest win, a win a ply slower reaches
    // the fifty-move mark, where the tables cannot tell, and slower ones
    // are cursed.
    pos.halfmove_clock = u8(98 - int(distance));
    ASSERT_EQ(probe_root_moves_dtz(engine_position(pos), &code, &distance, &best, &late), TB_CODE_WIN);
    // With none to spare the root itself cannot be told; the moves as good
    // as the chosen one share its code, the others keep their own.
    pos.halfmove_clock = u8(100 - int(distance));
    Move edge_best = 0;
    ASSERT_EQ(probe_root_moves_dtz(engine_position(pos), &code, &distance, &edge_best, &edge), TB_CODE_UNSURE);
    ASSERT_EQ(codes.count, 14);
    ASSERT_EQ(wdl.count, 14);
    ASSERT_EQ(late.count, 14);
    ASSERT_EQ(edge.count, 14);
    int cursed = 0, unsure = 0, edge_unsure = 0;
    for (int i = 0; i < 14; i++) {
        const bool hangs = codes.move[i] == make_move(1, 17) || codes.move[i] == make_move(1, 25);  // b1b3, b1b4
        EXPECT_EQ(codes.code[i], hangs ? TB_CODE_DRAW : TB_CODE_WIN) << codes.move[i];
        EXPECT_EQ(wdl.code[i], codes.code[i]) << wdl.move[i];
        // (The same position lists its moves in the same order.)
        if (late.move[i] == best) {
            EXPECT_EQ(late.code[i], TB_CODE_WIN);
        }
        cursed += late.code[i] == TB_CODE_CURSED_WIN;
        unsure += late.code[i] == TB_CODE_UNSURE;
        EXPECT_TRUE(late.code[i] == codes.code[i] ||
                    ((late.code[i] == TB_CODE_CURSED_WIN || late.code[i] == TB_CODE_UNSURE) && !hangs))
            << late.move[i];
        if (edge.move[i] == edge_best) {
            EXPECT_EQ(edge.code[i], TB_CODE_UNSURE);
        }
        edge_unsure += edge.code[i] == TB_CODE_UNSURE;
        // Two plies nearer the mark the slow wins are all cursed, the quick
        // ones cursed or unsure.
        if (hangs) {
            EXPECT_EQ(edge.code[i], TB_CODE_DRAW) << edge.move[i];
        } else if (late.code[i] != TB_CODE_WIN) {
            EXPECT_EQ(edge.code[i], TB_CODE_CURSED_WIN) << edge.move[i];
        } else {
            EXPECT_TRUE(edge.code[i] == TB_CODE_UNSURE || edge.code[i] == TB_CODE_CURSED_WIN) << edge.move[i];
        }
    }
    EXPECT_GT(cursed, 0);
    EXPECT_GT(unsure, 0);
    EXPECT_GT(edge_unsure, 0);
}

// The DTZ cache keeps the most recently used table in front.
TEST_F(TbVectorTest, DtzCacheMovesTablesToTheFront)
{
    const char* fens[3] = {"8/8/1k6/8/2R2R2/8/6K1/8 w - -", "q7/k2K4/5B2/8/8/8/8/8 b - -",
                           "n7/8/8/8/1K6/6k1/2r5/8 w - -"};
    u64 keys[3];
    int success = 0;
    for (int i = 0; i < 3; i++) {
        dtz_probe_position(fen_position(fens[i]), &success);
        ASSERT_NE(success, 0);
        keys[i] = dtz_cache_slot_key(0);
        EXPECT_TRUE(dtz_cache_slot_loaded(0));
    }
    EXPECT_EQ(dtz_cache_slot_key(1), keys[1]);
    EXPECT_EQ(dtz_cache_slot_key(2), keys[0]);
    dtz_probe_position(fen_position(fens[0]), &success);
    EXPECT_EQ(dtz_cache_slot_key(0), keys[0]);
    EXPECT_EQ(dtz_cache_slot_key(1), keys[2]);
    EXPECT_EQ(dtz_cache_slot_key(2), keys[1]);
}

} // namespace

namespace {

// The engine's own FEN reader and the conversion to the prober's position
// give the same positions as the test reader, and the root probe answers
// on them; the engine refuses the position with the side not to move in
// check, so it never reaches the prober.
TEST_F(TbVectorTest, EnginePositionsConvertToTheSameProbePositions)
{
    generate_zobrist_keys();
    ThreadData* td = allocate_thread_data();
    ASSERT_NE(td, nullptr);
    reset_thread_links(td);
    for (const ProbeVector& v : load_vectors()) {
        SCOPED_TRACE(v.fen);
        ASSERT_EQ(set_position_from_fen(td->pos, v.fen.c_str()), 1);
        ASSERT_TRUE(tb_root_position_is_valid(td->pos));
        const TbPosition from_engine = tb_position_from_engine(td->pos, 0);
        const TbPosition expected = fen_position(v.fen.c_str());
        EXPECT_EQ(from_engine.white, expected.white);
        EXPECT_EQ(from_engine.black, expected.black);
        EXPECT_EQ(from_engine.kings, expected.kings);
        EXPECT_EQ(from_engine.queens, expected.queens);
        EXPECT_EQ(from_engine.rooks, expected.rooks);
        EXPECT_EQ(from_engine.bishops, expected.bishops);
        EXPECT_EQ(from_engine.knights, expected.knights);
        EXPECT_EQ(from_engine.pawns, expected.pawns);
        EXPECT_EQ(from_engine.ep_square, expected.ep_square);
        EXPECT_EQ(from_engine.white_to_move, expected.white_to_move);
        u32 code = 0, distance = 0;
        Move move = 0;
        EXPECT_EQ(probe_root_moves_dtz(td->pos, &code, &distance, &move), TB_CODE_DRAW + v.wdl);
    }
    EXPECT_EQ(set_position_from_fen(td->pos, "k7/8/1K6/8/8/8/8/7Q w - -"), 0);
    delete td;
}

} // namespace

namespace {

// Across every test material: WDL and DTZ agree in sign, and the DTZ of a
// decided position is within one ply of what its best move reaches (one
// more ply than a child's distance, or 1 for a winning zeroing move).
TEST_F(TbVectorTest, DistancesAgreeWithOnePlyOfTheirChildren)
{
    static char names[TB_NAME_COUNT][16];
    const int count = tablebase_name_list(names);
    std::vector<std::string> materials;
    for (int i = 0; i < count; i++)
        if (std::filesystem::exists(std::string(test_table_dir()) + "/" + names[i] + ".rtbw"))
            materials.push_back(names[i]);
    ASSERT_EQ(materials.size(), 35u);
    u32 seed = 99;
    for (int i = 0; i < 35 * 60; i++) {
        const TbPosition pos = random_position(materials[i % materials.size()].c_str(), seed);
        int ok = 0;
        const int wdl = wdl_probe_position(pos, &ok);
        ASSERT_NE(ok, 0);
        const int dtz = dtz_probe_position(pos, &ok);
        ASSERT_NE(ok, 0);
        ASSERT_EQ((wdl > 0) - (wdl < 0), (dtz > 0) - (dtz < 0));
        if (wdl == 0) continue;
        ProbeMove list[TB_MOVE_LIST_SIZE];
        ProbeMove* end = probe_board_generate_moves(pos, list);
        int best = wdl > 0 ? 100000 : 0;
        for (ProbeMove* m = list; m < end; m++) {
            TbPosition child;
            if (!probe_board_apply_move(child, pos, *m)) continue;
            int r;
            if (child.halfmove_clock == 0) {
                r = dtz_of_wdl[2 - wdl_probe_position(child, &ok)];
            } else {
                const int c = dtz_probe_position(child, &ok);
                r = c < 0 ? 1 - c : c > 0 ? -c - 1 : 0;
            }
            ASSERT_NE(ok, 0);
            if (wdl > 0 && r >= 1 && r < best) best = r;
            if (wdl < 0 && r < best) best = r;
        }
        EXPECT_LE(std::abs(dtz - best), 1) << materials[i % materials.size()] << " white " << pos.white
                                           << " black " << pos.black << " stm " << int(pos.white_to_move);
    }
}

} // namespace
