#include "uci_options.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "bench.h"
#include "log.h"
#include "params.h"
#include "records.h"
#include "report.h"
#include "tablebase/tablebase.h"
#include "threads.h"
#include "tokenizer.h"
#include "tt.h"

namespace {

const char* bool_text(int value) { return value ? "true" : "false"; }

char lower_case(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool same_text_ignoring_case(const char* a, const char* b)
{
    for (; *a && *b; a++, b++)
        if (lower_case(*a) != lower_case(*b)) return false;
    return *a == *b;
}

// ---- What each option does

// Whether the table in force is the one a "Hash" size asks for.
bool hash_table_in_force(int megabytes)
{
    if (megabytes != search_state.hash_size) return false;
    return megabytes == 0 || (search_state.use_table != TABLE_OFF &&
                              transposition_table.entry_count == hash_entries_for_size(megabytes));
}

// A size or a count already in force changes nothing, a running search
// included: GUIs resend every option, some of them while the engine analyses.
void apply_hash(int megabytes)
{
    if (hash_table_in_force(megabytes)) {
        send_format("info string Hash size set to %dM bytes", megabytes);
        return;
    }
    abort_search_and_wait();
    const int old_size = search_state.hash_size;
    search_state.hash_size = i16(megabytes);
    if (setup_hash_table() != 0) {
        // Memory short: the old table stays and the engine plays on.
        search_state.hash_size = i16(old_size);
        send_format("info string Hash size %dM bytes could not be allocated, keeping %dM bytes", megabytes, old_size);
        return;
    }
    // A size of 0 switched the table off at the last search start; a real
    // size switches it on again.
    if (search_state.hash_size > 0 && search_state.use_table == TABLE_OFF) search_state.use_table = TABLE_ON;
    send_format("info string Hash size set to %dM bytes", search_state.hash_size);
}

void apply_threads(int count)
{
    if (count != search_state.thread_count) {
        abort_search_and_wait();
        // The ended search is reported later (an infinite or pondering one
        // only on "stop" or "ponderhit"): its closing line shows what its
        // threads did, which leaves with their records.
        if (search_state.search_state != SEARCH_NONE) keep_search_figures();
        end_search_threads(search_state.thread_count);
        int started = 0;
        if (create_search_threads(count, &started) != 0) {
            // Keep the threads that run (at least one, or nothing could search).
            if (started == 0 && create_search_threads(1, &started) != 0) started = 0;
            send_format("info string only %d of %d search threads could be started", started, count);
            count = started > 0 ? started : 1;
        }
        search_state.thread_count = u8(count);
    }
    send_format("info string Threads set to %d", search_state.thread_count);
}

// A strength becomes the target node rate of the search's throttle, the
// inverse of the start-up speed test's rule; near the ceiling there is no
// limit at all.
void apply_elo(int elo)
{
    if (elo < 0.99 * search_state.strength_ceiling) {
        search_state.target_rate = node_rate_of_elo(elo);
        params.UCI_Elo = i16(elo);
    } else {
        params.UCI_Elo = i16(search_state.strength_ceiling);
        search_state.target_rate = 1e9;
    }
    send_format("info string UCI_Elo set to %d", params.UCI_Elo);
    send_format("info string calibration nps = %.0f", search_state.calibration_rate);
    send_format("info string target nps = %.0f", search_state.target_rate.load());
}

void apply_clear_hash(int)
{
    // A running search goes on; it only loses what it had stored.
    if (search_state.use_table == TABLE_OFF) return;
    if (count_searching_threads() > 0) clear_hash_entries();
    else clear_hash_table();
    send_line("info string Hash table cleared");
}

void apply_move_overhead(int ms)
{
    search_state.move_overhead = ms * 0.001;
    send_format("info string MoveOverhead set to %d ms", ms);
}

void apply_syzygy_path(const char* value)
{
    const char* path = value[0] ? value : ".";
    if (std::strlen(path) > size_t(PATH_TEXT_LIMIT)) {
        // Never cut: the tables in force stay as they are.
        send_format("info string SyzygyPath longer than %d characters, ignored", PATH_TEXT_LIMIT);
        return;
    }
    std::strcpy(search_state.tb_path, path);
    send_format("info string SyzygyPath set to '%s'", search_state.tb_path);
    scan_tablebase_paths(search_state.tb_path);
}

double strength_ceiling() { return search_state.strength_ceiling; }

// The options in the order of the "uci" reply.
const UciOption uci_options[] = {
    {.name = "Hash", .type = OPTION_SPIN, .min = 0, .max = HASH_MAX_MB,
     .current = [] { return double(search_state.hash_size); }, .apply = apply_hash},
    {.name = "Threads", .type = OPTION_SPIN, .min = 1, .max = MAX_THREADS,
     .current = [] { return double(search_state.thread_count); }, .apply = apply_threads},
    {.name = "Ponder", .type = OPTION_CHECK, .current = [] { return double(search_state.ponder); },
     .apply = [](int on) { search_state.ponder = u16(on); }, .plain_reply = true},
    {.name = "Contempt", .type = OPTION_SPIN, .min = -150, .max = 150,
     .current = [] { return double(params.contempt); }, .apply = [](int value) { params.contempt = i16(value); },
     .plain_reply = true},
    {.name = "UCI_LimitStrength", .type = OPTION_CHECK, .current = [] { return double(params.UCI_LimitStrength); },
     .apply = [](int on) { params.UCI_LimitStrength = i16(on); }, .plain_reply = true},
    // Default and maximum: the strength measured by the start-up speed test.
    {.name = "UCI_Elo", .type = OPTION_SPIN, .min = 1500, .current = strength_ceiling, .maximum = strength_ceiling,
     .apply = apply_elo},
    {.name = "MultiPV", .type = OPTION_SPIN, .min = 1, .max = MAX_MULTIPV,
     .current = [] { return double(search_state.multipv); },
     .apply = [](int count) { search_state.multipv = u16(count); }, .plain_reply = true},
    {.name = "Clear Hash", .type = OPTION_BUTTON, .apply = apply_clear_hash},
    {.name = "MoveOverhead", .type = OPTION_SPIN, .min = 0, .max = 5000,
     .current = [] { return search_state.move_overhead * 1000; }, .apply = apply_move_overhead},
    {.name = "OwnBook", .type = OPTION_CHECK, .current = [] { return double(search_state.own_book); },
     .apply = [](int on) { search_state.own_book = u8(on); }, .plain_reply = true},
    {.name = "Log", .type = OPTION_CHECK, .current = [] { return double(engine_config.log); },
     .apply = [](int on) { engine_config.log = u16(on); }, .plain_reply = true},
    {.name = "SyzygyPath", .type = OPTION_STRING, .current_text = [] { return (const char*)search_state.tb_path; },
     .apply_text = apply_syzygy_path},
    {.name = "SyzygyProbeDepth5", .type = OPTION_SPIN, .min = 1, .max = 100,
     .current = [] { return double(search_state.probe_depths[0]); },
     .apply = [](int depth) { search_state.probe_depths[0] = i16(depth); }, .plain_reply = true},
    {.name = "SyzygyProbeDepth6", .type = OPTION_SPIN, .min = 1, .max = 100,
     .current = [] { return double(search_state.probe_depths[1]); },
     .apply = [](int depth) { search_state.probe_depths[1] = i16(depth); }, .plain_reply = true},
};

double option_maximum(const UciOption& option) { return option.maximum ? option.maximum() : option.max; }

// A spin value within the option's range (a measured maximum is taken
// whole, as the "uci" reply rounds it).
int clamp_to_range(const UciOption& option, long value)
{
    const long high = std::lround(option_maximum(option));
    if (value > high) value = high;
    if (value < option.min) value = option.min;
    return int(value);
}

}  // namespace

const UciOption* find_uci_option(const char* name)
{
    for (const UciOption& option : uci_options)
        if (same_text_ignoring_case(option.name, name)) return &option;
    return nullptr;
}

void send_option_lines()
{
    for (const UciOption& option : uci_options) {
        switch (option.type) {
        case OPTION_SPIN:
            send_format("option name %s type spin default %.0f min %d max %.0f", option.name, option.current(),
                        option.min, option_maximum(option));
            break;
        case OPTION_CHECK:
            send_format("option name %s type check default %s", option.name, bool_text(option.current() != 0));
            break;
        case OPTION_BUTTON: send_format("option name %s type button", option.name); break;
        case OPTION_STRING:
            send_format("option name %s type string default %s", option.name, option.current_text());
            break;
        }
    }
}

void set_uci_option(const char* name, const char* value)
{
    const UciOption* option = find_uci_option(name);
    if (!option) return;  // unknown names are ignored, as the protocol asks
    if (!value && option->type != OPTION_BUTTON) return;
    switch (option->type) {
    case OPTION_SPIN: {
        long number = 0;
        if (!read_whole_number(value, &number)) {
            send_format("info string %s needs a number, '%.64s' changes nothing", option->name, value);
            return;
        }
        option->apply(clamp_to_range(*option, number));
        if (option->plain_reply) send_format("info string %s set to %.0f", option->name, option->current());
        break;
    }
    case OPTION_CHECK:
        if (same_text_ignoring_case(value, "true")) option->apply(1);
        else if (same_text_ignoring_case(value, "false")) option->apply(0);
        else {
            send_format("info string %s needs true or false, '%.64s' changes nothing", option->name, value);
            return;
        }
        if (option->plain_reply)
            send_format("info string %s set to %s", option->name, bool_text(option->current() != 0));
        break;
    case OPTION_BUTTON: option->apply(0); break;
    case OPTION_STRING: option->apply_text(value); break;
    }
}
