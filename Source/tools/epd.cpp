#include "tools/epd.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "fen.h"
#include "log.h"
#include "movetext.h"
#include "params.h"
#include "pruning.h"
#include "records.h"
#include "driver.h"
#include "platform.h"
#include "report.h"
#include "threads.h"
#include "timecontrol.h"
#include "tools/textline.h"
#include "tools/toolsupport.h"
#include "tt.h"

namespace {

const char* const UNSOLVED_FILE = "unsolved.epd";

// Next token of `p` separated by any of `delimiters` (leading delimiters
// skipped); returns its start and length, and moves `p` past the token and
// the one delimiter that ended it.
bool next_token(const char*& p, const char* delimiters, const char*& start, std::size_t& length)
{
    p += std::strspn(p, delimiters);
    if (!*p) return false;
    start = p;
    length = std::strcspn(p, delimiters);
    p += length;
    if (*p) p++;
    return true;
}

bool equals(const char* start, std::size_t length, const char* word)
{
    return std::strlen(word) == length && std::strncmp(start, word, length) == 0;
}

} // namespace

bool epd_line_is_comment(const char* line)
{
    return line[0] == ' ' || line[0] == '#' || line[0] == ';';
}

bool parse_epd_record(const char* line, EpdRecord& out)
{
    std::memset(&out, 0, sizeof out);
    const char* p = line;
    const char* fields[4];
    std::size_t lengths[4];
    for (int i = 0; i < 4; i++)
        if (!next_token(p, " \t\r\n", fields[i], lengths[i])) return false;
    std::string position;
    for (int i = 0; i < 4; i++) {
        if (i) position += ' ';
        position.append(fields[i], lengths[i]);
    }
    copy_bounded(out.position, sizeof out.position, position.data(), position.size());

    struct Opcode {
        const char* name;
        char* field;
        std::size_t size;
    };
    const Opcode opcodes[] = {{"bm", out.bm, sizeof out.bm}, {"am", out.am, sizeof out.am},
                              {"id", out.id, sizeof out.id}, {"ce", out.ce, sizeof out.ce},
                              {"c0", out.c0, sizeof out.c0}};
    const char* start;
    std::size_t length;
    while (next_token(p, " ;\r\n", start, length)) {
        for (const Opcode& op : opcodes) {
            if (!equals(start, length, op.name)) continue;
            const char* value;
            std::size_t value_length;
            if (next_token(p, "; ", value, value_length)) copy_bounded(op.field, op.size, value, value_length);
            break;
        }
    }
    return true;
}

bool set_epd_position(Position& pos, const char* position)
{
    const char* reason = "";
    if (set_position_from_fen(pos, position, &reason)) return true;
    std::string message = "skipping invalid position " + printable_text(position) + " (" + reason + ")";
    send_line(message.c_str());
    return false;
}

