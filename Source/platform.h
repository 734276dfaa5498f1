// The few operating-system services the engine needs, kept in one place so a
// port touches only this file pair: the monotonic clock, the millisecond
// sleep, the short spinlock and thread start of the search, standard input
// polled without waiting, the timer resolution, large aligned blocks for the
// hash table, NUMA placement of search threads, read-only file mapping for
// the tablebases and the tablebase load mutex. Linux is the main platform;
// the Windows builds (MinGW-w64) get the same services from the Win32 API.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "types.h"

// Seconds of a monotonic clock (only differences are meaningful).
double monotonic_seconds();

// Sleeps the calling thread for the given number of milliseconds.
void sleep_ms(int milliseconds);

// A short busy-wait lock for a few dozen instructions of work (copying the
// shared result, writing one report line).
struct SpinLock {
    std::atomic_flag flag = ATOMIC_FLAG_INIT;
};

inline void spin_lock(SpinLock& lock)
{
    while (lock.flag.test_and_set(std::memory_order_acquire)) {
        while (lock.flag.test(std::memory_order_relaxed)) {
        }
    }
}

inline void spin_unlock(SpinLock& lock) { lock.flag.clear(std::memory_order_release); }

// Holds a SpinLock for the rest of its scope, so that no way out of the
// scope can leave the lock held.
struct SpinLockGuard {
    SpinLock& lock;
    explicit SpinLockGuard(SpinLock& held) : lock(held) { spin_lock(lock); }
    ~SpinLockGuard() { spin_unlock(lock); }
    SpinLockGuard(const SpinLockGuard&) = delete;
    SpinLockGuard& operator=(const SpinLockGuard&) = delete;
};

// Starts a detached thread running fn(argument). Returns 0 or the system's
// error code.
int start_detached_thread(void* (*fn)(void*), void* argument);

// ---- Start-up and shutdown

// Linux builds: standard input and output without library buffers, so a line
// the library has taken in is never hidden from the next input poll. Windows
// builds read a pipe with ReadFile and leave the streams as they are.
void prepare_standard_streams();

// Builds whose doubles live in the x87 unit (vant_w32_compat): rounds every
// result to double precision, as the SSE and ARM builds do, so that all builds
// compute the same scaled scores and search the same tree. Called by main
// and by every thread that start_detached_thread starts; nothing elsewhere.
void use_double_precision();

// Milliseconds of the wall clock (seconds * 1000 + milliseconds); seeds rand.
u64 wall_clock_milliseconds();

// Windows builds: asks for a timer period of `period_ms`, raised to the
// smallest and lowered to the largest the system offers. Returns 0, 1 when
// timeBeginPeriod failed or 2 when timeGetDevCaps failed. Linux builds: 0.
int begin_timer_resolution(unsigned period_ms);
// Windows builds: gives the period back (timeEndPeriod). Linux builds: nothing.
void end_timer_resolution();

// ---- Standard input

// What a zero-wait poll of standard input found.
constexpr int INPUT_NOTHING = 0;  // nothing has arrived
constexpr int INPUT_LINE = 1;     // read one line (Linux, Windows console)
constexpr int INPUT_BYTES = 2;    // read the waiting bytes (Windows pipe or file)
constexpr int INPUT_END = 3;      // the input has ended (closed pipe)

// Polls standard input without waiting. Console mode uses the waiting-byte
// count on Linux and reads line by line; UCI mode reads the waiting bytes.
int poll_standard_input(bool console_mode);
// After INPUT_BYTES: reads at most `size` bytes of what is waiting into
// `buffer` without waiting for more. Returns the count, or -1 once the input
// has ended.
int read_standard_input_bytes(char* buffer, int size);

// The main loop's wait between two looks at its input and its search: at
// most `milliseconds`, ended early by input arriving (when `watch_input`)
// or by wake_main_thread. Where a pipe cannot be waited on (Windows) the
// wait is one 5 ms tick at most while input is watched.
void wait_for_input_or_wake(int milliseconds, bool watch_input);
// Ends the main thread's current or next wait: a search thread that has
// finished calls it, so that the result is reported without waiting for the
// next tick. Callable from any thread.
void wake_main_thread();

// ---- Memory

// An uninitialised block of `bytes` aligned to `alignment` (a power of two), for
// the transposition table; large blocks are offered huge pages on Linux.
// nullptr when the system refuses.
void* allocate_aligned_block(std::size_t bytes, std::size_t alignment);
void free_aligned_block(void* block);

