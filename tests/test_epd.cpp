// EPD records: the position fields, the opcodes the tools read, and the
// bounds on every field.
#include "tool_fixture.h"

#include "tools/epd.h"

namespace {

struct EpdTest : ToolTest {};

TEST_F(EpdTest, FieldsAndOpcodes)
{
    EpdRecord r;
    ASSERT_EQ(parse_epd_record("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - bm Bb5 Bc4; "
                               "id \"test 1\"; ce 35; c0 \"x\";\r\n",
                               r),
              1);
    EXPECT_STREQ(r.position, "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -");
    EXPECT_STREQ(r.bm, "Bb5");  // only the first of several moves
    EXPECT_STREQ(r.am, "");
    EXPECT_STREQ(r.id, "\"test");  // an operand ends at its first blank
    EXPECT_STREQ(r.ce, "35");
    EXPECT_STREQ(r.c0, "\"x\"");

    ASSERT_EQ(parse_epd_record("8/8/8/8/8/8/8/K6k b - - am Kb2;", r), 1);
    EXPECT_STREQ(r.am, "Kb2");
    EXPECT_STREQ(r.bm, "");
    // Opcode names are exact and case-sensitive.
    ASSERT_EQ(parse_epd_record("8/8/8/8/8/8/8/K6k b - - BM Kb2; bmx Ka2;", r), 1);
    EXPECT_STREQ(r.bm, "");
}

TEST_F(EpdTest, TooFewPositionFields)
{
    EpdRecord r;
    EXPECT_EQ(parse_epd_record("8/8/8/8/8/8/8/K6k w -", r), 0);
    EXPECT_EQ(parse_epd_record("", r), 0);
    EXPECT_STREQ(r.position, "");
}

TEST_F(EpdTest, FieldsAreCutToTheirCapacity)
{
    EpdRecord r;
    std::string huge(5000, 'x');
    std::string line = huge + " w - - bm " + huge + "; id " + huge + "; c0 " + huge + "; ce " + huge + ";";
    ASSERT_EQ(parse_epd_record(line.c_str(), r), 1);
    EXPECT_EQ(std::strlen(r.position), sizeof r.position - 1);
    EXPECT_EQ(std::strlen(r.bm), sizeof r.bm - 1);
    EXPECT_EQ(std::strlen(r.id), sizeof r.id - 1);
    EXPECT_EQ(std::strlen(r.c0), sizeof r.c0 - 1);
    EXPECT_EQ(std::strlen(r.ce), sizeof r.ce - 1);
    // Opcodes far beyond any fixed line buffer are still found.
    std::string late = "8/8/8/8/8/8/8/K6k w - - c1 " + std::string(3000, 'y') + "; bm Kb2;";
    ASSERT_EQ(parse_epd_record(late.c_str(), r), 1);
    EXPECT_STREQ(r.bm, "Kb2");
}

}  // namespace
