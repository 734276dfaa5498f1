#include "tools/pgn_scan.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bitboard.h"
#include "fen.h"
#include "log.h"
#include "makemove.h"
#include "movetext.h"
#include "records.h"
#include "score.h"
#include "tokenizer.h"
#include "tools/game_text.h"
#include "tools/textline.h"
#include "tools/toolsupport.h"

namespace {

// Evaluation values are 16-bit; anything beyond is held at the edge (and
// the negative edge already reads as "no evaluation").
i16 clamp_eval(double v)
{
    if (!(v > -32767.0)) return -32767;  // also NaN
    if (v > 32767.0) return 32767;
    return i16(v);
}

bool side_in_check(const Position& pos)
{
    int king = king_square(pos, pos.side);
    return king < 64 && is_square_attacked_by(pos, king, pos.side ^ 1);
}

const char* result_text(int result)
{
    return result == 0 ? "1-0" : result == 1 ? "0-1" : "1/2-1/2";
}

// A ply's evaluation: values below -9999 are the marks for none.
bool has_evaluation(int e) { return e > -MATE; }

// Scanner state of the file being read.
struct ScanState {
    ScanMoveEntry entries[SCAN_MAX_PLIES];
    int count = 0;
    int result = 2;
    GameStart start;          // of the game whose moves are pending
    // The comment text after the last move: its first SCAN_COMMENT_SIZE
    // characters, and after them the newest ones, so that a value is found
    // both at the start of a long annotation and in a comment after it.
    std::string comment;
    std::string comment_tail;   // characters past the first part
    bool tail_cut = false;      // older characters of the tail were dropped
    int games = 0;
    int positions = 0;
    int skipped = 0;  // games whose FEN tag holds no playable position
};

void clear_comment(ScanState& s)
{
    s.comment.clear();
    s.comment_tail.clear();
    s.tail_cut = false;
}

void add_comment_character(ScanState& s, char c)
{
    if (s.comment.size() < SCAN_COMMENT_SIZE) {
        s.comment.push_back(c);
        return;
    }
    s.comment_tail.push_back(c);
    // Trimmed in halves so that a long annotation costs no more than a
    // constant per character.
    if (s.comment_tail.size() >= 2 * SCAN_COMMENT_SIZE) {
        s.comment_tail.erase(0, s.comment_tail.size() - SCAN_COMMENT_SIZE);
        s.tail_cut = true;
    }
}

// The text a value is read from: the first part, then the newest characters
// (set apart by a blank where characters between them were dropped).
std::string comment_text(const ScanState& s)
{
    if (s.comment_tail.size() <= SCAN_COMMENT_SIZE && !s.tail_cut) return s.comment + s.comment_tail;
    return s.comment + ' ' + s.comment_tail.substr(s.comment_tail.size() - SCAN_COMMENT_SIZE);
}

void write_pending_game(ScanState& s, std::FILE* out, std::FILE* second, int mode)
{
    if (s.count == 0) return;
    int written = 0;
    if (!scan_pgn_game(out, second, s.entries, s.count, mode, s.result, written, s.start)) s.skipped++;
    s.positions += written;
    clear_comment(s);
}

void read_tag_line(ScanState& s, const std::string& line, std::FILE* out, std::FILE* second, int mode)
{
    write_pending_game(s, out, second, mode);
    if (mode == 1) {
        std::fprintf(out, "%s\n", line.c_str());
        if (line.find("Round ") != std::string::npos) std::fprintf(out, "[Tag \"game_%d\"]\n", s.games);
    }
    if (line.find("Event ") != std::string::npos) {
        s.games++;
        if (s.games % 100 == 0) std::printf("game %d\n", s.games);
    }
    if (line.find("Result ") != std::string::npos) {
        const std::string value = tag_value(line);
        s.result = value == "1-0" ? 0 : value == "0-1" ? 1 : 2;
    }
    s.count = 0;
}

void read_move_text_line(ScanState& s, GameText& text)
{
    if (text.starts_moves) s.start = text.start;
    std::string_view piece;
    for (GameTextPiece kind; (kind = next_game_text_piece(text, piece)) != GAME_TEXT_END;) {
        if (kind == GAME_TEXT_COMMENT_OPEN) {
            // Comments after one move are read as one text, each set apart
            // by a blank so that a value never runs into the text before it.
            if (!s.comment.empty()) add_comment_character(s, ' ');
        } else if (kind == GAME_TEXT_COMMENT_TEXT) {
            for (char c : piece) add_comment_character(s, c);
        } else if (kind == GAME_TEXT_COMMENT_CLOSE) {
            if (s.count > 0) {
                const bool black_first = game_start_side(s.start) == BLACK;
                const bool white_move = ((s.count - 1) % 2 == 0) != black_first;
                s.entries[s.count - 1].eval = scan_comment_value(comment_text(s).c_str(), white_move);
            }
        } else {
            if (s.count < SCAN_MAX_PLIES) {
                ScanMoveEntry& e = s.entries[s.count++];
                // A token too long for any move text is kept as an unreadable
                // stump rather than cut into something that might read as a move.
                std::size_t n = piece.size();
                if (n >= SCAN_MOVE_TEXT_SIZE) n = 0;
                copy_bounded(e.text, sizeof e.text, piece.data(), n);
                e.eval = SCAN_EVAL_NONE;
            }
            clear_comment(s);
        }
    }
}

} // namespace

