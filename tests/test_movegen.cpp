// Generation order and content, legality, check kinds and move classes.
#include <algorithm>
#include <initializer_list>
#include <vector>

#include "board_fixture.h"
#include "makemove.h"

namespace {

using Texts = std::vector<std::string>;

struct MoveGenTest : BoardTest {
    static Texts texts(const MoveEntry* begin, const MoveEntry* end)
    {
        Texts out;
        for (const MoveEntry* e = begin; e != end; e++) out.push_back(text_of(e->move));
        return out;
    }
    static MoveEntry* list() { return td->move_stack + 100; }
    static int check_kind(const char* move)
    {
        MoveEntry e{move_of(move), 0, pos().board[square(move)], pos().board[square(move + 2)]};
        return check_kind_after_move(pos(), pos().side, e);
    }
    static int move_class(const char* move)
    {
        MoveEntry e{move_of(move), 0, pos().board[square(move)], pos().board[square(move + 2)]};
        return classify_move(pos(), pos().side, e);
    }
    static bool legal(const char* move) { return king_safe_after_move(pos(), pos().side, move_of(move)); }

    // Plays `games` games of up to `plies` plies from each start. At every
    // position `visit` gets the pseudo-legal list and fills in the legal
    // moves, of which a fixed-seed generator picks the one played; a fatal
    // failure inside it ends the walk.
    template <typename Visit>
    static void walk_random_games(std::initializer_list<const char*> starts, int games, int plies, u32 seed,
                                  Visit visit)
    {
        for (const char* fen : starts) {
            for (int game = 0; game < games; game++) {
                set(fen);
                td->undo_count = 0;
                for (int ply = 0; ply < plies; ply++) {
                    Position& p = pos();
                    generate_all_moves(p);
                    std::vector<Move> legal_moves;
                    visit(p, p.side, td->ply[td->search_ply].list_start, legal_moves);
                    if (HasFatalFailure()) return;
                    if (legal_moves.empty() || td->undo_count >= UNDO_STACK_SIZE - 2) break;
                    seed = seed * 1664525u + 1013904223u;
                    play_move(p, legal_moves[(seed >> 8) % legal_moves.size()]);
                    td->search_ply = 1;
                }
            }
        }
    }
};

TEST_F(MoveGenTest, StartPositionOrder)
{
    set(START_FEN);
    Texts expected = {"a2a3", "a2a4", "b2b3", "b2b4", "c2c3", "c2c4", "d2d3", "d2d4", "e2e3", "e2e4",
                      "f2f3", "f2f4", "g2g3", "g2g4", "h2h3", "h2h4", "b1a3", "b1c3", "g1f3", "g1h3"};
    EXPECT_EQ(generated_texts(td), expected);
    // The list ends with the end mark and the next two plies start behind it.
    const MoveEntry* start = td->ply[1].list_start;
    EXPECT_EQ(start[20].move, MOVE_LIST_END);
    EXPECT_EQ(td->ply[2].list_start, start + 21);
    EXPECT_EQ(td->ply[3].list_start, start + 22);
    EXPECT_EQ(start[0].piece, piece_code(PAWN, WHITE));
    EXPECT_EQ(start[16].piece, piece_code(KNIGHT, WHITE));
    EXPECT_EQ(start[16].captured, 0);

    set("rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq e3");
    Texts black = generated_texts(td);
    ASSERT_EQ(black.size(), 20u);
    EXPECT_EQ(black[0], "a7a6");
    EXPECT_EQ(black[1], "a7a5");
    EXPECT_EQ(black[16], "b8a6");
}

TEST_F(MoveGenTest, PromotionOrder)
{
    set("n1n1k3/1P6/8/8/8/8/8/4K3 w - -");
    MoveEntry* end = generate_promotions(pos(), WHITE, 1, list());
    Texts all = {"b7b8q", "b7b8n", "b7b8b", "b7b8r", "b7a8q", "b7a8n", "b7a8b", "b7a8r",
                 "b7c8q", "b7c8n", "b7c8b", "b7c8r"};
    EXPECT_EQ(texts(list(), end), all);
    EXPECT_EQ(list()[0].captured, 0);
    EXPECT_EQ(list()[4].captured, piece_code(KNIGHT, BLACK));
    end = generate_promotions(pos(), WHITE, 0, list());
    EXPECT_EQ(texts(list(), end), (Texts{"b7b8q", "b7a8q", "b7c8q"}));
    // Captures onto the last rank belong to the promotion generator only.
    end = generate_captures(pos(), WHITE, list());
    EXPECT_EQ(texts(list(), end), Texts{});

    // Black promotes downwards, with the same order of kinds.
    set("4k3/8/8/8/8/8/p7/1N2K3 b - -");
    end = generate_promotions(pos(), BLACK, 1, list());
    EXPECT_EQ(texts(list(), end), (Texts{"a2a1q", "a2a1n", "a2a1b", "a2a1r", "a2b1q", "a2b1n", "a2b1b", "a2b1r"}));
}

TEST_F(MoveGenTest, CaptureOrder)
{
    // Pawn captures towards the lower file first, each group by destination;
    // then knights, sliders, king.
    set("4k3/8/8/2p1p3/1P1P1P2/2n5/3K4/8 w - -");
    MoveEntry* end = generate_captures(pos(), WHITE, list());
    EXPECT_EQ(texts(list(), end), (Texts{"d4c5", "f4e5", "b4c5", "d4e5", "d2c3"}));
    set("4k3/8/8/8/8/8/8/Q3K2r w - -");
    end = generate_captures(pos(), WHITE, list());
    EXPECT_EQ(texts(list(), end), Texts{});
    set("4k3/8/8/8/3r4/8/8/Q2bK2r w - -");
    end = generate_captures(pos(), WHITE, list());
    EXPECT_EQ(texts(list(), end), (Texts{"a1d1", "a1d4", "e1d1"}));
}

TEST_F(MoveGenTest, EnPassant)
{
    set("4k3/8/8/3pP3/8/8/8/4K3 w - d6");
    MoveEntry* end = generate_captures(pos(), WHITE, list());
    ASSERT_EQ(texts(list(), end), Texts{"e5d6"});
    EXPECT_EQ(list()[0].captured, 0);
    EXPECT_TRUE(legal("e5d6"));
    // Removing both pawns from the rank would expose the king to the rook.
    set("8/8/8/KPp4r/8/8/8/7k w - c6");
    end = generate_captures(pos(), WHITE, list());
    ASSERT_EQ(texts(list(), end), Texts{"b5c6"});
    EXPECT_FALSE(legal("b5c6"));
    EXPECT_TRUE(legal("b5b6"));
    // The same for Black.
    set("8/8/8/8/k2pP2R/8/8/6K1 b - e3");
    EXPECT_FALSE(legal("d4e3"));
    // En passant is the only answer to a pawn's check.
    set("8/8/8/2k5/3Pp3/8/8/4K3 b - d3");
    EXPECT_TRUE(legal("e4d3"));
}

TEST_F(MoveGenTest, Castling)
{
    set("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
    Texts moves = generated_texts(td);
    ASSERT_GE(moves.size(), 2u);
    EXPECT_EQ(moves[moves.size() - 2], "e1g1");
    EXPECT_EQ(moves.back(), "e1c1");
    EXPECT_TRUE(legal("e1g1"));
    EXPECT_TRUE(legal("e1c1"));

    set("4kr2/8/8/8/8/8/8/R3K2R w KQ -");  // f1 attacked
    EXPECT_FALSE(legal("e1g1"));
    EXPECT_TRUE(legal("e1c1"));
    set("3rk3/8/8/8/8/8/8/R3K2R w KQ -");  // d1 attacked
    EXPECT_TRUE(legal("e1g1"));
    EXPECT_FALSE(legal("e1c1"));
    set("1r2k3/8/8/8/8/8/8/R3K2R w KQ -");  // only b1 attacked
    EXPECT_TRUE(legal("e1c1"));
    set("4r1k1/8/8/8/8/8/8/R3K2R w KQ -");  // in check
    EXPECT_FALSE(legal("e1g1"));
    EXPECT_FALSE(legal("e1c1"));

    // No castling over a piece, without the right, or with the king away.
    set("r3k2r/8/8/8/8/8/8/RN2K1NR w KQkq -");
    moves = generated_texts(td);
    EXPECT_EQ(std::count(moves.begin(), moves.end(), "e1g1"), 0);
    EXPECT_EQ(std::count(moves.begin(), moves.end(), "e1c1"), 0);
    set("r3k2r/8/8/8/8/8/8/R3K2R b Kq -");
    moves = generated_texts(td);
    EXPECT_EQ(moves.back(), "e8c8");
    EXPECT_EQ(std::count(moves.begin(), moves.end(), "e8g8"), 0);
}

TEST_F(MoveGenTest, KingSafety)
{
    // A pinned knight may not move; the king may not step into an attack or
    // along the line of the checking slider.
    set("4k3/4r3/8/8/8/8/4N3/4K3 w - -");
    EXPECT_FALSE(legal("e2c3"));
    EXPECT_TRUE(legal("e1d1"));
    set("4k3/8/8/8/8/8/8/r3K3 w - -");
    EXPECT_FALSE(legal("e1f1"));
    EXPECT_FALSE(legal("e1d1"));
    EXPECT_TRUE(legal("e1e2"));
    // Capturing the checker, also with the king.
    EXPECT_FALSE(king_safe_after_nonzero_move(pos(), WHITE, NULL_MOVE));
    set("4k3/8/8/8/8/8/8/3rK3 w - -");
    EXPECT_TRUE(legal("e1d1"));
    set("4k3/8/8/8/8/8/8/2rrK3 w - -");
    EXPECT_FALSE(legal("e1d1"));
    // The position is unchanged by the tests.
    char fen[100];
    position_to_fen(pos(), fen);
    EXPECT_STREQ(fen, "4k3/8/8/8/8/8/8/2rrK3 w - -");
}

TEST_F(MoveGenTest, CheckKinds)
{
    set("4k3/8/8/8/4N3/8/8/4R1K1 w - -");
    EXPECT_EQ(check_kind("e4c3"), 2);  // discovered
    EXPECT_EQ(check_kind("e4f6"), 2);  // double check counts as discovered
    EXPECT_EQ(check_kind("e4d6"), 2);
    set("4k3/8/8/7N/8/8/8/4K3 w - -");
    EXPECT_EQ(check_kind("h5g7"), 1);
    EXPECT_EQ(check_kind("h5f6"), 1);
    EXPECT_EQ(check_kind("h5f4"), 0);
    set("4k3/1P6/8/8/8/8/8/4K3 w - -");
    EXPECT_EQ(check_kind("b7b8q"), 1);  // the new queen checks along the rank
    EXPECT_EQ(check_kind("b7b8n"), 0);
    set("4k3/8/8/8/8/8/3P4/R3K3 w - -");
    EXPECT_EQ(check_kind("a1a8"), 1);
    EXPECT_EQ(check_kind("d2d3"), 0);
    // The rook of a castling move is not seen giving check.
    set("5k2/8/8/8/8/8/8/4K2R w K -");
    EXPECT_EQ(check_kind("e1g1"), 0);
    // A bishop behind a pawn push discovers check.
    set("8/8/5k2/8/8/2P5/1B6/4K3 w - -");
    EXPECT_EQ(check_kind("c3c4"), 2);
}

TEST_F(MoveGenTest, MoveClasses)
{
    set("4k3/8/8/4P3/8/8/8/4K3 w - -");
    EXPECT_EQ(move_class("e5e6"), MOVE_CLASS_PAWN_ADVANCE);
    set("4k3/3p4/8/4P3/8/8/8/4K3 w - -");
    EXPECT_EQ(move_class("e5e6"), 0);
    set("2k5/8/4P3/8/8/8/8/4K3 w - -");
    EXPECT_EQ(move_class("e6e7"), MOVE_CLASS_SEVENTH);
    set("k7/4P3/8/8/8/8/8/4K3 w - -");
    EXPECT_EQ(move_class("e7e8q"), MOVE_CLASS_QUEEN_PROMOTION | MOVE_CLASS_CHECK);
    EXPECT_EQ(move_class("e7e8n"), MOVE_CLASS_PAWN_ADVANCE);
    set("4k3/8/8/3pP3/8/8/8/4K3 w - d6");
    EXPECT_EQ(move_class("e5d6"), MOVE_CLASS_CAPTURE | MOVE_CLASS_PAWN_ADVANCE);
    set("4k3/8/8/8/4N3/8/8/4R1K1 w - -");
    EXPECT_EQ(move_class("e4c3"), MOVE_CLASS_CHECK | MOVE_CLASS_DISCOVERED);
    set("4k3/8/8/8/3p4/8/8/3RK3 w - -");
    EXPECT_EQ(move_class("d1d4"), MOVE_CLASS_CAPTURE);
    EXPECT_EQ(move_class("d1d2"), 0);
    // Black: the fifth and sixth ranks count from Black's side.
    set("4k3/8/8/8/3p4/8/8/4K3 b - -");
    EXPECT_EQ(move_class("d4d3"), MOVE_CLASS_PAWN_ADVANCE);
}

// The per-node hint gives the same check kinds and move classes as the full
// tests, for every pseudo-legal move along seeded random games (discovered
// checks by every slider kind, pins, promotions, en passant, castling).
TEST_F(MoveGenTest, CheckHintAgreesWithTheFullTest)
{
    long compared = 0, discovered = 0;
    walk_random_games(
        {
            START_FEN,
            "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
            "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
            "4k3/8/8/8/4N3/8/8/4R1K1 w - -",
            "3qk3/8/8/2B5/3P4/8/1Q6/4K2R w K -",
        },
        60, 120, 7, [&](Position& p, int side, const MoveEntry* list, std::vector<Move>& legal_moves) {
            const CheckHint hint = check_hint(p, side);
            for (const MoveEntry* e = list; e->move != MOVE_LIST_END; e++) {
                const int kind = check_kind_after_move(p, side, *e);
                ASSERT_EQ(check_kind_with_hint(p, side, *e, hint), kind) << text_of(e->move);
                ASSERT_EQ(classify_move_with_hint(p, side, *e, hint), classify_move(p, side, *e));
                compared++;
                discovered += kind == 2;
                if (king_safe_after_move(p, side, e->move)) legal_moves.push_back(e->move);
            }
        });
    if (HasFatalFailure()) return;
    EXPECT_GT(compared, 100000);
    EXPECT_GT(discovered, 100);
}

// The legality hint answers as the full test for every pseudo-legal move
// along random games, in check or not (king moves, pins, en passant).
TEST_F(MoveGenTest, KingSafetyHintAgreesWithTheFullTest)
{
    long in_check = 0;
    walk_random_games(
        {
            "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
            "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
        },
        40, 100, 11, [&](Position& p, int side, const MoveEntry* list, std::vector<Move>& legal_moves) {
            const KingSafetyHint hint = king_safety_hint(p, side);
            in_check += hint.in_check;
            for (const MoveEntry* e = list; e->move != MOVE_LIST_END; e++) {
                const int safe = king_safe_after_move(p, side, e->move);
                ASSERT_EQ(king_safe_with_hint(p, side, e->move, hint), safe) << text_of(e->move);
                if (safe) legal_moves.push_back(e->move);
            }
        });
    if (HasFatalFailure()) return;
    EXPECT_GT(in_check, 100);
}

} // namespace
