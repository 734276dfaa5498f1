// Every shared probe vector probes to its stored table value, its full WDL
// and its full DTZ; the root move choice agrees with them.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "tablebase/tablebase.h"
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
        scan_tablebase_paths(shared_table_dir());
        found_line = testing::internal::GetCapturedStdout();
    }
    static void TearDownTestSuite() { scan_tablebase_paths(""); }
    static std::string found_line;
};
std::string TbVectorTest::found_line;

TEST_F(TbVectorTest, ScanFindsAllSharedTables)
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
        EXPECT_EQ(tb_probe_wdl_code(pos), v.wdl + 2);
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
        ASSERT_EQ(r, v.wdl + 2);
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