// ---- Processor placement

// Windows builds with "-numa": moves the calling search thread onto the
// processor group of its NUMA node (prints "thread %d, set group affinity to
// %d"). Quietly does nothing when the system lacks the functions or the
// topology has no node for the thread, and always on Linux.
void place_search_thread(int thread_index);

// NUMA node of a search thread from the processor topology, or -1. Windows
// builds only; Linux builds return -1.
int count_processor_topology(int thread_index);

// The node of logical processor `index` for a topology of `nodes` NUMA nodes,
// `cores` cores and `processors` logical processors (every platform, so that
// it can be tested anywhere): the first nodes * (cores / nodes) processors go
// to the nodes in blocks of cores / nodes, node 0 first; each further
// processor k = 0, 1, 2, ... gets node k mod nodes. -1 without a node or for
// an index outside the processors.
int numa_node_of_processor(int index, int nodes, int cores, int processors);

// ---- Read-only files and mappings (tablebases)

// An open read-only file: a descriptor on Linux, a handle on Windows.
using FileHandle = std::intptr_t;
constexpr FileHandle INVALID_FILE = -1;

// Opens an existing regular file for reading (shared reading allowed). A
// FIFO, device or directory is refused without waiting on it.
FileHandle open_read_only_file(const char* path);
void close_file(FileHandle file);

// Size of an open file in bytes (0 when it cannot be read).
u64 file_size_of(FileHandle file);
// Reads the first `size` bytes of the file into `out`; false on a short read.
bool read_whole_file(FileHandle file, void* out, u64 size);

// Maps the whole file read-only and returns the base, with the file size in
// *size (what the unmapping needs). The file may be closed at once: the
// mapping lives on. A file whose size cannot be read returns nullptr after
// the system's message; so does a mapping that cannot be made (an empty
// file, say), after the platform's message on standard error naming the
// table by name and suffix.
const u8* map_file_read_only(FileHandle file, const char* name, const char* suffix, u64* size);
// Releases a mapping; nothing for a null base. Failures are printed on
// standard error and the release goes on.
void unmap_file(const u8* base, u64 size);

// A stream opened only when the path names a regular file, so that a FIFO
// or a device put where a data file is expected never blocks or feeds the
// reader without end.
constexpr int REGULAR_FILE_OPENED = 0;
constexpr int REGULAR_FILE_MISSING = 1;      // absent or not readable
constexpr int REGULAR_FILE_NOT_REGULAR = 2;  // a FIFO, device, directory...
struct RegularFile {
    std::FILE* file = nullptr;  // open for reading, or nullptr
    u64 size = 0;               // bytes in the file when it was opened
    int status = REGULAR_FILE_MISSING;
};
// `mode` is a reading mode of fopen ("r" or "rb").
RegularFile open_regular_file(const char* path, const char* mode);
// The same for a text file ("r"), read from past a UTF-8 byte-order mark
// when the file starts with one.
RegularFile open_text_file(const char* path);

// Whether two paths name the same existing file, judged by the file's
// identity (device and inode; on Windows volume serial and file index), not
// by its name: "./a", a hard link or a symbolic link to "a" all name "a". A
// path that names no existing file is the same as nothing.
bool same_existing_file(const char* a, const char* b);

// Builds for Windows (their book files use the packed 14-byte record).
#if defined(_WIN32)
constexpr bool WINDOWS_BUILD = true;
#else
constexpr bool WINDOWS_BUILD = false;
#endif

// Separator of the directories in the tablebase path.
#if defined(_WIN32)
constexpr char PATH_LIST_SEPARATOR = ';';
constexpr int FILE_PATH_BUFFER = 260;
#else
constexpr char PATH_LIST_SEPARATOR = ':';
constexpr int FILE_PATH_BUFFER = 256;
#endif

// ---- Mutex (tablebase loading)

// A Win32 mutex object on Windows, a POSIX mutex on Linux; created unowned.
struct PlatformMutex {
    void* handle = nullptr;
};
void create_platform_mutex(PlatformMutex& mutex);
void destroy_platform_mutex(PlatformMutex& mutex);
void lock_platform_mutex(PlatformMutex& mutex);
void unlock_platform_mutex(PlatformMutex& mutex);
