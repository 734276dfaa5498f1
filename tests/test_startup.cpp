// The command-line switches: values, clamping, file names and refusals.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bench.h"
#include "params.h"
#include "records.h"
#include "startup.h"

namespace {

struct CommandLineTest : ::testing::Test {
    RunChoice choice;
    void SetUp() override
    {
        write_default_params(params);
        search_state.thread_count = 1;
        search_state.hash_size = 64;
        search_state.depth_limit = MAX_SEARCH_PLY;
        search_state.time_mode = TIME_MODE_FIXED;
        engine_config.log = 1;
        engine_config.output_delay = 0;
        engine_config.protocol = PROTOCOL_UCI;
    }
    void TearDown() override
    {
        SetUp();
        single_thread_bench = 0;
        extra_report = 0;
        engine_config.test_file[0] = engine_config.match_file[0] = 0;
    }
    int parse(std::vector<std::string> args, std::string* output = nullptr)
    {
        args.insert(args.begin(), "vant");
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        ::testing::internal::CaptureStdout();
        int result = read_command_line(int(argv.size()), argv.data(), choice);
        std::string out = ::testing::internal::GetCapturedStdout();
        if (output) *output = out;
        return result;
    }
};

TEST_F(CommandLineTest, NumbersAreClampedBeforeTheyAreNarrowed)
{
    EXPECT_EQ(parse({"-threads", "0"}), 0);
    EXPECT_EQ(search_state.thread_count, 1);
    parse({"-threads", "200"});
    EXPECT_EQ(search_state.thread_count, 80);
    parse({"-threads", "257"});  // 257 as an 8-bit number would be 1
    EXPECT_EQ(search_state.thread_count, 80);
    parse({"-threads", "-3"});
    EXPECT_EQ(search_state.thread_count, 1);
    parse({"-hash", "9000"});
    EXPECT_EQ(search_state.hash_size, 8192);
    parse({"-hash", "-5"});
    EXPECT_EQ(search_state.hash_size, 0);
    parse({"-d", "0"});
    EXPECT_EQ(search_state.depth_limit, 0);
    parse({"-d", "-7"});
    EXPECT_EQ(i8(search_state.depth_limit), -7);
    parse({"-d", "80"});
    EXPECT_EQ(search_state.depth_limit, 66);
    EXPECT_EQ(search_state.time_mode, TIME_MODE_FIXED);
    EXPECT_EQ(search_state.move_time, 10000.0);
    parse({"-n", "20000"});
    EXPECT_EQ(search_state.node_limit, 20000u);
    EXPECT_EQ(search_state.move_time, 1000.0);
    parse({"-t", "2.5"});
    EXPECT_EQ(search_state.move_time, 2.5);
}

TEST_F(CommandLineTest, NodeRateSetsTheStrengthLimit)
{
    std::string out;
    parse({"-nps", "1000000"}, &out);
    EXPECT_EQ(params.UCI_LimitStrength, 1);
    EXPECT_EQ(params.UCI_Elo, 2870);
    EXPECT_EQ(search_state.target_rate, 1000000.0);
    EXPECT_EQ(out, "Elo= 2870\n");
    for (const char* tiny : {"20", "0", "-7", "abc", "nan"}) {
        parse({"-nps", tiny}, &out);
        EXPECT_EQ(out, "Elo= 1337\n") << tiny;
        EXPECT_EQ(search_state.target_rate, 21.0) << tiny;
    }
}

TEST_F(CommandLineTest, SwitchesWithoutArgumentsSetTheirFlags)
{
    parse({"-quiet", "-uci_extra", "-c"});
    EXPECT_EQ(engine_config.output_delay, 9999.0);
    EXPECT_EQ(engine_config.log, 0);
    EXPECT_EQ(extra_report, 1);
    EXPECT_EQ(engine_config.protocol, PROTOCOL_CONSOLE);
    parse({"-uci", "-noise", "1.5"});
    EXPECT_EQ(engine_config.protocol, PROTOCOL_UCI);
    EXPECT_EQ(engine_config.output_delay, 1.5);
    parse({"-pbench"});
    EXPECT_EQ(choice.benchmark, BENCH_SHORT_COUNT);
    EXPECT_EQ(single_thread_bench, 1);
    parse({"-bench2"});
    EXPECT_EQ(choice.benchmark, BENCH_POSITION_COUNT);
    EXPECT_EQ(single_thread_bench, 0);
}

TEST_F(CommandLineTest, FileNamesAndToolChoices)
{
    std::string refusal;
    EXPECT_EQ(parse({"-scan_pgn", "games.pgn"}, &refusal), 1);  // no mode: refused
    EXPECT_EQ(refusal, "switch -scan_pgn: unknown PGN scan mode, use -scan_pgn1 to -scan_pgn4\n");
    EXPECT_EQ(choice.pgn_scan_mode, 0);
    parse({"-scan_pgn3", "more.pgn", "-anepd", "suite.epd", "-bench"});
    EXPECT_EQ(choice.pgn_scan_mode, 3);
    EXPECT_EQ(choice.epd_test, 1);
    EXPECT_EQ(choice.benchmark, BENCH_SHORT_COUNT);
    EXPECT_STREQ(engine_config.test_file, "suite.epd");
    parse({"-match", "m.pgn"});
    EXPECT_STREQ(engine_config.match_file, "m.pgn");

    std::string out;
    std::string name139(139, 'n'), name140(140, 'n');
    EXPECT_EQ(parse({"-anepd", name139}), 0);
    EXPECT_EQ(std::string(engine_config.test_file), name139);
    EXPECT_EQ(parse({"-anepd", name140}, &out), 1);
    EXPECT_NE(out.find("longer than 139"), std::string::npos);
}

TEST_F(CommandLineTest, MissingValueIsRefused)
{
    std::string out;
    EXPECT_EQ(parse({"-hash", "16", "-threads"}, &out), 1);
    EXPECT_EQ(out, "switch -threads needs a value\n");
    EXPECT_EQ(search_state.hash_size, 16);
    EXPECT_EQ(parse({"-scan_pgn2"}, &out), 1);
}

}  // namespace
