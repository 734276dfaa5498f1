// The console's tools that borrow thread 0's record: the tuning line search,
// the evaluation breakdown and perft, run in-process on a real search thread.
#include "tool_fixture.h"

#include <algorithm>
#include <cmath>

#include "tools/dumps.h"
#include "tools/perft.h"
#include "tools/tune.h"

namespace {

struct ConsoleToolTest : EngineToolTest {
    void SetUp() override
    {
        EngineToolTest::SetUp();
        write_default_params(params);
        init_evaluation_tables();
    }
};

TEST_F(ConsoleToolTest, LineSearchIsRepeatableAndKeepsTheParameter)
{
    write_file("train.epd",
               "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - c9 \"1-0\";\n"
               "8/5pk1/6p1/8/3P4/6P1/5PK1/8 w - - c9 \"1-0\";\n"
               "8/8/4k3/8/2K5/8/3P4/8 b - - c9 \"1/2-1/2\";\n"
               "4k3/pp6/8/8/8/8/5PPP/4K3 w - - c9 \"0-1\";\n");
    capture();
    run_tune_command("pawn_value_en", "train.epd");
    std::string first = captured();
    EXPECT_EQ(params.pawn_value[1], 110);
    capture();
    run_tune_command("pawn_value_en", "train.epd");
    EXPECT_EQ(captured(), first);

    std::vector<std::string> lines = lines_of(first);
    ASSERT_GT(lines.size(), 8u);
    EXPECT_EQ(lines[0], "tune file= train.epd");
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2], "tuning pawn_value_en");
    EXPECT_EQ(lines[3].rfind("pawn_value_en= 110, err= 0.", 0), 0u) << lines[3];
    EXPECT_EQ(lines[4].rfind("best= 110, err= 0.", 0), 0u) << lines[4];
    EXPECT_NE(lines[4].find(", min= -10000, max= 10000"), std::string::npos);
    // The second probe is the start value less its step (0.12 x 110 + 1).
    EXPECT_EQ(lines[6].rfind("pawn_value_en= 96, err= ", 0), 0u) << lines[6];
    EXPECT_EQ(lines[lines.size() - 2], "done!");
    size_t probes = 0;
    for (const std::string& line : lines) probes += line.rfind("pawn_value_en= ", 0) == 0;
    EXPECT_LE(probes, 30u);
    EXPECT_EQ(search_state.depth_limit, 0);

    capture();
    run_tune_command("no_such_parameter", "train.epd");
    EXPECT_EQ(captured(), "tune file= train.epd\ndone!\n\n");
    capture();
    run_tune_command("pawn_value_en", "absent.epd");
    EXPECT_EQ(captured(), "tune file= absent.epd\ncan't open training file absent.epd\ndone!\n\n");
    search_state.depth_limit = MAX_SEARCH_PLY;
}

