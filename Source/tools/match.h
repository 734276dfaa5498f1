// Self-play match ("-match"): the engine plays itself, Player1 with the
// parameters of "test1.rc" read over the start-up set, Player2 with the
// start-up set, under a node limit; every finished game goes to the PGN file
// and a running score with its error margin is printed after each game.
#pragma once

#include "params.h"

// One side's parameters together with the piece-square source they need:
// the built-in shapes (flag 1) or the record's own blocks (flag 0).
struct MatchPlayer {
    ParamRecord params;
    u8 builtin_pst;
};

constexpr int MATCH_GAMES = 8000;

// Plays the match into the file named by EngineConfig's match file name;
// `poll` (see toolsupport.h) runs while each search runs. Each game is
// written before its running score is printed. Returns 0, or 1 when
// "test1.rc" or the PGN file could not be opened, the PGN file is the open
// log, or it could not be written (after saying so).
int run_selfplay_match(bool (*poll)() = nullptr);
// The same, ending after `max_games` games.
int play_selfplay_match(int max_games, bool (*poll)() = nullptr);

// Player1: the start-up parameters with "test1.rc" read over them; Player2:
// the start-up parameters. Each keeps its own piece-square source. Returns false
// when "test1.rc" cannot be opened or is not a regular file.
bool load_match_players(MatchPlayer& player1, MatchPlayer& player2);

// Makes the player's parameters the live ones (tables rebuilt; evaluation
// caches emptied when `changed`).
void use_match_player(const MatchPlayer& player, bool changed);
