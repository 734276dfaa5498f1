#include <gtest/gtest.h>

#include <atomic>
#include <bit>
#include <thread>
#include <vector>

#include "records.h"
#include "tt.h"
#include "zobrist.h"

namespace {

// A position whose full key is exactly `key` (only the key, side, rights and
// en-passant square matter to the table; the board is empty).
Position position_with_full_key(u64 key, int side)
{
    generate_zobrist_keys();
    Position pos{};
    pos.castling = 0;
    pos.ep_square = NO_SQUARE;
    pos.side = u8(side);
    pos.key = key ^ zobrist_state[0] ^ zobrist_state[NO_SQUARE] ^ zobrist_side[side];
    return pos;
}

struct HashTableTest : ::testing::Test {
    void SetUp() override { make_table(1); }
    void TearDown() override
    {
        search_state.use_table = TABLE_ON;
        search_state.hash_size = 64;
        free_hash_table();
    }
    static void make_table(int megabytes)
    {
        search_state.hash_size = i16(megabytes);
        search_state.use_table = TABLE_ON;
        ASSERT_EQ(setup_hash_table(), 0);
    }
    static long index_of(const TTEntry* e) { return long(e - transposition_table.base); }
};

TEST(ZobristKeys, KnownValuesFromFixedSeeds)
{
    generate_zobrist_keys();
    // The first key, a key drawn after a rejected candidate (index 712) and
    // the last piece key, then the state keys that continue the sequence.
    EXPECT_EQ(zobrist_piece[0][0], 0x906946505e60d900ULL);
    EXPECT_EQ(zobrist_piece[0][1], 0xe708e34f294dde49ULL);
    EXPECT_EQ(zobrist_piece[9][12], 0xf57cccc63b615a5aULL);
    EXPECT_EQ(zobrist_piece[11][8], 0x58826661781d9ba7ULL);
    EXPECT_EQ(zobrist_piece[15][63], 0x952ae7d351aa5567ULL);
    EXPECT_EQ(zobrist_state[0], 0x90e119dc9e8c5435ULL);
    EXPECT_EQ(zobrist_state[64], 0xa39a9cd69306a9c6ULL);
    EXPECT_EQ(zobrist_state[65], 0xc9e65cf3d377ac91ULL);
    EXPECT_EQ(zobrist_side[WHITE], 0u);
    EXPECT_EQ(zobrist_side[BLACK], ~u64(0));
}

TEST(ZobristKeys, EveryPieceKeyFarFromEveryEarlierOne)
{
    generate_zobrist_keys();
    const u64* keys = &zobrist_piece[0][0];
    int close_pairs = 0;
    for (int i = 1; i < 1024; i++)
        for (int j = 0; j < i; j++) {
            u64 x = keys[i] ^ keys[j];
            if (std::popcount(u32(x)) < 4 || std::popcount(u32(x >> 32)) < 4) close_pairs++;
        }
    EXPECT_EQ(close_pairs, 0);
}

TEST_F(HashTableTest, SizingOfOneMegabyte)
{
    EXPECT_EQ(transposition_table.entry_count, 65536u);
    EXPECT_EQ(transposition_table.mask, 65535u);
    EXPECT_EQ(transposition_table.allocated_entries, 65536u + 32);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(transposition_table.base) % 64, 0u);
    const TTEntry* base = transposition_table.base;
    EXPECT_EQ(base[0].depth, TT_EMPTY_DEPTH);
    EXPECT_EQ(base[65536 + 15].depth, TT_EMPTY_DEPTH);
    EXPECT_EQ(base[65536 + 16].depth, 0);
    EXPECT_EQ(base[65536 + 31].depth, 0);
}