int run_epd_test_suite(bool (*poll)())
{
    const char* path = engine_config.test_file;
    if (input_is_an_output("EPD file", path, {UNSOLVED_FILE})) return 1;
    std::FILE* in = open_tool_input("EPD file", path);
    if (!in) return 1;
    std::FILE* unsolved = std::fopen(UNSOLVED_FILE, "w");
    if (!unsolved) {
        std::fclose(in);
        report_unopened_file("output file", UNSOLVED_FILE);
        return 1;
    }
    char text[512];
    std::snprintf(text, sizeof text, "Analyzing %s...", path);
    send_line(text);
    init_evaluation_tables();
    init_pruning_tables();
    if (i8(search_state.depth_limit) < 2) search_state.use_table = TABLE_OFF;

    int count = 0, correct = 0;
    u64 total_nodes = 0;
    double total_time = 0.0, depth_sum = 0.0, factor_sum = 0.0;
    bool quit_seen = false;
    ThreadData* game = game_record;
    Position& pos = game->pos;
    std::string line;
    bool had_line_feed;
    auto* record = new EpdRecord;
    TextFile input;
    input.file = in;
    input.poll = poll;
    while (!quit_seen && read_text_line(input, line, &had_line_feed)) {
        if (epd_line_is_comment(line.c_str()) || line.size() + (had_line_feed ? 1 : 0) <= 9) continue;
        if (!parse_epd_record(line.c_str(), *record)) continue;
        if (!set_epd_position(pos, record->position)) continue;
        count++;
        const bool printing = engine_config.output_delay != OUTPUT_DELAY_QUIET;
        if (printing) {
            std::snprintf(text, sizeof text, "pos= %d", count);
            send_line(text);
            send_line(printable_text(record->position).c_str());
            print_board_diagram(pos);
        }
        if (i8(search_state.depth_limit) > 1) clear_hash_table();
        // A running search as the interpreter knows it, so that "stop" ends it.
        search_state.search_command = SEARCH_THINK;
        start_search_clock();
        search_state.search_command = SEARCH_NONE;
        if (i8(search_state.depth_limit) > 5) {
            wake_search_threads();
            serve_input_until_search_ends(poll);
            if (engine_config.quit) quit_seen = true;
        } else {
            run_single_thread_search();
            if (ThreadData* t0 = thread_table[0].load()) search_state.best_score = t0->completed_score;
            update_elapsed_time();
            if ((count & 255) == 255) {
                check_search_time();
                if (poll) poll();
            }
            if (engine_config.quit) quit_seen = true;
        }
        sum_thread_counters();
        const u64 nodes = search_state.summed_counters[SUM_NODES];
        const double elapsed = search_state.elapsed_time;
        total_nodes += nodes;
        total_time += elapsed;
        depth_sum += search_state.best_depth;
        factor_sum += effective_branching_factor();

        const Move best = search_state.best_line[1];
        Move answer;
        if (record->bm[0] && parse_move_text(record->bm, answer)) {
            if (best == answer) correct++;
        } else if (record->am[0] && parse_move_text(record->am, answer)) {
            if (best != answer) correct++;
        } else if (search_state.best_depth > 0) {
            std::fprintf(unsolved, "%s\n", record->position);
        }

        if (printing) {
            print_pv_line_if_due(0, 0, search_state.best_depth, search_state.best_score, search_state.best_line);
            char move[MOVE_TEXT_SIZE];
            std::snprintf(text, sizeof text, "move= %s, time= %0.3f, score= %d, nodes= %0.0f, %0.0fK nps\n",
                          move_text_or_null(best, move), elapsed, search_state.best_score, double(nodes),
                          0.001 * double(nodes) / (elapsed + 0.001));
            send_line(text);
        }
        search_state.search_state = SEARCH_NONE;
    }
    delete record;

    const double nodes_total = double(total_nodes);
    const double rate = nodes_total / (0.01 + total_time);
    double average_factor = 0.0, average_depth = 0.0, average_nodes = 0.0;
    if (count > 0) {
        average_factor = factor_sum / count;
        average_depth = depth_sum / count;
        average_nodes = double(total_nodes / u64(count));
    }
    std::snprintf(text, sizeof text, "%d / %d correct best moves", correct, count);
    send_line(text);
    std::snprintf(text, sizeof text, "total nodes= %0.0f", nodes_total);
    send_line(text);
    std::snprintf(text, sizeof text, "total time= %0.2f seconds", total_time);
    send_line(text);
    std::snprintf(text, sizeof text, "avg depth= %0.1f", average_depth);
    send_line(text);
    std::snprintf(text, sizeof text, "avg nodes= %0.1f", average_nodes);
    send_line(text);
    std::snprintf(text, sizeof text, "node_rate= %0.0f", rate);
    send_line(text);
    std::snprintf(text, sizeof text, "avg bf= %0.2f", average_factor);
    send_line(text);
    send_line("");
    std::fclose(in);
    return close_tool_output(unsolved, UNSOLVED_FILE) ? 0 : 1;
}
