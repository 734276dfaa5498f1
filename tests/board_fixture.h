// Shared set-up for the board tests: tables, keys, the game record and one
// thread record whose position the tests play on, or a fresh record for
// each test at a search ply of the suite's choice; squares and moves named
// by their coordinate texts.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bitboard.h"
#include "fen.h"
#include "movegen.h"
#include "records.h"
#include "zobrist.h"

// The square of a name such as "e4".
constexpr int square(const char* name) { return (name[0] - 'a') + 8 * (name[1] - '1'); }

// The move of a coordinate text such as "e2e4" or "e7e8q".
inline Move move_of(const char* text)
{
    Move m = make_move(square(text), square(text + 2));
    switch (text[4]) {
    case 'q': m |= PROMO_QUEEN; break;
    case 'n': m |= PROMO_KNIGHT; break;
    case 'b': m |= PROMO_BISHOP; break;
    case 'r': m |= PROMO_ROOK; break;
    default: break;
    }
    return m;
}

// The coordinate text of a move.
inline std::string text_of(Move m)
{
    const char* from = square_name[move_from(m)];
    const char* to = square_name[move_to(m)];
    std::string s = std::string(from) + to;
    if (m & PROMO_QUEEN) s += "q";
    else if (m & PROMO_KNIGHT) s += "n";
    else if (m & PROMO_BISHOP) s += "b";
    else if (m & PROMO_ROOK) s += "r";
    return s;
}

struct BoardTest : ::testing::Test {
    static inline ThreadData* td = nullptr;

    static void SetUpTestSuite()
    {
        init_board_tables();
        generate_zobrist_keys();
        if (!game_record) setup_game_record();
        if (!td) {
            td = allocate_thread_data();
            reset_thread_links(td);
        }
    }

    void SetUp() override { engine_config.protocol = PROTOCOL_UCI; }

    static Position& pos() { return td->pos; }

    // Sets td's position; the test fails when the FEN is refused.
    static void set(const char* fen)
    {
        const char* reason = "";
        ASSERT_EQ(set_position_from_fen(td->pos, fen, &reason), 1) << fen << ": " << reason;
        td->search_ply = 1;
        reset_thread_links(td);
    }

    static void set_game(const char* fen)
    {
        ASSERT_EQ(set_position_from_fen(game_record->pos, fen), 1) << fen;
        reset_thread_links(game_record);
    }

    // The pseudo-legal moves of generate_all_moves, as coordinate texts.
    static std::vector<std::string> generated_texts(ThreadData* t)
    {
        generate_all_moves(t->pos);
        std::vector<std::string> out;
        for (const MoveEntry* e = t->ply[t->search_ply].list_start; e->move != MOVE_LIST_END; e++)
            out.push_back(text_of(e->move));
        return out;
    }
};

// A fresh thread record for each test, searching at ply `Ply`, whose move
// list starts `ListStart` entries into the move stack (the entries of the
// earlier plies lie before it).
template <int Ply, int ListStart>
struct PlyRecordTest : ::testing::Test {
    static constexpr int kPly = Ply;
    ThreadData* td = nullptr;
    Position* pos = nullptr;

    static void SetUpTestSuite()
    {
        init_board_tables();
        generate_zobrist_keys();
    }

    void SetUp() override
    {
        td = allocate_thread_data();
        ASSERT_NE(td, nullptr);
        reset_thread_links(td);
        pos = &td->pos;
        td->search_ply = Ply;
        td->ply[Ply].list_start = &td->move_stack[ListStart];
    }
    void TearDown() override { delete td; }

    PlyRecord& ply() { return td->ply[Ply]; }

    // Sets the position at the search ply; the test fails when the FEN is refused.
    void setup(const char* fen)
    {
        const char* reason = "";
        ASSERT_EQ(set_position_from_fen(*pos, fen, &reason), 1) << fen << ": " << reason;
        td->search_ply = Ply;
    }
};
