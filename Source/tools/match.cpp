#include "tools/match.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bitboard.h"
#include "config.h"
#include "draw.h"
#include "fen.h"
#include "log.h"
#include "makemove.h"
#include "movegen.h"
#include "pruning.h"
#include "records.h"
#include "driver.h"
#include "platform.h"
#include "report.h"
#include "threads.h"
#include "timecontrol.h"
#include "tools/book.h"
#include "tools/toolsupport.h"
#include "tt.h"

namespace {

constexpr int MATE_LINE = 1100;
constexpr int BOOK_PLIES = 12;

enum GameResult { GAME_GOES_ON, GAME_DRAWN, GAME_WHITE_WINS, GAME_BLACK_WINS };

struct MatchPly {
    char text[8];  // origin, destination and a promotion letter
    i16 score;     // the mover's view
    u8 depth;
};

// Full coordinate text, independent of the protocol mode: e2e4, e7e8q.
void match_move_text(Move move, char* out)
{
    std::snprintf(out, 8, "%s%s", square_name[move_from(move)], square_name[move_to(move)]);
    if (int type = promotion_type(move)) {
        const char letters[] = "  nbrq";
        std::size_t n = std::strlen(out);
        out[n] = letters[type];
        out[n + 1] = 0;
    }
}

const char* result_tag(int result)
{
    return result == GAME_WHITE_WINS ? "1-0" : result == GAME_BLACK_WINS ? "0-1" : "1/2-1/2";
}

bool write_game(std::FILE* pgn, int n, int colour_flag, int result, const MatchPly* plies, int count)
{
    const char* white = colour_flag ? "Player2" : "Player1";
    const char* black = colour_flag ? "Player1" : "Player2";
    std::fprintf(pgn, "[Event selfplay]\n[Game %d]\n[White \"%s\"]\n[Black \"%s\"]\n[Result \"%s\"]\n", n, white,
                 black, result_tag(result));
    for (int i = 0; i < count; i++) {
        if (i % 2) std::fprintf(pgn, "   ");
        std::fprintf(pgn, "%s {%0.2f/%d}", plies[i].text, plies[i].score / 100.0, plies[i].depth);
        if (i % 2) std::fprintf(pgn, "\n");
    }
    std::fprintf(pgn, "\n\n");
    return std::fflush(pgn) == 0 && !std::ferror(pgn);
}

} // namespace

void use_match_player(const MatchPlayer& player, bool changed)
{
    params = player.params;
    engine_config.builtin_pst = player.builtin_pst;
    init_evaluation_tables();
    init_pruning_tables();
    if (changed) clear_evaluation_caches();
}

bool load_match_players(MatchPlayer& player1, MatchPlayer& player2)
{
    const u8 startup_builtin = engine_config.builtin_pst;
    player1.params = saved_params;
    player2.params = saved_params;
    player1.builtin_pst = player2.builtin_pst = startup_builtin;
    // Only a file that cannot be read stops the match; one without complete
    // piece-square blocks plays on the built-in shapes (the reader says so).
    const RegularFile probe = open_regular_file("test1.rc", "r");
    if (probe.status == REGULAR_FILE_NOT_REGULAR) send_line("test1.rc is not a regular file");
    if (!probe.file) return false;
    std::fclose(probe.file);
    read_config_file("test1.rc", player1.params);
    // The reader sets the engine's flag; it belongs to Player1's set only.
    player1.builtin_pst = engine_config.builtin_pst;
    engine_config.builtin_pst = startup_builtin;
    return true;
}

int run_selfplay_match(bool (*poll)()) { return play_selfplay_match(MATCH_GAMES, poll); }

