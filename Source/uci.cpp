#include "uci.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fen.h"
#include "input.h"
#include "log.h"
#include "makemove.h"
#include "movetext.h"
#include "params.h"
#include "platform.h"
#include "records.h"
#include "tablebase/tablebase.h"
#include "threads.h"
#include "tt.h"

namespace {

constexpr int OPTION_TEXT_SIZE = 256;

const char* bool_text(int value) { return value ? "true" : "false"; }
// The value limited to low..high before it is narrowed to a field.
int clamp_int(long value, int low, int high) { return int(std::clamp<long>(value, low, high)); }
long number_of(const char* text) { return std::strtol(text, nullptr, 10); }

// Waits until every search thread is idle; with abort set, a running search
// is aborted first.
void wait_for_idle_threads(bool abort)
{
    if (abort && count_searching_threads() > 0) search_state.stop = STOP_ABORT;
    while (count_searching_threads() > 0) sleep_ms(1);
}

void send_identification()
{
    send_format("id name %s", ENGINE_NAME);
    send_line("id author Evan Quenmore");
    send_format("option name Hash type spin default %d min 0 max %d", search_state.hash_size, HASH_MAX_MB);
    send_format("option name Threads type spin default %d min 1 max 80", search_state.thread_count);
    send_format("option name Ponder type check default %s", bool_text(search_state.ponder));
    send_format("option name Contempt type spin default %d min -150 max 150", params.contempt);
    send_format("option name UCI_LimitStrength type check default %s", bool_text(params.UCI_LimitStrength));
    send_format("option name UCI_Elo type spin default %.0f min 1500 max %.0f", search_state.strength_ceiling,
                search_state.strength_ceiling);
    send_format("option name MultiPV type spin default %d min 1 max 255", search_state.multipv);
    send_line("option name Clear Hash type button");
    send_format("option name MoveOverhead type spin default %.0f min 0 max 5000", search_state.move_overhead * 1000);
    send_format("option name OwnBook type check default %s", bool_text(search_state.own_book));
    send_format("option name Log type check default %s", bool_text(engine_config.log));
    send_format("option name SyzygyPath type string default %s", search_state.tb_path);
    send_format("option name SyzygyProbeDepth5 type spin default %d min 1 max 100", search_state.probe_depths[0]);
    send_format("option name SyzygyProbeDepth6 type spin default %d min 1 max 100", search_state.probe_depths[1]);
    send_line("uciok");
}

// Splits "name N value V" of a setoption line. Both stay empty unless the
// text holds "name" and, after it, "value". The name runs to the blanks
// before "value" (it may hold blanks); the value is one word.
void parse_setoption(const char* rest, char* name, char* value)
{
    name[0] = value[0] = 0;
    const char* name_word = std::strstr(rest, "name");
    const char* value_word = name_word ? std::strstr(name_word + 4, "value") : nullptr;
    if (!value_word) return;
    const char* start = name_word + 4;
    if (start < value_word) start++;
    while (start < value_word && *start == ' ') start++;
    const char* end = value_word;
    while (end > start && end[-1] == ' ') end--;
    size_t length = size_t(end - start);
    if (length > OPTION_TEXT_SIZE - 1) length = OPTION_TEXT_SIZE - 1;
    std::memcpy(name, start, length);
    name[length] = 0;

    const char* v = value_word + 5;
    if (*v) v++;
    while (*v == ' ') v++;
    length = std::strcspn(v, " ");
    if (length > OPTION_TEXT_SIZE - 1) length = OPTION_TEXT_SIZE - 1;
    std::memcpy(value, v, length);
    value[length] = 0;
}

void set_strength(long requested)
{
    double elo = requested < 1500 ? 1500 : double(requested);
    if (elo < 0.99 * search_state.strength_ceiling) {
        search_state.target_rate = std::exp((elo - 1337) / 111) + 20;
        params.UCI_Elo = i16(elo);
    } else {
        params.UCI_Elo = i16(search_state.strength_ceiling);
        search_state.target_rate = 1e9;
    }
    send_format("info string UCI_Elo set to %d", params.UCI_Elo);
    send_format("info string calibration nps = %.0f", search_state.calibration_rate);
    send_format("info string target nps = %.0f", search_state.target_rate);
}

void apply_option(const char* name, const char* value)
{
    bool flag = std::strcmp(value, "true") == 0;
    long number = number_of(value);
    if (std::strcmp(name, "Hash") == 0) {
        wait_for_idle_threads(true);
        const int wanted = clamp_int(number, 0, HASH_MAX_MB);
        const int old_size = search_state.hash_size;
        search_state.hash_size = i16(wanted);
        if (setup_hash_table() != 0) {
            // Memory short: the old table stays and the engine plays on.
            search_state.hash_size = i16(old_size);
            send_format("info string Hash size %dM bytes could not be allocated, keeping %dM bytes", wanted,
                        old_size);
        } else {
            // A size of 0 switched the table off at the last search start; a
            // real size switches it on again.
            if (search_state.hash_size > 0 && search_state.use_table == 0) search_state.use_table = 1;
            send_format("info string Hash size set to %dM bytes", search_state.hash_size);
        }
    }
    if (std::strcmp(name, "Threads") == 0) {
        int count = clamp_int(number, 1, MAX_THREADS);
        if (count != search_state.thread_count) {
            wait_for_idle_threads(true);
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
    if (std::strcmp(name, "MoveOverhead") == 0) {
        int ms = clamp_int(number, 0, 5000);
        search_state.move_overhead = ms * 0.001;
        send_format("info string MoveOverhead set to %d ms", ms);
    }
    if (std::strcmp(name, "Ponder") == 0) {
        search_state.ponder = flag;
        send_format("info string Ponder set to %s", bool_text(flag));
    }
    if (std::strcmp(name, "Contempt") == 0) {
        params.contempt = i16(clamp_int(number, -150, 150));
        send_format("info string Contempt set to %d", params.contempt);
    }
    if (std::strcmp(name, "UCI_LimitStrength") == 0) {
        params.UCI_LimitStrength = flag;
        send_format("info string UCI_LimitStrength set to %s", bool_text(flag));
    }
    if (std::strcmp(name, "UCI_Elo") == 0) set_strength(number);
    if (std::strcmp(name, "MultiPV") == 0) {
        search_state.multipv = u16(clamp_int(number, 1, 255));
        send_format("info string MultiPV set to %d", search_state.multipv);
    }
    if (std::strcmp(name, "OwnBook") == 0) {
        search_state.own_book = flag;
        send_format("info string OwnBook set to %s", bool_text(flag));
    }
    if (std::strcmp(name, "Log") == 0) {
        engine_config.log = flag;
        send_format("info string Log set to %s", bool_text(flag));
    }
    if (std::strcmp(name, "Clear Hash") == 0 && search_state.use_table) {
        // A running search goes on; it only loses what it had stored.
        clear_hash_table();
        send_line("info string Hash table cleared");
    }
    if (std::strcmp(name, "SyzygyPath") == 0) {
        const char* path = value[0] ? value : ".";
        // Longer paths are cut to the field.
        size_t length = std::min(std::strlen(path), sizeof search_state.tb_path - 1);
        std::memcpy(search_state.tb_path, path, length);
        search_state.tb_path[length] = 0;
        send_format("info string SyzygyPath set to '%s'", search_state.tb_path);
        scan_tablebase_paths(search_state.tb_path);
    }
    if (std::strcmp(name, "SyzygyProbeDepth5") == 0) {
        search_state.probe_depths[0] = i16(clamp_int(number, 1, 100));
        send_format("info string SyzygyProbeDepth5 set to %d", search_state.probe_depths[0]);
    }
    if (std::strcmp(name, "SyzygyProbeDepth6") == 0) {
        search_state.probe_depths[1] = i16(clamp_int(number, 1, 100));
        send_format("info string SyzygyProbeDepth6 set to %d", search_state.probe_depths[1]);
    }
}

// A move in coordinate form (e2e4, e7e8q): 1 and the move when the word has
// that form; whether it is legal is the caller's test.
int coordinate_move(const char* word, Move* move)
{
    size_t length = std::strlen(word);
    if (length != 4 && length != 5) return 0;
    if (word[0] < 'a' || word[0] > 'h' || word[1] < '1' || word[1] > '8') return 0;
    if (word[2] < 'a' || word[2] > 'h' || word[3] < '1' || word[3] > '8') return 0;
    Move flags = 0;
    if (length == 5) {
        switch (word[4]) {
        case 'q': flags = PROMO_QUEEN; break;
        case 'n': flags = PROMO_KNIGHT; break;
        case 'b': flags = PROMO_BISHOP; break;
        case 'r': flags = PROMO_ROOK; break;
        default: return 0;
        }
    }
    int from = (word[0] - 'a') + 8 * (word[1] - '1');
    int to = (word[2] - 'a') + 8 * (word[3] - '1');
    *move = make_move(from, to, flags);
    return 1;
}

// Plays the words of a move list on the game; the first word that is not a
// legal move in coordinate form ends the list and is reported.
void play_move_list(const char* text)
{
    while (*text) {
        char word[INPUT_TOKEN_SIZE];
        std::snprintf(word, sizeof word, "%s", next_input_token(text));
        if (!word[0]) break;
        while (*text == ' ') text++;
        text += std::strlen(word);
        Move move;
        if (!coordinate_move(word, &move)) {
            send_format("info string bad move text '%.20s' in position command, rest of the moves ignored", word);
            return;
        }
        int result = play_game_move(move);
        if (result != GAME_MOVE_PLAYED) {
            send_format("info string move %s refused (%s), rest of the moves ignored", word,
                        game_move_refusal_text(result));
            return;
        }
    }
}

// A refused "position" leaves no position to search until the next one is
// accepted: the previous one belongs to another game.
void set_game_position(char* rest)
{
    char* moves = std::strstr(rest, "moves");
    if (moves && moves > rest) moves[-1] = 0;
    Position& pos = game_record->pos;
    if (std::strstr(rest, "startpos")) {
        set_position_from_fen(pos, START_FEN);
    } else if (const char* fen = std::strstr(rest, "fen")) {
        fen += 3;
        while (*fen == ' ') fen++;
        const char* reason = "";
        if (!set_position_from_fen(pos, fen, &reason)) {
            send_format("info string FEN rejected (%s), no valid position", reason);
            search_state.position_valid = 0;
            return;
        }
    } else {
        send_line("info string position needs startpos or fen, no valid position");
        search_state.position_valid = 0;
        return;
    }
    search_state.position_valid = 1;
    if (moves) {
        play_move_list(moves + 5);
        if (game_record->undo_count < UNDO_STACK_SIZE) game_record->undo[game_record->undo_count].move = 0;
    }
}

// The value word after a "go" keyword, or null when the keyword is absent or
// has no value.
const char* go_value(const char* rest, const char* keyword)
{
    const char* found = std::strstr(rest, keyword);
    if (!found) return nullptr;
    const char* after = found + std::strlen(keyword);
    if (*after) after++;
    const char* value = next_input_token(after);
    return value[0] ? value : nullptr;
}

double seconds_of(const char* ms_text)
{
    double ms = std::atof(ms_text);
    return ms > 0 ? ms * 0.001 : 0.0;
}

void store_go_limits(const char* rest)
{
    engine_config.ready = 0;
    search_state.stop = STOP_ABORT;
    search_state.time_mode = 0;
    // An increment left from an earlier "go" would spend time the clock
    // does not give back.
    search_state.increment = 0;
    int side = game_record->pos.side;
    const char* v;
    if ((v = go_value(rest, "wtime"))) search_state.clocks[WHITE] = seconds_of(v);
    if ((v = go_value(rest, "btime"))) search_state.clocks[BLACK] = seconds_of(v);
    if ((v = go_value(rest, "winc")) && side == WHITE) search_state.increment = seconds_of(v);
    if ((v = go_value(rest, "binc")) && side == BLACK) search_state.increment = seconds_of(v);
    if ((v = go_value(rest, "movestogo"))) {
        search_state.time_mode = 40;
        search_state.moves_to_go = u16(clamp_int(number_of(v), 0, 65535));
        search_state.depth_limit = 66;
        search_state.node_limit = 0;
    }
    if ((v = go_value(rest, "depth"))) {
        // A signed 8-bit depth: 0 asks for the quiescence score alone, a
        // negative one for no search.
        search_state.depth_limit = u8(i8(clamp_int(number_of(v), -128, 66)));
        search_state.time_mode = 1;
        search_state.move_time = 1e7;
    }
    if ((v = go_value(rest, "nodes"))) {
        long long nodes = std::strtoll(v, nullptr, 10);
        search_state.node_limit = nodes > 0 ? u64(nodes) : 0;
        search_state.time_mode = 1;
        search_state.move_time = 1e7;
    }
    if ((v = go_value(rest, "movetime"))) {
        search_state.move_time = seconds_of(v);
        search_state.time_mode = 1;
        search_state.increment = 0;
    }
    search_state.infinite = std::strstr(rest, "infinite") != nullptr;
    if (search_state.infinite) {
        search_state.increment = 0;
        search_state.node_limit = 0;
        search_state.depth_limit = 66;
        search_state.time_mode = 1;
        search_state.move_time = 1e7;
    }
    search_state.search_command = std::strstr(rest, "ponder") ? 2 : 1;
    engine_config.ready = 1;
}

void new_game()
{
    engine_config.ready = 0;
    search_state.stop = STOP_ABORT;
    wait_for_idle_threads(false);
    search_state.time_mode = 0;
    search_state.increment = 0;
    search_state.move_time = 60;
    search_state.clocks[WHITE] = search_state.clocks[BLACK] = 60;
    game_record->undo_count = 0;
    game_record->dropped_plies = 0;
    if (search_state.use_table) clear_hash_table();
    engine_config.ready = 1;
}

}  // namespace

void stop_search_for_report()
{
    // Nothing runs: no report may follow. The benchmark's searches run with
    // the search state 0 (they are never reported); "stop" still ends them.
    if (search_state.search_state == 0 && count_searching_threads() == 0) return;
    search_state.search_state = 1;
    search_state.infinite = 0;
    search_state.report_on_stop = 0;
    search_state.stop = STOP_NORMAL;
    while (count_searching_threads() > 0) {
    }
    engine_config.ready = 1;
}

void run_uci_command(char* line)
{
    if (!line[0] || line[0] == '\n' || line[0] == '\r') return;
    if (engine_config.log) {
        char echo[COMMAND_QUEUE_SIZE + 8];
        std::snprintf(echo, sizeof echo, "CMD: %s", line);
        send_line(echo);
    }
    char command[INPUT_TOKEN_SIZE];
    std::snprintf(command, sizeof command, "%s", next_input_token(line));
    char* rest = line;
    while (*rest == ' ') rest++;
    rest += std::strlen(command);
    if (*rest) rest++;

    if (std::strcmp(command, "uci") == 0) {
        engine_config.protocol = 1;
        send_identification();
    } else if (std::strcmp(command, "isready") == 0) {
        while (!engine_config.ready) sleep_ms(1);
        send_line("readyok");
    } else if (std::strcmp(command, "setoption") == 0) {
        engine_config.ready = 0;
        char name[OPTION_TEXT_SIZE], value[OPTION_TEXT_SIZE];
        parse_setoption(rest, name, value);
        apply_option(name, value);
        engine_config.ready = 1;
    } else if (std::strcmp(command, "ucinewgame") == 0) {
        new_game();
    } else if (std::strcmp(command, "position") == 0) {
        set_game_position(rest);
    } else if (std::strcmp(command, "go") == 0) {
        store_go_limits(rest);
    } else if (std::strcmp(command, "ponderhit") == 0) {
        if (search_state.search_state == 2) search_state.search_state = 1;
    } else if (std::strcmp(command, "stop") == 0) {
        stop_search_for_report();
    } else if (std::strcmp(command, "quit") == 0) {
        search_state.stop = STOP_ABORT;
        engine_config.quit = 1;
    }
}
