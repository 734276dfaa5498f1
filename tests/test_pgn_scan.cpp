// PGN scanning: evaluation comments, blunder marks with their "am"/"bm"
// records, the EPD training modes, and robustness against long lines,
// stray braces and overlong tokens.
#include "tool_fixture.h"

#include "tools/pgn_scan.h"

namespace {

struct PgnScanTest : ToolTest {
    // A PGN game (with a Round tag) where each move is followed by
    // "{EVAL/10}", EVAL being evals[i] / 100, six plies to a line.
    static std::string game_text(const std::vector<std::string>& moves, const std::vector<int>& evals,
                                 const char* result = "1-0")
    {
        std::vector<std::string> comments;
        for (size_t i = 0; i < moves.size(); i++) {
            char comment[64];
            std::snprintf(comment, sizeof comment, "{%+.2f/10} %s", evals[i] / 100.0, i % 6 == 5 ? "\n" : "");
            comments.push_back(comment);
        }
        return pgn_game_text("test", result, moves, comments, "[Round \"1\"]\n");
    }

    std::string scan(const std::string& pgn, int mode)
    {
        write_file("games.pgn", pgn);
        capture();
        scan_pgn_file("games.pgn", mode);
        return captured();
    }
};

TEST_F(PgnScanTest, CommentValues)
{
    EXPECT_EQ(scan_comment_value("+0.29/15", true), 28);  // 28.999... truncated
    EXPECT_EQ(scan_comment_value("-M5/20", true), -9000);
    EXPECT_EQ(scan_comment_value("+M3/20 1.2s", false), 9000);
    EXPECT_EQ(scan_comment_value("book", false), 0);
    EXPECT_EQ(scan_comment_value("eval 35, depth 12", true), 35);
    EXPECT_EQ(scan_comment_value("eval 35, depth 12", false), -35);
    EXPECT_EQ(scan_comment_value("eval ", false), SCAN_EVAL_UNREADABLE);
    EXPECT_EQ(scan_comment_value("a fine move", true), SCAN_EVAL_UNREADABLE);
    // Values beyond 16 bits are held at the edge instead of wrapping.
    EXPECT_EQ(scan_comment_value("eval 99999999999", true), 32767);
    EXPECT_EQ(scan_comment_value("+1e300/3", true), 32767);
    EXPECT_EQ(scan_comment_value("-1e300/3", true), -32767);
}

TEST_F(PgnScanTest, ModeTwoWritesQuietPositionsAfterThe16thPly)
{
    std::vector<std::string> moves = scripted_game(30);
    ASSERT_EQ(moves.size(), 30u);
    std::vector<int> evals(30, 20);
    evals[18] = 950;  // outside the window
    std::string out = scan(game_text(moves, evals, "0-1"), 2);

    std::vector<std::string> expected;
    for (int i = 16; i < 24; i++) {
        if (i == 18) continue;
        std::string fen = fen_after(moves, i);
        // A position with the side to move in check is never written.
        set_position_from_fen(game_record->pos, fen.c_str());
        Position& pos = game_record->pos;
        bool check = is_square_attacked_by(pos, king_square(pos, pos.side), pos.side ^ 1);
        set_position_from_fen(game_record->pos, START_FEN);
        if (check) continue;
        expected.push_back(fen + " bm " + moves[size_t(i)] + "; ce 20; c9 \"0-1\";");
    }
    std::vector<std::string> lines = lines_of(read_file("tmp.epd"));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "");
    lines.pop_back();
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(out, "games= 1, positions= " + std::to_string(expected.size()) + "\n");
    EXPECT_EQ(read_file("tmpX.epd"), "");
}

TEST_F(PgnScanTest, ModeTwoIgnoresShortGames)
{
    std::vector<std::string> moves = scripted_game(22);
    std::string out = scan(game_text(moves, std::vector<int>(22, 0)), 2);
    EXPECT_EQ(out, "games= 1, positions= 0\n");
    EXPECT_EQ(read_file("tmp.epd"), "\n");
}

