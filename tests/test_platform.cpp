// The platform layer (clock, sleep, aligned blocks, read-only mappings, file
// identity, the load mutex) and the raw-byte input path that the Windows pipe uses, which
// runs the same way on every platform.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "input.h"
#include "platform.h"
#include "test_files.h"
#include "tt.h"

namespace {

struct ByteInputTest : ::testing::Test {
    void SetUp() override { clear_command_queue(); }
    void TearDown() override { clear_command_queue(); }
    std::string pop()
    {
        char out[COMMAND_QUEUE_SIZE];
        return pop_queued_command(out, sizeof out) ? std::string(out) : std::string("<none>");
    }
    int feed(const std::string& bytes) { return queue_input_bytes(bytes.data(), int(bytes.size())); }
};

TEST_F(ByteInputTest, LineSplitAcrossReadsWaitsForItsEnd)
{
    EXPECT_EQ(feed("uci\nisre"), 1);
    EXPECT_EQ(pop(), "uci");
    EXPECT_EQ(pop(), "<none>");  // "isre" is not a command yet
    EXPECT_EQ(feed("ady\r\n"), 1);
    EXPECT_EQ(pop(), "isready");  // the carriage return ends the command
    EXPECT_EQ(pop(), "<none>");
}

TEST_F(ByteInputTest, ZeroByteEndsTheCommandAndEmptyLinesQueueNothing)
{
    std::string bytes("go depth 3", 10);
    bytes += '\0';
    bytes += "quit\n\r\n\nstop\n";  // what follows the zero byte is no command
    EXPECT_EQ(feed(bytes), 2);
    EXPECT_EQ(pop(), "go depth 3");
    EXPECT_EQ(pop(), "stop");
    EXPECT_EQ(pop(), "<none>");
}

TEST_F(ByteInputTest, AtSignSplitsOneLineIntoTwoCommands)
{
    EXPECT_EQ(feed("ucinewgame@isready\n"), 1);
    EXPECT_EQ(pop(), "ucinewgame");
    EXPECT_EQ(pop(), "isready");
}

TEST_F(ByteInputTest, OverlongLineIsDroppedWholeAcrossReads)
{
    ::testing::internal::CaptureStdout();
    std::string part(INPUT_LINE_SIZE / 2, 'x');
    EXPECT_EQ(feed("setoption name " + part), 0);
    EXPECT_EQ(feed(part), 0);            // past the line buffer: being skipped
    EXPECT_EQ(feed(part + "\nisready\n"), 1);
    // A dropped "position" is replaced by one that is refused.
    EXPECT_EQ(feed("position startpos moves " + part + part + part + "\n"), 1);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("input line too long, ignored"), std::string::npos);
    EXPECT_EQ(pop(), "isready");
    EXPECT_EQ(pop(), "position (line too long)");
    EXPECT_EQ(pop(), "<none>");
}

TEST(PlatformTest, ClockAdvancesAcrossASleep)
{
    double start = monotonic_seconds();
    sleep_ms(20);
    double elapsed = monotonic_seconds() - start;
    EXPECT_GE(elapsed, 0.015);
    EXPECT_LT(elapsed, HANG_SECONDS);
    EXPECT_GT(wall_clock_milliseconds(), u64(1600000000000));  // after 2020
}

TEST(PlatformTest, AlignedBlocksHonourTheAlignment)
{
    for (std::size_t alignment : {std::size_t(64), std::size_t(2) << 20}) {
        void* block = allocate_aligned_block(3 * alignment + 16, alignment);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % alignment, 0u);
        std::memset(block, 0xA5, 3 * alignment + 16);
        free_aligned_block(block);
    }
}

TEST(PlatformTest, HashLimitFitsTheAddressSpace)
{
    if (sizeof(void*) >= 8) EXPECT_EQ(HASH_MAX_MB, 8192);
    else EXPECT_EQ(HASH_MAX_MB, 1024);
    // The table of the largest size still has a size_t byte count.
    u64 bytes = (hash_entries_for_size(HASH_MAX_MB) + 32) * sizeof(TTEntry);
    EXPECT_LE(bytes, u64(SIZE_MAX));
}

struct MappingTest : ::testing::Test {
    std::string path;
    void SetUp() override
    {
        path = ::testing::TempDir() + "vant_map_" + std::to_string(getpid()) + ".bin";
    }
    void TearDown() override { std::remove(path.c_str()); }
    void write_file(const std::string& bytes)
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
};

TEST_F(MappingTest, MapsTheWholeFileReadOnly)
{
    std::string bytes;
    for (int i = 0; i < 10000; i++) bytes += char(i * 7);
    write_file(bytes);
    FileHandle file = open_read_only_file(path.c_str());
    ASSERT_NE(file, INVALID_FILE);
    u64 size = 0;
    const u8* base = map_file_read_only(file, "KQvK", ".rtbw", &size);
    std::string copy(bytes.size(), '\0');
    EXPECT_EQ(file_size_of(file), bytes.size());
    EXPECT_TRUE(read_whole_file(file, &copy[0], copy.size()));
    EXPECT_EQ(copy, bytes);
    EXPECT_FALSE(read_whole_file(file, &copy[0], copy.size() + 1));  // past the end
    close_file(file);  // the mapping outlives the descriptor
    ASSERT_NE(base, nullptr);
    EXPECT_EQ(size, bytes.size());
    EXPECT_EQ(std::memcmp(base, bytes.data(), bytes.size()), 0);
    unmap_file(base, size);
    unmap_file(nullptr, 0);  // nothing to do
}

