// Searches through the real binary on pipes: legal best and ponder moves
// after "position" with move lists, the reports held back while pondering or
// analysing, stop and quit during a search, and the benchmark's signature.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "bitboard.h"
#include "engine_process.h"
#include "pipe_moves.h"
#include "fen.h"
#include "makemove.h"
#include "movegen.h"
#include "movetext.h"
#include "records.h"
#include "test_data.h"
#include "zobrist.h"

namespace {

struct SearchPipeTest : ::testing::Test {
    EngineProcess engine;
    std::string dir;
    static void SetUpTestSuite()
    {
        init_board_tables();
        generate_zobrist_keys();  // (idempotent) repetitions are found by key
        if (!game_record) setup_game_record();
    }
    void SetUp() override
    {
        dir = fresh_test_dir("vant_search_pipe");
        ASSERT_TRUE(engine.start({"-nolog", "-hash", "4"}, dir));
    }
    void quit_cleanly()
    {
        engine.send("quit");
        EXPECT_EQ(engine.finish(), 0);
    }
    // Sends the position and the "go", waits for "bestmove" and checks that
    // the best move, and the ponder move after it, are legal.
    void expect_legal_answer(const std::string& fen, const std::string& moves, const std::string& go)
    {
        engine.send((fen == START_FEN ? std::string("position startpos") : "position fen " + fen) +
                    (moves.empty() ? "" : " moves " + moves));
        engine.send(go);
        std::string line = engine.wait_for("bestmove");
        std::vector<std::string> w = words_of(line);
        ASSERT_GE(w.size(), 2u) << line;
        ASSERT_EQ(w[0], "bestmove");
        std::vector<std::string> played = words_of(moves);
        played.push_back(w[1]);
        EXPECT_TRUE(play_from(fen, played)) << fen << " moves " << moves << ": " << line;
        if (w.size() == 4) {
            EXPECT_EQ(w[2], "ponder");
            played.push_back(w[3]);
            EXPECT_TRUE(play_from(fen, played)) << line;
        }
    }
};

TEST_F(SearchPipeTest, BestAndPonderMovesAreLegal)
{
    expect_legal_answer(START_FEN, "", "go depth 5");
    expect_legal_answer(START_FEN, "e2e4 c7c5 g1f3 d7d6 d2d4 c5d4 f3d4 g8f6 b1c3 a7a6", "go depth 6");
    expect_legal_answer("r3k2r/pppq1ppp/2np1n2/2b1p1B1/2B1P1b1/2NP1N2/PPPQ1PPP/R3K2R w KQkq - 4 8",
                        "e1g1 e8c8", "go movetime 150");
    expect_legal_answer("8/P6k/8/8/8/8/6K1/8 w - - 0 1", "", "go depth 4");  // a promotion
    expect_legal_answer("4k3/8/8/3pP3/8/8/8/4K3 w - d6 0 2", "", "go nodes 3000");
    expect_legal_answer(START_FEN, "d2d4 d7d5", "go wtime 300 btime 300 winc 20 binc 20");
    expect_legal_answer(START_FEN, "d2d4 d7d5 c2c4", "go wtime 2000 btime 2000 movestogo 5");
    quit_cleanly();
}

TEST_F(SearchPipeTest, BadMoveListStopsAtTheFirstBadWord)
{
    engine.send("position startpos moves e2e4 e7e5 e1e3 g1f3");
    EXPECT_EQ(engine.wait_for("info string move e1e3 refused").rfind("info string", 0), 0u);
    expect_legal_answer(START_FEN, "e2e4 e7e5", "go depth 3");
    engine.send("position fen rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1 moves g1f3 x9 b8c6");
    EXPECT_NE(engine.wait_for("info string bad move text 'x9'"), "<timeout>");
    engine.send("go depth 3");
    std::vector<std::string> w = words_of(engine.wait_for("bestmove"));
    ASSERT_GE(w.size(), 2u);
    EXPECT_TRUE(play_from(START_FEN, {"g1f3", w[1]}));  // black's move after g1f3
    // After a refused FEN nothing is searched (the previous position belongs
    // to another game) until a position is accepted again.
    engine.send("position fen 8/8/8/8/8/8/8/8 w - - 0 1");
    EXPECT_EQ(engine.wait_for("info string FEN rejected").rfind("info string FEN rejected", 0), 0u);
    engine.send("go depth 3");
    EXPECT_NE(engine.wait_for("info string no valid position"), "<timeout>");
    EXPECT_EQ(engine.wait_for("bestmove"), "bestmove 0000");
    engine.send("go infinite");
    engine.send("stop");
    EXPECT_EQ(engine.wait_for("bestmove"), "bestmove 0000");
    expect_legal_answer(START_FEN, "e2e4", "go depth 3");
    // A placement read square by square (the "6" overruns its rank) is searched.
    engine.send("position fen r1bqkbnr/pppp1ppp/2n6/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3");
    engine.send("go depth 4");
    w = words_of(engine.wait_for("bestmove"));
    ASSERT_GE(w.size(), 2u);
    EXPECT_TRUE(play_from("r1bqkbnr/pppp1ppp/2n5/4p3/4P3/5N2/PPPP1PPP/RNBQKB1R w KQkq - 2 3", {w[1]}));
    quit_cleanly();
}

TEST_F(SearchPipeTest, IsreadyIsAnsweredDuringASearch)
{
    engine.send("position startpos");
    engine.send("go infinite");
    EXPECT_EQ(engine.wait_for("info depth").rfind("info depth", 0), 0u);
    engine.send("isready");
    EXPECT_EQ(engine.wait_for("readyok"), "readyok");
    engine.send("stop");
    EXPECT_EQ(engine.wait_for("bestmove").rfind("bestmove", 0), 0u);
    quit_cleanly();
}

TEST_F(SearchPipeTest, MateFoundDoesNotEndInfiniteOrPonderSearches)
{
    // Mate in one: the deepening ends at once, but no report may come
    // before "stop" or "ponderhit".
    const std::string mate = "position fen 6k1/5ppp/8/8/8/8/8/R5K1 w - - 0 1";
    engine.send(mate);
    engine.send("go infinite");
    EXPECT_NE(engine.wait_for("info depth").find("mate 1"), std::string::npos);
    EXPECT_TRUE(engine.collect("bestmove", 500).empty());
    engine.send("stop");
    EXPECT_EQ(engine.wait_for("bestmove"), "bestmove a1a8");

    engine.send(mate);
    engine.send("go ponder wtime 10000 btime 10000");
    EXPECT_TRUE(engine.collect("bestmove", 500).empty());
    engine.send("ponderhit");
    EXPECT_EQ(engine.wait_for("bestmove"), "bestmove a1a8");

    engine.send(mate);
    engine.send("go depth 3 infinite");
    EXPECT_TRUE(engine.collect("bestmove", 300).empty());
    engine.send("stop");
    EXPECT_EQ(engine.wait_for("bestmove"), "bestmove a1a8");
    engine.send("isready");
    EXPECT_EQ(engine.wait_for("readyok"), "readyok");
    size_t reports = 0;
    for (const std::string& l : engine.lines) reports += l.rfind("bestmove", 0) == 0;
    EXPECT_EQ(reports, 3u);
    quit_cleanly();
}

TEST_F(SearchPipeTest, StopAndQuitDuringASearch)
{
    engine.send("position startpos moves e2e4");
    engine.send("go wtime 100000 btime 100000");
    engine.wait_for("info depth 3");
    engine.send("stop");
    std::vector<std::string> w = words_of(engine.wait_for("bestmove"));
    ASSERT_GE(w.size(), 2u);
    EXPECT_TRUE(play_from(START_FEN, {"e2e4", w[1]}));
    engine.send("stop");  // nothing runs now: nothing more is said
    engine.send("isready");
    EXPECT_EQ(engine.wait_for("readyok"), "readyok");
    EXPECT_TRUE(engine.collect("bestmove", 200).empty());

    engine.send("go infinite");
    engine.wait_for("info depth 2");
    engine.send("quit");
    EXPECT_EQ(engine.finish(), 0);
    size_t reports = 0;
    for (const std::string& l : engine.lines) reports += l.rfind("bestmove", 0) == 0;
    EXPECT_EQ(reports, 1u);
}

TEST_F(SearchPipeTest, TableComesBackAfterHashZero)
{
    engine.send("setoption name Hash value 0");
    engine.send("position startpos");
    engine.send("go depth 3");
    engine.wait_for("bestmove");
    engine.send("setoption name Clear Hash value x");  // the table is off: no reply
    engine.send("setoption name Hash value 2");
    EXPECT_EQ(engine.wait_for("info string Hash"), "info string Hash size set to 2M bytes");
    engine.send("setoption name Clear Hash value x");
    EXPECT_EQ(engine.next_line(), "info string Hash table cleared");
    expect_legal_answer(START_FEN, "g1f3", "go depth 5");
    quit_cleanly();
}

// "ucinewgame" empties the table under a running search: the aborted
// search's closing line (right before its "bestmove"; lines it printed
// earlier may predate the clear) and the next search's lines show it empty.
TEST_F(SearchPipeTest, HashfullAfterANewGameDuringASearch)
{
    engine.send("position startpos");
    engine.send("go depth 40");  // an ordinary search that no clock ends before depth 9
    ASSERT_NE(engine.wait_for("info depth 9 "), "<timeout>");  // deep enough to fill part of the table
    engine.send("ucinewgame");
    engine.send("position startpos");
    engine.send("go depth 1");
    std::vector<std::string> checked;
    for (std::string line, previous; checked.size() < 2 || line.rfind("bestmove", 0) != 0; previous = line) {
        line = engine.next_line();
        ASSERT_TRUE(line != "<timeout>" && line != "<eof>");
        if (line.rfind("bestmove", 0) == 0 && checked.empty()) checked.push_back(previous);
        else if (!checked.empty() && line.rfind("info depth", 0) == 0) checked.push_back(line);
    }
    for (const std::string& line : checked) {
        const std::vector<std::string> w = words_of(line);
        const auto at = std::find(w.begin(), w.end(), "hashfull");
        ASSERT_TRUE(at + 1 < w.end()) << line;
        EXPECT_LE(std::stoi(*(at + 1)), 100) << line;
    }
    quit_cleanly();
}

TEST_F(SearchPipeTest, NewGameAndOptionsBetweenSearches)
{
    engine.send("ucinewgame");
    engine.send("setoption name Threads value 3");
    EXPECT_EQ(engine.wait_for("info string Threads"), "info string Threads set to 3");
    engine.send("setoption name MultiPV value 2");
    engine.send("setoption name Contempt value 20");
    engine.send("setoption name UCI_LimitStrength value true");
    engine.send("setoption name UCI_Elo value 2600");  // about 90,000 nodes per second
    expect_legal_answer(START_FEN, "e2e4", "go depth 3");
    engine.send("setoption name UCI_LimitStrength value false");
    engine.send("setoption name MultiPV value 1");
    engine.send("setoption name Threads value 1");
    EXPECT_EQ(engine.wait_for("info string Threads"), "info string Threads set to 1");
    engine.send("ucinewgame");
    expect_legal_answer(START_FEN, "e2e4 e7e5", "go movetime 100");
    quit_cleanly();
}

// Legal moves of the game position.
int legal_move_count()
{
    Position& pos = game_record->pos;
    generate_all_moves(pos);
    int count = 0;
    for (const MoveEntry* e = game_record->ply[game_record->search_ply].list_start; e->move != MOVE_LIST_END; e++)
        count += king_safe_after_move(pos, pos.side, e->move);
    return count;
}

// With the 3-4 piece tables the engine plays a won ending against itself,
// one short search per move from the game so far, and mates before the
// fifty-move rule or a threefold repetition can draw it.
TEST_F(SearchPipeTest, TablebaseWinsAreConvertedToMate)
{
    ASSERT_TRUE(test_tables_present());
    engine.send(std::string("setoption name SyzygyPath value ") + test_table_dir());
    ASSERT_EQ(engine.wait_for("info string found").rfind("info string found", 0), 0u);
    for (const char* fen : {"8/8/8/4k3/8/8/8/3QK3 w - - 0 1",      // KQvK
                            "8/8/8/4k3/8/8/8/R3K3 w - - 0 1",       // KRvK
                            "8/8/4k3/8/8/4K3/4P3/8 w - - 0 1"}) {   // KPvK, black king in front
        SCOPED_TRACE(fen);
        ASSERT_TRUE(play_from(fen, {}));
        const int winner = game_record->pos.side;
        std::string moves;
        std::vector<u64> keys = {game_record->pos.key};
        bool mated = false;
        for (int ply = 0; ply < 200 && !mated; ply++) {
            engine.send("position fen " + std::string(fen) + (moves.empty() ? "" : " moves" + moves));
            engine.send("go depth 6");
            const std::string line = engine.wait_for("bestmove");
            const std::vector<std::string> w = words_of(line);
            ASSERT_GE(w.size(), 2u) << line;
            Move move;
            ASSERT_TRUE(parse_move_text(w[1].c_str(), move)) << line;
            ASSERT_EQ(play_game_move(move), GAME_MOVE_PLAYED) << moves << " " << line;
            moves += " " + w[1];
            Position& pos = game_record->pos;
            ASSERT_LT(pos.halfmove_clock, 100) << "fifty-move draw after" << moves;
            keys.push_back(pos.key);
            ASSERT_LT(std::count(keys.begin(), keys.end(), pos.key), 3) << "repetition after" << moves;
            if (legal_move_count() == 0) {
                ASSERT_TRUE(is_square_attacked_by(pos, king_square(pos, pos.side), pos.side ^ 1))
                    << "stalemate after" << moves;
                EXPECT_NE(pos.side, winner);
                mated = true;
            }
        }
        EXPECT_TRUE(mated) << moves;
    }
    quit_cleanly();
}

// With several lines over a tablebase root each line shows what its own
// move keeps: the root's result where the move keeps it, a draw or a loss
// where the move throws it away. A single line shows the root's result.
TEST_F(SearchPipeTest, TablebaseMultiPvLinesShowTheirOwnMovesValue)
{
    ASSERT_TRUE(test_tables_present());
    engine.send(std::string("setoption name SyzygyPath value ") + test_table_dir());
    ASSERT_NE(engine.wait_for("info string found"), "<timeout>");
    const struct {
        const char* fen;
        int keeping;                   // value of the moves that keep the root's result
        std::vector<std::string> away; // the moves that do not, and their value
        int away_value;
    } cases[] = {
        {"8/8/8/8/8/2k5/8/KR6 w - - 0 1", 9800, {"b1b3", "b1b4"}, 0},  // the king takes the rook
        {"8/8/8/4k3/8/8/3KP3/8 w - - 0 1", 9800, {"e2e3", "e2e4", "d2c1", "d2d1", "d2e1", "d2c2", "d2c3", "d2d3"}, 0},
        {"4k3/8/8/8/8/8/4r3/K2R4 w - - 0 1", 0, {"d1d2", "d1e1", "d1d7", "d1d8"}, -9800},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fen);
        engine.send(std::string("position fen ") + c.fen);
        for (int multipv : {20, 1}) {
            engine.send("setoption name MultiPV value " + std::to_string(multipv));
            engine.send("go depth 8");
            int away_lines = 0;
            std::string text;
            while ((text = engine.next_line()).rfind("bestmove", 0) != 0) {
                ASSERT_TRUE(text != "<timeout>" && text != "<eof>");
                const std::vector<std::string> w = words_of(text);
                const auto score = std::find(w.begin(), w.end(), "score");
                const auto pv = std::find(w.begin(), w.end(), "pv");
                if (score == w.end() || pv + 1 >= w.end()) continue;
                const bool away = std::count(c.away.begin(), c.away.end(), *(pv + 1)) > 0 && multipv > 1;
                away_lines += away;
                EXPECT_EQ(*(score + 1) + " " + *(score + 2), "cp " + std::to_string(away ? c.away_value : c.keeping))
                    << text;
            }
            EXPECT_EQ(away_lines, multipv > 1 ? 8 * int(c.away.size()) : 0);
            EXPECT_EQ(std::count(c.away.begin(), c.away.end(), words_of(text)[1]), 0) << text;
        }
    }
    quit_cleanly();
}

