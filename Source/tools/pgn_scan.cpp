#include "tools/pgn_scan.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bitboard.h"
#include "fen.h"
#include "makemove.h"
#include "movetext.h"
#include "records.h"
#include "score.h"
#include "tokenizer.h"
#include "tools/textline.h"
#include "tools/toolsupport.h"

namespace {

bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

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

// Scanner state of the file being read.
struct ScanState {
    ScanMoveEntry entries[SCAN_MAX_PLIES];
    int count = 0;
    int result = 2;
    int depth = 0;
    // The comment text after the last move: its first SCAN_COMMENT_SIZE
    // characters, and after them the newest ones, so that a value is found
    // both at the start of a long annotation and in a comment after it.
    std::string comment;
    std::string comment_tail;   // characters past the first part
    bool tail_cut = false;      // older characters of the tail were dropped
    int games = 0;
    int positions = 0;
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
    scan_pgn_game(out, second, s.entries, s.count, mode, s.result, written);
    s.positions += written;
    clear_comment(s);
    s.depth = 0;
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
        std::size_t open = line.find('"');
        std::size_t close = open == std::string::npos ? open : line.find('"', open + 1);
        std::string value = open == std::string::npos ? std::string()
                            : line.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
        s.result = value == "1-0" ? 0 : value == "0-1" ? 1 : 2;
    }
    s.count = 0;
}

void read_move_text_line(ScanState& s, const std::string& line)
{
    const char* p = line.c_str();
    while (*p) {
        char c = *p;
        if (c == '{') {
            // Comments after one move are read as one text, each set apart
            // by a blank so that a value never runs into the text before it.
            if (s.depth++ == 0 && !s.comment.empty()) add_comment_character(s, ' ');
            p++;
            continue;
        }
        if (c == '}') {
            if (s.depth > 0 && --s.depth == 0 && s.count > 0) {
                bool white_move = (s.count - 1) % 2 == 0;
                s.entries[s.count - 1].eval = scan_comment_value(comment_text(s).c_str(), white_move);
            }
            p++;
            continue;
        }
        if (s.depth > 0) {
            add_comment_character(s, c);
            p++;
            continue;
        }
        if (!is_letter(c)) {
            p++;
            continue;
        }
        // A move token runs to the next blank (or an opening brace glued to
        // it, or the carriage return of a CR-LF line end).
        const char* start = p;
        while (*p && *p != ' ' && *p != '\t' && *p != '\r' && *p != '{') p++;
        if (s.count < SCAN_MAX_PLIES) {
            ScanMoveEntry& e = s.entries[s.count++];
            // A token too long for any move text is kept as an unreadable
            // stump rather than cut into something that might read as a move.
            std::size_t n = std::size_t(p - start);
            if (n >= SCAN_MOVE_TEXT_SIZE) n = 0;
            copy_bounded(e.text, sizeof e.text, start, n);
            e.eval = SCAN_EVAL_NONE;
        }
        clear_comment(s);
    }
    // A comment that goes on past the line end reads the line end as a blank.
    if (s.depth > 0) add_comment_character(s, ' ');
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

void scan_pgn_game(std::FILE* out, std::FILE* second, const ScanMoveEntry* entries, int count, int mode,
                   int result, int& positions)
{
    positions = 0;
    Position& pos = game_record->pos;
    set_position_from_fen(pos, START_FEN);
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
            if (i % 2 == 0) std::snprintf(prefix, sizeof prefix, "%3d. ", i / 2 + 1);
            else std::snprintf(prefix, sizeof prefix, "     ");
            value[0] = 0;
            if (e > -MATE) std::snprintf(value, sizeof value, "%6.2f", (i % 2 == 0 ? e : -e) / 100.0);
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
    std::string line;
    TextFile input;
    input.file = in;
    input.poll = poll;
    while (read_text_line(input, line)) {
        if (line.size() >= 1 && line[0] == '[' && (line.size() < 2 || line[1] != '%')) {
            read_tag_line(*s, line, out, second, mode);
            continue;
        }
        if (line.empty()) continue;
        read_move_text_line(*s, line);
    }
    // After "quit" the game being read may be cut short: it is left out.
    if (!input.stopped) write_pending_game(*s, out, second, mode);
    std::fputc('\n', out);
    std::fclose(in);
    std::fclose(out);
    std::fclose(second);
    std::printf("games= %d, positions= %d\n", s->games, s->positions);
    delete s;
    return 0;
}
