#include "tools/tune.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fen.h"
#include "log.h"
#include "params.h"
#include "pruning.h"
#include "records.h"
#include "driver.h"
#include "platform.h"
#include "report.h"
#include "threads.h"
#include "timecontrol.h"
#include "trace.h"
#include "tools/epd.h"
#include "tools/textline.h"
#include "tools/toolsupport.h"

TuneParam tune_table[TUNE_TABLE_SIZE];
int tune_count = 0;
bool tune_registered = false;
std::FILE* tune_log = nullptr;
u32 tune_sample_seed = 1;

namespace {

constexpr int GRADIENT_PASSES = 100;
constexpr int LINE_SEARCH_PASSES = 30;
constexpr int LINE_SEARCH_OPEN = 10000;

// The files the drivers write: the sample of a "-tune" pass, the "-tune"
// log and the copy "-mktune" makes.
const char* const SAMPLE_FILE = "junk.epd";
const char* const LOG_FILE = "tune.log";
const char* const REWRITE_FILE = "tune_new.epd";

// The sample's own generator (a 31-bit linear congruential one), so that a
// "-tune" run does not depend on the clock-seeded rand().
int next_sample_number()
{
    tune_sample_seed = tune_sample_seed * 1103515245u + 12345u;
    return int((tune_sample_seed >> 16) & 0x7FFF);
}

// Printed with a line feed and, while "-tune" runs, logged the same way and
// flushed, so that a log that cannot be written shows at once (its error
// flag is set).
void tune_line(const char* text)
{
    std::printf("%s\n", text);
    if (!tune_log) return;
    std::fprintf(tune_log, "%s\n", text);
    std::fflush(tune_log);
}

// The game result found in the text after the side-to-move field: 1.0
// white won, 0.0 black won, 0.5 drawn; false when there is none.
bool read_game_result(const std::string& line, double& result)
{
    std::size_t at = line.find(" w ");
    if (at == std::string::npos) at = line.find(" b ");
    if (at == std::string::npos) return false;
    std::string rest = line.substr(at + 3, 255);
    if (rest.find("1-0") != std::string::npos) result = 1.0;
    else if (rest.find("0-1") != std::string::npos) result = 0.0;
    else if (rest.find("1/2") != std::string::npos) result = 0.5;
    else return false;
    return true;
}

int clamp_ce(const char* text)
{
    if (!text[0]) return 0;
    long v = std::strtol(text, nullptr, 10);
    return v < -950 ? -950 : v > 950 ? 950 : int(v);
}

// Whether the training file can be read; says why not otherwise.
bool training_file_readable(const char* path)
{
    std::FILE* f = open_tool_input("training file", path);
    if (!f) return false;
    std::fclose(f);
    return true;
}

// A line exactly as read (NUL bytes too), then its line feed when it had one.
void write_line_as_read(std::FILE* out, const std::string& line, bool had_line_feed)
{
    std::fwrite(line.data(), 1, line.size(), out);
    if (had_line_feed) std::fputc('\n', out);
}

} // namespace

bool add_tune_param(const char* name, i16* target)
{
    if (tune_count >= TUNE_TABLE_SIZE) return false;
    TuneParam& p = tune_table[tune_count++];
    copy_bounded(p.name, sizeof p.name, name, std::strlen(name));
    p.target = target;
    p.x = *target;
    p.gradient = 0.0;
    p.active = 0;
    return true;
}

