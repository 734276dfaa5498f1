// Make and take-back: every field restored at every node of a perft tree,
// incremental keys equal to keys from scratch, castling, en passant and promotions.
#include <algorithm>
#include <cstring>

#include "board_fixture.h"
#include "draw.h"
#include "makemove.h"

namespace {

struct MakeMoveTest : BoardTest {
    // Checks the position's parts against each other and the keys against a
    // computation from the board.
    static void expect_consistent(const Position& p)
    {
        u64 type_union[2] = {0, 0};
        for (int c = 0; c < 2; c++) {
            ASSERT_EQ(p.pieces[c][7], 0u);
            ASSERT_EQ(p.lists[c][0][0], NO_SQUARE);
            u32 material = 0;
            int units = 0;
            for (int t = PAWN; t <= KING; t++) {
                type_union[c] |= p.pieces[c][t];
                int count = 0;
                for (const u8* l = p.lists[c][t]; *l != NO_SQUARE; l++, count++) {
                    ASSERT_LT(count, SQUARE_LIST_CAPACITY);
                    ASSERT_EQ(p.board[*l], piece_code(t, c));
                }
                ASSERT_EQ(count, count_bits(p.pieces[c][t]));
                material += material_key_step[t] * count;
                units += piece_unit_value[t] * count;
            }
            ASSERT_EQ(type_union[c], p.pieces[c][0]);
            ASSERT_EQ(p.material_key[c], material);
            ASSERT_EQ(p.piece_units[c], units);
        }
        ASSERT_EQ(type_union[0] & type_union[1], 0u);
        for (int sq = 0; sq < 64; sq++) {
            int code = p.board[sq];
            if (code == 0) {
                ASSERT_FALSE(occupancy(p) & square_bit(sq));
            } else {
                ASSERT_TRUE(p.pieces[piece_colour_of(code)][piece_type_of(code)] & square_bit(sq));
            }
        }
        ASSERT_EQ(p.key, piece_key_from_board(p));
        ASSERT_EQ(p.pawn_key, pawn_key_from_board(p));
    }

    // Everything but the order inside the square lists.
    static void expect_same(const Position& a, const Position& b)
    {
        ASSERT_EQ(std::memcmp(a.board, b.board, 64), 0);
        ASSERT_EQ(std::memcmp(a.pieces, b.pieces, sizeof a.pieces), 0);
        ASSERT_EQ(a.key, b.key);
        ASSERT_EQ(a.pawn_key, b.pawn_key);
        ASSERT_EQ(a.material_key[0], b.material_key[0]);
        ASSERT_EQ(a.material_key[1], b.material_key[1]);
        ASSERT_EQ(a.piece_units[0], b.piece_units[0]);
        ASSERT_EQ(a.piece_units[1], b.piece_units[1]);
        ASSERT_EQ(a.side, b.side);
        ASSERT_EQ(a.halfmove_clock, b.halfmove_clock);
        ASSERT_EQ(a.castling, b.castling);
        ASSERT_EQ(a.ep_square, b.ep_square);
        for (int c = 0; c < 2; c++)
            for (int t = 0; t < 8; t++) {
                std::vector<int> la, lb;
                for (const u8* l = a.lists[c][t]; *l != NO_SQUARE; l++) la.push_back(*l);
                for (const u8* l = b.lists[c][t]; *l != NO_SQUARE; l++) lb.push_back(*l);
                std::sort(la.begin(), la.end());
                std::sort(lb.begin(), lb.end());
                ASSERT_EQ(la, lb);
            }
    }

    // Walks every legal line of `depth` plies, checking each node after the
    // move and after its take-back (and a null move at each inner node).
    static u64 walk(int depth)
    {
        Position& p = pos();
        int ply = td->search_ply;
        generate_all_moves(p);
        u64 nodes = 0;
        for (MoveEntry* e = td->ply[ply].list_start; e->move != MOVE_LIST_END; e++) {
            if (!king_safe_after_move(p, p.side, e->move)) continue;
            Position before = p;
            u16 undo_count = td->undo_count, last = td->last_move;
            play_move(p, e->move);
            nodes++;
            EXPECT_EQ(td->last_move, e->move);
            EXPECT_EQ(td->search_ply, ply + 1);
            expect_consistent(p);
            if (::testing::Test::HasFatalFailure()) return nodes;
            EXPECT_FALSE(is_square_attacked_by(p, king_square(p, p.side ^ 1), p.side));
            if (depth > 1) nodes += walk(depth - 1);
            take_back_move(p);
            expect_same(p, before);
            if (::testing::Test::HasFatalFailure()) return nodes;
            EXPECT_EQ(td->undo_count, undo_count);
            EXPECT_EQ(td->last_move, last);
            EXPECT_EQ(td->search_ply, ply);
        }
        Position before = p;
        play_null_move(p);
        EXPECT_EQ(p.side, before.side ^ 1);
        EXPECT_EQ(p.ep_square, NO_SQUARE);
        EXPECT_EQ(td->last_move, NULL_MOVE);
        take_back_null_move(p);
        expect_same(p, before);
        return nodes;
    }

