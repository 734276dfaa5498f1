// The test data kept in tests/data/ (3-4 piece Syzygy tables, probe
// vectors, mate positions) and a check that names a missing file, so a
// checkout without its data fails with the file's name instead of a
// misleading assertion further on.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#ifndef VANT_SOURCE_DIR
#define VANT_SOURCE_DIR "."
#endif

inline const char* test_table_dir() { return VANT_SOURCE_DIR "/tests/data/syzygy"; }
inline const char* probe_vector_file() { return VANT_SOURCE_DIR "/tests/data/syzygy-probes.epd"; }
inline const char* mate_suite_file() { return VANT_SOURCE_DIR "/tests/data/mates.epd"; }

// The 35 materials of the 3-4 piece set; each has a .rtbw and a .rtbz file.
constexpr int TEST_TABLE_COUNT = 35;

// Success when the file (or directory) is there; the failure names it.
inline ::testing::AssertionResult test_data_present(const std::string& path)
{
    std::error_code error;
    if (std::filesystem::exists(path, error)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "missing test data: " << path
                                         << " (the repository keeps it in tests/data/)";
}

// Success when the table directory holds all 70 files of the 3-4 piece set;
// the failure names the first missing file.
inline ::testing::AssertionResult test_tables_present()
{
    static const char* const materials[TEST_TABLE_COUNT] = {
        "KBBvK", "KBNvK", "KBPvK", "KBvK",  "KBvKB", "KBvKN", "KBvKP", "KNNvK", "KNPvK",
        "KNvK",  "KNvKN", "KNvKP", "KPPvK", "KPvK",  "KPvKP", "KQBvK", "KQNvK", "KQPvK",
        "KQQvK", "KQRvK", "KQvK",  "KQvKB", "KQvKN", "KQvKP", "KQvKQ", "KQvKR", "KRBvK",
        "KRNvK", "KRPvK", "KRRvK", "KRvK",  "KRvKB", "KRvKN", "KRvKP", "KRvKR"};
    for (const char* material : materials)
        for (const char* suffix : {".rtbw", ".rtbz"}) {
            ::testing::AssertionResult present = test_data_present(std::string(test_table_dir()) + "/" + material + suffix);
            if (!present) return present;
        }
    return ::testing::AssertionSuccess();
}