TEST_F(MappingTest, MissingFilesAndDirectoriesDoNotOpen)
{
    EXPECT_EQ(open_read_only_file((path + ".missing").c_str()), INVALID_FILE);
    EXPECT_EQ(open_read_only_file(::testing::TempDir().c_str()), INVALID_FILE);
}

TEST_F(MappingTest, EmptyFileIsReportedAndNotMapped)
{
    write_file("");
    FileHandle file = open_read_only_file(path.c_str());
    ASSERT_NE(file, INVALID_FILE);
    u64 size = 0;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(map_file_read_only(file, "KRvK", ".rtbz", &size), nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Could not mmap() KRvK.\n");
    close_file(file);
}

// Whatever sits where a data file is expected, opening it never waits and
// only a regular file is handed out.
TEST_F(MappingTest, OnlyRegularFilesOpenAndNoneBlocks)
{
    const std::string fifo = path + ".fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& other : {fifo, std::string("/dev/zero"), ::testing::TempDir()}) {
        SCOPED_TRACE(other);
        const RegularFile opened = open_regular_file(other.c_str(), "rb");
        EXPECT_EQ(opened.file, nullptr);
        EXPECT_EQ(opened.status, REGULAR_FILE_NOT_REGULAR);
        EXPECT_EQ(open_read_only_file(other.c_str()), INVALID_FILE);
    }
    std::remove(fifo.c_str());
    EXPECT_EQ(open_regular_file((path + ".missing").c_str(), "rb").status, REGULAR_FILE_MISSING);
}

// Names of one file are the same file however they are spelt or linked; a
// copy of its bytes is not, and a missing file is the same as nothing, not
// even as itself.
TEST_F(MappingTest, SameFileByIdentityNotByName)
{
    write_file("bytes");
    const std::string hard = path + ".hard", soft = path + ".soft", copy = path + ".copy", missing = path + ".none";
    const std::filesystem::path name(path);
    const std::string dotted = (name.parent_path() / "." / name.filename()).string();
    ASSERT_EQ(link(path.c_str(), hard.c_str()), 0);
    ASSERT_EQ(symlink(path.c_str(), soft.c_str()), 0);
    std::filesystem::copy_file(path, copy);
    for (const std::string& other : {path, dotted, hard, soft})
        EXPECT_TRUE(same_existing_file(path.c_str(), other.c_str())) << other;
    EXPECT_TRUE(same_existing_file(soft.c_str(), hard.c_str()));
    EXPECT_FALSE(same_existing_file(path.c_str(), copy.c_str()));
    EXPECT_FALSE(same_existing_file(path.c_str(), missing.c_str()));
    EXPECT_FALSE(same_existing_file(missing.c_str(), missing.c_str()));
    for (const std::string& made : {hard, soft, copy}) std::remove(made.c_str());
}

// Thread placement on NUMA nodes: blocks of cores / nodes first, then every
// further logical processor round the nodes.
TEST(PlatformTest, NumaNodeOfEachProcessor)
{
    struct Case {
        int nodes, cores, processors;
        std::vector<int> expected;  // node of processor 0, 1, ...; then -1 past the end
    };
    const Case cases[] = {
        {2, 4, 8, {0, 0, 1, 1, 0, 1, 0, 1}},
        {2, 5, 10, {0, 0, 1, 1, 0, 1, 0, 1, 0, 1}},  // the fifth core goes round, not to the last node
        {3, 8, 8, {0, 0, 1, 1, 2, 2, 0, 1}},
        {4, 2, 4, {0, 1, 2, 3}},                     // fewer cores than nodes: all round the nodes
        {1, 6, 12, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {0, 4, 8, {-1, -1, -1, -1, -1, -1, -1, -1}},  // no node record
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.nodes) + " nodes, " + std::to_string(c.cores) + " cores");
        std::vector<int> got;
        for (int i = 0; i < c.processors; i++) got.push_back(numa_node_of_processor(i, c.nodes, c.cores, c.processors));
        EXPECT_EQ(got, c.expected);
        EXPECT_EQ(numa_node_of_processor(c.processors, c.nodes, c.cores, c.processors), -1);
        EXPECT_EQ(numa_node_of_processor(-1, c.nodes, c.cores, c.processors), -1);
    }
}

TEST(PlatformTest, PathSeparatorOfThisPlatform)
{
#if defined(_WIN32)
    EXPECT_EQ(PATH_LIST_SEPARATOR, ';');
#else
    EXPECT_EQ(PATH_LIST_SEPARATOR, ':');
#endif
}

TEST(PlatformTest, MutexSerialisesTwoThreads)
{
    PlatformMutex mutex;
    create_platform_mutex(mutex);
    ASSERT_NE(mutex.handle, nullptr);
    long counter = 0;
    auto work = [&] {
        for (int i = 0; i < 20000; i++) {
            lock_platform_mutex(mutex);
            long seen = counter;
            counter = seen + 1;
            unlock_platform_mutex(mutex);
        }
    };
    std::thread a(work), b(work);
    a.join();
    b.join();
    EXPECT_EQ(counter, 40000);
    destroy_platform_mutex(mutex);
    EXPECT_EQ(mutex.handle, nullptr);
}

}  // namespace
