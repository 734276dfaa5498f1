// The reader of game text shared by the PGN scan, the book builder and the
// console's "load": the moves and comments a movetext line comes apart into.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/game_text.h"

namespace {

// The pieces of a movetext line: a move as itself, a comment as "{text}".
std::vector<std::string> pieces_of(const std::string& line)
{
    GameText text;
    std::vector<std::string> out;
    EXPECT_EQ(read_game_line(text, line), GAME_LINE_MOVETEXT);
    std::string_view piece;
    for (GameTextPiece kind; (kind = next_game_text_piece(text, piece)) != GAME_TEXT_END;) {
        if (kind == GAME_TEXT_MOVE) out.emplace_back(piece);
        else if (kind == GAME_TEXT_COMMENT_OPEN) out.emplace_back("{");
        else out.back() += kind == GAME_TEXT_COMMENT_TEXT ? std::string(piece) : "}";
    }
    return out;
}

// Glued move numbers and brackets, control bytes inside a move, castling
// with zeros; a token too long for a move stays too long when it is cut.
TEST(GameText, MovesBracketsAndControlCharacters)
{
    const std::vector<std::string> expected = {"e4", "{x}", "Nf3", "O-O", "0-0-0"};
    EXPECT_EQ(pieces_of("12.e4 {x}(1...c5)  N\x01" "f3\x7f $2 13.O-O 0-0-0 1-0"), expected);
    const std::string long_token(1000, 'a');
    EXPECT_EQ(pieces_of(long_token), std::vector<std::string>{long_token.substr(0, GAME_TEXT_TOKEN_SIZE - 1)});
}

}  // namespace