int play_selfplay_match(int max_games, bool (*poll)())
{
    // The games must not be written over a file the match plays from, nor
    // into the log that its running score goes to.
    const char* const output = engine_config.match_file;
    if (output_is_the_log("game file", output) || input_is_an_output("settings file", "test1.rc", {output}) ||
        input_is_an_output("settings file", "vant.rc", {output}) ||
        input_is_an_output("book", engine_config.book_file, {output}))
        return 1;
    auto* players = new MatchPlayer[2];
    MatchPlayer& player1 = players[0];
    MatchPlayer& player2 = players[1];
    if (!load_match_players(player1, player2)) {
        send_line("Can't open file test1.rc\n");
        delete[] players;
        return 1;
    }

    std::FILE* pgn = std::fopen(engine_config.match_file, "w");
    if (!pgn) {
        std::printf("can't open %s\n", engine_config.match_file);
        delete[] players;
        return 1;
    }

    search_state.time_mode = TIME_MODE_FIXED;
    search_state.move_time = 1.0;
    search_state.clocks[0] = search_state.clocks[1] = 1.0;
    search_state.book_variety = 70;
    engine_config.output_delay = OUTPUT_DELAY_QUIET;
    search_state.node_limit = u64(std::rand() % 11 + 95) * 750;
    send_line("Starting match...");

    auto* plies = new MatchPly[MAX_GAME_PLY + 1];
    int wins1 = 0, wins2 = 0, draws = 0, code = 0;
    ThreadData* game = game_record;
    Position& pos = game->pos;
    const MatchPlayer* in_use = nullptr;
    for (int n = 1; n <= max_games; n++) {
        set_position_from_fen(pos, START_FEN);
        const int colour_flag = std::rand() & 1;
        if (search_state.depth_limit > 9 && search_state.node_limit > 100000 && search_state.move_time > 0.1)
            clear_hash_table();
        else
            search_state.use_table = TABLE_OFF;

        int result = GAME_GOES_ON;
        int count = 0;
        while (result == GAME_GOES_ON) {
            const MatchPlayer& mover = colour_flag != pos.side ? player2 : player1;
            use_match_player(mover, &mover != in_use);
            in_use = &mover;
            search_state.search_command = SEARCH_THINK;
            start_search_clock();

            if (game->undo_count < BOOK_PLIES) {
                choose_book_move(pos, 0);
                search_state.best_score = 0;
            }
            bool searched_or_settled = search_state.best_line[1] != 0;
            // A fifty-move draw or a third occurrence ends the game.
            if (position_is_drawn(pos, DRAW_MODE_TWO_REPEATS)) {
                search_state.best_line[1] = 0;
                search_state.best_score = 0;
                searched_or_settled = true;
            }
            if (!searched_or_settled) {
                wake_search_threads();
                serve_input_until_search_ends(poll);
            }
            search_state.search_command = SEARCH_NONE;
            search_state.search_state = SEARCH_NONE;
            if (engine_config.quit) {
                const bool closed = close_tool_output(pgn, engine_config.match_file);
                delete[] plies;
                delete[] players;
                return closed ? 0 : 1;
            }

            sum_thread_counters();
            const int s = search_state.best_score;
            const Move m = search_state.best_line[1];
            const int mover_side = pos.side;
            if (s < -MATE_LINE) result = mover_side == BLACK ? GAME_WHITE_WINS : GAME_BLACK_WINS;
            else if (s > MATE_LINE) result = mover_side == WHITE ? GAME_WHITE_WINS : GAME_BLACK_WINS;
            else if (pos.halfmove_clock >= FIFTY_MOVE_PLIES || m == NULL_MOVE) result = GAME_DRAWN;

            // The deciding move is recorded too; "no move" is not a move.
            if (m != NULL_MOVE && count <= MAX_GAME_PLY) {
                MatchPly& ply = plies[count++];
                match_move_text(m, ply.text);
                ply.score = i16(s);
                ply.depth = u8(search_state.best_depth);
            }
            // A game as long as the record of its moves is scored a draw.
            if (result == GAME_GOES_ON && game_ply() >= MAX_GAME_PLY) result = GAME_DRAWN;
            if (result == GAME_GOES_ON && play_game_move(m) != GAME_MOVE_PLAYED) result = GAME_DRAWN;
        }

        if (result == GAME_WHITE_WINS) (colour_flag ? wins2 : wins1)++;
        else if (result == GAME_BLACK_WINS) (colour_flag ? wins1 : wins2)++;
        else draws++;

        // The running score counts the games the file holds whole.
        if (!write_game(pgn, n, colour_flag, result, plies, count)) {
            code = 1;
            break;
        }
        const double score = (wins1 + 0.5 * draws) / n;
        const double margin = 1.5 * std::sqrt(n + 10.0) / (n + 1);
        const char mark = n > 200 && (score > 0.5 + margin || score < 0.5 - margin) ? '*' : ' ';
        char line[128];
        std::snprintf(line, sizeof line, "%4d games,  %3d %3d %3d  %0.3f (+/- %0.3f) %c", n, wins1, wins2, draws,
                      score, margin, mark);
        std::printf("%s\n", line);
        std::fflush(stdout);
        log_line(line);
    }
    // A failed write is reported here, once.
    if (!close_tool_output(pgn, engine_config.match_file)) code = 1;
    delete[] plies;
    delete[] players;
    return code;
}
