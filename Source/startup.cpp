#include "startup.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench.h"
#include "bitbase.h"
#include "bitboard.h"
#include "config.h"
#include "fen.h"
#include "input.h"
#include "log.h"
#include "mainloop.h"
#include "params.h"
#include "platform.h"
#include "pruning.h"
#include "records.h"
#include "tablebase/tablebase.h"
#include "threads.h"
#include "tokenizer.h"
#include "tools/book.h"
#include "tools/epd.h"
#include "tools/match.h"
#include "tools/pgn_scan.h"
#include "tools/tune.h"
#include "tt.h"
#include "uci.h"
#include "uci_options.h"

namespace {

constexpr int FILE_NAME_SIZE = 140;

// "-d": seconds per move so many that the depth limit alone ends a search.
constexpr double DEPTH_ONLY_MOVE_TIME = 10000;

// Copies a file-name value into a 140-byte field; a longer name is refused.
bool take_file_name(const char* flag, const char* value, char* field)
{
    if (std::strlen(value) > FILE_NAME_SIZE - 1) {
        std::printf("file name after %s is longer than %d characters\n", flag, FILE_NAME_SIZE - 1);
        return true;
    }
    std::snprintf(field, FILE_NAME_SIZE, "%s", value);
    return false;
}

// "-nps": the strength limit from a node rate. The rate is kept above 21 so
// that the logarithm is defined and positive.
void limit_node_rate(double rate)
{
    if (!(rate >= 21)) rate = 21;
    params.UCI_LimitStrength = 1;
    params.UCI_Elo = i16(elo_of_node_rate(rate));
    search_state.target_rate = rate;
    std::printf("Elo= %d\n", params.UCI_Elo);
}

void seed_random_from_clock()
{
    std::srand(unsigned(wall_clock_milliseconds()));
}

// Windows builds: a 5 ms timer period for the main loop's ticks; a match of
// short searches asks for 1 ms.
void set_timer_resolution(const RunChoice& choice)
{
    unsigned period = 5;
    if (choice.match && !(search_state.depth_limit > 5 && search_state.move_time > 0.1 &&
                          search_state.node_limit >= 100000))
        period = 1;
    int error = begin_timer_resolution(period);
    if (error == 1) send_line("Error setting timer resolution");
    if (error == 2) send_line("error setting timer resolution\n");
}

void shut_down()
{
    end_search_threads(search_state.thread_count);
    free_book_tables();
    free_hash_table();
    end_timer_resolution();
    close_log_file();
}

// Runs the tool or benchmark the command line chose and returns the exit
// code (1 when a tool failed); -1 when none was chosen. Each gets the
// interpreter's poll, so that "stop" and "quit" reach it.
int run_chosen_tool(const RunChoice& choice)
{
    if (choice.epd_test) return run_epd_test_suite(poll_for_quit);
    if (choice.pgn_scan_mode) return scan_pgn_file(choice.pgn_path, choice.pgn_scan_mode, poll_for_quit);
    if (choice.match) {
        engine_config.output_delay = 1000;
        return run_selfplay_match(poll_for_quit);
    }
    if (choice.benchmark) {
        run_benchmark(choice.benchmark, single_thread_bench != 0, poll_for_quit);
        return 0;
    }
    if (choice.make_tune) return run_make_tune(poll_for_quit);
    if (choice.tune) return run_gradient_tune(poll_for_quit);
    return -1;
}

void run_engine_mode()
{
    remember_start_up_limits();
    Position& pos = game_record->pos;
    set_position_from_fen(pos, START_FEN);
    run_speed_test();
    init_pruning_tables();
    scan_tablebase_paths(search_state.tb_path);
    set_position_from_fen(pos, START_FEN);
    if (engine_config.protocol == PROTOCOL_CONSOLE) print_board_diagram(pos);
    search_state.search_command = SEARCH_NONE;
    engine_config.quit = 0;
    run_main_loop();
}

}  // namespace

