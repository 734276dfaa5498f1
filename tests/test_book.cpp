// Opening book look-ups against book files written here with a key
// calculation of the test's own, in both record layouts.
#include <gtest/gtest.h>

#include <algorithm>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "bitboard.h"
#include "fen.h"
#include "makemove.h"
#include "movetext.h"
#include "records.h"
#include "tools/book.h"

namespace {

struct Rec {
    u16 key16;
    u32 key32;
    u16 wins, losses, draws;
};

bool book_order(const Rec& a, const Rec& b)
{
    return a.key16 != b.key16 ? a.key16 > b.key16 : a.key32 > b.key32;
}

// Writes the records byte by byte in the given layout (16: padding after
// key16; 14: packed), little-endian.
void write_book(const std::string& path, const std::vector<Rec>& recs, int size)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    for (const Rec& r : recs) {
        unsigned char b[16] = {};
        auto put16 = [&](int at, u16 v) { b[at] = u8(v); b[at + 1] = u8(v >> 8); };
        int k = size == 16 ? 4 : 2;
        put16(0, r.key16);
        put16(k, u16(r.key32));
        put16(k + 2, u16(r.key32 >> 16));
        put16(k + 4, r.wins);
        put16(k + 6, r.losses);
        put16(k + 8, r.draws);
        if (size == 16) put16(2, 0xBEEF);  // padding is ignored by readers
        std::fwrite(b, size_t(size), 1, f);
    }
    std::fclose(f);
}

// Looks a record key up through the engine's current-key globals.
const BookRecord* look_up(u16 key16, u32 key32)
{
    book_key16 = u16(key16 & 0x7FFF);
    book_key32 = key32;
    return find_book_record((key16 & 0x8000) ? WHITE : BLACK);
}

struct BookTest : ::testing::TestWithParam<int> {
    static void SetUpTestSuite() { init_board_tables(); }
    std::string path;
    void SetUp() override
    {
        // Unique per test and process: CTest runs tests side by side.
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& c : name)
            if (c == '/') c = '_';
        path = ::testing::TempDir() + "vant_book_" + name + "_" + std::to_string(getpid()) + ".opn";
        book_record_size = GetParam();
    }
    void TearDown() override
    {
        free_book_tables();
        std::remove(path.c_str());
        book_record_size = BOOK_RECORD_SIZE_LINUX;
        std::snprintf(engine_config.book_file, sizeof engine_config.book_file, "vant.opn");
    }
    void load(const std::vector<Rec>& recs)
    {
        write_book(path, recs, GetParam());
        std::snprintf(engine_config.book_file, sizeof engine_config.book_file, "%s", path.c_str());
        free_book_tables();
        load_book_index();
        ASSERT_EQ(book_record_count, int(recs.size()));
    }
    void expect_all_found(const std::vector<Rec>& recs, const std::vector<size_t>& order)
    {
        int misses = 0;
        for (size_t i : order) {
            const BookRecord* r = look_up(recs[i].key16, recs[i].key32);
            if (!r || r->wins != recs[i].wins || r->losses != recs[i].losses || r->draws != recs[i].draws) misses++;
        }
        EXPECT_EQ(misses, 0);
    }
};

// Records crowded so that buckets and single keys overflow the cache and
// many keys sit on cache boundaries: a bucket of 3000 records, one key with
// 2100 records, runs of equal keys around bucket edges, and a thin spread.
std::vector<Rec> crowded_book()
{
    std::mt19937 rng(12345);
    std::vector<Rec> recs;
    auto add = [&](u16 k16, u32 k32) {
        recs.push_back({k16, k32, u16(rng() % 60000), u16(rng() % 60000), u16(rng() % 60000)});
    };
    for (int i = 0; i < 3000; i++) add(u16(0x8000 | (37 << 6) | (i % 64)), u32(i * 7919 + 1));
    for (int i = 0; i < 2100; i++) add(u16(0x9001), u32(i * 104729 + 3));
    for (int bucket = 200; bucket < 260; bucket++)
        for (int k = 0; k < 3; k++)
            for (int i = 0; i < 40; i++) add(u16((bucket << 6) | (k == 0 ? 0 : k == 1 ? 63 : 31)), u32(rng()));
    for (int i = 0; i < 4000; i++) add(u16(rng()), u32(rng()));
    std::sort(recs.begin(), recs.end(), book_order);
    recs.erase(std::unique(recs.begin(), recs.end(),
                           [](const Rec& a, const Rec& b) { return a.key16 == b.key16 && a.key32 == b.key32; }),
               recs.end());
    return recs;
}

TEST_P(BookTest, EveryRecordIsFoundWhateverWasLookedUpBefore)
{
    std::vector<Rec> recs = crowded_book();
    load(recs);
    std::vector<size_t> order(recs.size());
    for (size_t i = 0; i < order.size(); i++) order[i] = i;
    expect_all_found(recs, order);  // file order
    std::reverse(order.begin(), order.end());
    expect_all_found(recs, order);  // reverse order: each lower key first
    std::shuffle(order.begin(), order.end(), std::mt19937(7));
    order.resize(2500);  // each jump re-reads a bucket: a sample keeps this quick
    expect_all_found(recs, order);
}

