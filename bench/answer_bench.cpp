// How soon the engine program answers "go" under short time limits, seen as
// a GUI sees it: the wall time from the "go" on its standard input to the
// "bestmove" on its output, for tiny clocks, for eight threads on two
// processors and under a strength limit. Each "go" runs `tries` times
// (default 20) from the same position; the fastest, median and slowest
// answers are printed. Load on the machine delays any process: measure on
// an idle one.
//
//   answer_bench [tries]
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "../tests/engine_process.h"
#include "platform.h"

namespace {

struct Setting {
    const char* label;
    std::vector<std::string> arguments;  // after "-nolog -hash 4"
    int processors;                      // 0: all
    std::vector<std::string> options;
    std::vector<std::string> gos;
};

void measure(const Setting& setting, int tries, const std::string& dir)
{
    EngineProcess engine;
    engine.processor_limit = setting.processors;
    std::vector<std::string> arguments = {"-nolog", "-hash", "4"};
    arguments.insert(arguments.end(), setting.arguments.begin(), setting.arguments.end());
    if (!engine.start(arguments, dir)) {
        std::printf("cannot start %s\n", VANT_BINARY_PATH);
        return;
    }
    for (const std::string& option : setting.options) engine.send(option);
    for (const std::string& go : setting.gos) {
        std::vector<double> ms;
        for (int i = 0; i < tries; i++) {
            engine.send("position startpos moves e2e4 e7e5 g1f3");
            engine.send("isready");
            if (engine.wait_for("readyok") != "readyok") break;
            const double start = monotonic_seconds();
            engine.send(go);
            if (engine.wait_for("bestmove").rfind("bestmove", 0) != 0) break;
            ms.push_back((monotonic_seconds() - start) * 1000);
        }
        if (ms.empty()) {
            std::printf("%-28s %-24s no answer\n", setting.label, go.c_str());
            continue;
        }
        std::sort(ms.begin(), ms.end());
        std::printf("%-28s %-24s fastest %6.1f ms, median %6.1f ms, slowest %6.1f ms\n", setting.label, go.c_str(),
                    ms.front(), ms[ms.size() / 2], ms.back());
    }
    engine.send("quit");
    engine.finish();
}

}  // namespace

int main(int argc, char** argv)
{
    const int tries = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    // A folder of this run's own: two runs at once must not share one.
    const std::string dir =
        (std::filesystem::temp_directory_path() / ("vant_answer_bench_" + std::to_string(getpid()))).string();
    const Setting settings[] = {
        {"1 thread", {}, 0, {}, {"go movetime 1", "go wtime 10 btime 10", "go movetime 50"}},
        {"8 threads on 2 processors", {"-threads", "8"}, 2, {}, {"go wtime 60 btime 60", "go movetime 50"}},
        {"UCI_Elo 1500",
         {},
         0,
         {"setoption name UCI_LimitStrength value true", "setoption name UCI_Elo value 1500"},
         {"go wtime 100 btime 100", "go movetime 100"}},
    };
    for (const Setting& setting : settings) measure(setting, tries, dir);
    std::filesystem::remove_all(dir);
    return 0;
}
