// Mates through the whole driver: every position is searched single-threaded
// to a fixed depth from a cleared table and must give a mating move and the
// exact "mate N" score. The classic positions come from the test data
// (SAN best moves); the rest are the engine's own set, each mate checked by a
// deeper search of every root move (the listed moves are all the mates of
// that length). Also roots without a legal move, and draws that score 0.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "makemove.h"
#include "movetext.h"
#include "report.h"
#include "search_setup.h"
#include "test_data.h"

namespace {

struct MateCase {
    const char* fen;
    const char* moves;  // the mating moves, coordinate text, blank-separated
    int mate_in;
};

// Own set: both colours, mates in 1 to 5, knight under-promotions, and
// positions where most moves stalemate (a queen that may not go anywhere but
// the mating square).
const MateCase own_mates[] = {
    {"6k1/5ppp/8/8/8/8/8/R5K1 w - -", "a1a8", 1},
    {"r5k1/8/8/8/8/8/5PPP/6K1 b - -", "a8a1", 1},
    {"6nb/5Ppk/7p/8/8/8/8/K7 w - -", "f7f8n", 1},
    {"k7/8/8/8/8/7P/5pPK/6NB b - -", "f2f1n", 1},
    {"k7/8/1QK5/8/8/8/8/8 w - -", "b6b7", 1},
    {"8/8/8/8/8/5kq1/8/7K b - -", "g3g2", 1},
    {"r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq -", "h5f7", 1},
    {"rnbqkbnr/pppp1ppp/8/4p3/6P1/5P2/PPPPP2P/RNBQKBNR b KQkq -", "d8h4", 1},
    {"6rk/6pp/8/6N1/8/8/8/6K1 w - -", "g5f7", 1},
    {"5r1k/6pp/7N/3Q4/8/8/8/6K1 w - -", "d5g8", 2},
    {"6k1/8/8/8/1r6/r7/8/6K1 b - -", "b4b2 a3a2", 2},
    {"7k/8/5K2/8/8/8/8/6R1 w - -", "f6f7", 2},
    {"k7/8/2K5/8/8/8/8/1R6 w - -", "c6c7", 2},
    {"1r6/8/8/8/8/2k5/8/K7 b - -", "c3c2", 2},
    {"7k/8/8/5K2/8/8/8/6R1 w - -", "f5g6", 3},
    {"k7/8/8/2K5/8/8/8/1R6 w - -", "c5b6", 3},
    {"6r1/8/8/8/5k2/8/8/7K b - -", "f4g3", 3},
    {"1r6/8/8/8/2k5/8/8/K7 b - -", "c4b3", 3},
    {"7k/8/8/4K3/8/8/8/6R1 w - -", "g1g2 g1g3 g1g4 e5f5 e5e6 e5f6", 4},
    {"6r1/8/8/8/4k3/8/8/7K b - -", "g8g5 g8g6 g8g7 e4e3 e4f3 e4f4", 4},
    {"8/8/8/4k3/8/8/8/R3K2R w KQ -", "a1a5 h1h5", 5},
    {"r3k2r/8/8/8/4K3/8/8/8 b kq -", "a8a4 h8h4", 5},
};

struct SearchMatesTest : ::testing::Test {
    static void SetUpTestSuite()
    {
        search_setup::init_engine_with_one_thread();
    }
    void SetUp() override { search_setup::init_engine_once(); }

    static std::string move_text(Move move)
    {
        char text[MOVE_TEXT_SIZE];
        return move_text_or_null(move, text);
    }