TEST_F(HashTableTest, ThreeMegabytesIsNotAPowerOfTwo)
{
    make_table(3);
    EXPECT_EQ(transposition_table.entry_count, 196608u);
    EXPECT_EQ(transposition_table.mask, 131071u);
    // White buckets: entries 0 .. 131,074.
    EXPECT_EQ(index_of(hash_bucket(position_with_full_key(0, WHITE))), 0);
    EXPECT_EQ(index_of(hash_bucket(position_with_full_key(131071, WHITE))) + 3, 131074);
    EXPECT_EQ(index_of(hash_bucket(position_with_full_key(~u64(0), WHITE))), 131071);
    // Black buckets: entries 65,537 .. 196,611, counted back from the end.
    EXPECT_EQ(index_of(hash_bucket(position_with_full_key(131071, BLACK))), 65537);
    EXPECT_EQ(index_of(hash_bucket(position_with_full_key(0, BLACK))) + 3, 196611);
    EXPECT_LT(196611u, transposition_table.entry_count + 16);  // initialised as empty
}

TEST(HashTableSizing, EntryCountAndMaskIn64Bits)
{
    EXPECT_EQ(hash_entries_for_size(8192), u64(1) << 29);
    EXPECT_EQ(hash_mask_for_entries(u64(1) << 29), (u64(1) << 29) - 1);
    EXPECT_EQ(hash_entries_for_size(4096 + 1), u64(4097) << 16);
    EXPECT_EQ(hash_mask_for_entries(u64(4097) << 16), (u64(1) << 28) - 1);
    EXPECT_EQ(hash_entries_for_size(5), 327680u);
    EXPECT_EQ(hash_mask_for_entries(327680), 262143u);
    EXPECT_EQ(hash_entries_for_size(0), 0u);
    EXPECT_EQ(hash_mask_for_entries(0), 0u);
    EXPECT_EQ(hash_entries_for_size(-5), 0u);
}

TEST_F(HashTableTest, ZeroMegabytesIsSafeWhateverTheUseTableByte)
{
    make_table(0);
    EXPECT_EQ(transposition_table.entry_count, 0u);
    EXPECT_EQ(transposition_table.mask, 0u);
    search_state.use_table = TABLE_ON;
    Position pos = position_with_full_key(0x123456789ABCDEF0ULL, BLACK);
    EXPECT_EQ(hash_bucket(pos), nullptr);
    store_hash_entry(pos, 1, 5, 10, 0, -100, 100);
    TTEntry out;
    probe_hash_table(pos, out);
    EXPECT_EQ(out.depth, TT_NO_ENTRY);
    prefetch_bucket_of_key(full_key(pos), pos.side);
    search_state.hash_age = 0;
    sample_hash_fill();
    EXPECT_EQ(search_state.hash_fill, 0.0);
    clear_hash_table();
}

TEST_F(HashTableTest, NoTableAfterFreeIsSafe)
{
    free_hash_table();
    Position pos = position_with_full_key(42, WHITE);
    store_hash_entry(pos, 1, 5, 10, 0, -100, 100);
    TTEntry out;
    probe_hash_table(pos, out);
    EXPECT_EQ(out.depth, TT_NO_ENTRY);
    clear_hash_table();
    sample_hash_fill();
    EXPECT_EQ(search_state.hash_fill, 0.0);
}

TEST_F(HashTableTest, StoreAndProbeRoundTrip)
{
    search_state.hash_age = 7;
    Position pos = position_with_full_key(0xDEADBEEF12345678ULL, WHITE);
    pos.board[12] = piece_code(PAWN, WHITE);
    Move m = make_move(12, 28);
    store_hash_entry(pos, 3, 6, 25, m, 0, 100);
    TTEntry out;
    probe_hash_table(pos, out);
    EXPECT_EQ(out.depth, 6);
    EXPECT_EQ(out.move, m);
    EXPECT_EQ(out.score, 25);
    EXPECT_EQ(out.bound, BOUND_EXACT);
    EXPECT_EQ(out.age, 7);
    EXPECT_EQ(out.key_high, 0xDEADBEEFu);

    // The same piece key with black to move is another position.
    Position other = position_with_full_key(0xDEADBEEF12345678ULL, BLACK);
    probe_hash_table(other, out);
    EXPECT_EQ(out.depth, TT_NO_ENTRY);
    EXPECT_EQ(out.move, 0);
}