// Inside a depth the engine prints the root moves that fail high or low and
// each best line so far: bounds, marked as such. Every depth then has one
// exact score, and no exact line claims a mate that the closing line refutes.
TEST_F(SearchPipeTest, BoundLinesAreMarked)
{
    ASSERT_TRUE(test_tables_present());
    for (const char* fen : {"r1bqnr2/pp1ppkbp/4N1p1/n3P3/8/2N1B3/PPP2PPP/R2QK2R b KQ - 2 11",  // fails low into a mate
                            "k5r1/p4b2/2P5/5p2/3P1P2/4QBrq/P5P1/4R1K1 w - - 0 1",                // white mates in 4
                            "R7/k7/3K1p2/4R3/8/8/8/8 b - - 0 1"}) {                              // lost on the tables
        SCOPED_TRACE(fen);
        if (fen[0] == 'R') engine.send(std::string("setoption name SyzygyPath value ") + test_table_dir());
        const size_t start = engine.cursor;
        expect_legal_answer(fen, "", "go depth 12");
        std::map<std::string, std::string> exact;  // depth -> its exact score
        std::set<std::string> depths, exact_mates;
        std::string closing;
        for (size_t i = start; i < engine.cursor; i++) {
            const std::vector<std::string> w = words_of(engine.lines[i]);  // info depth D seldepth S score KIND N [BOUND] time
            if (w.size() < 9 || w[1] != "depth" || w[5] != "score") continue;
            depths.insert(w[2]);
            if (w[8] == "lowerbound" || w[8] == "upperbound") continue;
            closing = w[6] + " " + w[7];
            EXPECT_EQ(exact.emplace(w[2], closing).first->second, closing) << "two exact scores at depth " << w[2];
            if (w[6] == "mate") exact_mates.insert(w[7]);
        }
        EXPECT_EQ(exact.size(), depths.size()) << "a depth without its exact score";
        for (const std::string& m : exact_mates)
            EXPECT_TRUE(closing.rfind("mate ", 0) == 0 && (closing[5] == '-') == (m[0] == '-')) << m << " / " << closing;
    }
    quit_cleanly();
}

