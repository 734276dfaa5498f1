// A fresh working directory for the running test, and whole files read
// and written.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

// The bound of a test that only guards against a hang or a runaway: many
// times what the slowest case takes under the sanitizers on a loaded
// machine, so that only a hang reaches it.
constexpr double HANG_SECONDS = 20.0;
constexpr int HANG_MS = 20000;

// An empty directory of the running test's own below the temporary
// directory, in the folder `group` and named after the test and this
// process, so that tests side by side and test runs of several checkouts at
// once never share one.
inline std::string fresh_test_dir(const std::string& group)
{
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string dir = ::testing::TempDir() + group + "/" + info->test_suite_name() + "_" + info->name() + "_" +
                      std::to_string(getpid());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

inline std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void write_file(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}