TEST_F(PgnScanTest, ModeOneMarksTheBlunderAndItsRefutation)
{
    std::vector<std::string> moves = scripted_game(30);
    std::vector<int> evals(30, 0);
    // Ply 14 (white) lets black's evaluation jump: plies 15, 17 and 21 all
    // see black far better than before.
    evals[15] = 200;
    evals[17] = 200;
    evals[21] = 200;
    // The same jump within the first 13 plies is never marked.
    evals[3] = 300;
    evals[5] = 300;
    evals[9] = 300;
    scan(game_text(moves, evals), 1);

    std::vector<std::string> lines = lines_of(read_file("tmp.pgn"));
    ASSERT_GE(lines.size(), 34u);
    EXPECT_EQ(lines[0], "[Event \"test\"]");
    EXPECT_EQ(lines[1], "[Round \"1\"]");
    EXPECT_EQ(lines[2], "[Tag \"game_1\"]");
    EXPECT_EQ(lines[3], "[Result \"1-0\"]");
    const std::string fen14 = fen_after(moves, 14), fen15 = fen_after(moves, 15);
    char expect[512];
    std::snprintf(expect, sizeof expect, "%3d.  %-6s  {  0.00 ? %s am %s;}", 8, moves[14].c_str(), fen14.c_str(),
                  moves[14].c_str());
    EXPECT_EQ(lines[4 + 14], expect);
    std::snprintf(expect, sizeof expect, "      %-6s  { -2.00 ! %s bm %s;}", moves[15].c_str(), fen15.c_str(),
                  moves[15].c_str());
    EXPECT_EQ(lines[4 + 15], expect);
    std::snprintf(expect, sizeof expect, "  1.  %-6s  {  0.00}", moves[0].c_str());
    EXPECT_EQ(lines[4], expect);
    for (int i = 0; i < 30; i++) {
        if (i == 14 || i == 15) continue;
        EXPECT_EQ(lines[size_t(4 + i)].find(" ? "), std::string::npos) << i;
    }
    EXPECT_EQ(read_file("tmpX.epd"), fen15 + " bm " + moves[15] + ";\n");
}

TEST_F(PgnScanTest, ModeThreeStopsAfterTheFirstLargeEvaluation)
{
    std::vector<std::string> moves = scripted_game(20);
    std::vector<int> evals(20, 10);
    evals[6] = -600;
    scan(game_text(moves, evals), 3);
    std::vector<std::string> lines = lines_of(read_file("tmp.epd"));
    ASSERT_FALSE(lines.empty());
    lines.pop_back();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), fen_after(moves, 6) + " bm " + moves[6] + "; ce -600;");
    EXPECT_LE(lines.size(), 7u);
}

TEST_F(PgnScanTest, LongLinesAreReadWhole)
{
    // The whole game on one line, with comments long enough that any fixed
    // line buffer would split moves and comments apart.
    std::vector<std::string> moves = scripted_game(30);
    std::vector<int> evals(30, 15);
    std::string padded;
    for (size_t i = 0; i < moves.size(); i++)
        padded += moves[i] + " {+0.15/10 " + std::string(300, 'x') + "} ";
    std::string pgn = "[Event \"long\"]\n[Result \"1-0\"]\n" + padded + "1-0\n";
    scan(game_text(moves, evals), 2);
    std::string reference = read_file("tmp.epd");
    scan(pgn, 2);
    EXPECT_EQ(read_file("tmp.epd"), reference);
    EXPECT_GT(reference.size(), 10u);
}

