#include "makemove.h"

#include <bit>
#include <cstddef>
#include <cstring>

#include "bitboard.h"
#include "movegen.h"
#include "records.h"
#include "trace.h"
#include "zobrist.h"

const u8 castling_clear_mask[64] = {
    2, 0, 0, 0, 3, 0, 0, 1,
    0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0,
    8, 0, 0, 0, 12, 0, 0, 4,
};

namespace {

// Square-list edits. A moving piece keeps its place in its list; a removed
// piece leaves it with the later entries moving down; a piece put on the
// board is appended. The list order is the generators' visiting order.
//
// Place of `square` (a list entry or the end mark) in the list: the first
// eight bytes are searched at once for a byte equal to it, which avoids a
// loop whose length the processor cannot guess.
inline int list_index(const u8* list, int square)
{
    if constexpr (std::endian::native == std::endian::little) {
        constexpr u64 ones = 0x0101010101010101ULL;
        u64 word;
        std::memcpy(&word, list, 8);
        const u64 diff = word ^ (ones * u64(square));
        // Bytes of diff that are zero; exact for the lowest one.
        const u64 zero = (diff - ones) & ~diff & (ones << 7);
        if (zero) return std::countr_zero(zero) >> 3;
        return list[8] == square ? 8 : list[9] == square ? 9 : 10;
    } else {
        int i = 0;
        while (list[i] != square) i++;
        return i;
    }
}

inline void list_replace(u8* list, int from, int to)
{
    list[list_index(list, from)] = u8(to);
}

// Replaces `old_square` at `place` of the list by `new_square`. A place
// among the first eight bytes is written with one eight-byte store: the next
// move's list_index reads those eight bytes at once, and a load takes its
// value from a waiting store only when the store is as wide.
inline void list_change(u8* list, int place, int old_square, int new_square)
{
    if constexpr (std::endian::native == std::endian::little) {
        if (place < 8) {
            u64 word;
            std::memcpy(&word, list, 8);
            word ^= u64(old_square ^ new_square) << (8 * place);
            std::memcpy(list, &word, 8);
            return;
        }
    }
    list[place] = u8(new_square);
}

// Whether one of the eight list bytes in `word` is the end mark.
inline bool ends_within(u64 word)
{
    constexpr u64 ones = 0x0101010101010101ULL;
    const u64 diff = word ^ (ones * NO_SQUARE);
    return ((diff - ones) & ~diff & (ones << 7)) != 0;
}

// The later entries move down one place. With the removed entry among the
// first eight bytes, those are rewritten with one eight-byte store, as in
// list_change; a list that ends beyond them moves its further bytes one by
// one.
inline void list_remove(u8* list, int square)
{
    const int place = list_index(list, square);
    if constexpr (std::endian::native == std::endian::little) {
        if (place < 8) {
            u64 word;
            std::memcpy(&word, list, 8);
            const bool longer = !ends_within(word) && list[8] != NO_SQUARE;
            const u64 below = (u64(1) << (8 * place)) - 1;
            word = (word & below) | ((word >> 8) & ~below) | (u64(list[8]) << 56);
            std::memcpy(list, &word, 8);
            if (!longer) return;
            list += 8 - place;
        }
    }
    list += place;
    do {
        list[0] = list[1];
    } while (*list++ != NO_SQUARE);
}

// The same for an entry appended in place of the end mark.
inline void list_append(u8* list, int square)
{
    const int place = list_index(list, NO_SQUARE);
    if constexpr (std::endian::native == std::endian::little) {
        if (place < 7) {
            u64 word;
            std::memcpy(&word, list, 8);
            const int shift = 8 * place;
            word = (word & ~(u64(0xFFFF) << shift)) | (u64(square | (NO_SQUARE << 8)) << shift);
            std::memcpy(list, &word, 8);
            return;
        }
    }
    list[place] = u8(square);
    list[place + 1] = NO_SQUARE;
}

// Removes the piece `code` from `square` (not from the keys).
inline void remove_piece(Position& pos, int square, int code)
{
    int colour = piece_colour_of(code), type = piece_type_of(code);
    pos.board[square] = 0;
    list_remove(pos.lists[colour][type], square);
    pos.piece_units[colour] = u16(pos.piece_units[colour] - piece_unit_value[type]);
    pos.material_key[colour] -= material_key_step[type];
    pos.pieces[colour][0] ^= square_bit(square);
    pos.pieces[colour][type] ^= square_bit(square);
}

// Puts `code` on the empty `square` (not into the keys).
inline void add_piece(Position& pos, int square, int code)
{
    int colour = piece_colour_of(code), type = piece_type_of(code);
    pos.board[square] = u8(code);
    list_append(pos.lists[colour][type], square);
    pos.piece_units[colour] = u16(pos.piece_units[colour] + piece_unit_value[type]);
    pos.material_key[colour] += material_key_step[type];
    pos.pieces[colour][0] |= square_bit(square);
    pos.pieces[colour][type] |= square_bit(square);
}

// Moves `code` from `from` to the empty `to` (not in the keys).
inline void shift_piece(Position& pos, int from, int to, int code)
{
    int colour = piece_colour_of(code), type = piece_type_of(code);
    u64 both = square_bit(from) | square_bit(to);
    pos.board[to] = u8(code);
    pos.board[from] = 0;
    list_replace(pos.lists[colour][type], from, to);
    pos.pieces[colour][0] ^= both;
    pos.pieces[colour][type] ^= both;
}

inline int promoted_type(Move move)
{
    if (move & PROMO_KNIGHT) return KNIGHT;
    if (move & PROMO_BISHOP) return BISHOP;
    if (move & PROMO_ROOK) return ROOK;
    return QUEEN;
}

} // namespace