int read_command_line(int argc, char** argv, RunChoice& choice)
{
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        // Switches that take a value find it in the next argument.
        static const char* const with_value[] = {"-noise", "-d", "-t", "-n", "-nps", "-hash", "-threads",
                                                 "-anepd", "-match", "-mktune", "-tune"};
        bool needs_value = std::strstr(arg, "-scan_pgn") != nullptr;
        for (const char* name : with_value) needs_value |= std::strcmp(arg, name) == 0;
        const char* value = nullptr;
        if (needs_value) {
            if (i + 1 >= argc) {
                std::printf("switch %s needs a value\n", arg);
                return 1;
            }
            value = argv[++i];
        }

        if (std::strcmp(arg, "-uci") == 0) engine_config.protocol = PROTOCOL_UCI;
        else if (std::strcmp(arg, "-c") == 0) engine_config.protocol = PROTOCOL_CONSOLE;
        else if (std::strcmp(arg, "-nolog") == 0) engine_config.log = 0;
        else if (std::strcmp(arg, "-numa") == 0) engine_config.numa = 1;
        else if (std::strcmp(arg, "-noise") == 0) engine_config.output_delay = std::atof(value);
        else if (std::strcmp(arg, "-quiet") == 0) {
            engine_config.output_delay = OUTPUT_DELAY_QUIET;
            engine_config.log = 0;
        } else if (std::strcmp(arg, "-uci_extra") == 0) extra_report = 1;
        else if (std::strcmp(arg, "-d") == 0) {
            // Signed 8-bit: 0 is the tools' quiescence mode, below 0 no search.
            search_state.depth_limit = u8(i8(read_clamped_number(value, -128, MAX_SEARCH_PLY)));
            search_state.move_time = DEPTH_ONLY_MOVE_TIME;
            search_state.time_mode = TIME_MODE_FIXED;
        } else if (std::strcmp(arg, "-t") == 0) {
            search_state.move_time = std::atof(value) > 0 ? std::atof(value) : 0.0;
            search_state.time_mode = TIME_MODE_FIXED;
        } else if (std::strcmp(arg, "-n") == 0) {
            long long nodes = std::atoll(value);
            search_state.node_limit = nodes > 0 ? u64(nodes) : 0;
            search_state.move_time = 1000;
            search_state.time_mode = TIME_MODE_FIXED;
        } else if (std::strcmp(arg, "-nps") == 0) limit_node_rate(std::atof(value));
        else if (std::strcmp(arg, "-hash") == 0 || std::strcmp(arg, "-threads") == 0) {
            // The ranges of the "Hash" and "Threads" options.
            const UciOption* option = find_uci_option(arg + 1);
            long number = 0;
            if (!read_whole_number(value, &number)) {
                std::printf("switch %s needs a number, not '%s'\n", arg, value);
                return 1;
            }
            const int taken = clamp_int(number, option->min, option->max);
            if (arg[1] == 'h') search_state.hash_size = i16(taken);
            else search_state.thread_count = u8(taken);
        }
        else if (std::strcmp(arg, "-anepd") == 0) {
            if (take_file_name(arg, value, engine_config.test_file)) return 1;
            choice.epd_test = 1;
        } else if (std::strstr(arg, "-scan_pgn")) {
            if (take_file_name(arg, value, choice.pgn_path)) return 1;
            int chosen = 0;
            for (int mode = 1; mode <= 4; mode++) {
                char name[32];
                std::snprintf(name, sizeof name, "-scan_pgn%d", mode);
                if (std::strcmp(arg, name) == 0) chosen = mode;
            }
            // A mistyped mode would otherwise start the engine on the pipe.
            if (chosen == 0) {
                std::printf("switch %s: unknown PGN scan mode, use -scan_pgn1 to -scan_pgn4\n", arg);
                return 1;
            }
            choice.pgn_scan_mode = chosen;
        } else if (std::strcmp(arg, "-match") == 0) {
            if (take_file_name(arg, value, engine_config.match_file)) return 1;
            choice.match = 1;
        } else if (std::strcmp(arg, "-bench") == 0) {
            choice.benchmark = BENCH_SHORT_COUNT;
            single_thread_bench = 0;
        } else if (std::strcmp(arg, "-bench2") == 0) {
            choice.benchmark = BENCH_POSITION_COUNT;
            single_thread_bench = 0;
        } else if (std::strcmp(arg, "-pbench") == 0) {
            choice.benchmark = BENCH_SHORT_COUNT;
            single_thread_bench = 1;
        } else if (std::strcmp(arg, "-mktune") == 0) {
            if (take_file_name(arg, value, engine_config.test_file)) return 1;
            choice.make_tune = 1;
        } else if (std::strcmp(arg, "-tune") == 0) {
            if (take_file_name(arg, value, engine_config.test_file)) return 1;
            choice.tune = 1;
        }
    }
    return 0;
}

int vant_main(int argc, char** argv)
{
    prepare_standard_streams();
    use_double_precision();
    seed_random_from_clock();
    open_log_file();
    for (auto& slot : thread_table) slot = nullptr;
    if (setup_game_record() != 0) return 1;
    init_board_tables();
    build_kpk_bitbase();
    write_default_params(params);
    read_config_file("vant.rc", params);
    save_params();
    engine_config.protocol = PROTOCOL_UCI;
    RunChoice choice;
    if (argc > 1 && read_command_line(argc, argv, choice) != 0) {
        close_log_file();
        return 1;
    }
    if (setup_hash_table() != 0) return 1;
    load_book_index();
    if (create_search_threads(search_state.thread_count) != 0) return 1;
    set_timer_resolution(choice);
    init_pruning_tables();
    init_evaluation_tables();

    int code = run_chosen_tool(choice);
    if (code < 0) {
        run_engine_mode();
        code = 0;
    }
    shut_down();
    return code;
}