TEST_P(BookTest, AbsentKeysAreNotFound)
{
    std::vector<Rec> recs = crowded_book();
    load(recs);
    std::mt19937 rng(99);
    int false_hits = 0;
    for (int i = 0; i < 3000; i++) {
        const Rec& r = recs[rng() % recs.size()];
        // Same key16 with a key32 no record has, and the neighbouring key16.
        u32 k32 = r.key32 ^ 0x5A5A5A5Au;
        bool present = std::binary_search(recs.begin(), recs.end(), Rec{r.key16, k32, 0, 0, 0}, book_order);
        if (!present && look_up(r.key16, k32)) false_hits++;
        u16 other = u16(r.key16 ^ 0x8000);
        present = std::binary_search(recs.begin(), recs.end(), Rec{other, r.key32, 0, 0, 0}, book_order);
        if (!present && look_up(other, r.key32)) false_hits++;
    }
    EXPECT_EQ(false_hits, 0);
}

TEST_P(BookTest, IndexPointsAtTheFirstRecordOfEachBucket)
{
    std::vector<Rec> recs = crowded_book();
    load(recs);
    for (int b = 0; b < BOOK_INDEX_SIZE; b++) {
        auto it = std::find_if(recs.begin(), recs.end(), [&](const Rec& r) { return (r.key16 >> 6) == b; });
        EXPECT_EQ(book_index[b], it == recs.end() ? -1 : i32(it - recs.begin())) << "bucket " << b;
    }
}

TEST_P(BookTest, MissingOrEmptyBookIsOff)
{
    std::snprintf(engine_config.book_file, sizeof engine_config.book_file, "%s", path.c_str());
    std::remove(path.c_str());
    load_book_index();
    EXPECT_EQ(book_record_count, 0);
    EXPECT_EQ(look_up(0x8000, 64), nullptr);
    write_book(path, {}, GetParam());
    free_book_tables();
    load_book_index();
    EXPECT_EQ(book_record_count, 0);
    engine_config.book_file[0] = 0;
    free_book_tables();
    load_book_index();
    EXPECT_EQ(book_record_count, 0);
}

INSTANTIATE_TEST_SUITE_P(Layouts, BookTest, ::testing::Values(16, 14));

// The key table from the generator and the key of a position, computed here
// independently of the engine.
std::vector<u16> reference_table()
{
    std::vector<u16> t;
    unsigned x = 77;
    for (int i = 0; i < 772; i++) {
        x = (33 * x + 12345) % 65536;
        t.push_back(u16(x));
    }
    return t;
}

void reference_key(const Position& pos, u16* key16, u32* key32)
{
    std::vector<u16> t = reference_table();
    static const int base[] = {0, 0, 128, 256, 384, 512, 640};
    u16 k = 0;
    u32 s = 0;
    for (int sq = 0; sq < 64; sq++) {
        int code = pos.board[sq];
        if (!code) continue;
        int colour = code >= 8;
        int i = base[code & 7] + sq + (colour ? 64 : 0);
        if (colour == pos.side) k ^= t[i];
        s ^= (u32(t[i + 1]) << 16) | t[i + 2];
    }
    *key16 = k;
    *key32 = s + pos.ep_square;
}

// A board from a placement text (rank 8 first), enough for the key.
Position board_of(const char* placement, int side, int ep)
{
    Position pos{};
    int sq = 56;
    for (const char* p = placement; *p; p++) {
        if (*p == '/') sq -= 16;
        else if (*p >= '1' && *p <= '8') sq += *p - '0';
        else {
            const char* letters = " PNBRQK  pnbrqk";
            pos.board[sq++] = u8(std::strchr(letters, *p) - letters);
        }
    }
    pos.side = u8(side);
    pos.ep_square = u8(ep);
    return pos;
}

