// The search trace written by play_move and play_null_move.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "board_fixture.h"
#include "makemove.h"
#include "trace.h"

namespace {

struct TraceTest : BoardTest {
    static std::string trace_text()
    {
        flush_search_trace();
        std::string text;
        if (std::FILE* f = std::fopen("trace.txt", "r")) {
            char buffer[4096];
            size_t n;
            while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
            std::fclose(f);
        }
        return text;
    }
};

// The trace file and its deepest heading belong to the process: the tree
// is written by a fresh child process, in a directory of its own, so that
// the test passes however often and in whatever order it runs.
TEST_F(TraceTest, WritesTheTreeWithinTheTraceDepth)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            char dir[] = "/tmp/vant_trace_XXXXXX";
            if (!mkdtemp(dir) || chdir(dir) != 0) std::exit(3);
            set(START_FEN);
            play_move(pos(), move_of("e2e4"));  // trace depth 0: nothing, no file needed
            take_back_move(pos());

            td->current_depth = 3;
            td->ply[1].depth = 5;
            td->ply[2].depth = 4;
            engine_config.trace_depth = 1;
            play_move(pos(), move_of("e2e4"));
            take_back_move(pos());
            play_move(pos(), move_of("d2d4"));
            play_move(pos(), move_of("d7d5"));  // ply 2: below the trace depth
            take_back_move(pos());
            take_back_move(pos());
            play_null_move(pos());
            take_back_null_move(pos());
            const std::string first = trace_text();

            // Deeper plies continue the line; siblings start indented lines;
            // a new heading only for a deeper iteration than any traced before.
            engine_config.trace_depth = 2;
            td->current_depth = 4;
            play_move(pos(), move_of("g1f3"));
            play_move(pos(), move_of("g8f6"));
            take_back_move(pos());
            play_move(pos(), move_of("d7d5"));
            take_back_move(pos());
            take_back_move(pos());
            td->current_depth = 2;
            play_move(pos(), move_of("c2c4"));
            take_back_move(pos());
            engine_config.trace_depth = 0;
            const std::string second = trace_text();
            unlink("trace.txt");
            (void)chdir("/");
            rmdir(dir);

            const bool right = first == "\n\nSEARCH DEPTH= 3\n( 5)e2e4 \n( 5)d2d4 \n( 5)null " &&
                               second == "\n\nSEARCH DEPTH= 3\n( 5)e2e4 \n( 5)d2d4 \n( 5)null "
                                         "\n\nSEARCH DEPTH= 4\n\n( 5)g1f3 ( 4)g8f6 \n         ( 4)d7d5 \n( 5)c2c4 ";
            if (!right)
                std::fprintf(stderr, "trace after depth 1:[%s]\nafter depth 2:[%s]\n", first.c_str(), second.c_str());
            std::exit(right ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace

namespace {

// A trace file that cannot be created turns the trace off with a message on
// standard error; the search goes on. Run in a fresh child process, where no
// trace file is open yet, inside a directory where "trace.txt" is a directory.
TEST_F(TraceTest, UncreatableFileTurnsTheTraceOff)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            char dir[] = "/tmp/vant_trace_XXXXXX";
            if (!mkdtemp(dir) || chdir(dir) != 0 || mkdir("trace.txt", 0700) != 0) std::exit(3);
            set(START_FEN);
            engine_config.trace_depth = 2;
            play_move(pos(), move_of("e2e4"));
            play_move(pos(), move_of("e7e5"));
            take_back_move(pos());
            take_back_move(pos());
            engine_config.trace_depth = 0;
            rmdir("trace.txt");
            (void)chdir("/");
            rmdir(dir);
            std::exit(7);
        },
        ::testing::ExitedWithCode(7), "Could not create trace.txt; the search trace is off.");
}

}  // namespace