i16 scan_comment_value(const char* text, bool white_move)
{
    if (std::strstr(text, "book")) return 0;
    if (const char* eval = std::strstr(text, "eval ")) {
        // Blanks, a sign and digits; whatever follows them is ignored.
        const char* p = eval + 5;
        while (*p == ' ') p++;
        long v;
        if (!read_leading_number(p, &v)) return SCAN_EVAL_UNREADABLE;
        i16 value = clamp_eval(double(v));
        return white_move ? value : i16(-value);
    }
    if (const char* slash = std::strchr(text, '/')) {
        const char* start = slash;
        while (start > text && start[-1] != ' ') start--;
        std::string token(start, std::size_t(slash - start));
        if (token.find("-M") != std::string::npos) return -9000;
        if (token.find("+M") != std::string::npos) return 9000;
        return clamp_eval(std::trunc(std::atof(token.c_str()) * 100));
    }
    return SCAN_EVAL_UNREADABLE;
}

bool scan_pgn_game(std::FILE* out, std::FILE* second, const ScanMoveEntry* entries, int count, int mode,
                   int result, int& positions, const GameStart& start)
{
    positions = 0;
    Position& pos = game_record->pos;
    if (!set_game_start(pos, start)) return false;
    // Plies are told apart by the side that makes them, which need not be
    // white at the first ply of a game from a FEN.
    const int first_side = pos.side;
    const int first_number = game_start_move_number(start);
    char fen[128];
    bool previous_blunder = false;
    for (int i = 0; i < count; i++) {
        if (mode == 2 && (i >= count - 6 || i > 250)) break;
        const ScanMoveEntry& entry = entries[i];
        Move move;
        if (!parse_move_text(entry.text, move)) break;
        const int e = entry.eval;
        position_to_fen(pos, fen);

        if (mode == 1) {
            char prefix[16], value[512];
            const bool white_ply = pos.side == WHITE;
            if (white_ply) std::snprintf(prefix, sizeof prefix, "%3d. ", first_number + (i + first_side) / 2);
            else std::snprintf(prefix, sizeof prefix, "     ");
            value[0] = 0;
            if (has_evaluation(e)) std::snprintf(value, sizeof value, "%6.2f", (white_ply ? e : -e) / 100.0);
            std::size_t used = std::strlen(value);
            if (previous_blunder) {
                std::snprintf(value + used, sizeof value - used, " ! %s bm %s;", fen, entry.text);
                std::fprintf(second, "%s bm %s;\n", fen, entry.text);
            }
            previous_blunder = false;
            if (i > 12 && i < count - 10) {
                int p = entries[i - 1].eval;
                int t = std::abs(p) / 10 + 30;
                if (p >= -999 && p <= 249 && entries[i + 7].eval >= -999 && entries[i + 1].eval - p > t &&
                    entries[i + 3].eval - p > t && entries[i + 7].eval - p > std::abs(p) / 10 + 50) {
                    used = std::strlen(value);
                    std::snprintf(value + used, sizeof value - used, " ? %s am %s;", fen, entry.text);
                    previous_blunder = true;
                }
            }
            std::fprintf(out, "%s %-6s  {%s}\n", prefix, entry.text, value);
        } else if (!has_evaluation(e)) {
            // A ply without an evaluation has no training line.
        } else if (mode == 2) {
            if (i > 15 && std::abs(e) < 900 && !side_in_check(pos)) {
                std::fprintf(out, "%s bm %s; ce %d; c9 \"%s\";\n", fen, entry.text, e, result_text(result));
                positions++;
            }
        } else if (mode == 3) {
            if (i < 201 && !side_in_check(pos)) {
                std::fprintf(out, "%s bm %s; ce %d;\n", fen, entry.text, e);
                positions++;
            }
        } else if (mode == 4) {
            int pawns = count_bits(pos.pieces[WHITE][PAWN] | pos.pieces[BLACK][PAWN]);
            if (pos.piece_units[WHITE] == 5 && pos.piece_units[BLACK] == 5 && pawns == 1) {
                double value = result == 2 ? 0.5 : result == pos.side ? 1.0 : 0.0;
                std::fprintf(out, "%s bm %s; ce %d; tune %0.5f;\n", fen, entry.text, e, value);
                positions++;
            }
        }
        if (play_game_move(move) != GAME_MOVE_PLAYED) break;
        if (mode == 3 && std::abs(e) > 500) break;
    }
    if (mode == 1) std::fputc('\n', out);
    return true;
}