void take_piece_off_square(Position& pos, int square)
{
    remove_piece(pos, square, pos.board[square]);
}

bool put_piece_on_square(Position& pos, int square, int code)
{
    int colour = piece_colour_of(code), type = piece_type_of(code);
    if (type < PAWN || type > KING || pos.board[square] != 0) return false;
    const u8* list = pos.lists[colour][type];
    int count = 0;
    while (list[count] != NO_SQUARE) count++;
    if (count >= SQUARE_LIST_CAPACITY) return false;
    add_piece(pos, square, code);
    return true;
}

u64 piece_key_from_board(const Position& pos)
{
    u64 key = 0;
    for (int sq = 0; sq < 64; sq++)
        if (pos.board[sq]) key ^= zobrist_piece[pos.board[sq]][sq];
    return key;
}

u64 pawn_key_from_board(const Position& pos)
{
    u64 key = 0;
    for (int sq = 0; sq < 64; sq++)
        if (piece_type_of(pos.board[sq]) == PAWN) key ^= zobrist_piece[pos.board[sq]][sq];
    return key;
}

// The state bytes are copied as one word between position and undo record.
static_assert(offsetof(Position, halfmove_clock) == offsetof(Position, side) + 1 &&
              offsetof(Position, castling) == offsetof(Position, side) + 2 &&
              offsetof(Position, ep_square) == offsetof(Position, side) + 3);
static_assert(offsetof(UndoRecord, halfmove_clock) == offsetof(UndoRecord, side) + 1 &&
              offsetof(UndoRecord, castling) == offsetof(UndoRecord, side) + 2 &&
              offsetof(UndoRecord, ep_square) == offsetof(UndoRecord, side) + 3);

namespace {

// The rarer parts of a move, kept out of the common path so that it needs
// fewer registers: en passant and promotion (returns their change of the
// pawn key; the piece key is updated here) ...
[[gnu::noinline]] u64 play_pawn_special(Position& pos, Move move, int side)
{
    const int to = move_to(move);
    const int pawn = piece_code(PAWN, side);
    u64 key = pos.key, pawn_change = 0;
    if (move & PROMO_MASK) {
        remove_piece(pos, to, pawn);
        key ^= zobrist_piece[pawn][to];
        pawn_change ^= zobrist_piece[pawn][to];
        int promoted = piece_code(promoted_type(move), side);
        add_piece(pos, to, promoted);
        key ^= zobrist_piece[promoted][to];
    } else {
        int taken = to - pawn_push[side];
        int enemy_pawn = piece_code(PAWN, side ^ 1);
        take_piece_off_square(pos, taken);
        key ^= zobrist_piece[enemy_pawn][taken];
        pawn_change ^= zobrist_piece[enemy_pawn][taken];
    }
    pos.key = key;
    return pawn_change;
}

// The rook's squares of a castling king move from `from` to `to`.
inline void castling_rook_squares(int from, int to, int& rook_from, int& rook_to)
{
    rook_from = to == from + 2 ? from + 3 : from - 4;
    rook_to = to == from + 2 ? from + 1 : from - 1;
}

// ... and the castling rook.
[[gnu::noinline]] void play_castling_rook(Position& pos, int from, int to, int side)
{
    int rook_from, rook_to;
    castling_rook_squares(from, to, rook_from, rook_to);
    int rook = piece_code(ROOK, side);
    shift_piece(pos, rook_from, rook_to, rook);
    pos.key ^= zobrist_piece[rook][rook_from] ^ zobrist_piece[rook][rook_to];
    pos.halfmove_clock = 0;
}

} // namespace

