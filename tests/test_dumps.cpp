// The parameter dump ("sp"): the derived tables printed from the defaults.
#include "tool_fixture.h"

#include "tools/dumps.h"

namespace {

struct DumpTest : ToolTest {};

TEST_F(DumpTest, ParameterDumpOfTheDefaults)
{
    write_default_params(params);
    init_evaluation_tables();
    capture();
    print_eval_params();
    std::vector<std::string> lines = lines_of(captured());
    ASSERT_GT(lines.size(), 150u);
    EXPECT_EQ(lines[0], "piece values=  90/110  380/350  390/360  530/630  1180/1180");
    EXPECT_EQ(lines[1], "bishop_pair= 30 , 50");
    EXPECT_EQ(lines[2], "");
    EXPECT_EQ(lines[3], "KingDanger[]=");
    EXPECT_EQ(lines[4], " 0:      0     1     2     5     8    13    18    25    32    41 ");
    EXPECT_EQ(lines[6].substr(0, 17), "20:    200   221 ");
    EXPECT_EQ(lines[10].substr(0, 5), "60:  ");
    EXPECT_EQ(lines[11], "");
    EXPECT_EQ(lines[12], "  0  nmob= -23/-27  bmob=-18/-22  rmob=-14/-18  qmob= -16/-36");
    EXPECT_EQ(lines[12 + 9].substr(0, 20), "  9  nmob=   0/  0  ");
    EXPECT_EQ(lines[27], "queen_mob[28] = 24/54");
    EXPECT_EQ(lines[28], "rank=2,  ppawn=  6, ppawnx=  7");
    EXPECT_EQ(lines[33], "rank=7,  ppawn=138, ppawnx= 82");
    EXPECT_EQ(lines[34], "pawn_shield= 60");
    EXPECT_EQ(lines[35], "pawn_storm= -10");
    EXPECT_EQ(lines[36], "hung= -24/-24");
    EXPECT_EQ(lines[37], "pinned= -18/-18");
    EXPECT_EQ(lines[38], "knight_outpost= 16");
    EXPECT_EQ(lines[39], "PawnOpening");
    // The twelve tables follow, ten lines each; the rook endgame is all 0 and
    // the queen opening holds -9 on a5.
    EXPECT_EQ(lines[39 + 7 * 10], "RookEnding");
    EXPECT_EQ(lines[39 + 7 * 10 + 1], "    0     0     0     0     0     0     0     0 ");
    EXPECT_EQ(lines[39 + 8 * 10], "QueenOpening");
    EXPECT_EQ(lines[39 + 8 * 10 + 4].substr(0, 6), "   -9 ");
    EXPECT_EQ(lines[39 + 11 * 10], "KingEnding");
}

}  // namespace
