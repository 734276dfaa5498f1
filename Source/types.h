// Basic board types shared by the whole engine: squares, pieces, moves,
// move-list entries, undo records and the position itself.
#pragma once

#include <cstdint>

using u8 = uint8_t;
using u16 = uint16_t;
using u32 = uint32_t;
using u64 = uint64_t;
using i8 = int8_t;
using i16 = int16_t;
using i32 = int32_t;
using i64 = int64_t;

// Squares: a1 = 0 .. h8 = 63; 64 = no square (list end, no en-passant square).
constexpr int NO_SQUARE = 64;

// The square at a piece-list place, read as a whole register. clang would
// load the byte into the low part of a register that still holds an older
// value; the merge then makes each piece's work wait for the previous
// piece's last load.
inline int list_square(const u8* place)
{
    u32 sq = *place;
#if defined(__clang__)
    asm("" : "+r"(sq));
#endif
    return int(sq);
}

constexpr int WHITE = 0;
constexpr int BLACK = 1;

// Piece types and codes (code = type + 8 * colour, 0 = empty).
constexpr int PAWN = 1;
constexpr int KNIGHT = 2;
constexpr int BISHOP = 3;
constexpr int ROOK = 4;
constexpr int QUEEN = 5;
constexpr int KING = 6;

constexpr int piece_code(int type, int colour) { return type + 8 * colour; }
constexpr int piece_type_of(int code) { return code & 7; }
constexpr int piece_colour_of(int code) { return code >> 3; }
constexpr int file_of(int sq) { return sq & 7; }
constexpr int rank_of(int sq) { return sq >> 3; }

// Move: destination in bits 0-5, origin in bits 8-13, one promotion flag.
using Move = u16;
constexpr Move NULL_MOVE = 0;
constexpr Move MOVE_LIST_END = 0xFFFF;
constexpr Move PROMO_QUEEN = 0x40;
constexpr Move PROMO_KNIGHT = 0x80;
constexpr Move PROMO_BISHOP = 0x4000;
constexpr Move PROMO_ROOK = 0x8000;
constexpr Move PROMO_MASK = 0xC0C0;

constexpr int move_from(Move m) { return (m >> 8) & 63; }
constexpr int move_to(Move m) { return m & 63; }
constexpr Move make_move(int from, int to, Move flags = 0) { return Move((from << 8) | to | flags); }

// Piece type a promotion move creates (0 when not a promotion).
constexpr int promotion_type(Move m)
{
    if (m & PROMO_KNIGHT) return KNIGHT;
    if (m & PROMO_BISHOP) return BISHOP;
    if (m & PROMO_ROOK) return ROOK;
    if (m & PROMO_QUEEN) return QUEEN;
    return 0;
}

// One element of a move list.
struct MoveEntry {
    u16 move;
    i16 score;      // order score, written by the scorers
    u8 piece;       // moving piece code
    u8 captured;    // code on the destination when generated (0 for quiet, ep, pushes)
};

// One move played, pushed by play_move / play_null_move.
struct UndoRecord {
    u64 key;
    u64 pawn_key;
    u16 move;
    u8 captured_type;
    u8 mover_slot;      // the moving piece's place in its square list when played
    // The position's four state bytes in the Position's order, so that they
    // are saved and restored as one word.
    u8 side;
    u8 halfmove_clock;
    u8 castling;
    u8 ep_square;
};

struct ThreadData;

// Square lists hold up to ten pieces of one type and colour plus the end mark
// (two knights plus eight promotions is a legal position).
constexpr int SQUARE_LIST_CAPACITY = 10;

struct Position {
    ThreadData* owner;
    u8 board[64];
    u64 pieces[2][8];                          // [colour][0 all, 1..6 type, 7 unused]
    u8 lists[2][8][SQUARE_LIST_CAPACITY + 1];  // square lists ended by 64
    u64 key;                                   // pieces only
    u64 pawn_key;
    u32 material_key[2];                       // 4-bit counts P N B R Q
    u16 piece_units[2];                        // N 3, B 3, R 5, Q 10
    u8 side;
    u8 halfmove_clock;
    u8 castling;                               // 1 WK, 2 WQ, 4 BK, 8 BQ
    u8 ep_square;                              // 64 none
};

