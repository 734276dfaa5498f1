#include "fen.h"

#include <cstdio>
#include <cstring>

#include "bitboard.h"
#include "log.h"
#include "makemove.h"
#include "records.h"
#include "tokenizer.h"

const char* const START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -";

namespace {

const char fen_letters[2][8] = {" PNBRQK", " pnbrqk"};

bool is_field_end(char c) { return c == 0 || is_blank(c); }

int piece_code_of_letter(char c)
{
    for (int colour = 0; colour < 2; colour++)
        for (int type = PAWN; type <= KING; type++)
            if (fen_letters[colour][type] == c) return piece_code(type, colour);
    return 0;
}

void clear_position(Position& pos, ThreadData* owner, u8 side)
{
    std::memset(&pos, 0, sizeof pos);
    pos.owner = owner;
    pos.side = side;
    for (int colour = 0; colour < 2; colour++)
        for (int type = 0; type < 8; type++) pos.lists[colour][type][0] = NO_SQUARE;
    pos.ep_square = NO_SQUARE;
}

// Reads the placement into `pos`; returns the reason for a rejection or null.
// From a8: a digit advances that many squares but never past the rank's
// h-file square; "/" goes to the a-file square of the rank below; a piece
// letter puts its piece and, like any other character (which puts nothing),
// advances one square unless on the h-file. So a rank that overruns stops at
// its h-file square, and a missing rank leaves the lowest ranks empty; the
// ranks of an extra "/" below the first rank take nothing, and a later letter
// on an occupied square replaces the piece.
const char* read_placement(Position& pos, const char*& p)
{
    u8 grid[64] = {};
    int rank = 7, file = 0;
    for (; !is_field_end(*p); p++) {
        char c = *p;
        if (c == '/') {
            if (rank >= 0) rank--;
            file = 0;
        } else if (c >= '0' && c <= '9') {
            file += c - '0';
            if (file > 7) file = 7;
        } else {
            int code = piece_code_of_letter(c);
            if (code != 0 && rank >= 0) grid[8 * rank + file] = u8(code);
            if (file < 7) file++;
        }
    }
    // Pieces join their lists in reading order, rank 8 first.
    for (int r = 7; r >= 0; r--)
        for (int f = 0; f < 8; f++)
            if (grid[8 * r + f] && !put_piece_on_square(pos, 8 * r + f, grid[8 * r + f]))
                return "too many pieces of one type";
    return nullptr;
}

// Rejects what the board code cannot hold or play on.
const char* check_material(const Position& pos)
{
    for (int colour = 0; colour < 2; colour++) {
        if (count_bits(pos.pieces[colour][KING]) != 1) return "each side needs exactly one king";
    }
    if ((pos.pieces[WHITE][PAWN] | pos.pieces[BLACK][PAWN]) & (RANK_1 | (RANK_1 << 56)))
        return "a pawn stands on the first or last rank";
    for (int colour = 0; colour < 2; colour++) {
        int pawns = count_bits(pos.pieces[colour][PAWN]);
        if (pawns > 8) return "too many pieces of one type";
        // Every promotion adds one piece to a list: the lists must have room
        // for all the pawns still on the board.
        for (int type = KNIGHT; type <= QUEEN; type++)
            if (count_bits(pos.pieces[colour][type]) + pawns > SQUARE_LIST_CAPACITY) return "too many pieces of one type";
    }
    int side = pos.side;
    if (is_square_attacked_by(pos, king_square(pos, side ^ 1), side)) return "the side not to move is in check";
    return nullptr;
}

// An en-passant square must be the square a pawn of the side not to move has
// just skipped: on the third rank from that side, empty, with the origin empty
// and the pawn in front of it.
bool en_passant_possible(const Position& pos, int square)
{
    if (square >= 64) return false;
    int side = pos.side;
    if (rank_of(square) != (side == WHITE ? 5 : 2)) return false;
    return pos.board[square] == 0 && pos.board[square + pawn_push[side]] == 0 &&
           pos.board[square - pawn_push[side]] == piece_code(PAWN, side ^ 1);
}

// The half-move clock: the fifth field when it is a number (EPD records and
// the engine's own FENs stop after four fields and keep 0). Capped where
// every clock means the same (the fifty-move rule may be claimed) and a
// whole search on top still fits the byte.
u8 read_halfmove_clock(const char* p)
{
    while (is_blank(*p)) p++;
    int clock = 0;
    const char* digits = p;
    while (*p >= '0' && *p <= '9' && p - digits < 6) clock = 10 * clock + (*p++ - '0');
    if (p == digits || !is_field_end(*p)) return 0;
    return u8(clock < MAX_HALFMOVE_CLOCK ? clock : MAX_HALFMOVE_CLOCK);
}

} // namespace