// Kings and bishops all on squares of one colour can never mate: a draw. A
// bishop pair on both colours still wins.
TEST_F(SearchPipeTest, BishopsOfOneColourCannotMate)
{
    for (const char* fen : {"3B4/8/5K2/k7/8/8/5B2/8 b - - 0 1", "8/8/4k3/5b2/4b3/8/8/K7 b - - 0 1",
                            "5b2/8/3k4/8/8/4K3/3B4/2B5 w - - 0 1", "4B3/8/5K2/k7/8/8/5B2/8 b - - 0 1"}) {
        SCOPED_TRACE(fen);
        expect_legal_answer(fen, "", "go depth 14");
        const std::string& closing = engine.lines[engine.cursor - 2];  // the line before "bestmove"
        const std::string score = closing.substr(closing.find(" score ") + 7, 9);
        if (fen[0] != '4') EXPECT_EQ(score, "cp 0 time") << closing;
        else EXPECT_TRUE(score.rfind("mate -", 0) == 0 || std::stoi(score.substr(3)) < -300) << closing;
    }
    quit_cleanly();
}

// The score ("mate 2", "cp 0"), depth, node count and first move of each
// scored "info" line of a search, and its best move.
struct ScoredLine {
    std::string score, depth, nodes, move;
};
std::vector<ScoredLine> scored_lines(EngineProcess& engine, const std::string& position, const char* go,
                                     std::string& best)
{
    engine.send("ucinewgame");
    engine.send(position);
    engine.send(go);
    std::vector<ScoredLine> lines;
    std::string text;
    while ((text = engine.next_line()).rfind("bestmove", 0) != 0 && text != "<timeout>" && text != "<eof>") {
        const std::vector<std::string> w = words_of(text);
        ScoredLine line;
        for (size_t i = 0; i + 1 < w.size(); i++) {
            if (w[i] == "score" && i + 2 < w.size()) line.score = w[i + 1] + " " + w[i + 2];
            if (w[i] == "depth") line.depth = w[i + 1];
            if (w[i] == "nodes") line.nodes = w[i + 1];
            if (w[i] == "pv") line.move = w[i + 1];
        }
        if (!line.score.empty()) lines.push_back(line);
    }
    best = text.rfind("bestmove ", 0) == 0 ? words_of(text)[1] : text;
    if (lines.empty()) lines.push_back(ScoredLine{});
    return lines;
}

