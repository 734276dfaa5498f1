// The prober's own position: move generation order, move making, material
// keys and names, and the soundness test that keeps bad positions out.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "board_fixture.h"
#include "tablebase/tablebase.h"
#include "tb_test_support.h"

namespace {

struct TbPositionTest : ::testing::Test {
    static void SetUpTestSuite() { init_board_tables(); }
};

std::vector<ProbeMove> all_moves(const TbPosition& pos)
{
    ProbeMove list[TB_MOVE_LIST_SIZE];
    return std::vector<ProbeMove>(list, probe_board_generate_moves(pos, list));
}

std::vector<ProbeMove> capture_moves(const TbPosition& pos)
{
    ProbeMove list[TB_CAPTURE_LIST_SIZE];
    return std::vector<ProbeMove>(list, probe_board_generate_captures(pos, list));
}

TEST_F(TbPositionTest, DoublePushSetsEnPassantOnlyWithACapturerBeside)
{
    TbPosition child;
    TbPosition pos = fen_position("4k3/8/8/8/8/8/4P3/4K3 w - -");
    ASSERT_TRUE(probe_board_apply_move(child, pos, make_probe_move(square("e2"), square("e4"))));
    EXPECT_EQ(child.ep_square, 0);
    EXPECT_EQ(child.halfmove_clock, 0);
    EXPECT_EQ(child.white_to_move, 0);

    // A black pawn on d4 could capture: set, even though the capture would
    // expose its king on h4 to the rook on a4.
    pos = fen_position("8/8/8/8/R2p3k/8/4P3/K7 w - -");
    ASSERT_TRUE(probe_board_apply_move(child, pos, make_probe_move(square("e2"), square("e4"))));
    EXPECT_EQ(child.ep_square, square("e3"));

    pos = fen_position("4k3/3p4/8/4P3/8/8/8/4K3 b - -");
    ASSERT_TRUE(probe_board_apply_move(child, pos, make_probe_move(square("d7"), square("d5"))));
    EXPECT_EQ(child.ep_square, square("d6"));
}

TEST_F(TbPositionTest, EnPassantCaptureIsListedFirstAndRemovesThePawn)
{
    TbPosition pos = fen_position("4k3/8/8/3pP3/8/8/8/4K3 w - d6");
    std::vector<ProbeMove> moves = all_moves(pos);
    // King moves come first; the pawn's moves start with the en-passant capture.
    auto first_pawn_move = std::find_if(moves.begin(), moves.end(),
                                        [](ProbeMove m) { return probe_move_from(m) == square("e5"); });
    ASSERT_NE(first_pawn_move, moves.end());
    EXPECT_EQ(*first_pawn_move, make_probe_move(square("e5"), square("d6")));
    EXPECT_EQ(*(first_pawn_move + 1), make_probe_move(square("e5"), square("e6")));
    EXPECT_TRUE(tb_is_en_passant_move(pos, *first_pawn_move));

    TbPosition child;
    ASSERT_TRUE(probe_board_apply_move(child, pos, *first_pawn_move));
    EXPECT_EQ(child.pawns, square_bit(square("d6")));
    EXPECT_EQ(child.black, square_bit(square("e8")));
    EXPECT_EQ(child.halfmove_clock, 0);

    std::vector<ProbeMove> captures = capture_moves(pos);
    ASSERT_EQ(captures.size(), 1u);
    EXPECT_EQ(captures[0], make_probe_move(square("e5"), square("d6")));

    // Without the en-passant square nothing is listed for that capture.
    pos.ep_square = 0;
    EXPECT_TRUE(capture_moves(pos).empty());
    for (ProbeMove m : all_moves(pos)) EXPECT_NE(probe_move_to(m), square("d6"));
}

TEST_F(TbPositionTest, PromotionsComeInQueenKnightRookBishopOrder)
{
    const TbPosition pos = fen_position("3r3k/4P3/8/8/8/8/8/K7 w - -");
    std::vector<ProbeMove> moves = all_moves(pos);
    std::vector<ProbeMove> pawn_moves;
    for (ProbeMove m : moves)
        if (probe_move_from(m) == square("e7")) pawn_moves.push_back(m);
    const int order[4] = {TB_PROMO_QUEEN, TB_PROMO_KNIGHT, TB_PROMO_ROOK, TB_PROMO_BISHOP};
    ASSERT_EQ(pawn_moves.size(), 8u);  // capture on d8 first (lower square), then the push to e8
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(pawn_moves[i], make_probe_move(square("e7"), square("d8"), order[i]));
        EXPECT_EQ(pawn_moves[4 + i], make_probe_move(square("e7"), square("e8"), order[i]));
    }
    // The capture list holds the same eight moves in the same order.
    std::vector<ProbeMove> captures = capture_moves(pos);
    EXPECT_EQ(captures, pawn_moves);