void register_tune_params()
{
    tune_registered = true;
    ParamRecord& r = params;
    char name[32];
    auto pair = [&](const char* base, i16* field) {
        std::snprintf(name, sizeof name, "%s_op", base);
        add_tune_param(name, &field[0]);
        std::snprintf(name, sizeof name, "%s_en", base);
        add_tune_param(name, &field[1]);
    };
    pair("pawn_value", r.pawn_value);
    pair("knight_value", r.knight_value);
    pair("bishop_value", r.bishop_value);
    pair("rook_value", r.rook_value);
    pair("queen_value", r.queen_value);
    pair("bishop_pair", r.bishop_pair);
    pair("knight_mobility", r.knight_mobility);
    pair("bishop_mobility", r.bishop_mobility);
    pair("rook_mobility", r.rook_mobility);
    pair("queen_mobility", r.queen_mobility);
    for (int rank = 2; rank <= 7; rank++) {
        std::snprintf(name, sizeof name, "ppawn_r%d", rank);
        add_tune_param(name, &r.passed_pawn[rank - 1]);
    }
    add_tune_param("pawn_candidate", &r.pawn_candidate[1]);
    pair("pawn_doubled", r.pawn_doubled);
    pair("pawn_backward", r.pawn_backward);
    pair("pawn_isolated", r.pawn_isolated);
    pair("pawn_weak", r.pawn_weak);
    add_tune_param("knight_outpost", &r.knight_outpost[0]);
    pair("rook_open_file", r.rook_open_file);
    pair("rook_half_open_file", r.rook_half_open_file);
    pair("rook_rank7", r.rook_rank7);
    add_tune_param("rook_trapped", &r.rook_trapped[0]);
    pair("queen_rank7", r.queen_rank7);
    add_tune_param("king_safety", &r.king_safety[0]);
    add_tune_param("pawn_shield", &r.pawn_shield[0]);
    add_tune_param("pawn_storm", &r.pawn_storm[0]);
    pair("hung", r.hung);
    pair("pinned", r.pinned);
    const char piece_letters[] = "PNBRQK";
    for (int type = 0; type < 6; type++) {
        char base[8];
        std::snprintf(base, sizeof base, "PST_%c", piece_letters[type]);
        pair(base, r.pst_scale[type]);
    }
    pair("positional_bonus", r.positional_bonus);
    for (int rank = 0; rank < 8; rank++) {
        for (int file = 0; file < 4; file++) {
            std::snprintf(name, sizeof name, "pst_%c%d_op", 'a' + file, rank + 1);
            add_tune_param(name, &r.pst_shape[4 * rank + file]);
        }
    }
    for (int i = 0; i < 15; i++) {
        std::snprintf(name, sizeof name, "p%d", i + 1);
        add_tune_param(name, &r.p[i]);
    }
    add_tune_param("tune", &r.tune);
}

TuneParam* find_tune_param(const char* name)
{
    for (int i = 0; i < tune_count; i++)
        if (std::strcmp(tune_table[i].name, name) == 0) return &tune_table[i];
    return nullptr;
}

void activate_tune_param(const char* name)
{
    if (TuneParam* p = find_tune_param(name)) p->active = 1;
}

bool sample_epd_to_junk(const char* path, bool (*poll)())
{
    std::FILE* in = open_tool_input("training file", path);
    if (!in) return false;
    std::FILE* out = std::fopen(SAMPLE_FILE, "w");
    if (!out) {
        std::fclose(in);
        report_unopened_file("output file", SAMPLE_FILE);
        return false;
    }
    std::string line;
    bool had_line_feed;
    TextFile input;
    input.file = in;
    input.poll = poll;
    while (!std::ferror(out) && read_text_line(input, line, &had_line_feed)) {
        if (next_sample_number() % 100 < 15) write_line_as_read(out, line, had_line_feed);
    }
    std::fclose(in);
    return close_tool_output(out, SAMPLE_FILE);
}

double tuning_error_with_rewrite(const char* path, std::FILE* out, int* used_lines, bool (*poll)())
{
    if (used_lines) *used_lines = 0;
    std::FILE* in = open_tool_input("training file", path, false);
    if (!in) return 1.0;
    init_evaluation_tables();
    init_pruning_tables();
    // Cached scores were computed under the previous parameter values; the
    // searches below run on thread 0's record alone.
    clear_thread_evaluation_caches(thread_table[0].load());
    search_state.use_table = TABLE_OFF;

    double sum = 0.0;
    int used = 0, read = 0;
    std::string line;
    bool had_line_feed;
    EpdRecord record;
    Position& pos = game_record->pos;
    TextFile input;
    input.file = in;
    input.poll = poll;
    while (read_text_line(input, line, &had_line_feed)) {
        if (epd_line_is_comment(line.c_str())) continue;
        if (!parse_epd_record(line.c_str(), record)) continue;
        read++;
        const int ce = clamp_ce(record.ce);
        double result = 0.0;
        const bool has_result = read_game_result(line, result);
        if (!set_epd_position(pos, record.position)) continue;
        const int side = pos.side;
        start_search_clock();
        run_single_thread_search();
        int static_eval = 0, score = 0;
        if (ThreadData* t0 = thread_table[0].load()) {
            static_eval = t0->root_static_eval;
            score = t0->completed_score;
        }
        search_state.epd_root_words[0] = i16(static_eval);
        search_state.epd_root_words[1] = i16(score);
        search_state.best_score = i16(score);
        if ((read & 255) == 255) {
            check_search_time();
            if (poll) poll();
        }
        search_state.search_state = SEARCH_NONE;
        const bool quit = engine_config.quit != 0;

        if (has_result && std::abs(score) <= 900 && std::abs(static_eval - score) <= 150) {
            if (side == BLACK) result = 1.0 - result;
            double p = 1.0 / (1.0 + std::pow(10.0, -score / 400.0));
            if (p < 0.0 || p > 1.0) send_line("error");
            bool counted = true;
            if (out) {
                if (std::abs(ce) > 900) counted = false;
                else {
                    write_line_as_read(out, line, had_line_feed);
                    std::fputc('\n', out);
                }
            }
            if (counted) {
                double error = std::fabs(p - result);
                if (error < 0.0 || error > 1.0) send_line("error");
                sum += error;
                used++;
            }
        }
        // A copy that cannot be written is not read on to its end.
        if (quit || (out && std::ferror(out))) break;
    }
    std::fclose(in);
    if (used_lines) *used_lines = used;
    return used ? sum / used : 0.0;
}