// "win": a tablebase win the search found after a capture (or a mate).
bool score_is(const std::string& score, const std::string& expected)
{
    if (expected != "win") return score == expected;
    const std::vector<std::string> w = words_of(score);
    return w.size() == 2 && std::stoi(w[1]) >= (w[0] == "cp" ? 9000 : 1);
}

// At the fifty-move mark, where a table's distance cannot tell a win from
// a draw, and past it, where only a mate still wins, the search decides and
// finds what the board holds; elsewhere the tables answer at once.
TEST_F(SearchPipeTest, TablebaseResultsAtTheFiftyMoveMarkAreTheBoards)
{
    ASSERT_TRUE(test_tables_present());
    engine.send(std::string("setoption name SyzygyPath value ") + test_table_dir());
    ASSERT_NE(engine.wait_for("info string found"), "<timeout>");
    const struct {
        const char* fen;
        const char* moves;
        const char* score;              // of the last line
        std::vector<std::string> best;  // the moves that keep the result (empty: any)
        bool from_tables;               // answered at once: depth 99, no nodes
    } cases[] = {
        {"6k1/8/6K1/8/8/8/8/R7 w - - 99 80", "", "mate 1", {"a1a8"}, false},
        {"7k/8/5K2/8/8/8/8/R7 w - - 97 80", "", "mate 2", {"f6g6", "f6f7"}, false},
        {"k7/2K5/8/8/8/8/8/1R6 b - - 98 80", "", "mate -1", {"a8a7"}, false},
        {"8/8/Q1q5/8/8/2k5/4K3/8 w - - 99 80", "", "win", {"a6c6"}, false},  // the capture resets the clock
        {"6k1/8/6K1/8/8/8/8/R7 w - - 97 80", "a1b1 g8h8 b1a1 h8g8", "mate 1", {"a1a8"}, false},  // clock 101
        {"8/6K1/6R1/6R1/7k/8/8/8 w - - 99 1", "", "cp 0", {}, false},  // every move allows the claim
        // A ply to spare, and two plies too many: the tables' answer.
        {"7k/8/5K2/8/8/8/8/R7 w - - 95 80", "", "cp 9800", {"f6g6", "f6f7"}, true},
        {"7k/8/5K2/8/8/8/8/R7 w - - 99 80", "", "cp 0", {}, true},
    };
    std::string best;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fen) + " " + c.moves);
        const std::vector<ScoredLine> lines = scored_lines(
            engine, std::string("position fen ") + c.fen + (*c.moves ? std::string(" moves ") + c.moves : ""),
            "go depth 10", best);
        for (const ScoredLine& line : lines) {
            if (std::string(c.score) == "cp 0") {
                EXPECT_EQ(line.score, "cp 0");  // no line claims a win
            }
        }
        EXPECT_TRUE(score_is(lines.back().score, c.score)) << lines.back().score;
        EXPECT_EQ(lines.back().depth == "99" && lines.back().nodes == "0", c.from_tables) << lines.back().depth;
        std::vector<std::string> played = words_of(c.moves);
        played.push_back(best);
        EXPECT_TRUE(play_from(c.fen, played)) << best;
        EXPECT_TRUE(c.best.empty() || std::count(c.best.begin(), c.best.end(), best) == 1) << best;
    }

    // With several lines, the moves that keep a result the tables cannot
    // tell show the search's value at every depth; every other move the
    // tables' own (here the draw).
    engine.send("setoption name MultiPV value 30");
    const struct {
        const char* fen;
        std::vector<std::string> keeping;
        const char* found;  // their value at the last depth
    } multi[] = {
        {"7k/8/5K2/8/8/8/8/R7 w - - 97 80", {"f6g6", "f6f7"}, "mate 2"},
        {"8/8/Q1q5/8/8/2k5/4K3/8 w - - 99 80", {"a6c6"}, "win"},
    };
    for (const auto& c : multi) {
        SCOPED_TRACE(c.fen);
        const std::vector<ScoredLine> lines =
            scored_lines(engine, std::string("position fen ") + c.fen, "go depth 6", best);
        EXPECT_GT(lines.size(), 10u);
        for (const ScoredLine& line : lines) {
            const bool keeps = std::count(c.keeping.begin(), c.keeping.end(), line.move) > 0;
            if (!keeps) {
                EXPECT_EQ(line.score, "cp 0") << line.move << " depth " << line.depth;
            } else if (line.depth == lines.back().depth) {
                EXPECT_TRUE(score_is(line.score, c.found)) << line.move;
            }
        }
        EXPECT_EQ(std::count(c.keeping.begin(), c.keeping.end(), best), 1) << best;
    }
    engine.send("setoption name MultiPV value 1");

    // The win/draw/loss tables alone, whose result at clock 0 says nothing
    // past the mark: the search finds the mate, or the draw.
    const std::string wdl_dir = dir + "/wdl only";
    std::filesystem::create_directories(wdl_dir);
    std::filesystem::copy_file(std::string(test_table_dir()) + "/KRvK.rtbw", wdl_dir + "/KRvK.rtbw");
    engine.send("setoption name SyzygyPath value " + wdl_dir);
    ASSERT_NE(engine.wait_for("info string found"), "<timeout>");
    for (const char* king : {"6K1", "5K2"}) {
        const std::string fen = std::string("6k1/8/") + king + "/8/8/8/8/R7 w - - 100 80";
        EXPECT_EQ(scored_lines(engine, "position fen " + fen, "go depth 8", best).back().score,
                  king[0] == '6' ? "mate 1" : "cp 0") << fen;
        EXPECT_TRUE(play_from(fen, {best})) << best;
    }
    quit_cleanly();
}