void play_move(Position& pos, Move move)
{
    if (engine_config.trace_depth != 0) write_search_trace(pos, move);

    const int from = move_from(move), to = move_to(move);
    const int piece = pos.board[from];
    const int type = piece_type_of(piece);
    const int side = pos.side;
    const int victim = pos.board[to];
    const int old_ep = pos.ep_square;

    ThreadData* owner = pos.owner;
    owner->search_ply++;
    UndoRecord& record = owner->undo[owner->undo_count++];
    record.key = pos.key;
    record.pawn_key = pos.pawn_key;
    record.move = move;
    record.captured_type = u8(piece_type_of(victim));
    std::memcpy(&record.side, &pos.side, 4);
    owner->last_move = move;

    pos.halfmove_clock++;
    pos.side = u8(side ^ 1);
    pos.castling &= u8(~(castling_clear_mask[from] | castling_clear_mask[to]));
    pos.ep_square = NO_SQUARE;

    u64 key = pos.key ^ zobrist_piece[piece][from] ^ zobrist_piece[piece][to];
    if (victim) {
        remove_piece(pos, to, victim);
        key ^= zobrist_piece[victim][to];
        if (piece_type_of(victim) == PAWN) pos.pawn_key ^= zobrist_piece[victim][to];
        pos.halfmove_clock = 0;
    }

    // The mover keeps its list place, which the take-back tries first.
    u8* list = pos.lists[side][type];
    const int slot = list_index(list, from);
    list_change(list, slot, from, to);
    record.mover_slot = u8(slot);
    const u64 both = square_bit(from) | square_bit(to);
    pos.board[to] = u8(piece);
    pos.board[from] = 0;
    pos.pieces[side][0] ^= both;
    pos.pieces[side][type] ^= both;
    pos.key = key;

    if (type == PAWN) {
        u64 pawn_change = zobrist_piece[piece][from] ^ zobrist_piece[piece][to];
        pos.halfmove_clock = 0;
        if (to == from + 2 * pawn_push[side]) pos.ep_square = u8(from + pawn_push[side]);
        else if (to == old_ep || (move & PROMO_MASK)) pawn_change ^= play_pawn_special(pos, move, side);
        pos.pawn_key ^= pawn_change;
    } else if (type == KING && (to == from + 2 || to == from - 2)) {
        play_castling_rook(pos, from, to, side);
    }
}

namespace {

// The take-back's rarer parts: a promotion ...
[[gnu::noinline]] void take_back_promotion(Position& pos, const UndoRecord& record, int side)
{
    const int from = move_from(record.move), to = move_to(record.move);
    const int piece = pos.board[to];
    // The promoted piece leaves its list and the pawn is appended to its
    // own, as the list edits of the move's undoing in steps would do.
    shift_piece(pos, to, from, piece);
    if (record.captured_type) add_piece(pos, to, piece_code(record.captured_type, side ^ 1));
    remove_piece(pos, from, piece);
    add_piece(pos, from, piece_code(PAWN, side));
}

// ... and the pawn taken en passant or the castling rook.
[[gnu::noinline]] void take_back_special(Position& pos, int from, int to, int side, int type)
{
    if (type == PAWN) {
        add_piece(pos, to - pawn_push[side], piece_code(PAWN, side ^ 1));
    } else {
        int rook_from, rook_to;
        castling_rook_squares(from, to, rook_from, rook_to);
        shift_piece(pos, rook_to, rook_from, piece_code(ROOK, side));
    }
}

} // namespace