TEST_F(PgnScanTest, CarriageReturnLineEnds)
{
    // Each move ends its line, its comment opens the next one.
    std::vector<std::string> moves = scripted_game(30);
    std::string pgn = "[Event \"cr\"]\n[Result \"1-0\"]\n";
    for (size_t i = 0; i < moves.size(); i++) pgn += (i ? "{+0.25/10} " : "") + moves[i] + "\n";
    pgn += "{+0.25/10} 1-0\n";
    scan(pgn, 2);
    std::string reference = read_file("tmp.epd");
    EXPECT_GT(lines_of(reference).size(), 3u);
    std::string crlf;
    for (char c : pgn) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    scan(crlf, 2);
    EXPECT_EQ(read_file("tmp.epd"), reference);
}

TEST_F(PgnScanTest, CommentsBracesAndTokensAreBounded)
{
    std::vector<std::string> moves = scripted_game(24);
    std::string text = "[Event \"x\"]\n[Result \"1/2-1/2\"]\n";
    for (size_t i = 0; i < moves.size(); i++) {
        text += moves[i];
        // Two comments after one move read as one text at the last brace;
        // stray closing braces do not open a negative depth.
        text += i == 3 ? " {first } } {+0.50/3}\n" : " {+0.01/3} ";
    }
    // An overlong token ends the game's use where it stands.
    text += "Nf3" + std::string(40, 'z') + " e4\n";
    write_file("games.pgn", text);
    capture();
    scan_pgn_file("games.pgn", 3);
    captured();
    std::vector<std::string> lines = lines_of(read_file("tmp.epd"));
    ASSERT_FALSE(lines.empty());
    lines.pop_back();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_NE(lines[3].find("; ce 50;"), std::string::npos) << lines[3];
    EXPECT_NE(lines[0].find("; ce 1;"), std::string::npos) << lines[0];
}

TEST_F(PgnScanTest, SeveralGamesAndMissingFiles)
{
    std::vector<std::string> moves = scripted_game(30);
    std::string one = game_text(moves, std::vector<int>(30, 5));
    std::string out = scan(one + one + one, 2);
    std::vector<std::string> lines = lines_of(read_file("tmp.epd"));
    ASSERT_EQ((lines.size() - 1) % 3, 0u);
    EXPECT_EQ(out, "games= 3, positions= " + std::to_string(lines.size() - 1) + "\n");

    capture();
    EXPECT_EQ(scan_pgn_file("absent.pgn", 2), 1);
    EXPECT_EQ(captured(), "can't open PGN file absent.pgn\n");
}

TEST_F(PgnScanTest, ValueAfterALongAnnotationIsFound)
{
    // An annotation longer than the text kept of a comment's start, then the
    // value: in a comment of its own, at the end of the same comment, or at
    // the start of a long one.
    std::vector<std::string> moves = scripted_game(24);
    const std::string note = std::string(3000, 'x');
    enum { SEPARATE, SAME_COMMENT_END, SAME_COMMENT_START };
    for (int layout : {SEPARATE, SAME_COMMENT_END, SAME_COMMENT_START}) {
        SCOPED_TRACE(layout);
        std::string text = "[Event \"x\"]\n[Result \"1-0\"]\n";
        for (size_t i = 0; i < moves.size(); i++) {
            char value[32];
            std::snprintf(value, sizeof value, "%+.2f/10", 0.5 + 0.25 * double(i));  // exact in binary
            const std::string v = value;
            text += moves[i] + (layout == SEPARATE           ? " {" + note + "} {" + v + "}\n"
                                : layout == SAME_COMMENT_END ? " {" + note + " " + v + "}\n"
                                                             : " {" + v + " " + note + "}\n");
        }
        scan(text + "1-0\n", 3);
        std::vector<std::string> lines = lines_of(read_file("tmp.epd"));
        ASSERT_GE(lines.size(), 5u);
        for (int i = 0; i < 4; i++)
            EXPECT_NE(lines[size_t(i)].find("; ce " + std::to_string(50 + 25 * i) + ";"), std::string::npos)
                << lines[size_t(i)];
    }
}

}  // namespace