bool set_position_from_fen(Position& pos, const char* text, const char** reason)
{
    Position scratch;
    clear_position(scratch, pos.owner, pos.side);
    const char* p = text ? text : "";

    const char* why = read_placement(scratch, p);
    if (why) {
        if (reason) *reason = why;
        return false;
    }

    // Side: "w" or "b" after the placement's blanks. Without it there is
    // no telling whose move it is (keeping the previous position's side
    // would search for the wrong player).
    while (is_blank(*p)) p++;
    if ((*p != 'w' && *p != 'b') || !is_field_end(p[1])) {
        if (reason) *reason = "the side to move is missing or not w or b";
        return false;
    }
    scratch.side = *p == 'w' ? WHITE : BLACK;
    p++;

    while (is_blank(*p)) p++;
    for (; !is_field_end(*p); p++) {
        if (*p == 'K') scratch.castling |= 1;
        else if (*p == 'Q') scratch.castling |= 2;
        else if (*p == 'k') scratch.castling |= 4;
        else if (*p == 'q') scratch.castling |= 8;
    }

    while (is_blank(*p)) p++;
    int ep = NO_SQUARE;
    if (p[0] >= 'a' && p[0] <= 'h' && p[1] >= '1' && p[1] <= '8' && is_field_end(p[2]))
        ep = (p[0] - 'a') + 8 * (p[1] - '1');
    while (!is_field_end(*p)) p++;
    scratch.halfmove_clock = read_halfmove_clock(p);

    why = check_material(scratch);
    if (why) {
        if (reason) *reason = why;
        return false;
    }
    scratch.ep_square = u8(en_passant_possible(scratch, ep) ? ep : NO_SQUARE);

    // A right needs its king and rook on their home squares.
    const u8* board = scratch.board;
    u8 rights = scratch.castling;
    bool white_king = board[4] == piece_code(KING, WHITE), black_king = board[60] == piece_code(KING, BLACK);
    if (!(white_king && board[7] == piece_code(ROOK, WHITE))) rights &= u8(~1);
    if (!(white_king && board[0] == piece_code(ROOK, WHITE))) rights &= u8(~2);
    if (!(black_king && board[63] == piece_code(ROOK, BLACK))) rights &= u8(~4);
    if (!(black_king && board[56] == piece_code(ROOK, BLACK))) rights &= u8(~8);
    bool dropped = rights != scratch.castling;
    scratch.castling = rights;

    scratch.key = piece_key_from_board(scratch);
    scratch.pawn_key = pawn_key_from_board(scratch);

    pos = scratch;
    if (ThreadData* owner = pos.owner) {
        owner->undo_count = 0;
        owner->dropped_plies = 0;
        owner->search_ply = 1;
        owner->last_move = 0;
        owner->undo[0] = UndoRecord{};
        owner->undo[1] = UndoRecord{};
    }
    if (dropped) send_line("Illegal EPD record");
    if (reason) *reason = "";
    return true;
}

void position_to_fen(const Position& pos, char* out)
{
    char* o = out;
    for (int rank = 7; rank >= 0; rank--) {
        int empty = 0;
        for (int file = 0; file < 8; file++) {
            int code = pos.board[8 * rank + file];
            if (code == 0) {
                empty++;
                continue;
            }
            if (empty) *o++ = char('0' + empty);
            empty = 0;
            *o++ = fen_letters[piece_colour_of(code)][piece_type_of(code)];
        }
        if (empty) *o++ = char('0' + empty);
        if (rank) *o++ = '/';
    }
    *o++ = ' ';
    *o++ = pos.side == WHITE ? 'w' : 'b';
    *o++ = ' ';
    if (pos.castling == 0) *o++ = '-';
    if (pos.castling & 1) *o++ = 'K';
    if (pos.castling & 2) *o++ = 'Q';
    if (pos.castling & 4) *o++ = 'k';
    if (pos.castling & 8) *o++ = 'q';
    *o++ = ' ';
    if (pos.ep_square < 64) {
        *o++ = square_name[pos.ep_square][0];
        *o++ = square_name[pos.ep_square][1];
    } else {
        *o++ = '-';
    }
    *o = 0;
}

void print_board_diagram(const Position& pos)
{
    static const char diagram_letters[2][8] = {" PNBRQK", " onbrqk"};
    char text[512];
    position_to_fen(pos, text);
    char* o = text + std::strlen(text);
    *o++ = '\n';
    for (int rank = 7; rank >= 0; rank--) {
        *o++ = ' ';
        for (int file = 0; file < 8; file++) {
            int code = pos.board[8 * rank + file];
            *o++ = ' ';
            if (code) *o++ = diagram_letters[piece_colour_of(code)][piece_type_of(code)];
            else *o++ = (file & 1) == (rank & 1) ? '+' : '-';
        }
        *o++ = '\n';
    }
    std::strcpy(o, pos.side == WHITE ? "white\n" : "black\n");
    std::puts(text);
    std::fflush(stdout);
    log_line(text);
}
