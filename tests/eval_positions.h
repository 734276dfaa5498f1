// Position suite shared by the evaluation tests and the evaluation benchmark:
// hand-picked openings, middlegames and endgames (every material pattern of
// the drawish scaling and the bitbase), plus FEN helpers for the colour-flipped
// and file-mirrored twins.
#pragma once

#include <string>
#include <vector>

namespace eval_positions {

inline const std::vector<std::string>& curated()
{
    static const std::vector<std::string> list = {
        // Openings.
        "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq -",
        "rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3",
        "rnbqkbnr/pp1ppppp/8/2p5/4P3/5N2/PPPP1PPP/RNBQKB1R b KQkq -",
        "r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq -",
        "r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq -",
        "rnbqkb1r/ppp1pppp/5n2/3p4/2PP4/8/PP2PPPP/RNBQKBNR w KQkq -",
        "rnbqk2r/ppppbppp/4pn2/8/2PP4/5NP1/PP2PP1P/RNBQKB1R b KQkq -",
        "r1bqk2r/2ppbppp/p1n2n2/1p2p3/4P3/1B3N2/PPPP1PPP/RNBQR1K1 b kq -",
        "rnbqkbnr/ppp2ppp/4p3/3pP3/3P4/8/PPP2PPP/RNBQKBNR b KQkq -",
        "rnbq1rk1/ppp1ppbp/3p1np1/8/2PPP3/2N2N2/PP2BPPP/R1BQK2R b KQ -",
        // Middlegames: castled kings, attacks, pins, hanging pieces.
        "r1bq1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N1PN2/PP3PPP/R2QKB1R w KQ -",
        "r2q1rk1/pp1bbppp/2n1pn2/3p4/3P4/2NBPN2/PP3PPP/R1BQ1RK1 w - -",
        "r1b2rk1/pp1nqppp/2pbpn2/3p4/2PP4/2NBPN2/PPQ2PPP/R1B2RK1 w - -",
        "2rq1rk1/pb1nbppp/1p2pn2/2pp4/3P4/1P1BPN2/PBPN1PPP/R2Q1RK1 w - -",
        "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - -",
        "r1bqr1k1/pppp1ppp/2n2n2/2b1p3/2B1P3/2NP1N2/PPP2PPP/R1BQ1RK1 b - -",
        "r3k2r/ppp2ppp/2n1bn2/2bpp1q1/4P3/2NP1N2/PPPBBPPP/R2QK2R w KQkq -",
        "rnb1k2r/pp3ppp/4pn2/q1pp4/1bPP4/2N1PN2/PP1B1PPP/R2QKB1R w KQkq -",
        "r2qkb1r/pp2pppp/2p2n2/3p1b2/3P4/2N1PN2/PP3PPP/R1BQKB1R w KQkq -",
        "1r3rk1/p4ppp/2p2q2/3p4/3P1Q2/2P5/P4PPP/1R3RK1 w - -",
        "r1b1k2r/ppppnppp/2n2q2/2b5/3NP3/2P1B3/PP3PPP/RN1QKB1R w KQkq -",
        "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - -",
        "r5k1/5ppp/8/8/8/8/5PPP/3R2K1 b - -",
        "2kr3r/ppp2ppp/2n5/2b1p3/4P1n1/2N2N2/PPP2PPP/R1B2RK1 w - -",
        "r2qk2r/ppp1bppp/2n5/3pPb2/3Pn3/2PB1N2/PP3PPP/RNBQ1RK1 w kq -",
        "3r1rk1/p1q2ppp/1pn1p3/2p5/2P1Q3/P1P3P1/4PPBP/R4RK1 w - -",
        "r1bq1rk1/ppp2ppp/2np1n2/2b1p3/2B1P3/2NP1N2/PPP1QPPP/R1B2RK1 b - -",
        "4rrk1/pp1n2pp/2pq1p2/3p4/3P4/2PBQ1P1/PP3P1P/R4RK1 w - -",
        "r3r1k1/pp3pbp/1qp3p1/2B5/2BP2b1/Q1n2N2/P4PPP/3R1RK1 b - -",
        "1k1r4/pp1b1R2/3q2pp/4p3/2B5/4Q3/PPP2B2/2K5 b - -",
        "3r2k1/1p3ppp/2pq4/p1n5/P6P/1P6/1PB2QP1/1K2R3 w - -",
        "r1bqkb1r/pp3ppp/2n1pn2/2pp4/3P1B2/2P1PN2/PP1N1PPP/R2QKB1R w KQkq -",
        "q3k3/8/8/3n4/8/8/3R4/4K3 w - -",   // knight pinned against the queen
        "4k3/8/8/8/1b6/8/3N4/4K3 w - -",    // knight pinned against the king
        "4k3/4r3/8/8/4B3/8/8/4K3 w - -",    // bishop pinned on the file
        "4k3/8/8/4q3/8/2N5/8/R3K3 w - -",
        // Pawn structures.
        "4k3/pp3ppp/8/3p4/3P4/8/PP3PPP/4K3 w - -",
        "4k3/p1p2ppp/1p6/8/8/1P6/P1P2PPP/4K3 b - -",
        "4k3/ppp3pp/8/3pPp2/8/8/PPP3PP/4K3 w - f6",
        "6k1/5ppp/1p6/pP6/P7/8/5PPP/6K1 w - -",
        "8/5pk1/6p1/3P3p/7P/6P1/5PK1/8 w - -",
        "8/8/1p1k4/pPp5/P1P5/3K4/8/8 w - -",
        "4k3/8/8/2pPp3/8/8/8/4K3 w - c6",
        "8/2p5/1p1p4/pP1P4/P3k3/8/4K3/8 b - -",
        "8/pp3k2/2p5/2P1p3/1P2P3/8/5K2/8 w - -",
        "8/3k4/8/1pPp4/1P1P4/8/4K3/8 w - -",
        // Endgames with pieces.
        "8/8/4k3/8/2R5/8/3K4/8 w - -",
        "8/8/4k3/8/2Q5/8/3K4/8 b - -",
        "8/8/4k3/8/2RP4/8/3K4/8 w - -",
        "7k/8/8/8/8/8/8/KBN5 w - -",
        "k7/8/8/8/8/8/8/KBN5 b - -",
        "7k/8/5K2/8/8/8/8/1B1N4 w - -",
        "8/8/4k3/8/8/8/3K4/2N5 w - -",
        "8/8/4k3/8/8/8/3K4/2B5 w - -",
        "8/8/4k3/2n5/8/8/3K4/2B5 b - -",
        "8/8/4k3/2n5/8/8/3K4/2BB4 w - -",
        "8/8/4k3/8/8/8/1N1K4/2N5 w - -",
        "8/8/4k3/2r5/8/8/3K4/2Q5 w - -",
        "8/8/4k3/2nn4/8/8/3K4/2Q5 w - -",
        "8/8/4k3/2nn4/p7/8/3K4/2Q5 w - -",
        "8/3p4/4k3/8/8/8/3K4/2R5 w - -",
        "8/8/4k3/2b5/8/8/3K4/2R5 b - -",
        "8/8/4k3/2b5/8/8/2RK4/2R5 w - -",
        "8/8/3bk3/8/8/8/3K4/2RN4 w - -",
        "6k1/8/8/8/8/8/P7/1B4K1 w - -",      // wrong-coloured bishop
        "k7/8/8/8/8/8/P7/1B4K1 w - -",
        "1k6/8/8/8/8/8/P7/B5K1 w - -",        // right-coloured bishop
        "7k/8/8/8/8/8/7P/6K1 b - -",
        "8/8/8/8/k7/8/7P/6K1 w - -",
        "6k1/7p/8/8/8/8/8/1B4K1 b - -",
        "8/8/1k6/8/8/8/P1P5/1K6 w - -",
        "5k2/8/8/3b4/3P4/8/5B2/5K2 w - -",    // opposite bishops, one pawn up
        "5k2/8/8/3b4/1P1P4/8/5B2/5K2 w - -",  // opposite bishops, two pawns up
        "5k2/6p1/8/3b4/1P1P4/6P1/5B2/5K2 w - -",
        "5k2/8/4b3/8/3P4/8/5B2/5K2 w - -",    // same-coloured bishops
        "4k3/8/8/3n4/3P4/8/5B2/5K2 w - -",
        "4k3/4n3/8/8/3P4/8/5B2/5K2 w - -",
        "3k4/8/8/8/3P4/2K5/5B2/8 w - -",
        "8/8/2k5/8/3P4/8/5N2/5K2 w - -",
        "8/8/3k4/8/2RP4/8/5K2/4r3 w - -",
        "8/8/3k4/8/1PRP4/8/5K2/4r3 w - -",
        "8/8/3k4/8/PPRP4/8/5K2/4r3 w - -",
        "8/8/3k4/p7/PPRP4/8/5K2/4r3 w - -",
        "8/5k2/8/8/3R4/8/1p3K2/4r3 b - -",
        "8/8/8/4k3/8/8/R3K3/r7 w - -",
        "8/8/8/4k3/8/8/Q3K3/q7 w - -",
        "8/6k1/8/8/8/8/Q5K1/2r1b3 w - -",
        "8/6k1/8/3p4/8/8/Q5K1/2r1b3 w - -",
        "8/6k1/8/8/8/8/R5K1/2n5 w - -",
        "8/6k1/8/6p1/8/8/R5K1/8 w - -",
        "8/8/8/4k3/8/8/1p2K3/1R6 w - -",
        // King and pawn against king (bitbase), and one pawn each.
        "8/2k5/8/8/3P4/8/3K4/8 w - -",
        "8/2k5/8/8/3P4/8/3K4/8 b - -",
        "2k5/2P5/2K5/8/8/8/8/8 b - -",
        "k7/P7/8/8/8/8/8/7K w - -",
        "8/8/8/8/4k3/8/5P2/3K4 w - -",
        "8/5p2/8/8/3K4/8/8/4k3 b - -",
        "8/8/4k3/8/2p5/8/2P5/2K5 w - -",
        "8/8/8/k7/p7/8/P7/K7 w - -",
        "8/8/3k4/3p4/3P4/3K4/8/8 w - -",
        "8/4k3/8/3p4/8/8/4P3/4K3 w - -",
        "8/8/8/1k6/8/1K6/P6p/8 w - -",
        // Promoted material: three queens a side, a crowd of knights.
        "7k/1pp5/5qqq/8/8/QQQ5/5PP1/K7 w - -",
        "k7/pp6/8/8/8/8/QQQQ4/1QQQKQQQ w - -",
        "N1N1k1N1/1N3N2/2N4N/8/8/8/8/4K3 b - -",
        "3k4/8/1N1N1N2/N1NN1N1N/4N3/8/8/4K3 b - -",
        "nnnnk3/nnnn4/8/8/8/8/NNNNNNNN/NNK5 w - -",
        "rrrrk3/8/8/8/8/8/8/BBBBK3 w - -",
        "bbbbk3/bbbb4/8/8/8/8/RRRR1RRR/RRK5 b - -",
        "4k3/8/8/8/8/8/8/QQQQKQQQ b - -",
    };
    return list;
}

inline std::vector<std::string> split_fields(const std::string& fen)
{
    std::vector<std::string> f;
    size_t i = 0;
    while (i < fen.size()) {
        while (i < fen.size() && fen[i] == ' ') i++;
        size_t j = i;
        while (j < fen.size() && fen[j] != ' ') j++;
        if (j > i) f.push_back(fen.substr(i, j - i));
        i = j;
    }
    while (f.size() < 4) f.push_back("-");
    return f;
}

inline std::vector<std::string> expanded_ranks(const std::string& placement)
{
    std::vector<std::string> ranks(1);
    for (char c : placement) {
        if (c == '/') ranks.emplace_back();
        else if (c >= '1' && c <= '8') ranks.back().append(size_t(c - '0'), '.');
        else ranks.back().push_back(c);
    }
    return ranks;
}

inline std::string compressed(const std::vector<std::string>& ranks)
{
    std::string out;
    for (size_t r = 0; r < ranks.size(); r++) {
        if (r) out.push_back('/');
        int run = 0;
        for (char c : ranks[r]) {
            if (c == '.') {
                run++;
                continue;
            }
            if (run) out.push_back(char('0' + run)), run = 0;
            out.push_back(c);
        }
        if (run) out.push_back(char('0' + run));
    }
    return out;
}

inline char swap_case(char c)
{
    if (c >= 'a' && c <= 'z') return char(c - 32);
    if (c >= 'A' && c <= 'Z') return char(c + 32);
    return c;
}

// The board mirrored rank-wise with colours and the side to move swapped.
inline std::string colour_flipped(const std::string& fen)
{
    std::vector<std::string> f = split_fields(fen);
    std::vector<std::string> ranks = expanded_ranks(f[0]);
    std::vector<std::string> flipped(ranks.rbegin(), ranks.rend());
    for (auto& r : flipped)
        for (auto& c : r) c = swap_case(c);
    std::string castling;
    for (char c : std::string("KQkq"))
        if (f[2].find(swap_case(c)) != std::string::npos) castling.push_back(c);
    if (castling.empty()) castling = "-";
    std::string ep = f[3];
    if (ep.size() == 2) ep[1] = char('1' + ('8' - ep[1]));
    return compressed(flipped) + (f[1] == "w" ? " b " : " w ") + castling + " " + ep;
}

// The board mirrored file-wise (for positions without castling rights).
inline std::string file_mirrored(const std::string& fen)
{
    std::vector<std::string> f = split_fields(fen);
    std::vector<std::string> ranks = expanded_ranks(f[0]);
    for (auto& r : ranks) r = std::string(r.rbegin(), r.rend());
    std::string ep = f[3];
    if (ep.size() == 2) ep[0] = char('a' + ('h' - ep[0]));
    return compressed(ranks) + " " + f[1] + " " + f[2] + " " + ep;
}

} // namespace eval_positions
