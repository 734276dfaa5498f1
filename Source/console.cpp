#include "console.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bitboard.h"
#include "fen.h"
#include "input.h"
#include "log.h"
#include "makemove.h"
#include "movetext.h"
#include "params.h"
#include "pruning.h"
#include "pvtable.h"
#include "records.h"
#include "see.h"
#include "threads.h"
#include "tokenizer.h"
#include "tools/book.h"
#include "tools/bookbuild.h"
#include "tools/dumps.h"
#include "tools/game_files.h"
#include "tools/perft.h"
#include "tools/toolsupport.h"
#include "tools/tune.h"
#include "tt.h"
#include "zobrist.h"

i32 self_play = 0;

namespace {

constexpr double ANALYSIS_MOVE_TIME = 99999.0;
constexpr int REDUCTION_ROWS_SHOWN = 50;

// The line the last search found, and the full key of the position it
// starts from.
struct KnownLine {
    u64 key = 0;
    u16 line[MAX_PLY] = {};
};
KnownLine known_line;

struct ConsoleWords {
    char word[LINE_WORDS][LINE_WORD_SIZE];
};

// Aborts a running search; its report follows from the main loop.
void abort_search()
{
    if (search_state.search_state != SEARCH_NONE || search_state.search_command != SEARCH_NONE)
        search_state.stop = STOP_ABORT;
}

// The game position, or the evaluation breakdown in debug mode.
void show_board()
{
    if (engine_config.debug) print_eval_breakdown();
    else print_board_diagram(game_record->pos);
}

void set_both_clocks(double seconds) { search_state.clocks[WHITE] = search_state.clocks[BLACK] = seconds; }

void new_game()
{
    abort_search_and_wait();
    set_position_from_fen(game_record->pos, START_FEN);
    print_board_diagram(game_record->pos);
    set_both_clocks(search_state.move_time);
}

void set_fen(const char* line)
{
    abort_search_and_wait();
    const char* fen = std::strlen(line) > 4 ? line + 4 : "";
    const char* reason = "";
    if (!set_position_from_fen(game_record->pos, fen, &reason))
        send_format("FEN rejected (%s), position unchanged", reason);
    print_board_diagram(game_record->pos);
}

// "mv", "self", "go"/"an": the main loop starts the search.
void request_search(int command)
{
    abort_search();
    search_state.infinite = 0;
    search_state.search_command = u8(command);
}

void start_analysis(const char* depth_word)
{
    int depth = read_clamped_number(depth_word, INT_MIN, INT_MAX);
    search_state.depth_limit = u8(depth >= 1 && depth < MAX_SEARCH_PLY ? depth : MAX_SEARCH_PLY);
    search_state.time_mode = TIME_MODE_FIXED;
    search_state.move_time = ANALYSIS_MOVE_TIME;
    if (search_state.use_table < TABLE_KEPT) {
        abort_search_and_wait();
        clear_hash_table();
    }
    request_search(SEARCH_ANALYSE);
}

// "level MOVES TIME INC": TIME in seconds, or minutes:seconds.
void set_level(const ConsoleWords& w)
{
    int moves = read_clamped_number(w.word[1], 0, 255);
    double time;
    if (const char* colon = std::strchr(w.word[2], ':')) time = std::atof(w.word[2]) * 60 + std::atof(colon + 1);
    else time = std::atof(w.word[2]);
    double increment = std::atof(w.word[3]);
    if (!(time >= 0)) time = 0;
    if (!(increment >= 0)) increment = 0;
    search_state.time_mode = u8(moves);  // 0 is TIME_MODE_CLOCK, 1 TIME_MODE_FIXED
    search_state.move_time = time;
    search_state.increment = increment;
    set_both_clocks(time);
    send_format("set level to %d moves in %0.2f seconds, inc %0.2f", moves, time, increment);
}

// "set NAME VALUE": the search's selectivity knobs.
void set_knob(const char* name, const char* value_word)
{
    struct Knob {
        const char* name;
        i16* field;
    };
    const Knob knobs[] = {
        {"NMP_depth", &params.NMP_depth}, {"SEP_depth", &params.SEP_depth},
        {"FP_depth", &params.FP_depth},   {"LMP_depth", &params.LMP_depth},
        {"LMR_depth", &params.LMR_depth}, {"LMR_strength", &params.LMR_strength},
    };
    bool known = false;
    for (const Knob& knob : knobs) {
        if (std::strcmp(name, knob.name) == 0) {
            *knob.field = i16(read_clamped_number(value_word, -32768, 32767));
            send_format("%s set to %d", knob.name, *knob.field);
            known = true;
        }
    }
    if (known) {
    } else if (std::strcmp(name, "ss_off") == 0) {
        params.SEP_depth = 0;
        params.NMP_depth = 99;
        params.LMP_depth = 0;
        params.LMR_depth = 99;
        send_line("selectivity set to OFF");
    } else if (std::strcmp(name, "target_nps") == 0) {
        search_state.target_rate = std::atof(value_word);
        params.UCI_LimitStrength = 1;
        send_format("target_nps set to %.0f", search_state.target_rate.load());
    } else {
        restore_params();
        send_line("selectivity set to default");
    }
    init_pruning_tables();
}

void print_reduction_table(const u8 table[REDUCTION_DEPTHS][REDUCTION_MOVES])
{
    for (int depth = 1; depth <= REDUCTION_ROWS_SHOWN; depth++) {
        std::printf("%2d  ", depth);
        for (int moves = 0; moves < REDUCTION_MOVES; moves++) std::printf("%d ", table[depth][moves]);
        std::printf("\n");
    }
}

void print_pruning_knobs()
{
    std::printf("FP_depth= %d\n", FP_depth);
    std::printf("FP_margin= %d\n", FP_margin);
    std::printf("SEP_depth= %d\n", SEP_depth);
    std::printf("SEP_margin= %d\n", SEP_margin);
    std::printf("NMP_depth= %d\n", NMP_depth);
    std::printf("LMP_depth= %d\n", LMP_depth);
    std::printf("LMP_count= %d\n", LMP_count);
    std::printf("LMR_depth= %d\n", LMR_depth);
    std::printf("LMR table:\n");
    print_reduction_table(reduction_pv);
    std::printf("\n\n");
    print_reduction_table(reduction_non_pv);
    std::fflush(stdout);
}

// "swap": the exchange value of every piece for the side that could take it.
void print_exchange_values()
{
    Position pos = game_record->pos;
    for (int sq = 0; sq < 64; sq++) {
        int code = pos.board[sq];
        if (!code) continue;
        int value = exchange_value_on_square(pos, piece_colour_of(code) ^ 1, NO_SQUARE, sq);
        if (value) std::printf("sq= %s, swap= %d\n", square_name[sq], value);
    }
    std::fflush(stdout);
}

// "pv": the principal variation from the game position, walked on a copy of
// the game so that the game's own move records stay untouched.
void print_table_line()
{
    static ThreadData* scratch = nullptr;
    if (!scratch) scratch = allocate_thread_data();
    if (!scratch) {
        send_line("Not enough memory!");
        return;
    }
    const ThreadData* game = game_record;
    scratch->pos = game->pos;
    reset_thread_links(scratch);
    std::memcpy(scratch->undo, game->undo, sizeof(UndoRecord) * game->undo_count);
    scratch->undo_count = game->undo_count;
    scratch->search_ply = 1;
    scratch->last_move = game->last_move;
    Position& pos = scratch->pos;

    // The root of a search stores no table entry: where the game stands on
    // a searched position the walk starts from the line that search found
    // (each move checked for legality), then goes on in the table.
    u16 line[MAX_PLY] = {};
    if (known_line.key == full_key(pos)) std::memcpy(line, known_line.line, sizeof line);
    extend_pv_from_hash_top(pos, 1, line);
    std::string text;
    int played = 0;
    for (int p = 1; p <= MAX_SEARCH_PLY && line[p]; p++) {
        char coordinate[MOVE_TEXT_SIZE], form1[MOVE_TEXT_SIZE], form2[MOVE_TEXT_SIZE], form3[MOVE_TEXT_SIZE];
        move_to_algebraic_forms(pos, line[p], coordinate, form1, form2, form3);
        if (played) text += ' ';
        text += form1;
        play_move(pos, line[p]);
        played++;
    }
    std::printf("PV: %s\n\n", text.c_str());
    std::fflush(stdout);
    print_board_diagram(pos);
    while (played-- > 0) take_back_move(pos);
}

void take_back_one()
{
    abort_search_and_wait();
    if (game_record->undo_count > 0) take_back_game_move();
    show_board();
}

// "]": plays the recorded move after the current one again.
void replay_one()
{
    abort_search_and_wait();
    ThreadData* game = game_record;
    if (game->undo_count >= UNDO_STACK_SIZE) return;
    Move move = game->undo[game->undo_count].move;
    if (move == 0) return;
    char text[MOVE_TEXT_SIZE];
    if (!is_legal_move(game->pos, move)) {
        // Not a move of this game any more: forget it.
        game->undo[game->undo_count].move = 0;
        send_format("recorded move %s does not follow, cleared", move_text_or_null(move, text));
        return;
    }
    send_format("%d%s move %s", game_ply() / 2 + 1, game->pos.side == WHITE ? "." : "...",
                move_text_or_null(move, text));
    int result = play_game_move(move);
    if (result != GAME_MOVE_PLAYED) {
        send_line(game_move_refusal_text(result));
        return;
    }
    show_board();
}

// "jump N": back to the start of the game, then forward through the recorded
// moves to ply N or the last recorded move.
void jump_to(int ply)
{
    abort_search_and_wait();
    ThreadData* game = game_record;
    while (take_back_game_move()) {
    }
    while (game->undo_count < ply && game->undo_count < UNDO_STACK_SIZE) {
        Move move = game->undo[game->undo_count].move;
        if (move == 0) break;
        if (!is_legal_move(game->pos, move)) {
            game->undo[game->undo_count].move = 0;
            break;
        }
        if (play_game_move(move) != GAME_MOVE_PLAYED) break;
    }
    print_board_diagram(game->pos);
}

// A word that names a legal move of the game position is played.
void try_typed_move(const char* word)
{
    Move move;
    if (!word[0]) return;
    if (!parse_move_text(word, move)) {
        send_format("'%.32s' is neither a command nor a legal move here", printable_text(word).c_str());
        return;
    }
    abort_search_and_wait();
    send_format("%d. move %s", game_ply() / 2 + 1, word);
    int result = play_new_game_move(move);
    if (result != GAME_MOVE_PLAYED) send_line(game_move_refusal_text(result));
    show_board();
}

// ---- board editor ----

// Reads one line of at most EDITOR_LINE_SIZE - 1 characters (the rest of a
// longer line is skipped), without its line end. False at the end of input.
bool read_editor_line(std::FILE* in, char* line)
{
    char chunk[256];
    if (!std::fgets(chunk, sizeof chunk, in)) return false;
    std::size_t length = std::strlen(chunk);
    bool complete = length > 0 && chunk[length - 1] == '\n';
    while (!complete) {
        char rest[256];
        if (!std::fgets(rest, sizeof rest, in)) break;
        std::size_t n = std::strlen(rest);
        complete = n > 0 && rest[n - 1] == '\n';
    }
    std::size_t kept = std::strcspn(chunk, "\r\n");
    if (kept > EDITOR_LINE_SIZE - 1) kept = EDITOR_LINE_SIZE - 1;
    std::memcpy(line, chunk, kept);
    line[kept] = 0;
    return true;
}

void clear_board(Position& pos)
{
    std::memset(pos.board, 0, sizeof pos.board);
    std::memset(pos.pieces, 0, sizeof pos.pieces);
    for (auto& colour : pos.lists)
        for (auto& list : colour) list[0] = NO_SQUARE;
    pos.material_key[WHITE] = pos.material_key[BLACK] = 0;
    pos.piece_units[WHITE] = pos.piece_units[BLACK] = 0;
    pos.halfmove_clock = 0;
    pos.castling = 15;
    pos.ep_square = NO_SQUARE;
}

int piece_type_of_letter(char letter)
{
    switch (letter) {
    case 'p': case 'P': return PAWN;
    case 'n': case 'N': return KNIGHT;
    case 'b': case 'B': return BISHOP;
    case 'r': case 'R': return ROOK;
    case 'q': case 'Q': return QUEEN;
    case 'k': case 'K': return KING;
    default: return 0;
    }
}

// One editor line: "w" or "b", then pieces with their squares ("Ke1"), as
// many as the line holds.
void edit_line(Position& pos, const char* text)
{
    char word[EDITOR_LINE_SIZE];
    auto next_word = [&text, &word]() {
        while (*text == ' ' || *text == '\t') text++;
        int n = 0;
        while (*text && *text != ' ' && *text != '\t') word[n++] = *text++;
        word[n] = 0;
        return n > 0;
    };
    if (!next_word()) return;
    int colour;
    if (std::strcmp(word, "w") == 0) colour = WHITE;
    else if (std::strcmp(word, "b") == 0) colour = BLACK;
    else return;
    pos.side = u8(colour);
    while (next_word()) {
        if (std::strlen(word) < 3 || word[1] < 'a' || word[1] > 'h' || word[2] < '1' || word[2] > '8') {
            send_format("bad square in '%s', rest of the line ignored", word);
            return;
        }
        int sq = (word[1] - 'a') + 8 * (word[2] - '1');
        if (pos.board[sq]) take_piece_off_square(pos, sq);
        int type = piece_type_of_letter(word[0]);
        if (type && !put_piece_on_square(pos, sq, piece_code(type, colour)))
            send_format("too many pieces of that kind, '%s' not placed", word);
    }
}

// Castling rights whose king and rook are not at home are dropped.
void drop_impossible_castling(Position& pos)
{
    const int wk = piece_code(KING, WHITE), wr = piece_code(ROOK, WHITE);
    const int bk = piece_code(KING, BLACK), br = piece_code(ROOK, BLACK);
    const u8* b = pos.board;
    if (!(b[4] == wk && b[7] == wr)) pos.castling &= u8(~1);
    if (!(b[4] == wk && b[0] == wr)) pos.castling &= u8(~2);
    if (!(b[60] == bk && b[63] == br)) pos.castling &= u8(~4);
    if (!(b[60] == bk && b[56] == br)) pos.castling &= u8(~8);
}

}  // namespace