void take_back_move(Position& pos)
{
    ThreadData* owner = pos.owner;
    owner->search_ply--;
    const UndoRecord& record = owner->undo[--owner->undo_count];
    owner->last_move = owner->undo_count ? owner->undo[owner->undo_count - 1].move : 0;

    std::memcpy(&pos.side, &record.side, 4);
    pos.key = record.key;
    pos.pawn_key = record.pawn_key;
    const int side = record.side;
    const Move move = record.move;

    if (move & PROMO_MASK) {
        take_back_promotion(pos, record, side);
        return;
    }

    const int from = move_from(move), to = move_to(move);
    const int piece = pos.board[to];
    const int type = piece_type_of(piece);
    // A capture taken back below this move appends the piece to its list,
    // so the mover's place may have changed since; mostly it has not.
    u8* list = pos.lists[side][type];
    if (list[record.mover_slot] == to) list_change(list, record.mover_slot, to, from);
    else list_replace(list, to, from);
    const u64 both = square_bit(from) | square_bit(to);
    pos.board[from] = u8(piece);
    pos.board[to] = 0;
    pos.pieces[side][0] ^= both;
    pos.pieces[side][type] ^= both;

    if (record.captured_type) add_piece(pos, to, piece_code(record.captured_type, side ^ 1));

    if ((type == PAWN && to == record.ep_square) || (type == KING && (to == from + 2 || to == from - 2)))
        take_back_special(pos, from, to, side, type);
}

void play_null_move(Position& pos)
{
    if (engine_config.trace_depth != 0) write_search_trace(pos, NULL_MOVE);
    ThreadData* owner = pos.owner;
    UndoRecord& record = owner->undo[owner->undo_count++];
    record.key = pos.key;
    record.pawn_key = pos.pawn_key;
    record.move = NULL_MOVE;
    record.captured_type = 0;
    record.mover_slot = 0;
    std::memcpy(&record.side, &pos.side, 4);
    owner->search_ply++;
    owner->last_move = NULL_MOVE;

    pos.side ^= 1;
    pos.halfmove_clock++;
    pos.ep_square = NO_SQUARE;
}

void take_back_null_move(Position& pos)
{
    ThreadData* owner = pos.owner;
    owner->search_ply--;
    const UndoRecord& record = owner->undo[--owner->undo_count];
    std::memcpy(&pos.side, &record.side, 4);
    pos.key = record.key;
    owner->last_move = owner->undo_count ? owner->undo[owner->undo_count - 1].move : 0;
}

namespace {

// Makes room in a full game record: the records of the reversible plies stay
// (at most half the record; beyond that the fifty-move rule decides anyway),
// the older ones go.
void drop_oldest_game_plies(ThreadData* game)
{
    int keep = game->pos.halfmove_clock;
    if (keep > MAX_GAME_PLY / 2) keep = MAX_GAME_PLY / 2;
    const int drop = game->undo_count - keep;
    if (drop <= 0) return;
    const int old_count = game->undo_count;
    std::memmove(game->undo, game->undo + drop, sizeof(UndoRecord) * size_t(keep));
    // No stale move may look like a recorded continuation.
    for (int i = keep; i <= old_count && i < UNDO_STACK_SIZE; i++) game->undo[i].move = NULL_MOVE;
    game->undo_count = u16(keep);
    game->dropped_plies += u32(drop);
}

}  // namespace

int game_ply() { return int(game_record->dropped_plies) + game_record->undo_count; }

int play_game_move(Move move)
{
    ThreadData* game = game_record;
    Position& pos = game->pos;
    // Between searches the game record stays at the root ply, however many
    // moves the game holds, so its ply records stay in range.
    game->search_ply = 1;
    if (move == NULL_MOVE || move == MOVE_LIST_END) return GAME_MOVE_ILLEGAL;

    // The move must be one the generators produce here and must not leave the
    // king attacked: anything else could break the board's invariants.
    generate_all_moves(pos);
    bool found = false;
    for (const MoveEntry* e = game->ply[game->search_ply].list_start; e->move != MOVE_LIST_END; e++) {
        if (e->move == move) {
            found = true;
            break;
        }
    }
    if (!found || !king_safe_after_move(pos, pos.side, move)) return GAME_MOVE_ILLEGAL;
    if (game->undo_count >= MAX_GAME_PLY) drop_oldest_game_plies(game);
    play_move(pos, move);
    if (pos.halfmove_clock > MAX_HALFMOVE_CLOCK) pos.halfmove_clock = MAX_HALFMOVE_CLOCK;
    // The search's ply counter stays at the root: game moves are history.
    game->search_ply--;
    return GAME_MOVE_PLAYED;
}

bool take_back_game_move()
{
    ThreadData* game = game_record;
    if (game->undo_count == 0) return false;
    if (game->undo[game->undo_count - 1].move == NULL_MOVE) take_back_null_move(game->pos);
    else take_back_move(game->pos);
    game->search_ply = 1;
    return true;
}

const char* game_move_refusal_text(int result)
{
    switch (result) {
    case GAME_MOVE_ILLEGAL: return "illegal move";
    default: return "";
    }
}