TEST_F(HashTableTest, BoundFromScoreAndWindow)
{
    Position pos = position_with_full_key(0x1111222233334444ULL, WHITE);
    TTEntry out;
    store_hash_entry(pos, 1, 2, 100, 0, -50, 100);  // best >= beta
    probe_hash_table(pos, out);
    EXPECT_EQ(out.bound, BOUND_LOWER);
    store_hash_entry(pos, 1, 2, -50, 0, -50, 100);  // best <= entry alpha
    probe_hash_table(pos, out);
    EXPECT_EQ(out.bound, BOUND_UPPER);
    store_hash_entry(pos, 1, 2, -49, 0, -50, 100);
    probe_hash_table(pos, out);
    EXPECT_EQ(out.bound, BOUND_EXACT);
}

TEST(MateScores, StoredRelativeToTheNode)
{
    EXPECT_EQ(score_to_table(9990, 5), 9995);
    EXPECT_EQ(score_from_table(9995, 7), 9988);
    EXPECT_EQ(score_to_table(-9990, 5), -9995);
    EXPECT_EQ(score_from_table(-9995, 7), -9988);
    // The bounds: 9697 and -9698 are adjusted, 9696 and -9697 are not.
    EXPECT_EQ(score_to_table(9697, 3), 9700);
    EXPECT_EQ(score_to_table(9696, 3), 9696);
    EXPECT_EQ(score_to_table(-9697, 3), -9697);
    EXPECT_EQ(score_to_table(-9698, 3), -9701);
    EXPECT_EQ(score_from_table(9697, 3), 9694);
    EXPECT_EQ(score_from_table(9696, 3), 9696);
    EXPECT_EQ(score_from_table(-9698, 3), -9695);
    EXPECT_EQ(score_from_table(-9697, 3), -9697);
}

TEST_F(HashTableTest, MateScoreThroughTheTable)
{
    Position pos = position_with_full_key(0x0F0F0F0F0F0F0F0FULL, BLACK);
    store_hash_entry(pos, 5, 4, 9990, 0, -10000, 10000);
    TTEntry out;
    probe_hash_table(pos, out);
    ASSERT_EQ(out.depth, 4);
    EXPECT_EQ(out.score, 9995);
    EXPECT_EQ(score_from_table(out.score, 7), 9988);
}

TEST_F(HashTableTest, SameKeyReplacementNeedsDepthWithinTwo)
{
    Position pos = position_with_full_key(0xABCDEF0123456789ULL, WHITE);
    TTEntry out;
    store_hash_entry(pos, 1, 6, 11, 0, -100, 100);
    store_hash_entry(pos, 1, 3, 22, 0, -100, 100);  // 3 < 6 - 2: kept
    probe_hash_table(pos, out);
    EXPECT_EQ(out.depth, 6);
    EXPECT_EQ(out.score, 11);

    clear_hash_table();
    store_hash_entry(pos, 1, 5, 11, 0, -100, 100);
    store_hash_entry(pos, 1, 3, 22, 0, -100, 100);  // 3 >= 5 - 2: replaced
    probe_hash_table(pos, out);
    EXPECT_EQ(out.depth, 3);
    EXPECT_EQ(out.score, 22);
}

// Fills a bucket with four entries of other keys (same bucket, different high
// words) of the given ages and depths.
void fill_bucket(u64 low_key, const int ages[4], const int depths[4])
{
    for (int i = 0; i < 4; i++) {
        Position p = position_with_full_key((u64(0x1000 + i) << 32) | low_key, WHITE);
        search_state.hash_age = u16(ages[i]);
        // Stores into an empty bucket fill it from the front.
        store_hash_entry(p, 1, depths[i], 0, 0, -1, 1);
    }
}

TEST_F(HashTableTest, NewKeyReplacesTheCheapestEntry)
{
    const u64 low = 0x00000777;
    const int ages[4] = {3, 2, 2, 3};
    const int depths[4] = {1, 9, 12, 0};  // costs 49, 41, 44, 48
    fill_bucket(low, ages, depths);
    TTEntry* bucket = hash_bucket(position_with_full_key(low, WHITE));
    for (int i = 0; i < 4; i++) ASSERT_EQ(bucket[i].depth, depths[i]);

    // Depth 1 is below the victim's depth 9 - 7: nothing written.
    search_state.hash_age = 3;
    Position fresh = position_with_full_key((u64(0x2000) << 32) | low, WHITE);
    store_hash_entry(fresh, 1, 1, 5, 0, -1, 1);
    for (int i = 0; i < 4; i++) EXPECT_EQ(bucket[i].key_high, u32(0x1000 + i));

    // Depth 2 = 9 - 7 replaces entry 1 (the smallest age * 16 + depth).
    store_hash_entry(fresh, 1, 2, 5, 0, -1, 1);
    EXPECT_EQ(bucket[1].key_high, 0x2000u);
    EXPECT_EQ(bucket[1].depth, 2);
    EXPECT_EQ(bucket[1].age, 3);
    EXPECT_EQ(bucket[0].key_high, 0x1000u);
    EXPECT_EQ(bucket[2].key_high, 0x1002u);
}

