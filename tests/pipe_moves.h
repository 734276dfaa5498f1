// Reading the engine's answers in pipe tests: the words of a line, and
// whether moves the engine named are legal from a position (played on the
// test process's own game record).
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "fen.h"
#include "makemove.h"
#include "movetext.h"
#include "records.h"

inline std::vector<std::string> words_of(const std::string& text)
{
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

// Plays `moves` from `fen` on the game record of the test process; returns
// false when one of them is not legal there.
inline bool play_from(const std::string& fen, const std::vector<std::string>& moves)
{
    if (!set_position_from_fen(game_record->pos, fen.c_str())) return false;
    for (const std::string& text : moves) {
        Move move;
        if (!parse_move_text(text.c_str(), move) || play_game_move(move) != GAME_MOVE_PLAYED) return false;
    }
    return true;
}
