#include "tools/dumps.h"

#include <cstdio>
#include <string>

#include "bitboard.h"
#include "eval.h"
#include "log.h"
#include "params.h"
#include "records.h"
#include "driver.h"
#include "platform.h"
#include "report.h"
#include "threads.h"
#include "timecontrol.h"
#include "tools/toolsupport.h"

namespace {

void append(std::string& out, const char* format, auto... values)
{
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, format, values...);
    out += buffer;
}

// Letters of the pieces one side has more of than the other.
std::string surplus(const Position& pos, int colour)
{
    static const int types[] = {QUEEN, ROOK, BISHOP, KNIGHT, PAWN};
    static const char letters[] = "QRBNP";
    std::string out;
    for (int i = 0; i < 5; i++) {
        int shift = 4 * (types[i] - 1);
        int own = int((pos.material_key[colour] >> shift) & 15);
        int other = int((pos.material_key[colour ^ 1] >> shift) & 15);
        for (int n = own - other; n > 0; n--) out += letters[i];
    }
    return out;
}

} // namespace

void print_pst_table(const i16 table[64][2], int phase, const char* title)
{
    std::printf("%s\n", title);
    for (int rank = 7; rank >= 0; rank--) {
        for (int file = 0; file < 8; file++) std::printf("  %3d ", table[8 * rank + file][phase]);
        std::printf("\n");
    }
    std::printf("\n");
}

void print_eval_params()
{
    const EvalTables& t = eval_tables;
    std::printf("piece values=");
    for (int i = 0; i < 5; i++) std::printf("  %d/%d", t.material[i].op, t.material[i].en);
    std::printf("\n");
    std::printf("bishop_pair= %d , %d\n\n", t.bishop_pair.op, t.bishop_pair.en);
    std::printf("KingDanger[]=");
    for (int i = 0; i < 64; i++) {
        if (i % 10 == 0) std::printf("\n%2d:  ", i);
        std::printf("  %3d ", t.king_danger[i]);
    }
    std::printf("\n\n");
    for (int n = 0; n < 15; n++) {
        ValuePair knight = n < 9 ? t.knight_mobility[n] : ValuePair{0, 0};
        std::printf("%3d  nmob= %3d/%3d  bmob=%3d/%3d  rmob=%3d/%3d  qmob= %3d/%3d\n", n, knight.op, knight.en,
                    t.bishop_mobility[n].op, t.bishop_mobility[n].en, t.rook_mobility[n].op, t.rook_mobility[n].en,
                    t.queen_mobility[n].op, t.queen_mobility[n].en);
    }
    std::printf("queen_mob[28] = %d/%d\n", t.queen_mobility[28].op, t.queen_mobility[28].en);
    for (int rank = 2; rank <= 7; rank++)
        std::printf("rank=%d,  ppawn=%3d, ppawnx=%3d\n", rank, t.passed_bonus[rank - 1], t.passed_step[rank - 1]);
    std::printf("pawn_shield= %d\n", t.pawn_shield_op);
    std::printf("pawn_storm= %d\n", t.pawn_storm_op);
    std::printf("hung= %d/%d\n", t.hung.op, t.hung.en);
    std::printf("pinned= %d/%d\n", t.pinned.op, t.pinned.en);
    std::printf("knight_outpost= %d\n", t.knight_outpost_op);
    static const char* const titles[6][2] = {
        {"PawnOpening", "PawnEnding"},     {"KnightOpening", "KnightEnding"}, {"BishopOpening", "BishopEnding"},
        {"RookOpening", "RookEnding"},     {"QueenOpening", "QueenEnding"},   {"KingOpening", "KingEnding"}};
    for (int type = 0; type < 6; type++)
        for (int phase = 0; phase < 2; phase++) print_pst_table(t.pst[type], phase, titles[type][phase]);
    std::printf("\n\n");
}

void print_eval_breakdown()
{
    // The depth-0 search below runs on thread 0's record.
    abort_search_and_wait();
    clear_eval_trace();
    const u8 old_depth = search_state.depth_limit;
    search_state.depth_limit = 0;
    start_search_clock();
    run_single_thread_search();
    search_state.depth_limit = old_depth;
    search_state.search_state = SEARCH_NONE;

    const EvalTrace& tr = engine_config.eval_trace;
    const Position& pos = game_record->pos;
    ThreadData* t0 = thread_table[0].load();
    const int static_eval = t0 ? t0->root_static_eval : 0;
    const int qscore = t0 ? t0->completed_score.load() : 0;

    std::string out = "\n";
    append(out, "eval= %d, qscore= %d, stage= %d, draw_adj= %0.2f\n\n", static_eval, qscore, tr.stage, tr.draw_adjust);
    if (tr.hung) {
        out += "hung pieces on: ";
        for (int sq = 0; sq < 64; sq++)
            if (tr.hung & (u64(1) << sq)) append(out, "  %s", square_name[sq]);
        out += "\n";
    }
    if (tr.pinned) {
        out += "pinned pieces on :";
        for (int sq = 0; sq < 64; sq++)
            if (tr.pinned & (u64(1) << sq)) append(out, "  %s", square_name[sq]);
        out += "\n";
    }
    out += "           white    black     diff\n";
    append(out, "mtl=       %5d    %5d    %5d   (%s :: %s)\n", tr.material[0], tr.material[1],
           tr.material[0] - tr.material[1], surplus(pos, WHITE).c_str(), surplus(pos, BLACK).c_str());
    append(out, "pos=       %5d    %5d    %5d\n", tr.positional[0], tr.positional[1], tr.positional[0] - tr.positional[1]);
    struct Term {
        const char* format;
        const int* values;
    };
    const Term terms[] = {{"pawns=     %5d    %5d    %5d\n", tr.pawns},   {"knights=   %5d    %5d    %5d\n", tr.knights},
                          {"bishops=   %5d    %5d    %5d\n", tr.bishops}, {"rooks=     %5d    %5d    %5d\n", tr.rooks},
                          {"queens=    %5d    %5d    %5d\n", tr.queens},  {"kings=     %5d    %5d    %5d\n", tr.kings},
                          {"passers=   %5d    %5d    %5d\n", tr.passers}};
    for (const Term& term : terms) append(out, term.format, term.values[0], term.values[1], term.values[0] - term.values[1]);
    static const char letters[2][8] = {" PNBRQK", " onbrqk"};
    for (int rank = 7; rank >= 0; rank--) {
        for (int file = 0; file < 8; file++) {
            int code = pos.board[8 * rank + file];
            char c = code ? letters[piece_colour_of(code)][piece_type_of(code)] : ((file + rank) % 2 == 0 ? '+' : '-');
            out += ' ';
            out += c;
        }
        out += "    ";
        for (int file = 0; file < 8; file++) {
            int sq = 8 * rank + file;
            if (pos.board[sq]) append(out, " %4d", tr.square_value[sq]);
            else out += "    -";
        }
        out += "\n";
    }
    out += pos.side == WHITE ? "white\n" : "black\n";
    send_line(out.c_str());
}
