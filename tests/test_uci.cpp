// The UCI interpreter in-process: option parsing and replies, "position"
// with its checks, and the limits "go" stores.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "bitboard.h"
#include "fen.h"
#include "makemove.h"
#include "params.h"
#include "records.h"
#include "search_setup.h"
#include "test_data.h"
#include "tt.h"
#include "uci.h"

namespace {

using search_setup::game_fen;

struct UciTest : ::testing::Test {
    static void SetUpTestSuite()
    {
        init_board_tables();
        if (!game_record) setup_game_record();
    }
    void SetUp() override
    {
        write_default_params(params);
        engine_config.log = 0;
        engine_config.protocol = PROTOCOL_UCI;
        search_state.hash_size = 1;
        search_state.use_table = TABLE_ON;
        search_state.strength_ceiling = 2870;
        search_state.calibration_rate = 1000000;
        search_state.search_state = SEARCH_NONE;
        search_state.search_command = SEARCH_NONE;
        search_state.infinite = 0;
        ASSERT_EQ(setup_hash_table(), 0);
        set_position_from_fen(game_record->pos, START_FEN);
    }
    void TearDown() override
    {
        search_state.search_command = SEARCH_NONE;
        search_state.search_state = SEARCH_NONE;
        engine_config.log = 1;
    }
    // Runs one command line and returns what it printed.
    static std::string run(const std::string& line)
    {
        char buffer[8192];
        std::snprintf(buffer, sizeof buffer, "%s", line.c_str());
        ::testing::internal::CaptureStdout();
        run_uci_command(buffer);
        return ::testing::internal::GetCapturedStdout();
    }
};

TEST_F(UciTest, IdentificationAndOptionLines)
{
    search_state.hash_size = 64;
    search_state.thread_count = 1;
    std::string out = run("uci");
    const char* expected =
        "id name Vant 3.60\n"
        "id author Evan Quenmore\n"
        "option name Hash type spin default 64 min 0 max 8192\n"
        "option name Threads type spin default 1 min 1 max 80\n"
        "option name Ponder type check default true\n"
        "option name Contempt type spin default 0 min -150 max 150\n"
        "option name UCI_LimitStrength type check default false\n"
        "option name UCI_Elo type spin default 2870 min 1500 max 2870\n"
        "option name MultiPV type spin default 1 min 1 max 255\n"
        "option name Clear Hash type button\n"
        "option name MoveOverhead type spin default 50 min 0 max 5000\n"
        "option name OwnBook type check default false\n"
        "option name Log type check default false\n"
        "option name SyzygyPath type string default \n"
        "option name SyzygyProbeDepth5 type spin default 1 min 1 max 100\n"
        "option name SyzygyProbeDepth6 type spin default 2 min 1 max 100\n"
        "uciok\n";
    EXPECT_EQ(out, expected);
}

TEST_F(UciTest, CommandsAreEchoedWhileLogging)
{
    engine_config.log = 1;
    EXPECT_EQ(run("isready"), "CMD: isready\nreadyok\n");
    EXPECT_EQ(run(""), "");
    engine_config.log = 0;
    EXPECT_EQ(run("isready"), "readyok\n");
    EXPECT_EQ(run("no_such_command with words"), "");
}

// A button is pressed with or without a value word (GUIs and client
// libraries send none); every other option needs its value.
TEST_F(UciTest, SetoptionNeedsAValueExceptForAButton)
{
    EXPECT_EQ(run("setoption name Clear Hash"), "info string Hash table cleared\n");
    EXPECT_EQ(run("setoption name clear hash  \r"), "info string Hash table cleared\n");
    EXPECT_EQ(run("setoption name Clear Hash value"), "info string Hash table cleared\n");
    EXPECT_EQ(run("setoption name  Clear Hash   value  anything"), "info string Hash table cleared\n");
    EXPECT_EQ(run("setoption name Hash"), "");
    EXPECT_EQ(run("setoption name MultiPV"), "");
    EXPECT_EQ(run("setoption value 5 name Hash"), "");
    EXPECT_EQ(run("setoption name"), "");
    EXPECT_EQ(run("setoption"), "");
}

TEST_F(UciTest, OptionValuesAreClampedAndRepeated)
{
    EXPECT_EQ(run("setoption name MoveOverhead value -20"), "info string MoveOverhead set to 0 ms\n");
    EXPECT_EQ(search_state.move_overhead, 0.0);
    EXPECT_EQ(run("setoption name MoveOverhead value 120"), "info string MoveOverhead set to 120 ms\n");
    EXPECT_DOUBLE_EQ(search_state.move_overhead, 0.12);
    EXPECT_EQ(run("setoption name Contempt value 400"), "info string Contempt set to 150\n");
    EXPECT_EQ(params.contempt, 150);
    EXPECT_EQ(run("setoption name MultiPV value 0"), "info string MultiPV set to 1\n");
    EXPECT_EQ(run("setoption name MultiPV value 3"), "info string MultiPV set to 3\n");
    EXPECT_EQ(search_state.multipv, 3);
    run("setoption name MultiPV value 1");
    EXPECT_EQ(run("setoption name Ponder value false"), "info string Ponder set to false\n");
    EXPECT_EQ(search_state.ponder, 0);
    // Names and check values in any case, as GUIs send them.
    EXPECT_EQ(run("setoption name ponder value TRUE"), "info string Ponder set to true\n");
    EXPECT_EQ(run("setoption name PONDER value yes"),
              "info string Ponder needs true or false, 'yes' changes nothing\n");
    EXPECT_EQ(search_state.ponder, 1);
    EXPECT_EQ(run("setoption name OwnBook value true"), "info string OwnBook set to true\n");
    EXPECT_EQ(search_state.own_book, 1);
    run("setoption name OwnBook value false");
    EXPECT_EQ(run("setoption name UCI_LimitStrength value true"), "info string UCI_LimitStrength set to true\n");
    EXPECT_EQ(params.UCI_LimitStrength, 1);
    EXPECT_EQ(run("setoption name SyzygyProbeDepth5 value 0"), "info string SyzygyProbeDepth5 set to 1\n");
    EXPECT_EQ(run("setoption name SyzygyProbeDepth6 value 500"), "info string SyzygyProbeDepth6 set to 100\n");
    EXPECT_EQ(search_state.probe_depths[1], 100);
    EXPECT_EQ(run("setoption name Threads value 1"), "info string Threads set to 1\n");
    EXPECT_EQ(run("setoption name Hash value -3"), "info string Hash size set to 0M bytes\n");
    EXPECT_EQ(run("setoption name hash value 1"), "info string Hash size set to 1M bytes\n");
    // A spin value that is not a number changes nothing.
    EXPECT_EQ(run("setoption name Hash value abc"), "info string Hash needs a number, 'abc' changes nothing\n");
    EXPECT_EQ(run("setoption name Hash value 16MB"), "info string Hash needs a number, '16MB' changes nothing\n");
    EXPECT_EQ(search_state.hash_size, 1);
    EXPECT_EQ(run("setoption name Log value true"), "info string Log set to true\n");
    EXPECT_EQ(engine_config.log, 1);
    engine_config.log = 0;
    EXPECT_EQ(run("setoption name NoSuchOption value 1"), "");
}

TEST_F(UciTest, StrengthLimitTurnsEloIntoANodeRate)
{
    std::string out = run("setoption name UCI_Elo value 1000");
    EXPECT_EQ(params.UCI_Elo, 1500);
    EXPECT_NEAR(search_state.target_rate, std::exp(163.0 / 111) + 20, 1e-9);
    EXPECT_EQ(out, "info string UCI_Elo set to 1500\ninfo string calibration nps = 1000000\n"
                   "info string target nps = 24\n");
    run("setoption name UCI_Elo value 2850");  // at or above 99 % of the ceiling
    EXPECT_EQ(params.UCI_Elo, 2870);
    EXPECT_EQ(search_state.target_rate, 1e9);
}

TEST_F(UciTest, SyzygyPathIsTheWholeValueAndNeverEmpty)
{
    // The reply comes first, then the scan's count. The value keeps its
    // blanks, trimmed at its ends; other options still take one word.
    EXPECT_EQ(run("setoption name SyzygyPath value  /tb/Program Files/one two \t "),
              "info string SyzygyPath set to '/tb/Program Files/one two'\ninfo string found 0 tablebases\n");
    EXPECT_STREQ(search_state.tb_path, "/tb/Program Files/one two");
    EXPECT_EQ(run("setoption name MultiPV value 3 4"), "info string MultiPV set to 3\n");
    run("setoption name MultiPV value 1");
    EXPECT_EQ(run("setoption name SyzygyPath value"),
              "info string SyzygyPath set to '.'\ninfo string found 0 tablebases\n");
    ASSERT_TRUE(test_tables_present());
    std::string tables = test_table_dir();
    std::string out = run("setoption name SyzygyPath value " + tables);
    EXPECT_NE(out.find("info string found 35 tablebases"), std::string::npos) << out;
    // Held whole, and a longer path than the engine holds is refused with
    // the tables in force kept.
    std::string long_path(300, 'p');
    EXPECT_EQ(run("setoption name SyzygyPath value " + long_path),
              "info string SyzygyPath set to '" + long_path + "'\ninfo string found 0 tablebases\n");
    run("setoption name SyzygyPath value " + tables);
    EXPECT_EQ(run("setoption name SyzygyPath value " + std::string(PATH_TEXT_LIMIT + 1, 'p')),
              "info string SyzygyPath longer than 4096 characters, ignored\n");
    EXPECT_EQ(search_state.tb_path, tables);
    run("setoption name SyzygyPath value <empty>");
}

TEST_F(UciTest, HashIsUsedAgainAfterASizeOfZero)
{
    run("setoption name Hash value 0");
    search_state.use_table = TABLE_OFF;  // what a search start does with a size of 0
    EXPECT_EQ(run("setoption name Clear Hash value 1"), "");
    run("setoption name Hash value 2");
    EXPECT_NE(search_state.use_table, TABLE_OFF);
    EXPECT_EQ(run("setoption name Clear Hash value 1"), "info string Hash table cleared\n");
}

TEST_F(UciTest, PositionPlaysTheMoveList)
{
    EXPECT_EQ(run("position startpos moves e2e4 e7e5 g1f3"), "");
    EXPECT_EQ(game_fen(), "rnbqkbnr/pppp1ppp/8/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq -");
    EXPECT_EQ(game_record->undo_count, 3);
    EXPECT_EQ(game_record->undo[3].move, 0);
    run("position fen 4k3/P7/8/8/8/8/8/4K3 w - - 0 1 moves a7a8n");
    EXPECT_EQ(game_fen(), "N3k3/8/8/8/8/8/8/4K3 b - -");
    // "startpos" wins over "fen".
    run("position startpos fen 4k3/8/8/8/8/8/8/4K3 w - -");
    EXPECT_EQ(game_fen(), START_FEN);
    EXPECT_EQ(game_record->undo_count, 0);
}

TEST_F(UciTest, PositionStopsAtTheFirstBadMove)
{
    std::string out = run("position startpos moves e2e4 e7e5 e1e3 g1f3");
    EXPECT_NE(out.find("info string move e1e3 refused"), std::string::npos) << out;
    EXPECT_EQ(game_record->undo_count, 2);
    out = run("position startpos moves e2e4 zz99 e7e5");
    EXPECT_NE(out.find("info string bad move text 'zz99'"), std::string::npos) << out;
    EXPECT_EQ(game_record->undo_count, 1);
    out = run("position startpos moves e2e4 e7e5 e4e5q");
    EXPECT_NE(out.find("refused"), std::string::npos) << out;
    EXPECT_EQ(game_record->undo_count, 2);
    out = run("position startpos moves e2e4 e7e5x");
    EXPECT_NE(out.find("bad move text"), std::string::npos);
    EXPECT_EQ(game_record->undo_count, 1);
    // Castling through check is refused like any illegal move.
    out = run("position fen r3k2r/8/8/8/8/8/8/R3K1r1 w KQkq - moves e1g1");
    EXPECT_NE(out.find("refused"), std::string::npos) << out;
}

TEST_F(UciTest, RejectedFenKeepsThePreviousPosition)
{
    run("position startpos moves d2d4");
    std::string before = game_fen();
    EXPECT_EQ(search_state.position_valid, 1);
    std::string out = run("position fen 8/8/8/8/8/8/8/8 w - - moves e2e4");
    EXPECT_NE(out.find("info string FEN rejected"), std::string::npos) << out;
    EXPECT_EQ(game_fen(), before);
    EXPECT_EQ(game_record->undo_count, 1);
    EXPECT_EQ(search_state.position_valid, 0);
    run("position startpos");
    EXPECT_EQ(search_state.position_valid, 1);
    out = run("position fen");
    EXPECT_NE(out.find("FEN rejected"), std::string::npos) << out;
    EXPECT_EQ(search_state.position_valid, 0);
    run("position startpos moves d2d4");
    EXPECT_NE(run("position nothing here").find("no valid position"), std::string::npos);
    EXPECT_EQ(search_state.position_valid, 0);
    EXPECT_EQ(game_fen(), before);
    // A bad move ends the list but leaves the moves before it.
    run("position startpos moves d2d4 x9");
    EXPECT_EQ(search_state.position_valid, 1);
}

TEST_F(UciTest, GamesLongerThanTheRecordArePlayedWhole)
{
    // 796 plies of knight moves, then an opening: 800 plies, the last four
    // decide the position.
    std::string line = "position startpos moves";
    for (int i = 0; i < 199; i++) line += " g1f3 g8f6 f3g1 f6g8";
    line += " e2e4 e7e5 g1f3 b8c6";
    std::string out = run(line);
    EXPECT_EQ(out.find("refused"), std::string::npos) << out.substr(0, 200);
    EXPECT_EQ(game_ply(), 800);
    EXPECT_EQ(game_fen(), "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -");
    EXPECT_EQ(game_record->pos.halfmove_clock, 2);
    run("ucinewgame");
    EXPECT_EQ(game_ply(), 0);
}

TEST_F(UciTest, GoStoresLimitsAndTheSearchCommand)
{
    run("position startpos moves e2e4");  // black to move
    run("go wtime 30000 btime 20000 winc 100 binc 200");
    EXPECT_EQ(search_state.time_mode, TIME_MODE_CLOCK);
    EXPECT_DOUBLE_EQ(search_state.clocks[WHITE], 30.0);
    EXPECT_DOUBLE_EQ(search_state.clocks[BLACK], 20.0);
    EXPECT_DOUBLE_EQ(search_state.increment, 0.2);
    EXPECT_EQ(search_state.search_command, SEARCH_THINK);
    EXPECT_EQ(search_state.stop, STOP_ABORT);
    EXPECT_EQ(engine_config.ready, 1);

    run("go movestogo 20 depth 70");
    EXPECT_EQ(search_state.time_mode, TIME_MODE_FIXED);
    EXPECT_EQ(search_state.depth_limit, 66);
    EXPECT_EQ(search_state.moves_to_go, 20);
    run("go depth 300");
    EXPECT_EQ(search_state.depth_limit, 66);
    // Signed 8-bit depths: 0 asks for the quiescence score, below 0 for no search.
    run("go depth 0");
    EXPECT_EQ(i8(search_state.depth_limit), 0);
    run("go depth -4");
    EXPECT_EQ(i8(search_state.depth_limit), -4);
    run("go depth -300");
    EXPECT_EQ(i8(search_state.depth_limit), -128);
    run("go nodes 5000");
    EXPECT_EQ(search_state.node_limit, 5000u);
    EXPECT_EQ(search_state.time_mode, TIME_MODE_FIXED);
    run("go movetime 2500");
    EXPECT_DOUBLE_EQ(search_state.move_time, 2.5);
    EXPECT_EQ(search_state.increment, 0.0);
    run("go wtime -500 btime 1000");
    EXPECT_EQ(search_state.clocks[WHITE], 0.0);
    run("go wtime 1000 btime 1000 binc 300");
    EXPECT_DOUBLE_EQ(search_state.increment, 0.3);
    run("go wtime 1000 btime 1000");  // no increment given: none left from before
    EXPECT_EQ(search_state.increment, 0.0);
    run("go wtime 1000 btime 1000 winc 300");  // white's increment, black to move
    EXPECT_EQ(search_state.increment, 0.0);

    run("go ponder wtime 1000 btime 1000");
    EXPECT_EQ(search_state.search_command, SEARCH_PONDER);
    EXPECT_EQ(search_state.infinite, 0);
    run("go infinite");
    EXPECT_EQ(search_state.search_command, SEARCH_THINK);
    EXPECT_EQ(search_state.infinite, 1);
    EXPECT_EQ(search_state.node_limit, 0u);
    run("go depth 5");
    EXPECT_EQ(search_state.infinite, 0);
}

TEST_F(UciTest, GoKeywordsWithoutValuesReadNothing)
{
    search_state.clocks[WHITE] = 12.0;
    search_state.depth_limit = 9;
    run("go wtime");
    EXPECT_EQ(search_state.clocks[WHITE], 12.0);
    // No limit of an earlier "go" stays: no clock named, no time limit.
    EXPECT_EQ(search_state.time_mode, TIME_MODE_FIXED);
    EXPECT_GE(search_state.move_time, 1e6);
    run("go depth");
    EXPECT_EQ(search_state.depth_limit, 66);
    run("go btime ");
    run("go movetime");
    EXPECT_EQ(search_state.search_command, SEARCH_THINK);
}

TEST_F(UciTest, StopWithoutSearchSaysNothing)
{
    EXPECT_EQ(run("stop"), "");
    EXPECT_EQ(search_state.search_state, SEARCH_NONE);
    search_state.search_state = SEARCH_PONDER;
    search_state.infinite = 1;
    EXPECT_EQ(run("stop"), "");
    EXPECT_EQ(search_state.search_state, SEARCH_THINK);
    EXPECT_EQ(search_state.infinite, 0);
    EXPECT_EQ(search_state.stop, STOP_NORMAL);
}

TEST_F(UciTest, PonderhitTurnsPonderingIntoThinking)
{
    run("ponderhit");
    EXPECT_EQ(search_state.search_state, SEARCH_NONE);
    search_state.search_state = SEARCH_PONDER;
    run("ponderhit");
    EXPECT_EQ(search_state.search_state, SEARCH_THINK);
}

TEST_F(UciTest, NewGameResetsClocksAndHistory)
{
    run("position startpos moves e2e4 e7e5");
    run("ucinewgame");
    EXPECT_EQ(search_state.time_mode, TIME_MODE_CLOCK);
    EXPECT_EQ(search_state.clocks[WHITE], 60.0);
    EXPECT_EQ(search_state.clocks[BLACK], 60.0);
    EXPECT_EQ(search_state.move_time, 60.0);
    EXPECT_EQ(game_record->undo_count, 0);
    EXPECT_EQ(engine_config.ready, 1);
}

TEST_F(UciTest, QuitSetsTheFlag)
{
    run("quit");
    EXPECT_EQ(engine_config.quit, 1);
    EXPECT_NE(search_state.stop, STOP_RUN);
    engine_config.quit = 0;
}

}  // namespace
