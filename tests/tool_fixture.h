// Shared set-up for the development-tool tests: the board tables, keys and
// game record, and a fresh working directory per test (the tools read and
// write fixed file names in the working directory); with the started engine
// for the console and the tools that search.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bitboard.h"
#include "fen.h"
#include "params.h"
#include "records.h"
#include "search_setup.h"
#include "test_files.h"
#include "zobrist.h"

inline std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> out;
    std::stringstream s(text);
    std::string line;
    while (std::getline(s, line)) out.push_back(line);
    return out;
}

struct ToolTest : ::testing::Test {
    std::string dir;
    std::filesystem::path old_dir;

    static void SetUpTestSuite()
    {
        init_board_tables();
        generate_zobrist_keys();
        if (!game_record) setup_game_record();
    }

    void SetUp() override
    {
        engine_config.log = 0;
        engine_config.protocol = PROTOCOL_UCI;
        engine_config.quit = 0;
        old_dir = std::filesystem::current_path();
        dir = fresh_test_dir("vant_tools");
        std::filesystem::current_path(dir);
        set_position_from_fen(game_record->pos, START_FEN);
    }

    void TearDown() override
    {
        std::filesystem::current_path(old_dir);
        std::filesystem::remove_all(dir);
    }

    // Captures what the code under test prints on standard output.
    void capture() { ::testing::internal::CaptureStdout(); }
    std::string captured() { return ::testing::internal::GetCapturedStdout(); }
};

// A tool test on the started engine with one live search thread: the
// console and the tools that borrow thread 0's record.
struct EngineToolTest : ToolTest {
    static void SetUpTestSuite()
    {
        ToolTest::SetUpTestSuite();
        search_setup::init_engine_with_one_thread();
    }
    void SetUp() override
    {
        ToolTest::SetUp();
        search_setup::init_engine_once();
    }
};

#include "makemove.h"
#include "movegen.h"
#include "movetext.h"

// A legal game of `plies` moves from the start position, the same on every
// call: at ply i the move number (i * 7 + salt) modulo the legal move count
// in generation order. Returns the moves in short algebraic notation (fewer
// when the game ends early); the game record is left at the start position.
inline std::vector<std::string> scripted_game(int plies, int salt = 3)
{
    std::vector<std::string> moves;
    Position& pos = game_record->pos;
    set_position_from_fen(pos, START_FEN);
    for (int i = 0; i < plies; i++) {
        generate_all_moves(pos);
        std::vector<Move> legal;
        for (const MoveEntry* e = game_record->ply[game_record->search_ply].list_start; e->move != MOVE_LIST_END; e++)
            if (e->move && king_safe_after_move(pos, pos.side, e->move)) legal.push_back(e->move);
        if (legal.empty()) break;
        Move m = legal[size_t(i * 7 + salt) % legal.size()];
        char coordinate[MOVE_TEXT_SIZE], form1[MOVE_TEXT_SIZE], form2[MOVE_TEXT_SIZE], form3[MOVE_TEXT_SIZE];
        move_to_algebraic_forms(pos, m, coordinate, form1, form2, form3);
        moves.push_back(form1);
        play_game_move(m);
    }
    set_position_from_fen(pos, START_FEN);
    return moves;
}

// The PGN text of a game from the start position: the Event tag, the tag
// lines of `more_tags`, the Result tag and a blank line, then the numbered
// moves, each followed by a space and its text of `after_move` (a comment,
// a line end, anything or nothing), and the result.
inline std::string pgn_game_text(const std::string& event, const std::string& result,
                                 const std::vector<std::string>& moves, const std::vector<std::string>& after_move,
                                 const std::string& more_tags = "")
{
    std::string text = "[Event \"" + event + "\"]\n" + more_tags + "[Result \"" + result + "\"]\n\n";
    for (size_t i = 0; i < moves.size(); i++) {
        if (i % 2 == 0) text += std::to_string(i / 2 + 1) + ". ";
        text += moves[i] + " " + (i < after_move.size() ? after_move[i] : "");
    }
    return text + result + "\n\n";
}

// The FEN of the position after the first `plies` moves of a move list
// (played from `start`).
inline std::string fen_after(const std::vector<std::string>& moves, int plies, const char* start = START_FEN)
{
    Position& pos = game_record->pos;
    set_position_from_fen(pos, start);
    for (int i = 0; i < plies; i++) {
        Move m;
        if (!parse_move_text(moves[size_t(i)].c_str(), m)) break;
        play_game_move(m);
    }
    char fen[128];
    position_to_fen(pos, fen);
    set_position_from_fen(pos, START_FEN);
    return fen;
}

// Makes `path` a link to /dev/full, on which every write fails as on a full
// disk. False where the system has no such device (the test then skips).
inline bool link_to_full_device(const std::string& path)
{
    std::error_code error;
    if (!std::filesystem::exists("/dev/full", error)) return false;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    std::filesystem::remove(path, error);
    std::filesystem::create_symlink("/dev/full", path, error);
    return !error;
}
