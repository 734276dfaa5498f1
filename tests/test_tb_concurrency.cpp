// Probes from several threads at once, first loads racing, and rescans of
// the tablebase path while the threads keep probing: every answer is either
// the right one or "no result", never a crash or a stale mapping.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include "platform.h"
#include "tablebase/tablebase.h"
#include "tb_test_support.h"
#include "test_files.h"

namespace {

TEST(TbConcurrencyTest, RescanWhileThreadsProbe)
{
    init_board_tables();
    ASSERT_TRUE(test_data_present(probe_vector_file()));
    ASSERT_TRUE(test_tables_present());
    std::vector<ProbeVector> vectors;
    FILE* f = std::fopen(probe_vector_file(), "r");
    ASSERT_NE(f, nullptr);
    char line[512];
    while (std::fgets(line, sizeof(line), f)) {
        ProbeVector v;
        if (parse_probe_vector(line, &v)) vectors.push_back(v);
    }
    std::fclose(f);
    ASSERT_EQ(vectors.size(), 100u);

    testing::internal::CaptureStdout();
    scan_tablebase_paths(test_table_dir());
    std::atomic<bool> done{false};
    std::atomic<int> wrong{0}, answered{0}, refused{0};
    auto wdl_worker = [&]() {
        while (!done.load()) {
            for (const ProbeVector& v : vectors) {
                const int code = tb_probe_wdl_code(fen_position(v.fen.c_str()));
                if (code == TB_CODE_NONE)
                    refused++;
                else if (code != TB_CODE_DRAW + v.wdl)
                    wrong++;
                else
                    answered++;
            }
        }
    };
    // One thread at a time probes DTZ (the root probe's contract).
    auto dtz_worker = [&]() {
        while (!done.load()) {
            for (const ProbeVector& v : vectors) {
                int success = 0;
                const int dtz = dtz_probe_position(fen_position(v.fen.c_str()), &success);
                if (success && dtz != v.dtz) wrong++;
            }
        }
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; i++) threads.emplace_back(wdl_worker);
    threads.emplace_back(dtz_worker);
    // Thirty rescans, and more until a probe was answered: on a busy
    // machine the workers may not have run at all yet.
    const double start = monotonic_seconds();
    for (int i = 0; i < 30 || (answered.load() == 0 && monotonic_seconds() - start < HANG_SECONDS); i++) {
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
        scan_tablebase_paths(i % 5 == 4 ? "" : test_table_dir());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
    done = true;
    for (std::thread& t : threads) t.join();
    scan_tablebase_paths("");
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_GT(answered.load(), 0);
}

} // namespace
