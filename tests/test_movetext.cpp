// Move text: coordinate text by protocol mode, the algebraic forms with their
// disambiguation, and parsing of typed and PGN moves on the game record.
#include <cstring>
#include <string>

#include "board_fixture.h"
#include "movetext.h"

namespace {

struct MoveTextTest : BoardTest {
    struct Forms {
        std::string coordinate, form1, form2, form3;
    };
    static Forms forms(const char* move)
    {
        char c[MOVE_TEXT_SIZE], f1[MOVE_TEXT_SIZE], f2[MOVE_TEXT_SIZE], f3[MOVE_TEXT_SIZE];
        move_to_algebraic_forms(game_record->pos, move_of(move), c, f1, f2, f3);
        return {c, f1, f2, f3};
    }
    // The move parse_move_text finds, as text ("" when none), and what it printed.
    static std::string parse(const char* text, std::string* printed = nullptr)
    {
        Move m = 0xBEEF;
        ::testing::internal::CaptureStdout();
        int found = parse_move_text(text, m);
        std::string out = ::testing::internal::GetCapturedStdout();
        if (printed) *printed = out;
        return found ? text_of(m) : "";
    }
};

TEST_F(MoveTextTest, CoordinateText)
{
    char text[MOVE_TEXT_SIZE];
    write_move_text(move_of("e2e4"), text);
    EXPECT_STREQ(text, "e2e4");
    write_move_text(move_of("e7e8n"), text);
    EXPECT_STREQ(text, "e7e8n");
    write_move_text(move_of("a2a1r"), text);
    EXPECT_STREQ(text, "a2a1r");
    EXPECT_STREQ(move_text_or_null(NULL_MOVE, text), "null");
    engine_config.protocol = PROTOCOL_CONSOLE;
    write_move_text(move_of("e7e8n"), text);
    EXPECT_STREQ(text, "e7e8=N");
    write_move_text(move_of("h2h1q"), text);
    EXPECT_STREQ(text, "h2h1=Q");
    engine_config.protocol = PROTOCOL_UCI;
}

TEST_F(MoveTextTest, AlgebraicForms)
{
    set_game(START_FEN);
    Forms f = forms("g1f3");
    EXPECT_EQ(f.coordinate, "g1f3");
    EXPECT_EQ(f.form1, "Nf3");
    EXPECT_EQ(f.form2, "Ngf3");
    EXPECT_EQ(f.form3, "N1f3");
    f = forms("e2e4");
    EXPECT_EQ(f.form1, "e4");
    EXPECT_EQ(f.form2, "");
    EXPECT_EQ(f.form3, "");

    set_game("rnbqkbnr/ppp1pppp/8/3p4/4P3/8/PPPP1PPP/RNBQKBNR w KQkq d6");
    f = forms("e4d5");
    EXPECT_EQ(f.form1, "exd5");
    EXPECT_EQ(f.form2, "ed");
    set_game("4k3/8/8/3pP3/8/8/8/4K3 w - d6");
    EXPECT_EQ(forms("e5d6").form1, "exd6");

    // Promotions: the coordinate text is e7e8=Q in either mode; check marks.
    set_game("k7/4P3/8/8/8/8/8/4K3 w - -");
    f = forms("e7e8q");
    EXPECT_EQ(f.coordinate, "e7e8=Q+");
    EXPECT_EQ(f.form1, "e8=Q+");
    EXPECT_EQ(f.form2, "");
    EXPECT_EQ(forms("e7e8n").form1, "e8=N");

    set_game("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
    f = forms("e1g1");
    EXPECT_EQ(f.form1, "o-o");
    EXPECT_EQ(f.form2, "O-O");
    EXPECT_EQ(f.form3, "0-0");
    EXPECT_EQ(forms("e1c1").form2, "O-O-O");
    EXPECT_EQ(forms("a1a8").form1, "Rxa8+");
}

TEST_F(MoveTextTest, Disambiguation)
{
    // Different file and rank: the file is written, so the text reads back.
    set_game("4k3/8/8/8/4N3/8/8/1N2K3 w - -");
    EXPECT_EQ(forms("b1c3").form1, "Nbc3");
    EXPECT_EQ(forms("e4c3").form1, "Nec3");
    EXPECT_EQ(forms("b1c3").form3, "N1c3");
    // Same file: the rank.
    set_game("k7/8/8/4R3/8/8/8/4R1K1 w - -");
    EXPECT_EQ(forms("e1e2").form1, "R1e2");
    EXPECT_EQ(forms("e5e2").form1, "R5e2");
    // Same rank: the file.
    set_game("4k3/8/8/8/8/8/8/R4RK1 w - -");
    EXPECT_EQ(forms("a1c1").form1, "Rac1");
    // Others on both the file and the rank: the whole square.
    set_game("1k6/8/8/8/4Q2Q/8/K7/7Q w - -");
    EXPECT_EQ(forms("h4e1").form1, "Qh4e1");
    EXPECT_EQ(forms("e4e1").form1, "Qee1");
    EXPECT_EQ(forms("h1e1").form1, "Q1e1");
}

TEST_F(MoveTextTest, ParsesTheUsualForms)
{
    set_game(START_FEN);
    EXPECT_EQ(parse("Nf3"), "g1f3");
    EXPECT_EQ(parse("g1f3"), "g1f3");
    EXPECT_EQ(parse("Ngf3"), "g1f3");
    EXPECT_EQ(parse("N1f3"), "g1f3");
    EXPECT_EQ(parse("e4"), "e2e4");
    EXPECT_EQ(parse("e4!?"), "e2e4");
    EXPECT_EQ(parse("e5"), "");
    EXPECT_EQ(parse("Ke2"), "");  // occupied

    set_game("rnbqkbnr/ppp1pppp/8/3p4/4P3/8/PPPP1PPP/RNBQKBNR w KQkq d6");
    EXPECT_EQ(parse("exd5"), "e4d5");
    EXPECT_EQ(parse("ed"), "e4d5");

    set_game("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
    EXPECT_EQ(parse("O-O"), "e1g1");
    EXPECT_EQ(parse("0-0"), "e1g1");
    EXPECT_EQ(parse("o-o"), "e1g1");
    EXPECT_EQ(parse("O-O-O"), "e1c1");
    EXPECT_EQ(parse("Rxa8+"), "a1a8");
    EXPECT_EQ(parse("Rxa8"), "a1a8");

    set_game("k7/4P3/8/8/8/8/8/4K3 w - -");
    EXPECT_EQ(parse("e8=Q"), "e7e8q");
    EXPECT_EQ(parse("e8Q"), "e7e8q");
    EXPECT_EQ(parse("e8q"), "e7e8q");
    EXPECT_EQ(parse("e8=q"), "e7e8q");
    EXPECT_EQ(parse("e7e8q"), "e7e8q");
    EXPECT_EQ(parse("e7e8n"), "e7e8n");
    EXPECT_EQ(parse("e8=Q+"), "e7e8q");
    EXPECT_EQ(parse("e8"), "");  // a promotion needs its piece

    // Mate marks and the pawn capture "ab" (whose b is no promotion).
    set_game("6k1/5ppp/8/8/8/8/1p6/R5K1 w - -");
    EXPECT_EQ(parse("Ra8#"), "a1a8");
    set_game("4k3/8/8/1p6/P7/8/8/4K3 w - -");
    EXPECT_EQ(parse("ab"), "a4b5");
    EXPECT_EQ(parse("axb5"), "a4b5");
}

TEST_F(MoveTextTest, AmbiguityAndBadInput)
{
    std::string printed;
    set_game("4k3/8/8/8/8/5N2/8/1N2K3 w - -");
    EXPECT_EQ(parse("Nd2", &printed), "");
    EXPECT_EQ(printed, "ambiguous move\n");
    EXPECT_EQ(parse("Nbd2", &printed), "b1d2");
    EXPECT_EQ(printed, "");
    EXPECT_EQ(parse("Nfd2"), "f3d2");
    EXPECT_EQ(parse("N3d2"), "f3d2");

    set_game("4k3/8/8/8/4N3/8/8/1N2K3 w - -");
    EXPECT_EQ(parse("Nc3", &printed), "");
    EXPECT_EQ(printed, "ambiguous move\n");
    EXPECT_EQ(parse("Nbc3"), "b1c3");
    EXPECT_EQ(parse("N1c3"), "b1c3");

    // A pinned knight cannot go: the plain text is then unique.
    set_game("5r1k/8/8/8/8/5N2/8/1N3K2 w - -");
    EXPECT_EQ(parse("Nd2"), "b1d2");
    EXPECT_EQ(parse("Nfd2"), "");

    set_game(START_FEN);
    EXPECT_EQ(parse(""), "");
    EXPECT_EQ(parse("e"), "");
    EXPECT_EQ(parse("Q"), "");
    EXPECT_EQ(parse("+"), "");
    std::string long_text(200, 'e');
    EXPECT_EQ(parse(long_text.c_str()), "");
    Move m = 1;
    EXPECT_EQ(parse_move_text(nullptr, m), 0);
    EXPECT_EQ(m, NULL_MOVE);
    // The caller's text is left alone.
    char typed[] = "e7e8q";
    set_game("k7/4P3/8/8/8/8/8/4K3 w - -");
    EXPECT_EQ(parse_move_text(typed, m), 1);
    EXPECT_STREQ(typed, "e7e8q");
}

} // namespace
