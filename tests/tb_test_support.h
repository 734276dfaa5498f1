// Helpers shared by the tablebase tests: a small FEN reader into the
// prober's position, an engine Position built from one, and copies of the
// test tables.
#pragma once

#include <cstdio>
#include <cstring>
#include <string>

#include "bitboard.h"
#include "tablebase/tb_position.h"
#include "tablebase/tb_registry.h"
#include "test_data.h"
#include "types.h"


// Reads placement, side, castling (ignored) and en-passant fields.
// Returns false on a malformed placement.
inline bool tb_position_from_fen(const char* fen, TbPosition* out, int* castling = nullptr)
{
    TbPosition pos{};
    int rank = 7, file = 0;
    const char* p = fen;
    for (; *p && *p != ' '; p++) {
        const char ch = *p;
        if (ch == '/') {
            rank--;
            file = 0;
            continue;
        }
        if (ch >= '1' && ch <= '8') {
            file += ch - '0';
            continue;
        }
        if (file > 7 || rank < 0) return false;
        const u64 bit = square_bit(8 * rank + file);
        file++;
        const char lower = char(ch | 32);
        if (ch == lower)
            pos.black |= bit;
        else
            pos.white |= bit;
        switch (lower) {
        case 'k': pos.kings |= bit; break;
        case 'q': pos.queens |= bit; break;
        case 'r': pos.rooks |= bit; break;
        case 'b': pos.bishops |= bit; break;
        case 'n': pos.knights |= bit; break;
        case 'p': pos.pawns |= bit; break;
        default: return false;
        }
    }
    while (*p == ' ') p++;
    pos.white_to_move = *p != 'b';
    while (*p && *p != ' ') p++;
    while (*p == ' ') p++;
    int rights = 0;
    for (; *p && *p != ' '; p++) {
        if (*p == 'K') rights |= 1;
        if (*p == 'Q') rights |= 2;
        if (*p == 'k') rights |= 4;
        if (*p == 'q') rights |= 8;
    }
    if (castling) *castling = rights;
    while (*p == ' ') p++;
    if (p[0] >= 'a' && p[0] <= 'h' && p[1] >= '1' && p[1] <= '8') pos.ep_square = u8((p[0] - 'a') + 8 * (p[1] - '1'));
    *out = pos;
    return true;
}

inline TbPosition fen_position(const char* fen)
{
    TbPosition pos{};
    tb_position_from_fen(fen, &pos);
    return pos;
}

// An engine Position carrying the sets, side, clock and en-passant square
// of a prober position (what the root probe reads).
inline Position engine_position(const TbPosition& tb, int castling = 0)
{
    Position pos{};
    const u64 kinds[7] = {0, tb.pawns, tb.knights, tb.bishops, tb.rooks, tb.queens, tb.kings};
    for (int colour = 0; colour < 2; colour++) {
        const u64 own = colour == WHITE ? tb.white : tb.black;
        pos.pieces[colour][0] = own;
        for (int type = PAWN; type <= KING; type++) {
            pos.pieces[colour][type] = own & kinds[type];
            int n = 0;
            for (u64 s = own & kinds[type]; s; s &= s - 1) {
                const int sq = lowest_bit_index(s);
                pos.board[sq] = u8(piece_code(type, colour));
                if (n < SQUARE_LIST_CAPACITY) pos.lists[colour][type][n++] = u8(sq);
            }
            pos.lists[colour][type][n] = NO_SQUARE;
        }
    }
    pos.side = tb.white_to_move ? WHITE : BLACK;
    pos.halfmove_clock = tb.halfmove_clock;
    pos.ep_square = tb.ep_square ? tb.ep_square : NO_SQUARE;
    pos.castling = u8(castling);
    return pos;
}

// One line of the probe vectors.
struct ProbeVector {
    std::string fen;
    int wdl_table;
    int wdl;
    int dtz;
};

inline bool parse_probe_vector(const char* line, ProbeVector* v)
{
    const char* t = std::strstr(line, " wdl_table ");
    if (!t) return false;
    v->fen.assign(line, size_t(t - line));
    return std::sscanf(t, " wdl_table %d; wdl %d; dtz %d;", &v->wdl_table, &v->wdl, &v->dtz) == 3;
}

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

// A fresh directory under the system's temporary directory.
inline std::string make_temp_dir(const char* tag)
{
    std::string pattern = (std::filesystem::temp_directory_path() / (std::string("vant-tb-") + tag + "-XXXXXX")).string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back(0);
    const char* made = mkdtemp(buffer.data());
    return made ? std::string(made) : std::string();
}

// Registers the tables of a path list (empty: none) and returns what the
// scan printed instead of printing it.
inline std::string scan_quietly(const std::string& path)
{
    testing::internal::CaptureStdout();
    scan_tablebase_paths(path.c_str());
    return testing::internal::GetCapturedStdout();
}

inline std::vector<u8> read_whole_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<u8>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void write_whole_file(const std::string& path, const std::vector<u8>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

inline void copy_test_table(const std::string& dir, const char* file)
{
    const std::string source = std::string(test_table_dir()) + "/" + file;
    EXPECT_TRUE(test_data_present(source));
    write_whole_file(dir + "/" + file, read_whole_file(source));
}

// A sound random position of the given material (e.g. "KRvKP"), side to
// move at random; deterministic for a seed.
inline TbPosition random_position(const char* material, u32& seed)
{
    auto next = [&seed]() {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    for (;;) {
        TbPosition pos{};
        int colour = 0;
        bool ok = true;
        for (const char* p = material; *p && ok; p++) {
            if (*p == 'v') {
                colour = 1;
                continue;
            }
            int sq;
            do sq = int(next() % 64);
            while ((pos.white | pos.black) & square_bit(sq));
            const u64 bit = square_bit(sq);
            (colour ? pos.black : pos.white) |= bit;
            switch (*p) {
            case 'K': pos.kings |= bit; break;
            case 'Q': pos.queens |= bit; break;
            case 'R': pos.rooks |= bit; break;
            case 'B': pos.bishops |= bit; break;
            case 'N': pos.knights |= bit; break;
            case 'P':
                pos.pawns |= bit;
                ok = sq >= 8 && sq < 56;
                break;
            }
        }
        pos.white_to_move = u8(next() & 1);
        if (ok && tb_position_is_sound(pos)) return pos;
    }
}
