// Game text: the lines of a PGN game file as the PGN scan, the book builder
// and the console's "load" all read them. A line is a tag line, movetext or
// nothing to read; a game is its tag lines and the movetext after them. The
// movetext comes apart into the moves of the game and the comments on them,
// with variations "( ... )" (nested or not), ";" comments to the end of the
// line, "$N" annotations, move numbers and results left out.
#pragma once

#include <string>
#include <string_view>

#include "types.h"

// Characters kept of a move token: more than any move text has, so that a
// token cut here still reads as no move.
constexpr int GAME_TEXT_TOKEN_SIZE = 33;

// Where a game starts: the text of its "[FEN "..."]" tag (with or without
// "[SetUp "1"]"), or the standard start position without one.
struct GameStart {
    bool has_fen = false;
    std::string fen;
};

enum GameLineKind {
    GAME_LINE_NONE,      // an empty line, or a "%" escape line
    GAME_LINE_TAG,       // "[" not followed by "%"
    GAME_LINE_MOVETEXT,  // anything else: read it with next_game_text_piece
};

enum GameTextPiece {
    GAME_TEXT_END,            // the line is read
    GAME_TEXT_MOVE,           // a move token of the game (not yet checked)
    GAME_TEXT_COMMENT_OPEN,   // a comment on the game's moves opens
    GAME_TEXT_COMMENT_TEXT,   // some of its text (the line end reads as a blank)
    GAME_TEXT_COMMENT_CLOSE,  // it closes
};

// The reader of one game file. Fields other than the flags and the start are
// its own.
struct GameText {
    // Set by read_game_line: the line is the first tag line of a game, or the
    // first movetext line of a game (all its tags are read by then).
    bool starts_game = false;
    bool starts_moves = false;
    GameStart start;  // of the game being read

    int section = 0;          // tags or movetext last read
    int comment_depth = 0;    // open "{"
    int variation_depth = 0;  // open "("
    std::string_view line;    // the movetext line being read
    std::size_t at = 0;
    bool line_end_read = false;
    char token[GAME_TEXT_TOKEN_SIZE] = {};
};

// Reads the next line of the file (its line feed already gone; a carriage
// return before it is dropped). The first tag line after movetext (or the
// first of the file) begins a new game: the start and the open comments and
// variations are forgotten. A "[FEN" tag line sets the start. Movetext is
// then read piece by piece; the line must stay alive meanwhile.
GameLineKind read_game_line(GameText& text, std::string_view line);

// The next piece of the movetext line. A move token comes back in the
// reader's own buffer, NUL-terminated: the part of the token from its first
// letter (or from a "0-0" castling), without control or non-ASCII bytes.
// Comment pieces come only for comments on the game's moves, not for those
// inside a variation.
GameTextPiece next_game_text_piece(GameText& text, std::string_view& piece);

// The text between the first two double quotes of a tag line ("": none).
std::string tag_value(std::string_view line);

// Sets the position to the game's start; false, with the reason, when the
// FEN tag holds no playable position (the position is then left as it was).
bool set_game_start(Position& pos, const GameStart& start, const char** reason = nullptr);

// The side to move at the start (WHITE or BLACK) and the number of its first
// move (the FEN's move number, 1 without one), read from the tag's text.
int game_start_side(const GameStart& start);
int game_start_move_number(const GameStart& start);