int scan_pgn_file(const char* path, int mode, bool (*poll)())
{
    if (mode < 1 || mode > 4 || !game_record) return 1;
    const char* out_name = mode == 1 ? "tmp.pgn" : "tmp.epd";
    const char* second_name = "tmpX.epd";
    if (input_is_an_output("PGN file", path, {out_name, second_name})) return 1;
    std::FILE* in = open_tool_input("PGN file", path);
    if (!in) return 1;
    std::FILE* out = std::fopen(out_name, "w");
    std::FILE* second = out ? std::fopen(second_name, "w") : nullptr;
    if (!out || !second) {
        report_unopened_file("output file", out ? second_name : out_name);
        if (out) std::fclose(out);
        std::fclose(in);
        return 1;
    }
    auto* s = new ScanState();
    GameText text;
    std::string line;
    TextFile input;
    input.file = in;
    input.poll = poll;
    // A write that fails ends the scan: its count would claim lines that
    // are not there whole.
    while (!std::ferror(out) && !std::ferror(second) && read_text_line(input, line)) {
        const GameLineKind kind = read_game_line(text, line);
        if (kind == GAME_LINE_TAG) read_tag_line(*s, line, out, second, mode);
        else if (kind == GAME_LINE_MOVETEXT) read_move_text_line(*s, text);
    }
    // After "quit" the game being read may be cut short: it is left out.
    if (!input.stopped) write_pending_game(*s, out, second, mode);
    std::fputc('\n', out);
    std::fclose(in);
    const bool out_written = close_tool_output(out, out_name);
    const bool second_written = close_tool_output(second, second_name);
    if (!out_written || !second_written) {
        delete s;
        return 1;
    }
    if (s->skipped > 0) std::printf("games skipped for an unreadable FEN tag: %d\n", s->skipped);
    std::printf("games= %d, positions= %d\n", s->games, s->positions);
    delete s;
    return 0;
}