// Twelve complete piece-square blocks of small values.
std::string complete_blocks()
{
    std::string text;
    for (const char* piece : {"pawn", "knight", "bishop", "rook", "queen", "king"}) {
        for (const char* phase : {"_op", "_en"}) {
            text += std::string("PST_") + piece + phase + "\n";
            for (int rank = 0; rank < 8; rank++) text += "0 1 2 3 3 2 1 0\n";
        }
    }
    return text;
}

TEST(ConfigurationFile, EveryVariantStartsAndPlays)
{
    const struct {
        std::string text;
        bool loaded, complete;
    } variants[] = {
        {"", false, false},  // no file
        {"pawn_value 95, 120\nknight_value = 330 300\ncontempt 10\nBookDepth 8\n" + complete_blocks(), true, true},
        {"BookDepth = 10\nBookVariety = 0\ncontempt 5\n", true, false},  // partial
        {"pawn_value\nqueen_value 30000 -30000\nSyzygyPath\nVantBook\n===\n,,,\n\x01\x7f\nPST_pawn_op\n1\n", true,
         false},  // malformed
    };
    init_board_tables();
    if (!game_record) setup_game_record();
    std::string dir = fresh_test_dir("vant_search_pipe");
    for (const auto& v : variants) {
        std::filesystem::remove(dir + "/vant.rc");
        if (!v.text.empty()) std::ofstream(dir + "/vant.rc") << v.text;
        EngineProcess e;
        ASSERT_TRUE(e.start({"-nolog"}, dir));
        e.send("uci");
        EXPECT_EQ(e.wait_for("uciok"), "uciok");
        e.send("position startpos moves e2e4");
        e.send("go depth 5");
        std::vector<std::string> w = words_of(e.wait_for("bestmove"));
        ASSERT_GE(w.size(), 2u);
        EXPECT_TRUE(play_from(START_FEN, {"e2e4", w[1]})) << w[1];
        e.send("quit");
        EXPECT_EQ(e.finish(), 0);
        bool loaded = false, invalid = false;
        for (const std::string& line : e.lines) {
            loaded |= line == "loaded parameters from vant.rc";
            invalid |= line == "file vant.rc contains invalid PST";
        }
        EXPECT_EQ(loaded, v.loaded) << v.text.substr(0, 40);
        EXPECT_EQ(invalid, v.loaded && !v.complete) << v.text.substr(0, 40);
    }
}