double tuning_error(const char* path, bool (*poll)())
{
    return tuning_error_with_rewrite(path, nullptr, nullptr, poll);
}

int run_make_tune(bool (*poll)())
{
    search_state.depth_limit = 0;
    engine_config.output_delay = OUTPUT_DELAY_QUIET;
    if (input_is_an_output("training file", engine_config.test_file, {REWRITE_FILE})) return 1;
    if (!training_file_readable(engine_config.test_file)) return 1;
    std::FILE* out = std::fopen(REWRITE_FILE, "w");
    if (!out) {
        report_unopened_file("output file", REWRITE_FILE);
        return 1;
    }
    tuning_error_with_rewrite(engine_config.test_file, out, nullptr, poll);
    return close_tool_output(out, REWRITE_FILE) ? 0 : 1;
}

int run_gradient_tune(bool (*poll)())
{
    engine_config.output_delay = 1000;
    if (!tune_registered) register_tune_params();
    for (int i = 1; i <= 9; i++) {
        char name[16];
        std::snprintf(name, sizeof name, "p%d", i);
        activate_tune_param(name);
    }
    const char* path = engine_config.test_file;
    if (input_is_an_output("training file", path, {SAMPLE_FILE, LOG_FILE})) return 1;
    if (!training_file_readable(path)) return 1;
    search_state.depth_limit = 0;
    engine_config.output_delay = OUTPUT_DELAY_QUIET;
    // A file without one usable line would run every pass at error 0.
    int usable = 0;
    tuning_error_with_rewrite(path, nullptr, &usable, poll);
    if (engine_config.quit) return 0;  // "quit" came before the whole file was read
    if (usable == 0) {
        std::string text = std::string("training file ") + path + " holds no usable line";
        send_line(text.c_str());
        return 1;
    }
    tune_sample_seed = 1;
    // The first pass's sample is drawn before the log is opened, so that a
    // sample that cannot be written leaves an old log as it was.
    if (!sample_epd_to_junk(path, poll)) return 1;
    tune_log = std::fopen(LOG_FILE, "w");
    if (!tune_log) {
        send_line("can't open tune.log");
        return 1;
    }
    double k = 2000.0, average = 0.0, max_rate = 0.0;
    char text[256];
    int code = 0;
    // A sample or a log line that cannot be written ends the run at once,
    // said once (by the sampler, or as the log is closed).
    for (int pass = 0; pass < GRADIENT_PASSES && !engine_config.quit && !std::ferror(tune_log); pass++) {
        if (pass > 0 && !sample_epd_to_junk(path, poll)) {
            code = 1;
            break;
        }
        int active = 0;
        std::snprintf(text, sizeof text, "pass= %d, k0= %0.3e, avg_lr= %0.1f, max_lr= %0.1f\n", pass, k,
                      average * 100, max_rate * 100);
        tune_line(text);
        for (int i = 0; i < tune_count; i++) {
            TuneParam& p = tune_table[i];
            if (!p.active) continue;
            active++;
            *p.target = i16(std::lround(p.x));
            std::snprintf(text, sizeof text, "** %.24s = %d", p.name, *p.target);
            tune_line(text);
        }
        if (std::ferror(tune_log)) break;
        double err = tuning_error(path, poll);
        std::snprintf(text, sizeof text, "\nerr= %0.5f\n\n", err);
        tune_line(text);

        double sum = 0.0, max_step = 0.0;
        max_rate = 0.0;
        for (int i = 0; i < tune_count; i++) {
            TuneParam& p = tune_table[i];
            if (!p.active) continue;
            if (std::ferror(tune_log)) break;
            const int v = *p.target;
            int d = int(std::lround(0.03 * std::fabs(p.x) + 1.0));
            if (d < 1) d = 1;
            *p.target = i16(v - d);
            double e1 = tuning_error(SAMPLE_FILE, poll);
            *p.target = i16(v + d);
            double e2 = tuning_error(SAMPLE_FILE, poll);
            *p.target = i16(v);
            double g = (e2 - e1) / (2.0 * d);
            p.gradient = g;
            double rate = g * k;
            sum += std::fabs(rate);
            if (std::fabs(rate) > max_rate) max_rate = std::fabs(rate);
            double dx = -rate * (std::fabs(p.x) + 6);
            if (std::fabs(dx) > max_step) max_step = std::fabs(dx);
            double cap = 0.025 * (std::fabs(p.x) + 6);
            double step = dx < -cap ? -cap : dx > cap ? cap : dx;
            p.x += step;
            std::snprintf(text, sizeof text, "p1=%4d/%6.5f, p2=%4d/%6.5f, g=%10.2e, lr=%5.2f, x=%5.1f, p=%6.1f",
                          v - d, e1, v + d, e2, g, rate * 100, step, p.x);
            tune_line(text);
        }
        // A pass without an active parameter has no average to take.
        average = active ? sum / active : 0.0;
        if (max_rate < 0.016 || max_step < 0.8) k *= 1.03;
        if (average > 0.07) k *= 0.97;
        tune_line("");
    }
    if (!close_tool_output(tune_log, LOG_FILE)) code = 1;
    tune_log = nullptr;
    init_evaluation_tables();
    clear_evaluation_caches();
    return code;
}

