#include "movetext.h"

#include <cstdio>
#include <cstring>

#include "bitboard.h"
#include "movegen.h"
#include "records.h"

namespace {

const char piece_letters[] = " PNBRQK";

// Promotion suffix letter in the flag order queen, knight, bishop, rook.
char promotion_letter(Move move)
{
    if (move & PROMO_QUEEN) return 'Q';
    if (move & PROMO_KNIGHT) return 'N';
    if (move & PROMO_BISHOP) return 'B';
    if (move & PROMO_ROOK) return 'R';
    return 0;
}

void append(char* text, const char* tail)
{
    std::strcat(text, tail);
}

void cut_at_check(char* text)
{
    if (char* plus = std::strchr(text, '+')) *plus = 0;
}

} // namespace

void write_move_text(Move move, char* out)
{
    const char* from = square_name[move_from(move)];
    const char* to = square_name[move_to(move)];
    char* o = out;
    *o++ = from[0];
    *o++ = from[1];
    *o++ = to[0];
    *o++ = to[1];
    if (char letter = promotion_letter(move)) {
        if (engine_config.protocol == PROTOCOL_UCI) {
            *o++ = char(letter - 'A' + 'a');
        } else {
            *o++ = '=';
            *o++ = letter;
        }
    }
    *o = 0;
}

char* move_text_or_null(Move move, char* out)
{
    if (move == NULL_MOVE) std::strcpy(out, "null");
    else write_move_text(move, out);
    return out;
}

void move_to_algebraic_forms(const Position& pos, Move move, char* coordinate, char* form1, char* form2,
                             char* form3)
{
    form1[0] = form2[0] = form3[0] = 0;
    if (move == NULL_MOVE) {
        std::strcpy(coordinate, "null");
        return;
    }
    write_move_text(move, coordinate);
    const int from = move_from(move), to = move_to(move);
    const int mover = pos.board[from];
    const int type = piece_type_of(mover);
    const int colour = piece_colour_of(mover);
    const char* destination = square_name[to];

    if (type != PAWN) {
        if (type == KING && (to == from + 2 || to == from - 2)) {
            bool king_side = to == from + 2;
            std::strcpy(form1, king_side ? "o-o" : "o-o-o");
            std::strcpy(form2, king_side ? "O-O" : "O-O-O");
            std::strcpy(form3, king_side ? "0-0" : "0-0-0");
        } else {
            const char letter = piece_letters[type];
            const u64 occ = occupancy(pos) | square_bit(to);
            u64 reach = 0;
            if (type == KNIGHT) reach = knight_attacks[to];
            if (type == BISHOP || type == QUEEN) reach |= bishop_attack_set(to, occ);
            if (type == ROOK || type == QUEEN) reach |= rook_attack_set(to, occ);
            const u64 others = reach & pos.pieces[colour][type] & ~square_bit(from);

            const char* origin = square_name[from];
            form2[0] = letter, form2[1] = origin[0], form2[2] = 0;
            form3[0] = letter, form3[1] = origin[1], form3[2] = 0;
            if (others == 0) {
                form1[0] = letter, form1[1] = 0;
            } else if (!(others & file_mask[file_of(from)])) {
                std::strcpy(form1, form2);
            } else if (!(others & rank_mask[rank_of(from)])) {
                std::strcpy(form1, form3);
            } else {
                form1[0] = letter, form1[1] = origin[0], form1[2] = origin[1], form1[3] = 0;
            }
            if (pos.board[to]) {
                append(form1, "x");
                append(form2, "x");
                append(form3, "x");
            }
            append(form1, destination);
            append(form2, destination);
            append(form3, destination);
        }
    } else {
        char suffix[3] = {0, 0, 0};
        if (char letter = promotion_letter(move)) {
            coordinate[4] = 0;
            suffix[0] = '=';
            suffix[1] = letter;
        }
        if (pos.board[to] || to == pos.ep_square) {
            form1[0] = coordinate[0], form1[1] = 'x', form1[2] = coordinate[2], form1[3] = coordinate[3];
            form1[4] = 0;
            form2[0] = coordinate[0], form2[1] = coordinate[2], form2[2] = 0;
        } else {
            std::strcpy(form1, destination);
        }
        append(coordinate, suffix);
        append(form1, suffix);
        if (form2[0]) append(form2, suffix);
    }

    MoveEntry entry{move, 0, u8(mover), u8(pos.board[to])};
    if (check_kind_after_move(pos, colour, entry)) {
        for (char* text : {coordinate, form1, form2, form3})
            if (text[0]) append(text, "+");
    }
}