// Two runs of the benchmark with one thread count the same nodes.
TEST(BenchmarkSignature, NodeTotalIsStable)
{
    std::string totals[2];
    for (std::string& total : totals) {
        EngineProcess e;
        ASSERT_TRUE(e.start({"-nolog", "-bench", "-d", "5"}, fresh_test_dir("vant_search_pipe")));
        EXPECT_EQ(e.wait_for("Vant 3.60 running benchmark"), "Vant 3.60 running benchmark using 1 threads");
        for (int i = 0; i < 10; i++) EXPECT_EQ(e.next_line().rfind("pos  " + std::to_string(i) + ": ", 0), 0u);
        total = e.next_line();
        EXPECT_EQ(e.finish(), 0);
    }
    ASSERT_EQ(totals[0].rfind("total time= ", 0), 0u) << totals[0];
    std::string nodes0 = totals[0].substr(totals[0].find("nodes= "));
    std::string nodes1 = totals[1].substr(totals[1].find("nodes= "));
    EXPECT_EQ(nodes0.substr(0, nodes0.find(',')), nodes1.substr(0, nodes1.find(',')));
    EXPECT_NE(nodes0.find("nps= "), std::string::npos);
}

// --- The clock is a hard limit ----------------------------------------------

// How soon these answers come is measured by build/answer_bench, not here: a
// loaded machine may hold back any process. That the threads stop at the
// clock themselves and that the answer waits for no helper is tested
// in-process (test_search_clock.cpp). These check the answers themselves:
// each "go" gets exactly one, a legal move, under a tiny clock, with more
// threads than processors and under a strength limit.
struct ClockPipeTest : SearchPipeTest {
    // Sends each "go" from the same position to an engine that has not
    // searched yet; returns the node count of each answer's closing "info"
    // line (none: 0).
    static std::vector<long long> expect_one_legal_answer_each(EngineProcess& e, const std::vector<std::string>& gos)
    {
        std::vector<long long> nodes;
        for (const std::string& go : gos) {
            e.send("position startpos moves e2e4 e7e5 g1f3");
            e.send(go);
            long long last_nodes = 0;
            std::string line;
            while ((line = e.next_line()).rfind("bestmove", 0) != 0 && line[0] != '<') {
                const size_t at = line.find(" nodes ");
                if (line.rfind("info depth ", 0) == 0 && at != std::string::npos)
                    last_nodes = std::atoll(line.c_str() + at + 7);
            }
            const std::vector<std::string> w = words_of(line);
            EXPECT_TRUE(w.size() >= 2 && play_from(START_FEN, {"e2e4", "e7e5", "g1f3", w[1]})) << go << ": " << line;
            nodes.push_back(last_nodes);
        }
        // One answer each, none more.
        e.send("isready");
        EXPECT_EQ(e.wait_for("readyok"), "readyok");
        size_t answers = 0;
        for (const std::string& l : e.lines) answers += l.rfind("bestmove", 0) == 0;
        EXPECT_EQ(answers, gos.size());
        return nodes;
    }
};

