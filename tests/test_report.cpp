// Search reports: the exact text of the UCI and console lines, the score
// forms, the due rule and the effective branching factor.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "search_setup.h"
#include "report.h"

namespace {

struct ReportTest : search_setup::ThreadZeroTest {
    void SetUp() override
    {
        SearchState& ss = search_state;
        engine_config.protocol = PROTOCOL_UCI;
        engine_config.output_delay = 0;
        extra_report = 0;
        ss.multipv = 1;
        ss.thread_count = 1;
        ss.stop = STOP_RUN;
        ss.root_tb_result = TB_CODE_NONE;
        ss.root_tb_moves.count = 0;
        ss.elapsed_time = 1.5;
        for (u64& sum : ss.summed_counters) sum = 0;
        ss.summed_counters[SUM_NODES] = 3000;
        ss.summed_counters[SUM_TB_HITS] = 4;
        ss.hash_fill = 0.25;
        td->sel_depth = 12;
        td->iteration_multipv = 1;
    }

    static std::string line(u32 thread, u32 pv_number, int depth, int score, const u16* pv, u8 bound = BOUND_EXACT)
    {
        char text[2048];
        format_pv_line(thread, pv_number, depth, score, pv, text, sizeof text, bound);
        return text;
    }

    static std::string score_text(int score)
    {
        char text[32];
        format_uci_score(score, text, sizeof text);
        return text;
    }
};

const u16 E2E4_E7E5[] = {0, make_move(12, 28), make_move(52, 36), 0};

TEST_F(ReportTest, UciLineFields)
{
    EXPECT_EQ(line(0, PV_NUMBER_SHARED, 10, 35, E2E4_E7E5),
              "info depth 10 seldepth 11 score cp 35 time 1500 nodes 3000 nps 2000 tbhits 4 hashfull 250 pv e2e4 e7e5");
    // Below 1 ms of search the rate is 0.
    search_state.elapsed_time = 0.0005;
    EXPECT_EQ(line(0, 0, 1, -20, E2E4_E7E5),
              "info depth 1 seldepth 11 score cp -20 time 0 nodes 3000 nps 0 tbhits 4 hashfull 250 pv e2e4 e7e5");
}

TEST_F(ReportTest, MateAndCentipawnScores)
{
    EXPECT_EQ(score_text(9998), "mate 1");
    EXPECT_EQ(score_text(9996), "mate 2");
    EXPECT_EQ(score_text(9990), "mate 5");
    EXPECT_EQ(score_text(9899), "cp 9899");
    EXPECT_EQ(score_text(-9900), "cp -9900");
    // Mated: -9997 is mated after one move of ours (ply 3), "mate -1".
    EXPECT_EQ(score_text(-9997), "mate -1");
    EXPECT_EQ(score_text(-9995), "mate -2");
    EXPECT_EQ(score_text(-9901), "mate -49");
}

TEST_F(ReportTest, TablebaseResultShapesTheScore)
{
    search_state.root_tb_result = TB_CODE_WIN;
    EXPECT_NE(line(0, 0, 5, 120, E2E4_E7E5).find("score cp 9800 "), std::string::npos);
    EXPECT_NE(line(0, 0, 5, 9990, E2E4_E7E5).find("score mate 5 "), std::string::npos);
    // The tables' verdict put in place of a bound is exact; a mate shown as it is keeps its mark.
    EXPECT_NE(line(0, 0, 5, 120, E2E4_E7E5, BOUND_UPPER).find("score cp 9800 time "), std::string::npos);
    EXPECT_NE(line(0, 0, 5, 9990, E2E4_E7E5, BOUND_LOWER).find("score mate 5 lowerbound time "), std::string::npos);
    search_state.root_tb_result = TB_CODE_DRAW;
    EXPECT_NE(line(0, 0, 5, 300, E2E4_E7E5).find("score cp 0 "), std::string::npos);
    search_state.root_tb_result = TB_CODE_LOSS;
    EXPECT_NE(line(0, 0, 5, -40, E2E4_E7E5).find("score cp -9800 "), std::string::npos);
    EXPECT_NE(line(0, 0, 5, -9995, E2E4_E7E5).find("score mate -2 "), std::string::npos);
    // A win or loss the fifty-move rule spoils is the draw.
    search_state.root_tb_result = TB_CODE_CURSED_WIN;
    EXPECT_NE(line(0, 0, 5, 77, E2E4_E7E5).find("score cp 0 "), std::string::npos);
    search_state.root_tb_result = TB_CODE_BLESSED_LOSS;
    EXPECT_NE(line(0, 0, 5, -77, E2E4_E7E5).find("score cp 0 "), std::string::npos);
    // Where the tables cannot tell, the search score as it is; with several
    // lines, a move the tables tell shows their value.
    search_state.root_tb_result = TB_CODE_UNSURE;
    EXPECT_NE(line(0, 0, 5, 77, E2E4_E7E5).find("score cp 77 "), std::string::npos);
    EXPECT_NE(line(0, 0, 5, 9996, E2E4_E7E5).find("score mate 2 "), std::string::npos);
    RootMoveCodes& codes = search_state.root_tb_moves;
    codes.count = 2;
    codes.move[0] = make_move(12, 28);
    codes.code[0] = i8(TB_CODE_CURSED_WIN);
    codes.move[1] = make_move(12, 20);
    codes.code[1] = i8(TB_CODE_UNSURE);
    const u16 e2e3[] = {0, make_move(12, 20), 0};
    td->iteration_multipv = 2;
    EXPECT_NE(line(0, 1, 5, 9996, E2E4_E7E5).find("score cp 0 "), std::string::npos);
    EXPECT_NE(line(0, 0, 5, 9996, e2e3).find("score mate 2 "), std::string::npos);
    // Under a root the tables tell, a move they cannot tell is refuted right
    // below the root: the draw, not its bound.
    search_state.root_tb_result = TB_CODE_WIN;
    codes.code[0] = i8(TB_CODE_WIN);
    EXPECT_NE(line(0, 0, 5, 9996, e2e3).find("score cp 0 "), std::string::npos);
    EXPECT_NE(line(0, 1, 5, 120, E2E4_E7E5).find("score cp 9800 "), std::string::npos);
    codes.count = 0;
}

TEST_F(ReportTest, MultiPvThreadTagAndPromotion)
{
    const u16 promotion[] = {0, u16(make_move(52, 60) | PROMO_QUEEN), u16(make_move(51, 59) | PROMO_KNIGHT), 0};
    // The lines of an iteration of thread 0 searched with MultiPV 3.
    td->iteration_multipv = 3;
    std::string text = line(0, 1, 4, 0, promotion);
    EXPECT_EQ(text.rfind("info multipv 2 depth 4 ", 0), 0u) << text;
    EXPECT_NE(text.find(" pv e7e8q d7d8n"), std::string::npos) << text;
    // A line of the shared result is the main line.
    EXPECT_EQ(line(0, PV_NUMBER_SHARED, 4, 0, promotion).rfind("info multipv 1 depth 4 ", 0), 0u);

    // The option lowered to 1 while that iteration's lines are printed: they
    // keep their numbers; the next iteration's single line is plain.
    search_state.multipv = 1;
    EXPECT_EQ(line(0, 2, 4, 0, promotion).rfind("info multipv 3 depth 4 ", 0), 0u);
    EXPECT_EQ(line(0, 0, 4, 0, promotion).rfind("info multipv 1 depth 4 ", 0), 0u);
    td->iteration_multipv = 1;
    EXPECT_EQ(line(0, 0, 4, 0, promotion).rfind("info depth 4 ", 0), 0u);
    extra_report = 1;
    EXPECT_EQ(line(0, 0, 4, 0, E2E4_E7E5).rfind("info [00.] depth 4 ", 0), 0u);
    EXPECT_EQ(line(3, PV_NUMBER_SHARED, 4, 0, E2E4_E7E5).rfind("info [03 ] depth 4 ", 0), 0u);
}

TEST_F(ReportTest, LongLinesAreCut)
{
    u16 pv[MAX_PLY] = {};
    for (int i = 1; i < MAX_PLY; i++) pv[i] = i % 2 ? make_move(6, 21) : make_move(21, 6);  // g1f3 f3g1 ...
    std::string text = line(0, 0, 20, 0, pv);
    const std::string moves = text.substr(text.find(" pv ") + 4);
    EXPECT_EQ(std::count(moves.begin(), moves.end(), ' '), 65) << "66 moves at most";
}

TEST_F(ReportTest, ConsoleLayout)
{
    engine_config.protocol = PROTOCOL_CONSOLE;
    u16 pv[MAX_PLY] = {};
    for (int i = 1; i <= 12; i++) pv[i] = i % 2 ? make_move(6, 21) : make_move(21, 6);
    search_state.elapsed_time = 2.25;
    search_state.summed_counters[SUM_NODES] = 123456;
    // While searching: 8 moves.
    EXPECT_EQ(line(0, 0, 9, 31, pv), "00] 09.   2.2     123K    31  g1f3 f3g1 g1f3 f3g1 g1f3 f3g1 g1f3 f3g1");
    // At the end: all 12, the 9th on a new line after 30 blanks.
    search_state.stop = STOP_NORMAL;
    EXPECT_EQ(line(2, PV_NUMBER_SHARED, 9, -5, pv),
              "02] 09    2.2     123K    -5  g1f3 f3g1 g1f3 f3g1 g1f3 f3g1 g1f3 f3g1\n"
              "                              g1f3 f3g1 g1f3 f3g1");
}

TEST_F(ReportTest, ProgressAndCurrentMoveLines)
{
    char text[160];
    format_progress_line(12, text, sizeof text);
    EXPECT_STREQ(text, "info depth 12 time 1500 nodes 3000 nps 2000 hashfull 250");
    format_currmove_line(u16(make_move(52, 60) | PROMO_QUEEN), 3, text, sizeof text);
    EXPECT_STREQ(text, "info currmove e7e8q currmovenumber 3");
    format_currmove_line(make_move(12, 28), 1, text, sizeof text);
    EXPECT_STREQ(text, "info currmove e2e4 currmovenumber 1");
}

TEST_F(ReportTest, DueRule)
{
    testing::internal::CaptureStdout();
    engine_config.output_delay = OUTPUT_DELAY_QUIET;
    print_pv_line_if_due(0, 0, 5, 10, E2E4_E7E5);  // never when quiet
    engine_config.output_delay = 3.0;
    print_pv_line_if_due(0, 0, 5, 10, E2E4_E7E5);  // young search
    engine_config.output_delay = 0;
    print_pv_line_if_due(0, 0, 0, 10, E2E4_E7E5);  // depth 0
    const u16 empty[] = {0, 0};
    print_pv_line_if_due(0, 0, 5, 10, empty);  // no move
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    testing::internal::CaptureStdout();
    engine_config.output_delay = 3.0;
    search_state.stop = STOP_NORMAL;  // ending: printed however young
    print_pv_line_if_due(0, 0, 5, 10, E2E4_E7E5);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("info depth 5 seldepth ", 0), 0u) << out;
}

TEST_F(ReportTest, CountersAreSummedOverThreads)
{
    td->counters[CNT_NODES] = 100;
    td->counters[CNT_TB_HITS] = 7;
    td->counters[CNT_HASH_HITS] = 5;
    sum_thread_counters();
    EXPECT_EQ(search_state.summed_counters[SUM_NODES], 100u);
    EXPECT_EQ(search_state.summed_counters[SUM_TB_HITS], 7u);
    EXPECT_EQ(search_state.summed_counters[SUM_HASH_HITS], 5u);
}

TEST_F(ReportTest, EffectiveBranchingFactor)
{
    SearchState& ss = search_state;
    for (auto& n : ss.nodes_by_depth) n = 0;
    ss.last_finished_depth = 10;
    ss.nodes_by_depth[10] = 1000000;
    ss.nodes_by_depth[6] = 10000;
    EXPECT_NEAR(effective_branching_factor(), 3.162, 0.0005);
    ss.nodes_by_depth[6] = 0;
    EXPECT_DOUBLE_EQ(effective_branching_factor(), 2.0);
    ss.last_finished_depth = 5;
    EXPECT_DOUBLE_EQ(effective_branching_factor(), 2.0);
}

}  // namespace