bool parse_move_text(const char* text, Move& out)
{
    out = NULL_MOVE;
    if (!text || !game_record) return false;

    // Work on a bounded copy: no move text is anywhere near this long.
    char word[MOVE_TEXT_SIZE + 2];   // room for the promotion rewrite below
    size_t length = strnlen(text, MOVE_TEXT_SIZE);
    if (length >= size_t(MOVE_TEXT_SIZE)) return false;
    std::memcpy(word, text, length + 1);

    // Check, mate and annotation marks carry nothing.
    word[std::strcspn(word, "+#")] = 0;
    length = std::strlen(word);
    while (length > 0 && (word[length - 1] == '!' || word[length - 1] == '?')) word[--length] = 0;
    if (length < 2) return false;

    // Promotion letter: e7e8q, e8q and e8=q all become ...=Q. Only after a
    // rank digit, so that the pawn capture "ab" keeps its b.
    char last = word[length - 1];
    if (last >= 'a' && last <= 'z') last = char(last - 'a' + 'A');
    if (last == 'B' || last == 'N' || last == 'Q' || last == 'R') {
        char before = word[length - 2];
        if (before == '=') {
            word[length - 1] = last;
        } else if (before >= '1' && before <= '8') {
            word[length - 1] = '=';
            word[length] = last;
            word[length + 1] = 0;
        }
    }
    for (char* c = word; *c; c++)
        if (*c == 'O' || *c == '0') *c = 'o';

    // The game record sits at the root ply between searches; keeping it there
    // keeps its ply records in range however the game got here.
    game_record->search_ply = 1;
    Position& pos = game_record->pos;
    generate_all_moves(pos);
    int count = 0;
    char coordinate[MOVE_TEXT_SIZE], form1[MOVE_TEXT_SIZE], form2[MOVE_TEXT_SIZE], form3[MOVE_TEXT_SIZE];
    char bare[MOVE_TEXT_SIZE];
    for (const MoveEntry* e = game_record->ply[game_record->search_ply].list_start; e->move != MOVE_LIST_END; e++) {
        const Move move = e->move;
        if (move == NULL_MOVE) continue;
        move_to_algebraic_forms(pos, move, coordinate, form1, form2, form3);
        cut_at_check(coordinate);
        cut_at_check(form1);
        cut_at_check(form2);
        cut_at_check(form3);
        // The piece letter and destination alone ("Nd2"): standard text when
        // no other piece of the type can legally go there, ambiguous otherwise.
        bare[0] = 0;
        int type = piece_type_of(pos.board[move_from(move)]);
        int distance = move_to(move) - move_from(move);
        if (type != PAWN && !(type == KING && (distance == 2 || distance == -2))) {
            bare[0] = form2[0];
            std::strcpy(bare + 1, form2 + 2);
        }
        bool match = std::strcmp(word, coordinate) == 0 || std::strcmp(word, form1) == 0 ||
                     (form2[0] && std::strcmp(word, form2) == 0) || (form3[0] && std::strcmp(word, form3) == 0) ||
                     (bare[0] && std::strcmp(word, bare) == 0);
        if (match && king_safe_after_move(pos, pos.side, move)) {
            count++;
            out = move;
        }
    }
    if (count == 1) return true;
    if (count == 2) {
        std::puts("ambiguous move");
        std::fflush(stdout);
    }
    return false;
}