TEST_F(ClockPipeTest, TinyTimesAreAnsweredAtOnce)
{
    // 10 ms on the clock, less than the 50 ms overhead: the time is up when
    // the search starts, and it stops at its first look at the clock, at its
    // 1024th node or sooner, far from the 2048th where the next look would
    // come (the engine's own count shows it when an iteration finished).
    const std::vector<long long> nodes =
        expect_one_legal_answer_each(engine, {"go movetime 1", "go wtime 10 btime 10", "go movetime 0"});
    EXPECT_LT(nodes[1], 2048);
    quit_cleanly();
}

// Eight threads on two processors, as a tournament manager running many
// games at once may give them.
TEST_F(ClockPipeTest, OversubscribedThreadsKeepTheClock)
{
    quit_cleanly();
    EngineProcess crowded;
    crowded.processor_limit = 2;
    ASSERT_TRUE(crowded.start({"-nolog", "-hash", "4", "-threads", "8"}, dir));
    expect_one_legal_answer_each(crowded, {"go wtime 60 btime 60", "go movetime 50", "go wtime 60 btime 60",
                                           "go movetime 50"});
    crowded.send("quit");
    EXPECT_EQ(crowded.finish(), 0);
}

TEST_F(ClockPipeTest, LimitedStrengthKeepsTheClock)
{
    engine.send("setoption name UCI_LimitStrength value true");
    engine.send("setoption name UCI_Elo value 1500");
    expect_one_legal_answer_each(engine, {"go wtime 100 btime 100", "go movetime 100"});
    quit_cleanly();
}

// Each "go" sets the limits it names and no others.
TEST_F(SearchPipeTest, NoLimitOutlivesItsGo)
{
    engine.send("position startpos");
    engine.send("go nodes 1000");
    engine.wait_for("bestmove");
    engine.send("go depth 12");
    EXPECT_EQ(engine.wait_for("info depth 12 ").rfind("info depth 12 ", 0), 0u);
    engine.wait_for("bestmove");
    engine.send("go depth 1");
    engine.wait_for("bestmove");
    engine.send("ucinewgame");
    engine.send("go wtime 600000 btime 600000");  // (its target, 15 s, far from depth 3)
    EXPECT_EQ(engine.wait_for("info depth 3 ").rfind("info depth 3 ", 0), 0u);
    engine.send("stop");
    EXPECT_EQ(engine.wait_for("bestmove").rfind("bestmove", 0), 0u);
    quit_cleanly();
}

// --- Every "position" is the GUI's --------------------------------------------

TEST_F(SearchPipeTest, LongGamesArePlayedWhole)
{
    // 900 plies of knight moves; then a line near the longest game the
    // fifty-move rule allows.
    std::string shuffle;
    for (int i = 0; i < 225; i++) shuffle += " g1f3 g8f6 f3g1 f6g8";
    expect_legal_answer(START_FEN, shuffle.substr(1) + " g1f3", "go depth 6");
    std::string longest;
    for (int i = 0; i < 2990; i++) longest += " g1f3 g8f6 f3g1 f6g8";
    expect_legal_answer(START_FEN, longest.substr(1), "go depth 4");
    EXPECT_TRUE(engine.collect("info string input line too long", 100).empty());
    quit_cleanly();
}

// Where there is no move to give, the answer is the protocol's null move,
// read the way client libraries read it: "0000" or "(none)" for no move,
// anything else must be a move in coordinate form.
TEST_F(SearchPipeTest, NoMoveIsAnsweredAsTheNullMove)
{
    const auto client_reads = [](const std::string& line) {
        const std::vector<std::string> w = words_of(line);
        if (w.size() < 2 || w[0] != "bestmove") return std::string("<not an answer>");
        if (w[1] == "0000" || w[1] == "(none)") return std::string("none");
        const std::string& m = w[1];
        const bool coordinate = (m.size() == 4 || (m.size() == 5 && std::strchr("qrbn", m[4]))) &&
                                m[0] >= 'a' && m[0] <= 'h' && m[1] >= '1' && m[1] <= '8' && m[2] >= 'a' &&
                                m[2] <= 'h' && m[3] >= '1' && m[3] <= '8';
        return coordinate ? m : "<invalid uci: " + m + ">";
    };
    const char* const positions[] = {
        "position fen k7/1Q6/1K6/8/8/8/8/8 b - - 0 1",  // mated
        "position fen 7k/5Q2/6K1/8/8/8/8/8 b - - 0 1",  // stalemated
        "position fen 8/8/8/8/8/8/8/8 w - - 0 1",       // refused: no kings
    };
    for (const char* position : positions) {
        engine.send(position);
        engine.send("go depth 5");
        EXPECT_EQ(client_reads(engine.wait_for("bestmove")), "none") << position;
        engine.send("go infinite");
        engine.send("stop");
        EXPECT_EQ(client_reads(engine.wait_for("bestmove")), "none") << position;
    }
    engine.send("position startpos");
    engine.send("go depth 3");
    EXPECT_EQ(client_reads(engine.wait_for("bestmove")).size(), 4u);
    quit_cleanly();
}

