#include "tools/game_files.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fen.h"
#include "log.h"
#include "makemove.h"
#include "movetext.h"
#include "records.h"
#include "threads.h"
#include "tools/book.h"
#include "tools/textline.h"
#include "tools/toolsupport.h"
#include "trace.h"
#include "tt.h"

namespace {

constexpr int LOAD_MOVE_TEXT = 32;
constexpr int SAVE_MOVES_PER_LINE = 11;

bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The game a selector word picks (0: none found).
int selected_game(std::FILE* file, const char* selector)
{
    if (!selector || !selector[0]) return 1;
    if (selector[0] >= '0' && selector[0] <= '9') {
        long n = std::strtol(selector, nullptr, 10);
        return n >= 1 && n <= 1000 ? int(n) : 1;
    }
    std::string line;
    int game = 0;
    while (read_text_line(file, line)) {
        if (line.find("[Event ") != std::string::npos) game++;
        if (line.find(selector) != std::string::npos) return game;
    }
    return 0;
}

// Plays the moves of one line of the selected game; false after a word
// that is not a move (or a move the game record has no room for).
bool play_line_moves(std::string& line, int& comment_depth)
{
    std::string text;
    for (char c : line) {
        if (c == '{') comment_depth++;
        else if (c == '}') comment_depth = comment_depth > 0 ? comment_depth - 1 : 0;
        else if (comment_depth == 0) text += c;
    }
    std::size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t' || text[at] == '\r')) at++;
        std::size_t end = at;
        while (end < text.size() && text[end] != ' ' && text[end] != '\t' && text[end] != '\r') end++;
        std::string word = text.substr(at, end - at);
        at = end;
        std::size_t first = 0;
        while (first < word.size() && !is_letter(word[first])) first++;
        if (first == word.size()) continue;
        std::string move_text = word.substr(first, LOAD_MOVE_TEXT);
        Move move;
        if (!parse_move_text(move_text.c_str(), move) || play_game_move(move) != GAME_MOVE_PLAYED) {
            std::string message = "can't parse move '" + printable_text(move_text.c_str()) + "'";
            send_line(message.c_str());
            return false;
        }
    }
    return true;
}

// A game's own start from its "[FEN "..."]" tag; false, with a message,
// when the tag holds no playable position.
bool start_from_fen_tag(const std::string& line)
{
    const std::size_t start = line.find('"');
    const std::size_t end = start == std::string::npos ? start : line.find('"', start + 1);
    const std::string fen = end == std::string::npos ? "" : line.substr(start + 1, end - start - 1);
    const char* reason = "";
    if (set_position_from_fen(game_record->pos, fen.c_str(), &reason)) return true;
    send_line(("invalid FEN tag: " + printable_text(reason)).c_str());
    return false;
}

} // namespace

void run_load_command(const char* path, const char* selector)
{
    std::string message = std::string("loading ") + path + ", tag " + (selector ? selector : "") + "\n";
    send_line(message.c_str());
    // With the trace on, the moves played from the file may write the trace file.
    if (input_is_an_output("PGN file", path, {search_trace_output()})) return;
    // A missing file sets only the clocks; a device or a FIFO is refused aloud.
    std::FILE* file = open_tool_input("PGN file", path, false);
    if (file) {
        // Back to where the text starts for the second pass: past a
        // byte-order mark, which the opening skipped.
        const long text_start = std::ftell(file);
        abort_search_and_wait();
        Position& pos = game_record->pos;
        set_position_from_fen(pos, START_FEN);
        int wanted = selected_game(file, selector);
        std::clearerr(file);
        std::fseek(file, text_start, SEEK_SET);
        std::string line;
        int game = 0, comment_depth = 0;
        while (wanted > 0 && read_text_line(file, line)) {
            if (line.find("[Event ") != std::string::npos && ++game > wanted) break;
            if (game != wanted) continue;
            if (line.rfind("[FEN ", 0) == 0) {
                if (!start_from_fen_tag(line)) break;
                continue;
            }
            if (line[0] == '[') continue;
            if (!play_line_moves(line, comment_depth)) break;
        }
        std::fclose(file);
        if (game_record->undo_count < UNDO_STACK_SIZE) game_record->undo[game_record->undo_count].move = 0;
        print_board_diagram(pos);
    }
    search_state.clocks[0] = search_state.clocks[1] = search_state.move_time;
}

void run_save_command()
{
    std::FILE* file = std::fopen("tmp.pgn", "a");
    if (!file) return;
    abort_search_and_wait();
    ThreadData* game = game_record;
    std::vector<Move> moves;
    for (int i = 0; i < game->undo_count; i++) moves.push_back(game->undo[i].move);
    while (take_back_game_move()) {
    }
    std::fprintf(file, "[Event \"Unknown\"]\n");
    // A game that did not start from the initial position carries its start,
    // so that it can be replayed.
    char fen[128];
    position_to_fen(game->pos, fen);
    if (std::strcmp(fen, START_FEN) != 0)
        std::fprintf(file, "[SetUp \"1\"]\n[FEN \"%s %d 1\"]\n", fen, game->pos.halfmove_clock);
    int written = 0;
    for (Move move : moves) {
        char coordinate[MOVE_TEXT_SIZE], form1[MOVE_TEXT_SIZE], form2[MOVE_TEXT_SIZE], form3[MOVE_TEXT_SIZE];
        move_to_algebraic_forms(game->pos, move, coordinate, form1, form2, form3);
        if (play_game_move(move) != GAME_MOVE_PLAYED) break;
        // Castling in the letters PGN readers expect ("O-O", not "o-o").
        std::fprintf(file, "%s ", form1[0] == 'o' ? form2 : form1);
        if (++written % SAVE_MOVES_PER_LINE == 0) std::fprintf(file, "\n");
    }
    std::fprintf(file, "\n\n");
    if (std::fclose(file) != 0) send_line("could not write tmp.pgn");
}

void run_get_command(const char* id)
{
    abort_search_and_wait();
    std::string found;
    if (std::FILE* file = open_tool_input("EPD file", "test.epd", false)) {
        std::string wanted = std::string("id \"") + (id ? id : "") + "\"";
        std::string line;
        while (read_text_line(file, line)) {
            if (line.empty() || line[0] == ' ' || line[0] == ';') continue;
            if (line.find(wanted) != std::string::npos) {
                found = line;
                break;
            }
        }
        std::fclose(file);
    }
    send_line(found.c_str());
    if (found.size() > 8) {
        const char* reason = "";
        if (!set_position_from_fen(game_record->pos, found.c_str(), &reason)) {
            std::string message = std::string("invalid position: ") + reason;
            send_line(message.c_str());
        }
    }
    print_board_diagram(game_record->pos);
    clear_hash_table();
}

void run_book_command()
{
    choose_book_move(game_record->pos, 1);
    send_line("");
}