    // Searches deep enough for a mate in n and checks move and score.
    static void expect_mate(const std::string& fen, const std::vector<std::string>& moves, int n)
    {
        ASSERT_TRUE(search_setup::set_game_fen(fen.c_str())) << fen;
        search_setup::search_single_thread(n <= 3 ? 8 : 2 * n + 2);
        const std::string found = move_text(search_state.best_line[1]);
        EXPECT_NE(std::find(moves.begin(), moves.end(), found), moves.end()) << fen << ": played " << found;
        EXPECT_EQ(search_state.best_score, 10000 - 2 * n) << fen;
        char score[32];
        format_uci_score(search_state.best_score, score, sizeof score);
        EXPECT_EQ(std::string(score), "mate " + std::to_string(n)) << fen;
    }
};

TEST_F(SearchMatesTest, ClassicMatesInTwoAndThree)
{
    ASSERT_TRUE(test_data_present(mate_suite_file()));
    std::ifstream file(mate_suite_file());
    std::string record;
    int count = 0;
    while (std::getline(file, record)) {
        if (record.empty()) continue;
        std::istringstream fields(record);
        std::string placement, side, castling, ep;
        fields >> placement >> side >> castling >> ep;
        const std::string fen = placement + " " + side + " " + castling + " " + ep;
        const auto field = [&](const char* key) {
            const size_t at = record.find(key);
            std::string value = record.substr(at + std::strlen(key));
            return value.substr(0, value.find(';'));
        };
        ASSERT_TRUE(search_setup::set_game_fen(fen.c_str())) << fen;
        Move best = 0;
        ASSERT_EQ(parse_move_text(field(" bm ").c_str(), best), 1) << record;
        expect_mate(fen, {move_text(best)}, std::stoi(field(" dm ")));
        count++;
    }
    EXPECT_EQ(count, 14);
}

TEST_F(SearchMatesTest, OwnMatesBothColoursOneToFive)
{
    for (const MateCase& c : own_mates) {
        std::istringstream words(c.moves);
        std::vector<std::string> moves;
        for (std::string w; words >> w;) moves.push_back(w);
        expect_mate(c.fen, moves, c.mate_in);
    }
}

TEST_F(SearchMatesTest, RootWithoutLegalMoves)
{
    // Stalemate: no move, score 0, stop byte 3.
    ASSERT_TRUE(search_setup::set_game_fen("k7/2Q5/1K6/8/8/8/8/8 b - -"));
    search_setup::search_single_thread(6);
    EXPECT_EQ(search_state.stop.load(), STOP_NO_MOVES);
    EXPECT_EQ(search_state.best_line[1], 0);
    EXPECT_EQ(search_state.best_score, 0);
    // Checkmate: -9999.
    ASSERT_TRUE(search_setup::set_game_fen("k7/1Q6/1K6/8/8/8/8/8 b - -"));
    search_setup::search_single_thread(6);
    EXPECT_EQ(search_state.stop.load(), STOP_NO_MOVES);
    EXPECT_EQ(search_state.best_line[1], 0);
    EXPECT_EQ(search_state.best_score, -9999);
}

TEST_F(SearchMatesTest, DrawsScoreZero)
{
    // Every white move stalemates Black or lets the king take the last pawn.
    ASSERT_TRUE(search_setup::set_game_fen("k7/P7/1K6/8/8/8/8/8 w - -"));
    search_setup::search_single_thread(8);
    EXPECT_EQ(search_state.best_score, 0);

    // A rook down, White repeats the position a third time with Nf3.
    ASSERT_TRUE(search_setup::set_game_fen("r3k1n1/pppppppp/8/8/8/8/PPPPPPPP/4K1N1 w - -"));
    for (const char* text : {"g1f3", "g8f6", "f3g1", "f6g8", "g1f3", "g8f6", "f3g1", "f6g8"}) {
        Move move = 0;
        ASSERT_EQ(parse_move_text(text, move), 1) << text;
        ASSERT_EQ(play_game_move(move), GAME_MOVE_PLAYED) << text;
    }
    search_setup::search_single_thread(6);
    EXPECT_EQ(search_state.best_score, 0);
    EXPECT_EQ(move_text(search_state.best_line[1]), "g1f3");
}

}  // namespace