    TbPosition child;
    probe_board_apply_move(child, pos, pawn_moves[1]);
    EXPECT_EQ(child.knights, square_bit(square("d8")));
    EXPECT_EQ(child.pawns, 0u);
    EXPECT_EQ(child.rooks, 0u);
    probe_board_apply_move(child, pos, pawn_moves[6]);
    EXPECT_EQ(child.rooks, square_bit(square("d8")) | square_bit(square("e8")));
}

TEST_F(TbPositionTest, CaptureListHoldsOnlyCapturesAndPromotions)
{
    const TbPosition pos = fen_position("k7/8/8/3p4/4N3/8/1P6/K7 w - -");
    std::vector<ProbeMove> captures = capture_moves(pos);
    ASSERT_EQ(captures.size(), 0u);  // the knight on e4 does not reach d5
    const TbPosition pos2 = fen_position("k7/8/5p2/3p4/4N3/8/1P6/K7 w - -");
    captures = capture_moves(pos2);
    ASSERT_EQ(captures.size(), 1u);
    EXPECT_EQ(captures[0], make_probe_move(square("e4"), square("f6")));
}

TEST_F(TbPositionTest, PieceSetsAndMaterialKeys)
{
    const TbPosition pos = fen_position("8/8/8/8/8/8/1p6/KQR4k w - -");
    EXPECT_EQ(probe_piece_set(pos, 6), square_bit(square("a1")));
    EXPECT_EQ(probe_piece_set(pos, 5), square_bit(square("b1")));
    EXPECT_EQ(probe_piece_set(pos, 9), square_bit(square("b2")));
    EXPECT_EQ(probe_piece_set(pos, 14), square_bit(square("h1")));
    for (int code : {0, 7, 8, 15, 16}) EXPECT_EQ(probe_piece_set(pos, code), 0u);

    char name[TB_NAME_SIZE];
    material_name_string(pos, name, 0);
    EXPECT_STREQ(name, "KQRvKP");
    material_name_string(pos, name, 1);
    EXPECT_STREQ(name, "KPvKQR");
    material_name_string(fen_position("8/8/8/8/8/8/1P6/K6k w - -"), name, 0);
    EXPECT_STREQ(name, "KPvK");
    material_name_string(fen_position("8/8/8/8/8/8/1P6/K6k w - -"), name, 1);
    EXPECT_STREQ(name, "KvKP");

    // The colour-swapped twin with the mirror flag has the same key.
    const TbPosition twin = fen_position("kqr4K/1P6/8/8/8/8/8/8 b - -");
    EXPECT_EQ(material_signature_key(pos, 0), material_signature_key(twin, 1));
    EXPECT_NE(material_signature_key(pos, 0), material_signature_key(pos, 1));
    EXPECT_EQ(material_signature_key(fen_position("8/8/8/8/8/8/8/K6k w - -"), 0), 0u);

    int counts[16];
    count_material_name("KQRvKP", counts);
    EXPECT_EQ(material_key_from_counts(counts, 0), material_signature_key(pos, 0));

    // A position with more pieces than any table never overruns the name buffer.
    material_name_string(fen_position("QQQQQQQQ/QQQQQQQQ/8/8/8/8/8/K6k w - -"), name, 0);
    EXPECT_EQ(std::strlen(name), size_t(TB_NAME_SIZE - 1));
}

TEST_F(TbPositionTest, IllegalMovesAreReportedButWritten)
{
    TbPosition child;
    // King next to the opposing king.
    TbPosition pos = fen_position("8/8/8/8/8/2k5/8/K7 w - -");
    EXPECT_EQ(probe_board_apply_move(child, pos, make_probe_move(square("a1"), square("b2"))), 0);
    EXPECT_EQ(child.kings & child.white, square_bit(square("b2")));
    EXPECT_EQ(probe_board_apply_move(child, pos, make_probe_move(square("a1"), square("a2"))), 1);
    // A pinned knight.
    pos = fen_position("k7/8/8/8/r2NK3/8/8/8 w - -");
    EXPECT_EQ(probe_board_apply_move(child, pos, make_probe_move(square("d4"), square("c6"))), 0);
    EXPECT_EQ(child.knights, square_bit(square("c6")));
    // A side without a king.
    pos = fen_position("k7/8/8/8/3N4/8/8/8 w - -");
    EXPECT_EQ(probe_board_apply_move(child, pos, make_probe_move(square("d4"), square("c6"))), 0);
}

TEST_F(TbPositionTest, HalfMoveClock)
{
    TbPosition pos = fen_position("k7/8/8/3p4/8/2N5/8/K6R w - -");
    pos.halfmove_clock = 17;
    TbPosition child;
    probe_board_apply_move(child, pos, make_probe_move(square("c3"), square("e4")));
    EXPECT_EQ(child.halfmove_clock, 18);
    probe_board_apply_move(child, pos, make_probe_move(square("h1"), square("h5")));
    EXPECT_EQ(child.halfmove_clock, 18);
    probe_board_apply_move(child, pos, make_probe_move(square("a1"), square("b1")));
    EXPECT_EQ(child.halfmove_clock, 18);
    probe_board_apply_move(child, pos, make_probe_move(square("c3"), square("d5")));
    EXPECT_EQ(child.halfmove_clock, 0);
    pos.white_to_move = 0;
    probe_board_apply_move(child, pos, make_probe_move(square("d5"), square("d4")));
    EXPECT_EQ(child.halfmove_clock, 0);
}