inline int king_square(const Position& pos, int colour) { return pos.lists[colour][KING][0]; }
inline u64 occupancy(const Position& pos) { return pos.pieces[0][0] | pos.pieces[1][0]; }

constexpr int MAX_PLY = 70;          // ply records per thread
// The deepest ply: a node there returns its static value unsearched, a line
// (principal variation, table walk) holds at most this many moves, and no
// depth limit goes beyond it.
constexpr int MAX_SEARCH_PLY = 66;
// The game's half-move clock stops here: above 100 plies every value means
// the same (the fifty-move rule may be claimed), and a search's plies on top
// must still fit the clock's byte.
constexpr int MAX_HALFMOVE_CLOCK = 150;
// The fifty-move rule: from this half-move clock on a draw may be claimed
// (when the side to move has a legal move; a mate still counts).
constexpr int FIFTY_MOVE_PLIES = 100;
constexpr int UNDO_STACK_SIZE = 800; // undo records per thread
constexpr int MOVE_STACK_SIZE = 5000;

// Node types of the search. A child searched with its parent's own window
// takes the negated type; only PV or not is ever read.
constexpr int NODE_PV = 0;       // a principal-variation node
constexpr int NODE_NON_PV = 1;   // a null-window child of a PV node

// Tablebase result codes, the win/draw/loss value of the side to move + 2:
// what the prober returns and the search keeps.
constexpr int TB_CODE_UNSURE = -2;       // the tables cannot tell at this clock: the search decides
constexpr int TB_CODE_NONE = -1;         // no result
constexpr int TB_CODE_LOSS = 0;
constexpr int TB_CODE_BLESSED_LOSS = 1;  // a loss the fifty-move rule saves
constexpr int TB_CODE_DRAW = 2;
constexpr int TB_CODE_CURSED_WIN = 3;    // a win the fifty-move rule spoils
constexpr int TB_CODE_WIN = 4;

// Whether a code is a result the tables settle (not "none" nor "unsure").
inline bool tb_code_settles(int code) { return code >= TB_CODE_LOSS; }

// The tablebase code (TB_CODE_*) of each legal root move for the side to
// move: what playing it keeps of the root's result (TB_CODE_UNSURE where
// the tables cannot tell it at the root's clock). Tablebase positions
// have far fewer legal moves than the room here.
constexpr int ROOT_MOVE_CODES_SIZE = 200;
struct RootMoveCodes {
    int count;
    Move move[ROOT_MOVE_CODES_SIZE];
    i8 code[ROOT_MOVE_CODES_SIZE];
};

// The code the list gives `move`, or TB_CODE_NONE when it does not list it.
inline int root_move_code(const RootMoveCodes& codes, Move move)
{
    for (int i = 0; i < codes.count; i++)
        if (codes.move[i] == move) return codes.code[i];
    return TB_CODE_NONE;
}

// The search's record of one ply.
struct PlyRecord {
    i16 node_type;        // NODE_PV, or non-zero otherwise
    u16 drawn;            // set by the evaluation for insufficient material
    i16 depth;
    i16 static_eval;
    i16 alpha;
    i16 beta;
    u16 extension;
    u16 reduction;
    u16 internal_deepening;
    u16 singular;
    u16 move_class;
    u16 threat[2];        // threat against white, black
    i16 moves_tried;
    i16 best_score;
    i32 tb_result;        // TB_CODE_*
    u16 best_move;
    u16 hash_move;
    u16 killer[3];        // [0] only after a null move, [1] newest, [2] older
    u16 evasion_move;
    u16 stage;            // picker stage
    i16 selected_score;   // picker: score and list place of the last selection
    u16 selected_place;
    MoveEntry* list_start;
    MoveEntry* current;
};
