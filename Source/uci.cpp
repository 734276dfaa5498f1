#include "uci.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fen.h"
#include "log.h"
#include "makemove.h"
#include "movetext.h"
#include "params.h"
#include "platform.h"
#include "records.h"
#include "tablebase/tablebase.h"
#include "threads.h"
#include "tokenizer.h"
#include "tt.h"
#include "uci_options.h"

namespace {

constexpr int OPTION_TEXT_SIZE = 256;
// "SyzygyPath" takes a path list: a value holds one character more than the
// longest path, so that a longer one is never cut to a size that passes.
constexpr int OPTION_VALUE_SIZE = PATH_TEXT_LIMIT + 2;

// The limits a "go" starts from in UCI mode: the command line's depth and
// node limits ("-d", "-n"), nothing of an earlier "go".
u8 start_up_depth_limit = MAX_SEARCH_PLY;
u64 start_up_node_limit = 0;


void send_identification()
{
    send_format("id name %s", ENGINE_NAME);
    send_line("id author Evan Quenmore");
    send_option_lines();
    send_line("uciok");
}

// Splits "name N value V" of a setoption line. Both stay empty unless the
// text holds "name". The name runs to the blanks before "value" (it may hold
// blanks), or to the end of the line when there is no "value" word (a
// button is pressed so). The value of a string option is the rest of the
// line, trimmed at its ends, since the protocol lets it hold blanks (a
// "SyzygyPath" under "C:\Program Files"); of any other option it is one
// word. Returns whether the line holds "value".
bool parse_setoption(const char* rest, char* name, char* value)
{
    name[0] = value[0] = 0;
    const char* name_word = std::strstr(rest, "name");
    if (!name_word) return false;
    const char* value_word = std::strstr(name_word + 4, "value");
    const bool has_value = value_word != nullptr;
    if (!has_value) value_word = name_word + std::strcspn(name_word, "\r\n");
    const char* start = name_word + 4;
    if (start < value_word) start++;
    while (start < value_word && *start == ' ') start++;
    const char* end = value_word;
    while (end > start && end[-1] == ' ') end--;
    size_t length = size_t(end - start);
    if (length > OPTION_TEXT_SIZE - 1) length = OPTION_TEXT_SIZE - 1;
    std::memcpy(name, start, length);
    name[length] = 0;
    if (!has_value) return false;

    const char* v = value_word + 5;
    if (*v) v++;
    while (*v == ' ') v++;
    const UciOption* option = find_uci_option(name);
    if (option && option->type == OPTION_STRING) {
        length = std::strlen(v);
        v = trim_blanks(v, length);
    } else {
        length = std::strcspn(v, " ");
    }
    if (length > OPTION_VALUE_SIZE - 1) length = OPTION_VALUE_SIZE - 1;
    std::memcpy(value, v, length);
    value[length] = 0;
    return true;
}

// A move in coordinate form (e2e4, e7e8q): 1 and the move when the word has
// that form; whether it is legal is the caller's test.
bool coordinate_move(const char* word, Move* move)
{
    size_t length = std::strlen(word);
    if (length != 4 && length != 5) return false;
    if (word[0] < 'a' || word[0] > 'h' || word[1] < '1' || word[1] > '8') return false;
    if (word[2] < 'a' || word[2] > 'h' || word[3] < '1' || word[3] > '8') return false;
    Move flags = 0;
    if (length == 5) {
        switch (word[4]) {
        case 'q': flags = PROMO_QUEEN; break;
        case 'n': flags = PROMO_KNIGHT; break;
        case 'b': flags = PROMO_BISHOP; break;
        case 'r': flags = PROMO_ROOK; break;
        default: return false;
        }
    }
    int from = (word[0] - 'a') + 8 * (word[1] - '1');
    int to = (word[2] - 'a') + 8 * (word[3] - '1');
    *move = make_move(from, to, flags);
    return true;
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

// Each "go" stands alone: it sets every limit it names, and no limit of an
// earlier "go" is in force (only the command line's depth and node limits).
void store_go_limits(const char* rest)
{
    engine_config.ready = 0;
    search_state.stop = STOP_ABORT;
    search_state.time_mode = TIME_MODE_CLOCK;
    search_state.increment = 0;
    search_state.depth_limit = start_up_depth_limit;
    search_state.node_limit = start_up_node_limit;
    int side = game_record->pos.side;
    bool clock_given = false;
    const char* v;
    if ((v = go_value(rest, "wtime"))) {
        search_state.clocks[WHITE] = seconds_of(v);
        clock_given |= side == WHITE;
    }
    if ((v = go_value(rest, "btime"))) {
        search_state.clocks[BLACK] = seconds_of(v);
        clock_given |= side == BLACK;
    }
    if ((v = go_value(rest, "winc")) && side == WHITE) search_state.increment = seconds_of(v);
    if ((v = go_value(rest, "binc")) && side == BLACK) search_state.increment = seconds_of(v);
    if ((v = go_value(rest, "movestogo"))) {
        search_state.time_mode = TIME_MODE_MOVES_TO_GO;
        search_state.moves_to_go = u16(read_clamped_number(v, 0, 65535));
        search_state.depth_limit = MAX_SEARCH_PLY;
        search_state.node_limit = 0;
    }
    if ((v = go_value(rest, "depth"))) {
        // A signed 8-bit depth: 0 asks for the quiescence score alone, a
        // negative one for no search.
        search_state.depth_limit = u8(i8(read_clamped_number(v, -128, MAX_SEARCH_PLY)));
        search_state.time_mode = TIME_MODE_FIXED;
        search_state.move_time = 1e7;
    }
    if ((v = go_value(rest, "nodes"))) {
        long long nodes = std::strtoll(v, nullptr, 10);
        search_state.node_limit = nodes > 0 ? u64(nodes) : 0;
        search_state.time_mode = TIME_MODE_FIXED;
        search_state.move_time = 1e7;
    }
    if ((v = go_value(rest, "movetime"))) {
        search_state.move_time = seconds_of(v);
        search_state.time_mode = TIME_MODE_FIXED;
        search_state.increment = 0;
    }
    search_state.infinite = std::strstr(rest, "infinite") != nullptr;
    if (search_state.infinite) {
        search_state.increment = 0;
        search_state.node_limit = 0;
        search_state.depth_limit = MAX_SEARCH_PLY;
        search_state.time_mode = TIME_MODE_FIXED;
        search_state.move_time = 1e7;
    }
    // No clock of the side to move and no other limit: the search runs
    // until "stop" or its deepest iteration, never on an old clock.
    if (search_state.time_mode != TIME_MODE_FIXED && !clock_given) {
        search_state.time_mode = TIME_MODE_FIXED;
        search_state.move_time = 1e7;
    }
    search_state.search_command = std::strstr(rest, "ponder") ? SEARCH_PONDER : SEARCH_THINK;
    engine_config.ready = 1;
}

void new_game()
{
    engine_config.ready = 0;
    search_state.stop = STOP_ABORT;
    wait_for_search_threads();
    search_state.time_mode = TIME_MODE_CLOCK;
    search_state.increment = 0;
    search_state.move_time = 60;
    search_state.clocks[WHITE] = search_state.clocks[BLACK] = 60;
    game_record->undo_count = 0;
    game_record->dropped_plies = 0;
    if (search_state.use_table != TABLE_OFF) clear_hash_table();
    engine_config.ready = 1;
}

}  // namespace

void remember_start_up_limits()
{
    start_up_depth_limit = search_state.depth_limit;
    start_up_node_limit = search_state.node_limit;
}

void stop_search_for_report()
{
    // Nothing runs: no report may follow. The benchmark's searches run with
    // the search state SEARCH_NONE (they are never reported); "stop" still ends them.
    if (search_state.search_state == SEARCH_NONE && !main_search_thread_busy()) return;
    search_state.search_state = SEARCH_THINK;
    search_state.infinite = 0;
    search_state.report_on_stop = 0;
    search_state.stop = STOP_NORMAL;
    wait_for_main_search_thread();
    engine_config.ready = 1;
}

void run_uci_command(char* line)
{
    if (!line[0] || line[0] == '\n' || line[0] == '\r') return;
    if (engine_config.log) send_format("CMD: %s", line);
    char command[INPUT_TOKEN_SIZE];
    std::snprintf(command, sizeof command, "%s", next_input_token(line));
    char* rest = line;
    while (*rest == ' ') rest++;
    rest += std::strlen(command);
    if (*rest) rest++;

    if (std::strcmp(command, "uci") == 0) {
        engine_config.protocol = PROTOCOL_UCI;
        send_identification();
    } else if (std::strcmp(command, "isready") == 0) {
        while (!engine_config.ready) sleep_ms(1);
        send_line("readyok");
    } else if (std::strcmp(command, "setoption") == 0) {
        engine_config.ready = 0;
        char name[OPTION_TEXT_SIZE], value[OPTION_VALUE_SIZE];
        const bool has_value = parse_setoption(rest, name, value);
        set_uci_option(name, has_value ? value : nullptr);
        engine_config.ready = 1;
    } else if (std::strcmp(command, "ucinewgame") == 0) {
        new_game();
    } else if (std::strcmp(command, "position") == 0) {
        set_game_position(rest);
    } else if (std::strcmp(command, "go") == 0) {
        store_go_limits(rest);
    } else if (std::strcmp(command, "ponderhit") == 0) {
        if (search_state.search_state == SEARCH_PONDER) search_state.search_state = SEARCH_THINK;
    } else if (std::strcmp(command, "stop") == 0) {
        stop_search_for_report();
    } else if (std::strcmp(command, "quit") == 0) {
        search_state.stop = STOP_ABORT;
        engine_config.quit = 1;
    }
}