TEST_F(ConsoleToolTest, GradientStepOfAnEvaluatedParameter)
{
    // "-tune" on the endgame pawn value: its first step, worked out here from
    // the errors of the first pass's sample at the value -/+ d, and the
    // learning-rate factor k of the second pass. Among drawn bare kings, one
    // won ending with six pawns (on a line the first pass samples) moves the
    // value by less than its cap, and k rises; with won four-pawn endings
    // only, the step is capped, and k falls.
    std::string numbered;
    for (int i = 0; i < 250; i++) numbered += "line " + std::to_string(i) + "\n";
    write_file("numbered.txt", numbered);
    tune_sample_seed = 1;
    sample_epd_to_junk("numbered.txt");
    const int first_sampled = std::stoi(read_file("junk.epd").substr(5));
    const char* const bare_kings = "4k3/8/8/8/8/8/8/4K3 w - - c9 \"1/2-1/2\";\n";
    struct Row {
        const char* won;
        bool only_first_sampled;
        bool capped;
    };
    const Row rows[] = {{"4k3/8/8/8/8/8/PPPPPP2/4K3 w - - c9 \"1-0\";\n", true, false},
                        {"4k3/8/8/8/8/8/PPPP4/4K3 w - - c9 \"1-0\";\n", false, true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.won);
        std::string training;
        for (int i = 0; i < 250; i++)
            training += !row.only_first_sampled || i == first_sampled ? row.won : bare_kings;
        write_file("train.epd", training);
        std::strcpy(engine_config.test_file, "train.epd");
        write_default_params(params);  // a run keeps the values of its last pass
        tune_count = 0;
        register_tune_params();
        activate_tune_param("pawn_value_en");
        const double x = params.pawn_value[1];
        const int v = params.pawn_value[1], d = int(std::lround(0.03 * x + 1.0));

        // The first pass's sample, at v - d and at v + d (quiescence scores).
        search_state.depth_limit = 0;
        tune_sample_seed = 1;
        sample_epd_to_junk("train.epd");
        params.pawn_value[1] = i16(v - d);
        const double e1 = tuning_error("junk.epd");
        params.pawn_value[1] = i16(v + d);
        const double e2 = tuning_error("junk.epd");
        params.pawn_value[1] = i16(v);
        const double g = (e2 - e1) / (2 * d);
        const double k = 2000.0, rate = g * k;
        const double dx = -rate * (std::fabs(x) + 6), cap = 0.025 * (std::fabs(x) + 6);
        const double step = std::clamp(dx, -cap, cap);
        ASSERT_LT(g, 0.0);  // a higher pawn value fits the won pawn endings better
        EXPECT_EQ(std::fabs(dx) > cap, row.capped);

        capture();
        run_gradient_tune();
        captured();
        const std::vector<std::string> lines = lines_of(read_file("tune.log"));
        char expected[256];
        std::snprintf(expected, sizeof expected, "p1=%4d/%6.5f, p2=%4d/%6.5f, g=%10.2e, lr=%5.2f, x=%5.1f, p=%6.1f",
                      v - d, e1, v + d, e2, g, rate * 100, step, x + step);
        const auto first_step = std::find_if(lines.begin(), lines.end(),
                                             [](const std::string& line) { return line.rfind("p1=", 0) == 0; });
        ASSERT_NE(first_step, lines.end());
        EXPECT_EQ(*first_step, expected);
        // The second pass sets the parameter to the rounded new x, with k
        // raised by 3 % after steps below 0.016 or moves below 0.8, and
        // lowered by 3 % when the average rate over the ten active
        // parameters (p1 to p9 beside it) is above 0.07.
        const double average = std::fabs(rate) / 10;
        const double next_k = k * (std::fabs(rate) < 0.016 || std::fabs(dx) < 0.8 ? 1.03 : 1.0) *
                              (average > 0.07 ? 0.97 : 1.0);
        std::snprintf(expected, sizeof expected, "pass= 1, k0= %0.3e, avg_lr= %0.1f, max_lr= %0.1f", next_k,
                      average * 100, std::fabs(rate) * 100);
        const auto second_pass = std::find(lines.begin(), lines.end(), std::string(expected));
        ASSERT_NE(second_pass, lines.end()) << expected;
        ASSERT_LT(second_pass + 2, lines.end());
        EXPECT_EQ(second_pass[2], "** pawn_value_en = " + std::to_string(std::lround(x + step)));
    }
}

TEST_F(ConsoleToolTest, EvaluationBreakdownOfTheStartPosition)
{
    search_state.depth_limit = 7;
    set_position_from_fen(game_record->pos, START_FEN);
    capture();
    print_eval_breakdown();
    std::vector<std::string> lines = lines_of(captured());
    EXPECT_EQ(search_state.depth_limit, 7);
    ASSERT_GE(lines.size(), 22u);
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1].rfind("eval= ", 0), 0u) << lines[1];
    EXPECT_NE(lines[1].find(", stage= 0, draw_adj= 1.00"), std::string::npos) << lines[1];
    EXPECT_EQ(lines[2], "");
    EXPECT_EQ(lines[3], "           white    black     diff");
    EXPECT_EQ(lines[4].rfind("mtl=", 0), 0u);
    EXPECT_EQ(lines[4].substr(lines[4].size() - 10), "0   ( :: )") << lines[4];
    EXPECT_EQ(lines[12].rfind("passers=", 0), 0u);
    EXPECT_EQ(lines[13].substr(0, 20), " r n b q k b n r    ");
    EXPECT_EQ(lines[16].substr(0, 16), " + - + - + - + -");
    EXPECT_EQ(lines[20].substr(0, 20), " R N B Q K B N R    ");
    EXPECT_EQ(lines[16].substr(16), "        -    -    -    -    -    -    -    -");
    EXPECT_EQ(lines[21], "white");
    for (const std::string& line : lines) {
        EXPECT_EQ(line.find("hung pieces"), std::string::npos);
        EXPECT_EQ(line.find("pinned pieces"), std::string::npos);
    }
    search_state.depth_limit = MAX_SEARCH_PLY;
}

TEST_F(ConsoleToolTest, PerftCommandCountsFromTheGamePosition)
{
    set_position_from_fen(game_record->pos, START_FEN);
    capture();
    run_perft_command(3);
    std::string out = captured();
    EXPECT_EQ(out.rfind("visited 8902 nodes in ", 0), 0u) << out;
    capture();
    run_perft_command(0);
    EXPECT_EQ(captured(), "perft needs a depth of at least 1\n");
}

}  // namespace
