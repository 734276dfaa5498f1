// The parts of tuning and the self-play match that need no search: the
// tuning table, and the two players' parameter sets with their own
// piece-square sources and the cache clearing when the set in use changes.
#include "tool_fixture.h"

#include "tools/match.h"
#include "tools/tune.h"

namespace {

struct TuneTableTest : ToolTest {};

TEST_F(TuneTableTest, RegistrationOrderAndTargets)
{
    write_default_params(params);
    tune_count = 0;
    register_tune_params();
    ASSERT_EQ(tune_count, TUNE_TABLE_SIZE);
    EXPECT_STREQ(tune_table[0].name, "pawn_value_op");
    EXPECT_EQ(tune_table[0].target, &params.pawn_value[0]);
    EXPECT_EQ(tune_table[0].x, 90.0);
    EXPECT_STREQ(tune_table[19].name, "queen_mobility_en");
    EXPECT_STREQ(tune_table[20].name, "ppawn_r2");
    EXPECT_EQ(tune_table[20].target, &params.passed_pawn[1]);
    EXPECT_STREQ(tune_table[26].name, "pawn_candidate");
    EXPECT_EQ(tune_table[26].target, &params.pawn_candidate[1]);
    EXPECT_STREQ(tune_table[52].name, "PST_P_op");
    EXPECT_EQ(find_tune_param("PST_K_en")->target, &params.pst_scale[5][1]);
    EXPECT_EQ(find_tune_param("pst_a1_op")->target, &params.pst_shape[0]);
    EXPECT_EQ(find_tune_param("pst_d8_op")->target, &params.pst_shape[31]);
    EXPECT_EQ(find_tune_param("pst_b3_op")->target, &params.pst_shape[9]);
    EXPECT_STREQ(tune_table[98].name, "p1");
    EXPECT_EQ(find_tune_param("p15")->target, &params.p[14]);
    EXPECT_STREQ(tune_table[113].name, "tune");
    EXPECT_EQ(tune_table[113].x, 256.0);
    EXPECT_EQ(find_tune_param("nothing"), nullptr);

    // The table is bounded.
    EXPECT_EQ(add_tune_param("extra", &params.tune), 0);
    EXPECT_EQ(tune_count, TUNE_TABLE_SIZE);

    activate_tune_param("p3");
    activate_tune_param("nothing");
    int active = 0;
    for (int i = 0; i < tune_count; i++) active += tune_table[i].active;
    EXPECT_EQ(active, 1);
    EXPECT_EQ(find_tune_param("p3")->active, 1);
}

struct MatchSetupTest : ToolTest {
    void SetUp() override
    {
        ToolTest::SetUp();
        write_default_params(params);
        engine_config.builtin_pst = 1;
        save_params();
    }
    void TearDown() override
    {
        write_default_params(params);
        engine_config.builtin_pst = 1;
        init_evaluation_tables();
        ToolTest::TearDown();
    }

    static std::string pst_blocks(int value)
    {
        std::string text;
        for (const char* piece : {"pawn", "knight", "bishop", "rook", "queen", "king"}) {
            for (const char* phase : {"op", "en"}) {
                text += std::string("PST_") + piece + "_" + phase + "\n";
                for (int rank = 0; rank < 8; rank++) {
                    for (int file = 0; file < 8; file++) text += std::to_string(value) + " ";
                    text += "\n";
                }
            }
        }
        return text;
    }
};

TEST_F(MatchSetupTest, CompleteTest1RcLeavesPlayer2ItsBuiltInShapes)
{
    write_file("test1.rc", "pawn_value 100, 120\n" + pst_blocks(7));
    auto* players = new MatchPlayer[2];
    capture();
    ASSERT_EQ(load_match_players(players[0], players[1]), 1);
    captured();
    EXPECT_EQ(players[0].builtin_pst, 0);
    EXPECT_EQ(players[1].builtin_pst, 1);
    EXPECT_EQ(engine_config.builtin_pst, 1);
    EXPECT_EQ(players[0].params.pawn_value[0], 100);
    EXPECT_EQ(players[1].params.pawn_value[0], 90);

    use_match_player(players[0], true);
    EXPECT_EQ(eval_tables.pst[KNIGHT - 1][0][0], 7);
    EXPECT_EQ(eval_tables.material[0].op, 100);
    use_match_player(players[1], true);
    EXPECT_EQ(eval_tables.pst[KNIGHT - 1][0][0], -35);  // the built-in knight shape on a1
    EXPECT_EQ(eval_tables.material[0].op, 90);
    delete[] players;
}

TEST_F(MatchSetupTest, PartialTest1RcPlaysOnTheBuiltInShapes)
{
    write_file("test1.rc", "knight_value 400, 380\n");
    auto* players = new MatchPlayer[2];
    capture();
    ASSERT_EQ(load_match_players(players[0], players[1]), 1);
    std::string out = captured();
    EXPECT_NE(out.find("file test1.rc contains invalid PST"), std::string::npos);
    EXPECT_EQ(players[0].builtin_pst, 1);
    EXPECT_EQ(players[0].params.knight_value[0], 400);
    use_match_player(players[0], true);
    EXPECT_EQ(eval_tables.pst[KNIGHT - 1][0][0], -35);
    EXPECT_EQ(eval_tables.material[1].op, 400);
    delete[] players;

    std::filesystem::remove("test1.rc");
    MatchPlayer a, b;
    EXPECT_EQ(load_match_players(a, b), 0);
}

TEST_F(MatchSetupTest, ChangingThePlayerEmptiesTheEvaluationCaches)
{
    ThreadData* td = allocate_thread_data();
    ASSERT_NE(td, nullptr);
    ThreadData* old = thread_table[MAX_THREADS - 1].exchange(td);
    td->eval_cache[5].key = 1234;
    td->pawn_hash[7].key = 99;
    MatchPlayer p;
    p.params = params;
    p.builtin_pst = 1;
    use_match_player(p, false);
    EXPECT_EQ(td->eval_cache[5].key, 1234u);
    use_match_player(p, true);
    EXPECT_EQ(td->eval_cache[5].key, 0u);
    EXPECT_EQ(td->pawn_hash[7].key, 0u);
    thread_table[MAX_THREADS - 1] = old;
    delete td;
}

}  // namespace