void run_tune_command(const char* name, const char* file, bool (*poll)())
{
    if (!name || !name[0]) return;
    abort_search_and_wait();
    if (file && file[0]) copy_bounded(engine_config.test_file, sizeof engine_config.test_file, file, std::strlen(file));
    if (!engine_config.test_file[0]) std::strcpy(engine_config.test_file, "tune.epd");
    const char* path = engine_config.test_file;
    std::printf("tune file= %s\n", path);
    search_state.depth_limit = 0;
    engine_config.output_delay = OUTPUT_DELAY_QUIET;
    if (!tune_registered) register_tune_params();
    TuneParam* p = find_tune_param(name);
    if (!p) {
        send_line("done!\n");
        return;
    }
    // With the trace on, every search of the line search may write the trace file.
    if (input_is_an_output("training file", path, {search_trace_output()}) || !training_file_readable(path)) {
        send_line("done!\n");
        return;
    }
    std::printf("\ntuning %s\n", name);
    const i16 orig = *p->target;
    int best = orig, low = -LINE_SEARCH_OPEN, high = LINE_SEARCH_OPEN;
    double best_error = 1.0;
    for (int i = 0;;) {
        const int current = *p->target;
        double e = tuning_error(path, poll);
        std::printf("%s= %d, err= %0.6f\n", name, current, e);
        if (i > 0) {
            if (current > best) {
                if (e < best_error) low = best;
                else high = current;
            } else {
                if (e < best_error) high = best;
                else low = current;
            }
        }
        if (e < best_error) {
            best = current;
            best_error = e;
        }
        std::printf("best= %d, err= %0.6f, min= %d, max= %d\n\n", best, best_error, low, high);
        const int step = round_half_away(std::abs(best) * 0.12) + 1;
        int next;
        if (low == -LINE_SEARCH_OPEN) next = best - step;
        else if (high == LINE_SEARCH_OPEN) next = best + step;
        else next = round_half_away(0.5 * best + 0.5 * (i % 2 == 0 ? high : low));
        *p->target = i16(next);
        if (*p->target == low || *p->target == high) break;
        if (++i >= LINE_SEARCH_PASSES) break;
    }
    std::printf("best= %d, err= %0.6f, min= %d, max= %d\n\n", best, best_error, low, high);
    *p->target = orig;
    if (tune_log) {
        std::fprintf(tune_log, "%-24s  %4d  %0.5f\n", name, best, best_error);
        std::fflush(tune_log);
    }
    init_evaluation_tables();
    clear_evaluation_caches();
    send_line("done!\n");
}