TEST_F(HashTableTest, EqualCostsReplaceTheEarlierEntry)
{
    const u64 low = 0x00004242;
    const int ages[4] = {1, 1, 1, 1};
    const int depths[4] = {5, 4, 4, 6};
    fill_bucket(low, ages, depths);
    TTEntry* bucket = hash_bucket(position_with_full_key(low, WHITE));
    search_state.hash_age = 1;
    store_hash_entry(position_with_full_key((u64(0x3000) << 32) | low, WHITE), 1, 4, 0, 0, -1, 1);
    EXPECT_EQ(bucket[1].key_high, 0x3000u);
    EXPECT_EQ(bucket[2].key_high, 0x1002u);
}

TEST_F(HashTableTest, EmptyEntriesAreTakenFirst)
{
    const u64 low = 0x00001234;
    search_state.hash_age = 1;
    Position a = position_with_full_key((u64(0xA) << 32) | low, WHITE);
    Position b = position_with_full_key((u64(0xB) << 32) | low, WHITE);
    store_hash_entry(a, 1, 0, 0, 0, -1, 1);
    store_hash_entry(b, 1, 0, 0, 0, -1, 1);
    TTEntry* bucket = hash_bucket(a);
    EXPECT_EQ(bucket[0].key_high, 0xAu);
    EXPECT_EQ(bucket[1].key_high, 0xBu);
    EXPECT_EQ(bucket[2].depth, TT_EMPTY_DEPTH);
}

TEST_F(HashTableTest, ProbeFailureCodes)
{
    search_state.hash_age = 4;
    Position pos = position_with_full_key(0x5555AAAA5555AAAAULL, WHITE);
    pos.board[6] = piece_code(KNIGHT, WHITE);
    Move m = make_move(6, 21);
    TTEntry out;

    probe_hash_table(pos, out);
    EXPECT_EQ(out.depth, TT_NO_ENTRY);

    store_hash_entry(pos, 2, 5, 40, m, 0, 100);
    probe_hash_table(pos, out);
    EXPECT_EQ(out.depth, 5);

    // The knight has gone: the stored move cannot be this side's.
    pos.board[6] = 0;
    probe_hash_table(pos, out);
    EXPECT_EQ(out.depth, TT_FOREIGN_MOVE);
    // A black knight there is no better; a white piece on the destination neither.
    pos.board[6] = piece_code(KNIGHT, BLACK);
    probe_hash_table(pos, out);
    EXPECT_EQ(out.depth, TT_FOREIGN_MOVE);
    pos.board[6] = piece_code(KNIGHT, WHITE);
    pos.board[21] = piece_code(PAWN, WHITE);
    probe_hash_table(pos, out);
    EXPECT_EQ(out.depth, TT_FOREIGN_MOVE);
    pos.board[21] = piece_code(PAWN, BLACK);
    probe_hash_table(pos, out);
    EXPECT_EQ(out.depth, 5);

    // A torn entry (score from another write) fails the check word.
    TTEntry* e = hash_bucket(pos);
    e->score = 41;
    probe_hash_table(pos, out);
    EXPECT_EQ(out.depth, TT_BAD_CHECK);
    e->score = 40;

    // Table switched off: a miss without touching the entry.
    search_state.use_table = TABLE_OFF;
    search_state.hash_age = 9;
    probe_hash_table(pos, out);
    EXPECT_EQ(out.depth, TT_NO_ENTRY);
    EXPECT_EQ(e->age, 4);
    store_hash_entry(pos, 2, 9, 0, 0, 0, 100);
    EXPECT_EQ(e->depth, 5);
    search_state.use_table = TABLE_ON;

    // A hit refreshes the age even when a later test fails.
    pos.board[6] = 0;
    probe_hash_table(pos, out);
    EXPECT_EQ(out.depth, TT_FOREIGN_MOVE);
    EXPECT_EQ(e->age, 9);
}