TEST(BookKey, TableAndPositionKeysMatchAnIndependentCalculation)
{
    std::vector<u16> ref = reference_table();
    u16 table[BOOK_KEY_TABLE_SIZE];
    fill_book_key_table(table);
    EXPECT_EQ(table[0], 14886);
    EXPECT_TRUE(std::equal(ref.begin(), ref.end(), table));

    load_book_index();  // makes the key table (no book file needed)
    const struct {
        const char* placement;
        int side, ep;
    } cases[] = {
        {"rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR", WHITE, 64},
        {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR", BLACK, 20},
        {"rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR", BLACK, 64},
        {"8/8/8/3k4/8/8/8/K6R", WHITE, 64},
    };
    for (const auto& c : cases) {
        Position pos = board_of(c.placement, c.side, c.ep);
        u16 k16;
        u32 k32;
        reference_key(pos, &k16, &k32);
        book_position_key(pos);
        EXPECT_EQ(book_key16, k16) << c.placement;
        EXPECT_EQ(book_key32, k32) << c.placement;
    }
    // The en-passant square is part of key32 only.
    Position a = board_of(cases[1].placement, BLACK, 20), b = board_of(cases[2].placement, BLACK, 64);
    book_position_key(a);
    u32 with_ep = book_key32;
    book_position_key(b);
    EXPECT_EQ(with_ep + 44, book_key32);
    free_book_tables();
}

TEST(BookKey, NoKeyTableMeansNoBook)
{
    free_book_tables();
    Position pos = board_of("rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR", WHITE, 64);
    book_position_key(pos);  // must not touch a missing table
    EXPECT_EQ(book_key16, 0);
    EXPECT_EQ(find_book_record(WHITE), nullptr);
}

}  // namespace

namespace {

// The move choice on a small book: records for the positions after 1.e4,
// 1.d4 and 1.c4 (each for black to move, so "losses" are the mover's wins).
struct BookChoiceTest : ::testing::Test {
    std::string path;
    static void SetUpTestSuite()
    {
        init_board_tables();
        if (!game_record) setup_game_record();
    }
    void SetUp() override
    {
        path = ::testing::TempDir() + "vant_book_choice_" + std::to_string(getpid()) + ".opn";
        free_book_tables();
        load_book_index();  // the key table
        std::vector<Rec> recs;
        const struct {
            const char* move;
            u16 black_wins, black_losses, draws;
        } entries[] = {{"e2e4", 5, 50, 20}, {"d2d4", 30, 2, 1}, {"c2c4", 1, 3, 4}};
        for (const auto& e : entries) {
            set_position_from_fen(game_record->pos, START_FEN);
            Move m;
            ASSERT_EQ(parse_move_text(e.move, m), 1);
            ASSERT_EQ(play_game_move(m), GAME_MOVE_PLAYED);
            book_position_key(game_record->pos);
            recs.push_back({u16(book_key16 & 0x7FFF), book_key32, e.black_wins, e.black_losses, e.draws});
        }
        std::sort(recs.begin(), recs.end(), book_order);
        write_book(path, recs, BOOK_RECORD_SIZE_LINUX);
        std::snprintf(engine_config.book_file, sizeof engine_config.book_file, "%s", path.c_str());
        free_book_tables();
        load_book_index();
        set_position_from_fen(game_record->pos, START_FEN);
        engine_config.protocol = PROTOCOL_UCI;
    }
    void TearDown() override
    {
        free_book_tables();
        std::remove(path.c_str());
        std::snprintf(engine_config.book_file, sizeof engine_config.book_file, "vant.opn");
        search_state.book_variety = 30;
    }
    std::string choose(int print = 0)
    {
        ::testing::internal::CaptureStdout();
        choose_book_move(game_record->pos, print);
        return ::testing::internal::GetCapturedStdout();
    }
};

TEST_F(BookChoiceTest, PicksTheOnlyGoodCandidateAndPrintsTheTable)
{
    for (int variety : {30, 1, 0, -5}) {  // 0 and below count as 1
        search_state.book_variety = i16(variety);
        std::string out = choose();
        EXPECT_EQ(search_state.best_line[1], make_move(12, 28)) << variety;  // e2e4
        EXPECT_EQ(search_state.best_line[2], 0);
        EXPECT_NE(out.find("info string   move  result    wins losses  draws\n"), std::string::npos);
        EXPECT_NE(out.find("info string   e2e4   80.0%      50      5     20\n"), std::string::npos) << out;
        EXPECT_NE(out.find("info string   d2d4   7.6%       2     30      1\n"), std::string::npos) << out;
        EXPECT_NE(out.find("info string   c2c4   ") , std::string::npos);  // a line, but too few games
    }
    // The position is as it was.
    char fen[128];
    position_to_fen(game_record->pos, fen);
    EXPECT_STREQ(fen, START_FEN);
    EXPECT_EQ(game_record->undo_count, 0);
}

TEST_F(BookChoiceTest, PositionOutsideTheBookGivesNoMove)
{
    Move m;
    ASSERT_EQ(parse_move_text("g1f3", m), 1);
    ASSERT_EQ(play_game_move(m), GAME_MOVE_PLAYED);
    EXPECT_EQ(choose(), "");  // the game's own position is not in the book
    EXPECT_EQ(search_state.best_line[1], 0);
}

TEST_F(BookChoiceTest, NoKeyTableOrNoFileMeansNoMove)
{
    free_book_tables();
    EXPECT_EQ(choose(), "");
    EXPECT_EQ(search_state.best_line[1], 0);
    engine_config.book_file[0] = 0;
    load_book_index();
    EXPECT_EQ(choose(), "");
    EXPECT_EQ(search_state.best_line[1], 0);
}

}  // namespace