TEST_F(TbPositionTest, SoundnessRejectsBrokenPositions)
{
    EXPECT_TRUE(tb_position_is_sound(fen_position("8/8/8/8/8/8/1P6/K6k w - -")));
    EXPECT_FALSE(tb_position_is_sound(fen_position("8/8/8/8/8/8/1P6/K5kk w - -")));  // three kings
    EXPECT_FALSE(tb_position_is_sound(fen_position("8/8/8/8/8/8/1P6/K7 w - -")));    // one king
    EXPECT_FALSE(tb_position_is_sound(fen_position("1P6/8/8/8/8/8/8/K6k w - -")));   // pawn on rank 8
    EXPECT_FALSE(tb_position_is_sound(fen_position("8/8/8/8/8/8/8/KP5k w - -")));    // pawn on rank 1
    EXPECT_FALSE(tb_position_is_sound(fen_position("8/8/8/8/8/8/8/Kk6 w - -")));     // kings adjacent
    // Two pieces on one square, in the colour sets and in the kind sets.
    TbPosition shared = fen_position("8/8/8/8/8/8/1Q6/K6k w - -");
    shared.black |= square_bit(square("b2"));
    EXPECT_FALSE(tb_position_is_sound(shared));
    TbPosition two_kinds = fen_position("8/8/8/8/8/8/1Q6/K6k w - -");
    two_kinds.rooks |= square_bit(square("b2"));
    EXPECT_FALSE(tb_position_is_sound(two_kinds));
    TbPosition stray = fen_position("8/8/8/8/8/8/1Q6/K6k w - -");
    stray.white |= square_bit(square("c3"));
    EXPECT_FALSE(tb_position_is_sound(stray));
    // Black in check with White to move.
    EXPECT_FALSE(tb_position_is_sound(fen_position("k7/8/1K6/8/8/8/8/7Q w - -")));
    EXPECT_TRUE(tb_position_is_sound(fen_position("k7/8/1K6/8/8/8/8/7Q b - -")));
    // En-passant squares must fit the pawns.
    EXPECT_TRUE(tb_position_is_sound(fen_position("4k3/8/8/3pP3/8/8/8/4K3 w - d6")));
    EXPECT_TRUE(tb_position_is_sound(fen_position("4k3/8/8/3p4/8/8/8/4K3 w - d6")));  // no capturer: harmless
    EXPECT_FALSE(tb_position_is_sound(fen_position("4k3/8/8/4P3/8/8/8/4K3 w - d6"))); // no pawn passed
    EXPECT_FALSE(tb_position_is_sound(fen_position("4k3/8/8/3pP3/8/8/8/4K3 b - d6"))); // wrong side
    EXPECT_FALSE(tb_position_is_sound(fen_position("4k3/3n4/8/3pP3/8/8/8/4K3 w - d6"))); // d7 occupied
}

TEST_F(TbPositionTest, EngineConversionAndRootValidation)
{
    TbPosition tb = fen_position("8/8/8/3pP3/8/8/8/K6k w - d6");
    tb.halfmove_clock = 0;
    Position pos = engine_position(tb);
    pos.halfmove_clock = 37;
    TbPosition back = tb_position_from_engine(pos, 37);
    EXPECT_EQ(back.white, tb.white);
    EXPECT_EQ(back.black, tb.black);
    EXPECT_EQ(back.pawns, tb.pawns);
    EXPECT_EQ(back.kings, tb.kings);
    EXPECT_EQ(back.ep_square, square("d6"));
    EXPECT_EQ(back.white_to_move, 1);
    EXPECT_EQ(back.halfmove_clock, 37);
    EXPECT_EQ(tb_position_from_engine(pos, 0).halfmove_clock, 0);
    pos.ep_square = NO_SQUARE;
    pos.side = BLACK;
    back = tb_position_from_engine(pos, 0);
    EXPECT_EQ(back.ep_square, 0);
    EXPECT_EQ(back.white_to_move, 0);

    EXPECT_TRUE(tb_root_position_is_valid(engine_position(fen_position("8/8/8/8/8/8/1P6/K6k w - -"))));
    EXPECT_FALSE(tb_root_position_is_valid(engine_position(fen_position("8/8/8/8/8/8/1P6/K6k w - -"), 1)));
    EXPECT_FALSE(tb_root_position_is_valid(engine_position(fen_position("k7/8/1K6/8/8/8/8/7Q w - -"))));
}

} // namespace
