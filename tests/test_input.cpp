// The command queue, its line reader and the tokenizer.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>

#include "input.h"
#include "tokenizer.h"
#include "records.h"

namespace {

struct InputTest : ::testing::Test {
    void SetUp() override { clear_command_queue(); }
    void TearDown() override { clear_command_queue(); }
    std::string pop()
    {
        char out[COMMAND_QUEUE_SIZE];
        return pop_queued_command(out, sizeof out) ? std::string(out) : std::string("<none>");
    }
    // Feeds the text through the line reader as standard input would, and
    // returns what it printed.
    std::string feed(const std::string& text)
    {
        std::FILE* in = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
        ::testing::internal::CaptureStdout();
        while (!std::feof(in) && !std::ferror(in)) {
            int c = std::fgetc(in);
            if (c == EOF) break;
            std::ungetc(c, in);
            read_input_line(in);
        }
        std::fclose(in);
        return ::testing::internal::GetCapturedStdout();
    }
};

TEST_F(InputTest, TokenizerSkipsBlanksAndCutsLongWords)
{
    EXPECT_STREQ(next_input_token("   e2e4 more words"), "e2e4");
    EXPECT_STREQ(next_input_token("\tword next"), "\tword");
    EXPECT_STREQ(next_input_token("go\r\n"), "go");
    EXPECT_STREQ(next_input_token(""), "");
    EXPECT_STREQ(next_input_token("    "), "");
    std::string long_word(200, 'w');
    EXPECT_EQ(std::string(next_input_token(long_word.c_str())), long_word.substr(0, 128));
}

// The readers serve the console, "go", the command line, the spin options
// and the PGN scanner, whose edge cases differ only where these say.
TEST_F(InputTest, NumberReadersAndWordSplitterEdges)
{
    long v = 0;
    EXPECT_TRUE(read_whole_number("-12", &v));
    EXPECT_EQ(v, -12);
    EXPECT_FALSE(read_whole_number("12x", &v));
    EXPECT_FALSE(read_whole_number(" 12", &v));
    EXPECT_FALSE(read_whole_number("", &v));
    EXPECT_FALSE(read_whole_number("+-3", &v));
    EXPECT_TRUE(read_whole_number("99999999999999999999999", &v));
    EXPECT_EQ(v, LONG_MAX);
    const char* end = read_leading_number("+42/17", &v);
    ASSERT_NE(end, nullptr);
    EXPECT_EQ(v, 42);
    EXPECT_STREQ(end, "/17");
    EXPECT_EQ(read_leading_number("-", &v), nullptr);

    EXPECT_EQ(read_clamped_number("", 1, 9), 1);  // no digits read as 0
    EXPECT_EQ(read_clamped_number(" 7abc", 1, 9), 7);
    EXPECT_EQ(read_clamped_number("70", -128, 66), 66);
    EXPECT_EQ(read_clamped_number("-99999999999999999999", -128, 66), -128);

    char words[LINE_WORDS][LINE_WORD_SIZE];
    const std::string long_word(200, 'x');
    split_words(("\tmove=e2e4\r\n  " + long_word + " c").c_str(), words);
    EXPECT_STREQ(words[0], "move=e2e4");
    EXPECT_EQ(std::string(words[1]), long_word.substr(0, LINE_WORD_SIZE - 1));
    EXPECT_STREQ(words[2], "c");
    EXPECT_STREQ(words[LINE_WORDS - 1], "");
}

TEST_F(InputTest, CommandsPopInOrderOnePerCall)
{
    EXPECT_EQ(queue_command_line("position startpos\n"), 1);
    EXPECT_EQ(queue_command_line("go depth 3@isready\r\n"), 1);
    EXPECT_EQ(queue_command_line("\n"), 0);
    EXPECT_EQ(queue_command_line(""), 0);
    EXPECT_EQ(pop(), "position startpos");
    EXPECT_EQ(pop(), "go depth 3");
    EXPECT_EQ(pop(), "isready");
    EXPECT_EQ(pop(), "<none>");
}

TEST_F(InputTest, FullQueueDropsTheWholeLine)
{
    std::string line(COMMAND_QUEUE_SIZE - 1000, 'a');
    EXPECT_EQ(queue_command_line(line.c_str()), 1);
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(queue_command_line((std::string(2000, 'b') + "\n").c_str()), -1);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("info string command queue full, line ignored"), std::string::npos);
    EXPECT_EQ(queue_command_line("stop"), 1);
    EXPECT_EQ(pop(), line);
    EXPECT_EQ(pop(), "stop");
    EXPECT_EQ(pop(), "<none>");
}

TEST_F(InputTest, OverlongInputLineIsDroppedWholeNotSplit)
{
    std::string huge = "position startpos moves" + std::string(INPUT_LINE_SIZE, ' ') + "e2e4";
    std::string out = feed(huge + "\nisready\n");
    EXPECT_NE(out.find("info string input line too long, ignored"), std::string::npos);
    // The refused stand-in keeps the next "go" off the position before it.
    EXPECT_EQ(pop(), "position (line too long)");
    EXPECT_EQ(pop(), "isready");
    EXPECT_EQ(pop(), "<none>");
}

TEST_F(InputTest, LongestLineThatFitsIsKept)
{
    std::string line(INPUT_LINE_SIZE - 1, 'x');  // the terminator fills the rest
    EXPECT_EQ(feed(line + "\n"), "");
    EXPECT_EQ(pop(), line);
    EXPECT_EQ(feed("uci"), "");  // a last line without its line end
    EXPECT_EQ(pop(), "uci");
}

}  // namespace
