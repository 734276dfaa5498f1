// Test helper: builds a position from the piece-placement field of a FEN
// (rank 8 first), filling the board, the sets, the square lists, the material
// keys and the piece units. Keys are left 0; castling none, no en passant.
#pragma once

#include <cstring>

#include "bitboard.h"
#include "types.h"

inline int test_piece_code(char c)
{
    const char* names = " PNBRQK  pnbrqk";
    const char* p = std::strchr(names, c);
    return (p && c != ' ') ? int(p - names) : 0;
}

inline void put_test_piece(Position& pos, int code, int sq)
{
    int colour = piece_colour_of(code), type = piece_type_of(code);
    pos.board[sq] = u8(code);
    pos.pieces[colour][0] |= square_bit(sq);
    pos.pieces[colour][type] |= square_bit(sq);
    u8* list = pos.lists[colour][type];
    int i = 0;
    while (list[i] != NO_SQUARE) i++;
    list[i] = u8(sq);
    list[i + 1] = NO_SQUARE;
    pos.material_key[colour] += material_key_step[type];
    pos.piece_units[colour] += u16(piece_unit_value[type]);
}

inline void set_test_position(Position& pos, const char* placement, int side)
{
    ThreadData* owner = pos.owner;
    std::memset(static_cast<void*>(&pos), 0, sizeof(pos));
    pos.owner = owner;
    for (int c = 0; c < 2; c++)
        for (int t = 0; t < 8; t++) pos.lists[c][t][0] = NO_SQUARE;
    int rank = 7, file = 0;
    for (const char* p = placement; *p && *p != ' '; p++) {
        if (*p == '/') {
            rank--;
            file = 0;
        } else if (*p >= '1' && *p <= '8') {
            file += *p - '0';
        } else {
            put_test_piece(pos, test_piece_code(*p), rank * 8 + file);
            file++;
        }
    }
    pos.side = u8(side);
    pos.ep_square = NO_SQUARE;
}

// Square index from its name, e.g. sq("e4").
constexpr int sq(const char* name) { return (name[1] - '1') * 8 + (name[0] - 'a'); }
