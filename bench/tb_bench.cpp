// Tablebase probe speed: WDL (and DTZ) probes per second over a fixed list
// of random positions of every table on the path, the tables already
// mapped. Usage: tb_bench [tablebase directory] [passes]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "../tests/tb_test_support.h"
#include "bitboard.h"
#include "tablebase/tablebase.h"

namespace {

std::string default_table_dir()
{
    // The benchmark lives in bench/ of the repository, the test tables in tests/data/.
    std::filesystem::path here(__FILE__);
    return (here.parent_path().parent_path() / "tests/data/syzygy").string();
}

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char** argv)
{
    const std::string dir = argc > 1 ? argv[1] : default_table_dir();
    const int passes = argc > 2 ? std::atoi(argv[2]) : 20;
    init_board_tables();
    scan_tablebase_paths(dir.c_str());
    if (tb_largest_piece_count.load() == 0) {
        std::fprintf(stderr, "no tables under %s\n", dir.c_str());
        return 1;
    }

    std::vector<std::string> materials;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.path().extension() == ".rtbw") materials.push_back(entry.path().stem().string());
    std::vector<TbPosition> positions;
    u32 seed = 20240601;
    for (int i = 0; i < 50000; i++) positions.push_back(random_position(materials[i % materials.size()].c_str(), seed));

    // Map every table first; the timing covers probing only.
    long failures = 0;
    for (const TbPosition& pos : positions) {
        int success;
        wdl_probe_position(pos, &success);
        failures += success == 0;
    }

    long probes = 0, checksum = 0;
    auto start = std::chrono::steady_clock::now();
    for (int p = 0; p < passes; p++) {
        for (const TbPosition& pos : positions) {
            int success;
            checksum += wdl_probe_position(pos, &success);
            probes++;
        }
    }
    const double wdl_time = seconds_since(start);

    long dtz_probes = 0;
    start = std::chrono::steady_clock::now();
    for (size_t i = 0; i < positions.size(); i += 5) {
        int success;
        checksum += dtz_probe_position(positions[i], &success);
        dtz_probes++;
    }
    const double dtz_time = seconds_since(start);

    std::printf("tables: %zu materials, positions: %zu, failed probes: %ld\n", materials.size(), positions.size(),
                failures);
    std::printf("WDL probes: %ld in %.3f s = %.0f probes/s\n", probes, wdl_time, probes / wdl_time);
    std::printf("DTZ probes: %ld in %.3f s = %.0f probes/s (checksum %ld)\n", dtz_probes, dtz_time,
                dtz_probes / dtz_time, checksum);
    return 0;
}