void remember_searched_line(u64 key, const u16* line, int from_ply)
{
    known_line = KnownLine{};
    known_line.key = key;
    // Plies up to MAX_SEARCH_PLY only: the walk never goes deeper.
    for (int p = 1; p <= MAX_SEARCH_PLY && from_ply + p - 1 < MAX_PLY; p++) {
        const u16 move = line[from_ply + p - 1];
        if (move == 0) break;
        known_line.line[p] = move;
    }
}

int play_new_game_move(Move move)
{
    int result = play_game_move(move);
    if (result == GAME_MOVE_PLAYED && game_record->undo_count < UNDO_STACK_SIZE)
        game_record->undo[game_record->undo_count].move = 0;
    return result;
}

void run_board_editor(std::FILE* in)
{
    send_line("\n\n");
    send_line(".                    end edit");
    send_line("#                    clear board");
    send_line("w  Pa2 Pb2 Kc2       white, pieces");
    send_line("b  Pa7 Pb7 Kc7       black, pieces");
    // The board is built on a copy: the game position changes only when the
    // result is a playable position.
    Position edited = game_record->pos;
    char line[EDITOR_LINE_SIZE];
    while (read_editor_line(in, line)) {
        if (!line[0]) continue;
        if (std::strcmp(line, ".") == 0) break;
        const char* text = line;
        if (line[0] == '#') {
            clear_board(edited);
            text++;
        }
        edit_line(edited, text);
    }
    drop_impossible_castling(edited);
    // Setting the game from the edited board's FEN computes the keys afresh,
    // empties the game history and refuses what the engine cannot play.
    char fen[128];
    position_to_fen(edited, fen);
    const char* reason = "";
    if (!set_position_from_fen(game_record->pos, fen, &reason))
        send_format("position refused (%s), previous position kept", reason);
    print_board_diagram(game_record->pos);
}

