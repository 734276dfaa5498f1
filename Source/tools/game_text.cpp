#include "tools/game_text.h"

#include <cstring>

#include "fen.h"
#include "tokenizer.h"

namespace {

enum Section { SECTION_NONE, SECTION_TAGS, SECTION_MOVES };

// A move number is not worth more: it only labels the annotated game.
constexpr long LARGEST_MOVE_NUMBER = 99999;

bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Characters that end a move token: blanks and the signs of the game text.
bool ends_token(char c) { return is_blank(c) || std::strchr("{}();$", c) != nullptr; }

bool is_tag_line(std::string_view line) { return line.size() >= 1 && line[0] == '[' && line.substr(1, 1) != "%"; }

// The n-th blank-separated field of a text (from 0), or "".
std::string_view text_field(std::string_view text, int n)
{
    std::size_t at = 0;
    for (int i = 0;; i++) {
        while (at < text.size() && is_blank(text[at])) at++;
        std::size_t end = at;
        while (end < text.size() && !is_blank(text[end])) end++;
        if (i == n || at == end) return text.substr(at, end - at);
        at = end;
    }
}

// Copies a move token into the reader's buffer: control and non-ASCII
// bytes dropped, then everything before its first letter (or its "0-0")
// left out. False when the token holds neither: a move number, a result.
bool take_move_token(GameText& text, std::string_view token)
{
    char kept[GAME_TEXT_TOKEN_SIZE];
    std::size_t n = 0;
    for (char c : token)
        if (c > ' ' && c < 127 && n < sizeof kept - 1) kept[n++] = c;
    kept[n] = 0;
    const char* start = kept;
    while (*start && !is_letter(*start) && std::strncmp(start, "0-0", 3) != 0) start++;
    if (!*start) return false;
    std::strcpy(text.token, start);
    return true;
}

}  // namespace

std::string tag_value(std::string_view line)
{
    const std::size_t open = line.find('"');
    if (open == std::string_view::npos) return "";
    const std::size_t close = line.find('"', open + 1);
    if (close == std::string_view::npos) return "";
    return std::string(line.substr(open + 1, close - open - 1));
}

GameLineKind read_game_line(GameText& text, std::string_view line)
{
    text.starts_game = text.starts_moves = false;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    text.line = {};
    text.at = 0;
    text.line_end_read = true;
    if (is_tag_line(line)) {
        // Also inside a comment left open: a game that breaks off does not
        // swallow the next one.
        if (text.section != SECTION_TAGS) {
            text.starts_game = true;
            text.start = GameStart{};
            text.comment_depth = text.variation_depth = 0;
        }
        text.section = SECTION_TAGS;
        if (line.substr(0, 5) == "[FEN ") {
            text.start.has_fen = true;
            text.start.fen = tag_value(line);
        }
        return GAME_LINE_TAG;
    }
    if (line.empty() || (line[0] == '%' && text.comment_depth == 0)) return GAME_LINE_NONE;
    text.starts_moves = text.section != SECTION_MOVES;
    text.section = SECTION_MOVES;
    text.line = line;
    text.line_end_read = false;
    return GAME_LINE_MOVETEXT;
}

GameTextPiece next_game_text_piece(GameText& text, std::string_view& piece)
{
    const std::string_view line = text.line;
    for (;;) {
        if (text.at >= line.size()) {
            if (text.line_end_read) return GAME_TEXT_END;
            text.line_end_read = true;
            // A comment that goes on past the line end reads it as a blank.
            if (text.comment_depth == 0 || text.variation_depth > 0) return GAME_TEXT_END;
            piece = " ";
            return GAME_TEXT_COMMENT_TEXT;
        }
        const char c = line[text.at];
        const bool main_line = text.variation_depth == 0;
        if (text.comment_depth > 0) {
            if (c == '{' || c == '}') {
                text.at++;
                if (c == '{') text.comment_depth++;
                else if (--text.comment_depth == 0 && main_line) return GAME_TEXT_COMMENT_CLOSE;
                continue;
            }
            std::size_t end = line.find_first_of("{}", text.at);
            if (end == std::string_view::npos) end = line.size();
            piece = line.substr(text.at, end - text.at);
            text.at = end;
            if (main_line) return GAME_TEXT_COMMENT_TEXT;
            continue;
        }
        if (is_blank(c) || c == '}') {  // a stray closing brace opens nothing
            text.at++;
            continue;
        }
        if (c == '{') {
            text.at++;
            text.comment_depth = 1;
            if (main_line) return GAME_TEXT_COMMENT_OPEN;
            continue;
        }
        if (c == '(' || c == ')') {
            text.at++;
            if (c == '(') text.variation_depth++;
            else if (text.variation_depth > 0) text.variation_depth--;
            continue;
        }
        if (c == ';') {
            text.at = line.size();
            continue;
        }
        // A token: a "$N" annotation or a move, with what is glued to it.
        const std::size_t start = text.at++;
        while (text.at < line.size() && !ends_token(line[text.at])) text.at++;
        if (c == '$' || !main_line) continue;
        if (!take_move_token(text, line.substr(start, text.at - start))) continue;
        piece = text.token;
        return GAME_TEXT_MOVE;
    }
}

bool set_game_start(Position& pos, const GameStart& start, const char** reason)
{
    return set_position_from_fen(pos, start.has_fen ? start.fen.c_str() : START_FEN, reason);
}

int game_start_side(const GameStart& start)
{
    return start.has_fen && text_field(start.fen, 1) == "b" ? BLACK : WHITE;
}

int game_start_move_number(const GameStart& start)
{
    if (!start.has_fen) return 1;
    const std::string number(text_field(start.fen, 5));
    long value;
    if (!read_whole_number(number.c_str(), &value) || value < 1) return 1;
    return int(value < LARGEST_MOVE_NUMBER ? value : LARGEST_MOVE_NUMBER);
}