    static void play(const char* move) { play_move(pos(), move_of(move)); }
    static std::string fen()
    {
        char text[100];
        position_to_fen(pos(), text);
        return text;
    }
    static std::vector<int> list(int colour, int type)
    {
        std::vector<int> out;
        for (const u8* l = pos().lists[colour][type]; *l != NO_SQUARE; l++) out.push_back(*l);
        return out;
    }
};

TEST_F(MakeMoveTest, WalkRestoresEverything)
{
    const char* fens[] = {
        START_FEN,
        "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq -",
        "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - -",
        "r3k2r/Pppp1ppp/1b3nbN/nP6/BBP1P3/q4N2/Pp1P2PP/R2Q1RK1 w kq -",
        "rnbq1k1r/pp1Pbppp/2p5/8/2B5/8/PPP1NnPP/RNBQK2R w KQ -",
        "8/8/1k6/2b5/2pP4/8/5K2/8 b - d3",
    };
    u64 total = 0;
    for (const char* f : fens) {
        set(f);
        expect_consistent(pos());
        total += walk(f == fens[2] ? 4 : 2);
        ASSERT_FALSE(HasFatalFailure()) << f;
    }
    EXPECT_GT(total, 5000u);
}

TEST_F(MakeMoveTest, DoublePushAndEnPassant)
{
    set(START_FEN);
    play("e2e4");
    EXPECT_EQ(pos().ep_square, square("e3"));  // set although no pawn can take
    EXPECT_EQ(pos().halfmove_clock, 0);
    play("g8f6");
    EXPECT_EQ(pos().ep_square, NO_SQUARE);
    EXPECT_EQ(pos().halfmove_clock, 1);
    play("e4e5");
    play("d7d5");
    EXPECT_EQ(pos().ep_square, square("d6"));
    std::vector<int> black_pawns = list(BLACK, PAWN);
    u64 key = pos().key, pawn_key = pos().pawn_key;
    play("e5d6");
    EXPECT_EQ(pos().board[square("d5")], 0);
    EXPECT_EQ(pos().board[square("d6")], piece_code(PAWN, WHITE));
    EXPECT_EQ(pos().material_key[BLACK] & 0xF, 7u);
    EXPECT_EQ(td->undo[td->undo_count - 1].captured_type, 0);
    expect_consistent(pos());
    take_back_move(pos());
    EXPECT_EQ(pos().key, key);
    EXPECT_EQ(pos().pawn_key, pawn_key);
    EXPECT_EQ(pos().board[square("d5")], piece_code(PAWN, BLACK));
    // The pawn taken back stands last in its list.
    std::vector<int> after = list(BLACK, PAWN);
    EXPECT_EQ(after.back(), square("d5"));
    EXPECT_EQ(fen(), "rnbqkb1r/ppp1pppp/5n2/3pP3/8/8/PPPP1PPP/RNBQKBNR w KQkq d6");
}

TEST_F(MakeMoveTest, CastlingAndRights)
{
    set("r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
    pos().halfmove_clock = 7;
    play("e1g1");
    EXPECT_EQ(pos().board[square("f1")], piece_code(ROOK, WHITE));
    EXPECT_EQ(pos().board[square("h1")], 0);
    EXPECT_EQ(pos().castling, 12);
    EXPECT_EQ(pos().halfmove_clock, 0);
    expect_consistent(pos());
    play("e8c8");
    EXPECT_EQ(pos().board[square("d8")], piece_code(ROOK, BLACK));
    EXPECT_EQ(pos().castling, 0);
    take_back_move(pos());
    take_back_move(pos());
    EXPECT_EQ(fen(), "r3k2r/8/8/8/8/8/8/R3K2R w KQkq -");
    EXPECT_EQ(pos().halfmove_clock, 7);

    // A capture on h8 clears Black's king-side right; a rook move its own.
    play("h1h8");
    EXPECT_EQ(pos().castling, 2 | 8);
    take_back_move(pos());
    play("a1b1");
    EXPECT_EQ(pos().castling, 1 | 4 | 8);
    EXPECT_EQ(pos().halfmove_clock, 8);
    take_back_move(pos());
    // A capture puts the victim back last in its list.
    set("r3k2r/8/8/8/8/8/8/R3K2R b KQkq -");
    std::vector<int> rooks = list(WHITE, ROOK);
    ASSERT_EQ(rooks, (std::vector<int>{square("a1"), square("h1")}));
    play("h8h1");
    take_back_move(pos());
    EXPECT_EQ(list(WHITE, ROOK), (std::vector<int>{square("a1"), square("h1")}));
    play("a8a1");
    take_back_move(pos());
    EXPECT_EQ(list(WHITE, ROOK), (std::vector<int>{square("h1"), square("a1")}));
}

TEST_F(MakeMoveTest, Promotions)
{
    const struct {
        const char* move;
        int type;
    } cases[] = {{"b7b8q", QUEEN}, {"b7b8n", KNIGHT}, {"b7b8b", BISHOP}, {"b7b8r", ROOK},
                 {"b7a8q", QUEEN}, {"b7a8n", KNIGHT}, {"b7a8b", BISHOP}, {"b7a8r", ROOK}};
    for (const auto& c : cases) {
        set("r3k3/1P6/8/8/8/8/8/4K3 w q -");
        u32 white_material = pos().material_key[WHITE];
        play(c.move);
        int to = square(c.move + 2);
        EXPECT_EQ(pos().board[to], piece_code(c.type, WHITE)) << c.move;
        EXPECT_EQ(pos().material_key[WHITE], white_material - 1 + material_key_step[c.type]) << c.move;
        EXPECT_EQ(pos().piece_units[WHITE], piece_unit_value[c.type]) << c.move;
        EXPECT_EQ(pos().pawn_key, 0u) << c.move;
        EXPECT_EQ(pos().pieces[WHITE][PAWN], 0u);
        if (to == square("a8")) {
            EXPECT_EQ(pos().piece_units[BLACK], 0);
            EXPECT_EQ(pos().castling, 0);
        }
        expect_consistent(pos());
        take_back_move(pos());
        EXPECT_EQ(fen(), "r3k3/1P6/8/8/8/8/8/4K3 w q -");
        expect_consistent(pos());
    }
}

TEST_F(MakeMoveTest, TakePieceOffSquareKeepsListOrder)
{
    set("4k3/8/8/8/8/8/PPP5/4K3 w - -");
    EXPECT_EQ(put_piece_on_square(pos(), square("h2"), piece_code(PAWN, WHITE)), 1);
    EXPECT_EQ(put_piece_on_square(pos(), square("h2"), piece_code(PAWN, WHITE)), 0);  // occupied
    take_piece_off_square(pos(), square("b2"));
    EXPECT_EQ(list(WHITE, PAWN), (std::vector<int>{square("a2"), square("c2"), square("h2")}));
    EXPECT_EQ(pos().material_key[WHITE], 3u);
    // Ten knights fill the list; an eleventh is refused.
    set("4k3/8/8/8/8/8/8/4K3 w - -");
    for (int sq = 8; sq < 18; sq++) EXPECT_EQ(put_piece_on_square(pos(), sq, piece_code(KNIGHT, WHITE)), 1);
    EXPECT_EQ(put_piece_on_square(pos(), 18, piece_code(KNIGHT, WHITE)), 0);
    EXPECT_EQ(king_square(pos(), WHITE), square("e1"));
}

// Full lists: an entry behind the first eight is found, replaced and
// removed in place, and the later entries keep their order.
TEST_F(MakeMoveTest, LongSquareListsKeepTheirOrder)
{
    set("r3k3/8/8/8/8/8/8/4K3 w - -");
    for (int sq = 8; sq < 18; sq++) ASSERT_EQ(put_piece_on_square(pos(), sq, piece_code(KNIGHT, WHITE)), 1);
    pos().key = piece_key_from_board(pos());
    std::vector<int> knights;
    for (int sq = 8; sq < 18; sq++) knights.push_back(sq);
    play("b3c5");
    knights[9] = square("c5");
    EXPECT_EQ(list(WHITE, KNIGHT), knights);
    play("a8a3");
    knights.erase(knights.begin() + 8);
    EXPECT_EQ(list(WHITE, KNIGHT), knights);
    expect_consistent(pos());
    take_back_move(pos());
    knights.push_back(square("a3"));
    EXPECT_EQ(list(WHITE, KNIGHT), knights);
    take_back_move(pos());
    knights[8] = square("b3");
    EXPECT_EQ(list(WHITE, KNIGHT), knights);
    expect_consistent(pos());
}

TEST_F(MakeMoveTest, GameMovesAreCheckedAndBounded)
{
    set_game(START_FEN);
    EXPECT_EQ(play_game_move(move_of("e2e5")), GAME_MOVE_ILLEGAL);
    EXPECT_EQ(play_game_move(move_of("e7e5")), GAME_MOVE_ILLEGAL);  // not White's pawn
    EXPECT_EQ(play_game_move(NULL_MOVE), GAME_MOVE_ILLEGAL);
    EXPECT_EQ(play_game_move(move_of("e2e4")), GAME_MOVE_PLAYED);
    EXPECT_EQ(game_record->search_ply, 1);
    EXPECT_EQ(game_record->last_move, move_of("e2e4"));
    // Leaves its king in check: refused.
    set_game("4k3/8/8/8/8/8/4r3/4K3 w - -");
    EXPECT_EQ(play_game_move(move_of("e1f2")), GAME_MOVE_ILLEGAL);
    EXPECT_EQ(play_game_move(move_of("e1e2")), GAME_MOVE_PLAYED);

    set_game(START_FEN);
    const char* shuffle[] = {"g1f3", "g8f6", "f3g1", "f6g8"};
    int played = 0;
    while (played < MAX_GAME_PLY) ASSERT_EQ(play_game_move(move_of(shuffle[played++ % 4])), GAME_MOVE_PLAYED);
    EXPECT_EQ(game_record->undo_count, MAX_GAME_PLY);
    EXPECT_EQ(take_back_game_move(), 1);
    EXPECT_EQ(game_record->undo_count, MAX_GAME_PLY - 1);
    EXPECT_EQ(game_record->search_ply, 1);
    while (take_back_game_move()) {
    }
    char fen[100];
    position_to_fen(game_record->pos, fen);
    EXPECT_STREQ(fen, START_FEN);
    EXPECT_EQ(game_record->last_move, NULL_MOVE);
    EXPECT_STRNE(game_move_refusal_text(GAME_MOVE_ILLEGAL), "");
}

TEST_F(MakeMoveTest, LongGamesKeepWhatTheDrawTestNeeds)
{
    // Past the record's size the oldest plies go, never the reversible ones
    // of the current stretch: every move is played and repetitions are seen.
    set_game(START_FEN);
    const char* shuffle[] = {"g1f3", "g8f6", "f3g1", "f6g8"};
    for (int i = 0; i < 1000; i++) ASSERT_EQ(play_game_move(move_of(shuffle[i % 4])), GAME_MOVE_PLAYED) << i;
    EXPECT_EQ(game_ply(), 1000);
    EXPECT_LE(game_record->undo_count, MAX_GAME_PLY);
    EXPECT_EQ(detect_repetition(game_record->pos, DRAW_MODE_TWO_REPEATS), DRAW_REPETITION);
    char fen[100];
    position_to_fen(game_record->pos, fen);
    EXPECT_STREQ(fen, START_FEN);

    // A long game whose pawn moves keep the fifty-move count low fills the
    // record while the recent plies must all stay.
    set_game(START_FEN);
    const char* pawn_pairs[] = {"h2h3", "h7h6", "h3h4", "h6h5", "a2a3", "a7a6", "a3a4", "a6a5", "b2b3", "b7b6",
                                "c2c3", "c7c6", "d2d3", "d7d6", "e2e3", "e7e6", "g2g3", "g7g6", "c3c4", "c6c5",
                                "d3d4", "d6d5", "e3e4", "e6e5", "g3g4", "g6g5", "b3b4", "b6b5"};
    int ply = 0;
    for (int pair = 0; pair < 14; pair++) {
        for (int i = 0; i < 2; i++, ply++) ASSERT_EQ(play_game_move(move_of(pawn_pairs[2 * pair + i])), GAME_MOVE_PLAYED);
        for (int i = 0; i < 48; i++, ply++) ASSERT_EQ(play_game_move(move_of(shuffle[i % 4])), GAME_MOVE_PLAYED);
    }
    EXPECT_EQ(ply, 700);
    EXPECT_EQ(game_record->pos.halfmove_clock, 48);
    // Over the record's size: the same position again after 4 and 8 plies.
    for (int i = 0; i < 4; i++) ASSERT_EQ(play_game_move(move_of(shuffle[i])), GAME_MOVE_PLAYED);
    for (int i = 0; i < 40; i++) ASSERT_EQ(play_game_move(move_of(shuffle[i % 4])), GAME_MOVE_PLAYED);
    EXPECT_EQ(game_ply(), 744);
    EXPECT_LT(game_record->undo_count, MAX_GAME_PLY);
    EXPECT_EQ(game_record->pos.halfmove_clock, 92);
    EXPECT_EQ(detect_repetition(game_record->pos, DRAW_MODE_TWO_REPEATS), DRAW_REPETITION);
    position_to_fen(game_record->pos, fen);
    EXPECT_STREQ(fen, "rnbqkbnr/5p2/8/ppppp1pp/PPPPP1PP/8/5P2/RNBQKBNR w KQkq -");
    // Taking back stays inside the kept records: back to just after the last pawn move.
    for (int i = 0; i < 92; i++) ASSERT_EQ(take_back_game_move(), 1);
    EXPECT_EQ(game_record->pos.halfmove_clock, 0);
    EXPECT_EQ(take_back_game_move(), 0);  // the pawn move itself was among the dropped plies
}

} // namespace