void run_console_command(char* line)
{
    ConsoleWords w;
    const unsigned cut_words = split_words(line, w.word);
    const char* command = w.word[0];
    const char* arg1 = w.word[1];
    const char* arg2 = w.word[2];
    auto is = [command](const char* name) { return std::strcmp(command, name) == 0; };

    if (is("new")) {
        new_game();
    } else if (is("fen")) {
        set_fen(line);
    } else if (is("quit")) {
        engine_config.quit = 1;
        search_state.stop = STOP_ABORT;
    } else if (is("mv")) {
        request_search(SEARCH_THINK);
    } else if (is("go") || is("an")) {
        start_analysis(arg1);
    } else if (is(".")) {
        // Also the way out of self-play, which would otherwise go on.
        self_play = 0;
        search_state.stop = STOP_ABORT;
    } else if (is("bd")) {
        show_board();
    } else if (is("level")) {
        set_level(w);
    } else if (is("depth")) {
        search_state.depth_limit = u8(i8(read_clamped_number(arg1, -128, MAX_SEARCH_PLY)));
    } else if (is("ponder")) {
        search_state.ponder = u16(read_clamped_number(arg1, 0, 65535));
    } else if (is("self")) {
        self_play = 1;
        search_state.ponder = 0;
        request_search(SEARCH_THINK);
    } else if (is("get")) {
        run_get_command(arg1);
    } else if (is("noise")) {
        engine_config.output_delay = std::atof(arg1);
    } else if (is("hash")) {
        search_state.use_table = u8(read_clamped_number(arg1, 0, 255));
    } else if (is("tag")) {
        engine_config.trace_tag = game_record->pos.key;
    } else if (is("ev")) {
        print_eval_breakdown();
    } else if (is("sp")) {
        print_eval_params();
    } else if (is("pv")) {
        print_table_line();
    } else if (is("trace")) {
        engine_config.trace_depth = u16(read_clamped_number(arg1, 0, 65535));
    } else if (is("lmr")) {
        print_pruning_knobs();
    } else if (is("debug")) {
        engine_config.debug = u16(read_clamped_number(arg1, 0, 65535));
    } else if (std::strstr(command, "multipv")) {
        search_state.multipv = u16(read_clamped_number(arg1, 1, MAX_MULTIPV));
    } else if (is("undo") || is("[")) {
        take_back_one();
    } else if (is("]")) {
        replay_one();
    } else if (is("load")) {
        // A cut name could name another file, a cut word another game.
        if (cut_words & 0b110) {
            send_format("load: %s longer than %d characters, not loaded",
                        cut_words & 0b010 ? "file name" : "game word", LINE_WORD_SIZE - 1);
        } else {
            run_load_command(arg1, arg2);
        }
    } else if (is("save")) {
        run_save_command();
    } else if (is("jump")) {
        jump_to(read_clamped_number(arg1, INT_MIN, INT_MAX));
    } else if (is("edit")) {
        abort_search_and_wait();
        run_board_editor(stdin);
    } else if (is("book")) {
        abort_search_and_wait();
        run_book_command();
    } else if (is("mkbook")) {
        abort_search_and_wait();
        run_mkbook_command();
    } else if (is("set")) {
        set_knob(arg1, arg2);
    } else if (is("tune")) {
        run_tune_command(arg1, arg2, poll_for_quit);
    } else if (is("perft")) {
        run_perft_command(read_clamped_number(arg1, INT_MIN, INT_MAX), [] { return !quit_is_waiting(); });
    } else if (is("swap")) {
        print_exchange_values();
    } else if (is("move")) {
        try_typed_move(arg1);
    } else {
        try_typed_move(command);
    }
}
