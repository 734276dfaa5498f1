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
#include "tools/game_text.h"
#include "tools/textline.h"
#include "tools/toolsupport.h"
#include "trace.h"
#include "tt.h"

namespace {

constexpr int SAVE_MOVES_PER_LINE = 11;

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

// Plays the moves of a movetext line of the selected game; false after a
// word that is not a move (or a move the game record has no room for).
bool play_line_moves(GameText& text)
{
    std::string_view piece;
    for (GameTextPiece kind; (kind = next_game_text_piece(text, piece)) != GAME_TEXT_END;) {
        if (kind != GAME_TEXT_MOVE) continue;
        Move move;
        if (!parse_move_text(piece.data(), move) || play_game_move(move) != GAME_MOVE_PLAYED) {
            std::string message = "can't parse move '" + printable_text(piece.data()) + "'";
            send_line(message.c_str());
            return false;
        }
    }
    return true;
}

// Sets up the game's own start from its FEN tag; false, with a message,
// when the tag holds no playable position.
bool set_loaded_game_start(const GameStart& start)
{
    const char* reason = "";
    if (set_game_start(game_record->pos, start, &reason)) return true;
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
    // A file that cannot be read sets only the clocks, and says so.
    std::FILE* file = nullptr;
    if (!path[0]) send_line("load needs a file name");
    else file = open_tool_input("PGN file", path);
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
        GameText text;
        int game = 0;
        bool started = false;  // the game's start is set up
        while (wanted > 0 && read_text_line(file, line)) {
            if (line.find("[Event ") != std::string::npos && ++game > wanted) break;
            if (game != wanted || read_game_line(text, line) != GAME_LINE_MOVETEXT) continue;
            // The start is known once the tags are read.
            if (!started) {
                started = true;
                if (!set_loaded_game_start(text.start)) break;
            }
            if (!play_line_moves(text)) break;
        }
        // A game of tags alone is its start position.
        if (wanted > 0 && !started) set_loaded_game_start(text.start);
        std::fclose(file);
        if (game_record->undo_count < UNDO_STACK_SIZE) game_record->undo[game_record->undo_count].move = 0;
        print_board_diagram(pos);
    }
    search_state.clocks[0] = search_state.clocks[1] = search_state.move_time;
}

void run_save_command()
{
    std::FILE* file = std::fopen("tmp.pgn", "a");
    if (!file) {
        report_unopened_file("game file", "tmp.pgn");
        return;
    }
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
    close_tool_output(file, "tmp.pgn");
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