// What a GUI holds after each depth of a MultiPV search: the lines ordered
// by score, each move in one line only, and "bestmove" the move of line 1,
// which the closing line repeats under its own number.
TEST_F(SearchPipeTest, MultiPvLinesAreOrderedAndDistinct)
{
    struct Line {
        int index, depth, score;
        std::string move;
    };
    const auto read_line = [](const std::string& text) {
        const std::vector<std::string> w = words_of(text);
        Line line{0, 0, 0, ""};
        for (size_t i = 0; i + 1 < w.size(); i++) {
            if (w[i] == "multipv") line.index = std::stoi(w[i + 1]);
            if (w[i] == "depth") line.depth = std::stoi(w[i + 1]);
            if (w[i] == "cp") line.score = std::stoi(w[i + 1]);
            if (w[i] == "mate") {
                const int moves = std::stoi(w[i + 1]);
                line.score = moves > 0 ? 100000 - moves : -100000 - moves;
            }
            if (w[i] == "pv") line.move = w[i + 1];
        }
        return line;
    };
    engine.send("setoption name MultiPV value 4");
    for (const char* position : {"position fen r1bqkb1r/pppp1ppp/2n2n2/4p3/2B1P3/5N2/PPPP1PPP/RNBQK2R w KQkq - 4 4",
                                 "position startpos"}) {
        SCOPED_TRACE(position);
        engine.send(position);
        engine.send("go depth 10");
        std::vector<Line> lines;
        std::string text;
        while ((text = engine.next_line()).rfind("bestmove", 0) != 0) {
            ASSERT_TRUE(text != "<timeout>" && text != "<eof>");
            if (text.rfind("info multipv ", 0) == 0) lines.push_back(read_line(text));
        }
        ASSERT_GE(lines.size(), 41u);  // four lines of ten depths and the closing line
        std::vector<Line> held(5, Line{0, 0, 0, ""});
        for (size_t i = 0; i + 1 < lines.size(); i++) {
            const Line& line = lines[i];
            ASSERT_TRUE(line.index >= 1 && line.index <= 4);
            held[size_t(line.index)] = line;
            if (line.index < 4) continue;
            // A depth is complete: lines 1 to 4 of that depth.
            for (int k = 1; k <= 4; k++) {
                EXPECT_EQ(held[size_t(k)].depth, line.depth) << k;
                if (k > 1) {
                    EXPECT_GE(held[size_t(k - 1)].score, held[size_t(k)].score) << "depth " << line.depth;
                }
                for (int j = 1; j < k; j++) {
                    EXPECT_NE(held[size_t(j)].move, held[size_t(k)].move) << "depth " << line.depth;
                }
            }
        }
        const Line& closing = lines.back();
        EXPECT_EQ(closing.index, 1);
        EXPECT_EQ(closing.depth, 10);
        EXPECT_EQ(closing.move, held[1].move);
        EXPECT_EQ(words_of(text)[1], held[1].move);
    }
    quit_cleanly();
}

TEST_F(SearchPipeTest, TheFenDecidesSideAndClock)
{
    engine.send("position startpos moves e2e4");
    engine.send("position fen 7k/8/8/8/8/8/8/R3K3");
    EXPECT_NE(engine.wait_for("info string FEN rejected (the side to move"), "<timeout>");
    engine.send("go depth 5");
    EXPECT_EQ(engine.wait_for("bestmove"), "bestmove 0000");
    // With 99 plies on the clock only the pawn keeps the win: any other move
    // lets the opponent claim the draw.
    engine.send("position fen 4k3/8/8/8/8/8/P7/K6R w - - 99 1");
    engine.send("go depth 10");
    const std::string line = engine.wait_for("bestmove");
    EXPECT_TRUE(line.rfind("bestmove a2a3", 0) == 0 || line.rfind("bestmove a2a4", 0) == 0) << line;
    // Past the mark: still a legal move, never the null move.
    expect_legal_answer("4k3/8/8/8/8/8/P7/K6R w - - 120 1", "", "go depth 6");
    expect_legal_answer("4k3/8/8/8/8/8/P7/K6R w - - 99 1", "h1h2", "go depth 6");
    quit_cleanly();
}

TEST_F(SearchPipeTest, OptionNamesInAnyCase)
{
    engine.send("setoption name hash value 2");
    EXPECT_EQ(engine.wait_for("info string Hash"), "info string Hash size set to 2M bytes");
    engine.send("setoption name MULTIPV value 2");
    EXPECT_EQ(engine.wait_for("info string MultiPV"), "info string MultiPV set to 2");
    engine.send("setoption name Ponder value False");
    EXPECT_EQ(engine.wait_for("info string Ponder"), "info string Ponder set to false");
    engine.send("setoption name Hash value abc");
    EXPECT_EQ(engine.wait_for("info string Hash"), "info string Hash needs a number, 'abc' changes nothing");
    engine.send("position startpos");
    engine.send("go depth 3");
    EXPECT_NE(engine.wait_for("info multipv 2 depth 3 "), "<timeout>");
    engine.wait_for("bestmove");
    quit_cleanly();
}

// "stop" ends the benchmark's current position: at depth 40 none of them
// would end on its own within the test's patience.
TEST(BenchmarkSignature, StopEndsEachPosition)
{
    EngineProcess e;
    ASSERT_TRUE(e.start({"-nolog", "-hash", "4", "-bench", "-d", "40"}, fresh_test_dir("vant_search_pipe")));
    EXPECT_EQ(e.wait_for("Vant 3.60 running benchmark"), "Vant 3.60 running benchmark using 1 threads");
    for (int i = 0; i < 10; i++) {
        e.send("stop");
        std::string line = e.next_line();
        ASSERT_EQ(line.rfind("pos  " + std::to_string(i) + ": ", 0), 0u) << line;
    }
    EXPECT_EQ(e.next_line().rfind("total time= ", 0), 0u);
    EXPECT_EQ(e.finish(), 0);
}

}  // namespace