TEST_F(HashTableTest, ClearEmptiesTheTable)
{
    search_state.hash_age = 3;
    search_state.hash_fill = 0.5;
    Position pos = position_with_full_key(0x7777777777777777ULL, BLACK);
    store_hash_entry(pos, 1, 3, 1, 0, 0, 10);
    clear_hash_table();
    TTEntry out;
    probe_hash_table(pos, out);
    EXPECT_EQ(out.depth, TT_NO_ENTRY);
    EXPECT_EQ(search_state.hash_age, 0);
    EXPECT_EQ(search_state.hash_fill, 0.0);
}

TEST_F(HashTableTest, FillSampleCountsCurrentAgeInTheMiddle)
{
    TTEntry* base = transposition_table.base;
    u64 n = transposition_table.entry_count;
    search_state.hash_age = 5;
    for (u64 i = n / 2 - 500; i < n / 2 - 500 + 250; i++) {
        base[i].age = 5;
        base[i].depth = 0;
    }
    base[n / 2 - 501].age = 5;  // just outside the sample
    base[n / 2 - 501].depth = 0;
    base[n / 2 + 500].age = 5;
    base[n / 2 + 500].depth = 0;
    sample_hash_fill();
    EXPECT_DOUBLE_EQ(search_state.hash_fill, 0.25);
}

// A clear leaves every entry and the age at 0: the emptied entries are not
// part of the fill, the positions stored afterwards are.
TEST_F(HashTableTest, FillSampleCountsOnlyEntriesHoldingAPosition)
{
    const u64 n = transposition_table.entry_count;
    search_state.hash_age = 7;
    clear_hash_table();
    sample_hash_fill();
    EXPECT_EQ(search_state.hash_fill, 0.0);
    // One position at the head of each of 100 buckets inside the sample.
    for (u64 j = 0; j < 100; j++) {
        Position pos = position_with_full_key(((j + 1) << 32) | (n / 2 - 500 + 4 * j), WHITE);
        store_hash_entry(pos, 1, 3, 10, 0, 0, 20);
    }
    sample_hash_fill();
    EXPECT_DOUBLE_EQ(search_state.hash_fill, 0.1);
}

// Several threads store and probe overlapping positions without a lock; a
// probe that reports a hit must never mix two writes.
TEST_F(HashTableTest, ConcurrentWritersNeverYieldMixedHits)
{
    search_state.hash_age = 1;
    constexpr int kThreads = 4;
    constexpr int kKeys = 64;
    std::atomic<int> bad{0};
    std::atomic<long> hits{0};
    auto worker = [&](int id) {
        for (int round = 0; round < 3000; round++) {
            for (int k = 0; k < kKeys; k++) {
                // All keys share one bucket (same low 16 bits) but differ in
                // the low half the check word covers; move and score follow
                // from the key.
                u64 key = (u64(0x100 + k) << 32) | (u64(k + 1) << 20) | 0x99;
                Position pos = position_with_full_key(key, WHITE);
                for (int sq = 0; sq < 16; sq++) pos.board[sq] = piece_code(PAWN, WHITE);
                Move m = make_move(k % 16, 16 + k % 32);
                if ((round + id + k) % 2) {
                    store_hash_entry(pos, 1, (round + k) % 20, 7 * k, m, -10000, 10000);
                } else {
                    TTEntry out;
                    probe_hash_table(pos, out);
                    if (out.depth >= TT_MISS_BELOW) {
                        hits++;
                        if (out.move != m || out.score != 7 * k) bad++;
                    }
                }
            }
        }
    };
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; i++) threads.emplace_back(worker, i);
    for (auto& t : threads) t.join();
    EXPECT_EQ(bad.load(), 0);
    EXPECT_GT(hits.load(), 0);
}

} // namespace
