// Linux first, then the Windows side of every service of platform.h. Only
// this file includes operating-system headers.
#if !defined(_WIN32) && !defined(_FILE_OFFSET_BITS)
#define _FILE_OFFSET_BITS 64  // table files above 2 GB on 32-bit Linux
#endif

#include "platform.h"

#include <pthread.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <conio.h>
#include <malloc.h>
#include <mmsystem.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <unistd.h>

#include <ctime>
#endif

void use_double_precision()
{
#if (defined(__i386__) || defined(_M_IX86)) && !defined(__SSE2_MATH__)
    unsigned short control = 0;
    __asm__ volatile("fnstcw %0" : "=m"(control));
    control = u16((control & ~0x300u) | 0x200u);  // precision control: 53-bit mantissa
    __asm__ volatile("fldcw %0" : : "m"(control));
#endif
}

namespace {

struct ThreadStart {
    void* (*fn)(void*);
    void* argument;
};

void* thread_trampoline(void* start_record)
{
    ThreadStart start = *static_cast<ThreadStart*>(start_record);
    std::free(start_record);
    use_double_precision();  // a new thread starts with the system's x87 setting
    return start.fn(start.argument);
}

}  // namespace

int start_detached_thread(void* (*fn)(void*), void* argument)
{
    auto* start = static_cast<ThreadStart*>(std::malloc(sizeof(ThreadStart)));
    if (!start) return -1;
    start->fn = fn;
    start->argument = argument;
    // The POSIX thread layer on every platform (on Windows the toolchain's,
    // linked in or loaded as libwinpthread-1.dll).
    pthread_attr_t attributes;
    int error = pthread_attr_init(&attributes);
    if (error == 0) {
        pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
        pthread_t thread;
        error = pthread_create(&thread, &attributes, thread_trampoline, start);
        pthread_attr_destroy(&attributes);
    }
    if (error != 0) std::free(start);
    return error;
}

int numa_node_of_processor(int index, int nodes, int cores, int processors)
{
    if (nodes <= 0 || index < 0 || index >= processors) return -1;
    const int block = cores / nodes;
    if (index < nodes * block) return index / block;
    return (index - nodes * block) % nodes;
}

RegularFile open_text_file(const char* path)
{
    RegularFile opened = open_regular_file(path, "r");
    if (!opened.file) return opened;
    // Windows editors start a UTF-8 file with a byte-order mark; read as text
    // it would glue itself to the first key, tag or position.
    static const unsigned char mark[3] = {0xEF, 0xBB, 0xBF};
    int matched = 0;
    while (matched < 3 && std::getc(opened.file) == mark[matched]) matched++;
    if (matched < 3) std::fseek(opened.file, 0, SEEK_SET);
    return opened;
}

u64 wall_clock_milliseconds()
{
    using namespace std::chrono;
    return u64(duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count());
}

#if !defined(_WIN32)

// ======================================================================
// Linux

double monotonic_seconds()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

void sleep_ms(int milliseconds)
{
    // select with no descriptors: a plain timed wait that signals do not
    // turn into an error the caller must handle.
    timeval wait = {milliseconds / 1000, (milliseconds % 1000) * 1000};
    select(0, nullptr, nullptr, nullptr, &wait);
}

void prepare_standard_streams()
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stdin, nullptr, _IONBF, 0);
}

int begin_timer_resolution(unsigned) { return 0; }
void end_timer_resolution() {}

namespace {

// Whether standard input has something to read (or has ended); a closed
// descriptor counts as the end of the input.
int look_at_standard_input()
{
    pollfd input = {0, POLLIN, 0};
    const int ready = poll(&input, 1, 0);
    if (ready > 0 && (input.revents & POLLNVAL)) return INPUT_END;
    return ready > 0 ? INPUT_LINE : INPUT_NOTHING;
}

}  // namespace

int poll_standard_input(bool console_mode)
{
    const int seen = look_at_standard_input();
    // UCI: whatever has arrived is taken in one read, however long its lines.
    if (!console_mode) return seen == INPUT_LINE ? INPUT_BYTES : seen;
    // Console mode: a terminal reports the bytes typed so far; no bytes, yet
    // readable, is the end of the input, which the line reader sees.
    int waiting = 0;
    if (ioctl(0, FIONREAD, &waiting) == 0 && waiting > 0) return INPUT_LINE;
    return seen;
}

int read_standard_input_bytes(char* buffer, int size)
{
    ssize_t got = read(0, buffer, size_t(size));
    // Nothing more will come: the end, or a descriptor that cannot be read.
    if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) return -1;
    return got > 0 ? int(got) : 0;
}

namespace {

// The main thread's wake-up pipe: a byte written to it ends a wait.
struct WakePipe {
    int read_end = -1, write_end = -1;
    WakePipe()
    {
        int ends[2];
        if (pipe(ends) != 0) return;
        for (int end : ends) {
            fcntl(end, F_SETFL, fcntl(end, F_GETFL) | O_NONBLOCK);
            fcntl(end, F_SETFD, FD_CLOEXEC);
        }
        read_end = ends[0];
        write_end = ends[1];
    }
};

const WakePipe& wake_pipe()
{
    static const WakePipe pipe_ends;
    return pipe_ends;
}

}  // namespace

void wait_for_input_or_wake(int milliseconds, bool watch_input)
{
    const WakePipe& wake = wake_pipe();
    pollfd watched[2];
    int count = 0;
    if (wake.read_end >= 0) watched[count++] = {wake.read_end, POLLIN, 0};
    if (watch_input) watched[count++] = {0, POLLIN, 0};
    if (poll(watched, nfds_t(count), milliseconds < 0 ? 0 : milliseconds) > 0 && wake.read_end >= 0 &&
        (watched[0].revents & POLLIN)) {
        char drained[64];
        while (read(wake.read_end, drained, sizeof drained) > 0) {
        }
    }
}

void wake_main_thread()
{
    const WakePipe& wake = wake_pipe();
    if (wake.write_end < 0) return;
    const char byte = 1;
    // A full pipe already holds a wake-up.
    ssize_t written = write(wake.write_end, &byte, 1);
    (void)written;
}

void* allocate_aligned_block(std::size_t bytes, std::size_t alignment)
{
    std::size_t rounded = (bytes + alignment - 1) / alignment * alignment;
    void* block = std::aligned_alloc(alignment, rounded);
#if defined(MADV_HUGEPAGE)
    // Blocks on 2 MB boundaries may be backed with huge pages.
    if (block && alignment >= (std::size_t(2) << 20)) madvise(block, rounded, MADV_HUGEPAGE);
#endif
    return block;
}

void free_aligned_block(void* block) { std::free(block); }

void place_search_thread(int) {}
int count_processor_topology(int) { return -1; }

namespace {

// Opens without waiting (a FIFO with no writer would block an ordinary
// open) and keeps the descriptor only for a regular file, back in blocking
// mode. *not_regular tells a refused file from a missing one.
int open_regular_descriptor(const char* path, bool* not_regular, u64* size)
{
    *not_regular = false;
    int fd = open(path, O_RDONLY | O_NONBLOCK);
    if (fd == -1) return -1;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        *not_regular = true;
        close(fd);
        return -1;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (flags != -1) fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    *size = u64(info.st_size);
    return fd;
}

}  // namespace

FileHandle open_read_only_file(const char* path)
{
    bool not_regular;
    u64 size;
    const int fd = open_regular_descriptor(path, &not_regular, &size);
    return fd == -1 ? INVALID_FILE : fd;
}

RegularFile open_regular_file(const char* path, const char* mode)
{
    RegularFile result;
    bool not_regular;
    const int fd = open_regular_descriptor(path, &not_regular, &result.size);
    if (fd == -1) {
        if (not_regular) result.status = REGULAR_FILE_NOT_REGULAR;
        return result;
    }
    result.file = fdopen(fd, mode);
    if (!result.file) {
        close(fd);
        return result;
    }
    result.status = REGULAR_FILE_OPENED;
    return result;
}

bool same_existing_file(const char* a, const char* b)
{
    struct stat first, second;
    if (stat(a, &first) != 0 || stat(b, &second) != 0) return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

void close_file(FileHandle file)
{
    if (file != INVALID_FILE) close(int(file));
}

u64 file_size_of(FileHandle file)
{
    struct stat info;
    return fstat(int(file), &info) == 0 ? u64(info.st_size) : 0;
}

bool read_whole_file(FileHandle file, void* out, u64 size)
{
    u64 done = 0;
    while (done < size) {
        ssize_t got = pread(int(file), static_cast<char*>(out) + done, std::size_t(size - done), off_t(done));
        if (got <= 0) return false;
        done += u64(got);
    }
    return true;
}

const u8* map_file_read_only(FileHandle file, const char* name, const char*, u64* size)
{
    struct stat info;
    if (fstat(int(file), &info) != 0) {
        std::perror("fstat");
        return nullptr;
    }
    *size = u64(info.st_size);
    void* mapped = MAP_FAILED;
    if (*size <= u64(SIZE_MAX)) mapped = mmap(nullptr, std::size_t(*size), PROT_READ, MAP_SHARED, int(file), 0);
    if (mapped == MAP_FAILED) {
        std::fprintf(stderr, "Could not mmap() %s.\n", name);
        return nullptr;
    }
    return static_cast<const u8*>(mapped);
}

void unmap_file(const u8* base, u64 size)
{
    if (!base) return;
    if (munmap(const_cast<u8*>(base), std::size_t(size)) != 0) std::perror("munmap");
}

void create_platform_mutex(PlatformMutex& mutex)
{
    auto* m = static_cast<pthread_mutex_t*>(std::malloc(sizeof(pthread_mutex_t)));
    if (m) pthread_mutex_init(m, nullptr);
    mutex.handle = m;
}

void destroy_platform_mutex(PlatformMutex& mutex)
{
    if (!mutex.handle) return;
    pthread_mutex_destroy(static_cast<pthread_mutex_t*>(mutex.handle));
    std::free(mutex.handle);
    mutex.handle = nullptr;
}

void lock_platform_mutex(PlatformMutex& mutex)
{
    if (mutex.handle) pthread_mutex_lock(static_cast<pthread_mutex_t*>(mutex.handle));
}

void unlock_platform_mutex(PlatformMutex& mutex)
{
    if (mutex.handle) pthread_mutex_unlock(static_cast<pthread_mutex_t*>(mutex.handle));
}

#else

// ======================================================================
// Windows

double monotonic_seconds()
{
    static const double ticks_per_second = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return double(frequency.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return double(now.QuadPart) / ticks_per_second;
}

void sleep_ms(int milliseconds) { SleepEx(DWORD(milliseconds), TRUE); }

void prepare_standard_streams() {}

namespace {
UINT timer_period = 0;  // the period asked of timeBeginPeriod, 0 when none
}  // namespace

int begin_timer_resolution(unsigned period_ms)
{
    TIMECAPS caps;
    if (timeGetDevCaps(&caps, sizeof caps) != TIMERR_NOERROR) return 2;
    UINT period = period_ms;
    if (period < caps.wPeriodMin) period = caps.wPeriodMin;
    if (period > caps.wPeriodMax) period = caps.wPeriodMax;
    if (timeBeginPeriod(period) != TIMERR_NOERROR) return 1;
    timer_period = period;
    return 0;
}

void end_timer_resolution()
{
    if (timer_period) timeEndPeriod(timer_period);
    timer_period = 0;
}

namespace {

// Standard input, looked at once on the first poll.
constexpr int STDIN_CONSOLE = 0;
constexpr int STDIN_PIPE = 1;
constexpr int STDIN_FILE = 2;    // redirected from a file: always readable
constexpr int STDIN_READER = 3;  // a pipe that cannot be peeked: a reader thread waits on it
bool input_initialised = false;
HANDLE input_handle = INVALID_HANDLE_VALUE;
int input_kind = STDIN_CONSOLE;
DWORD pipe_bytes_waiting = 0;

// The reader thread's hand-over buffer (only for STDIN_READER).
constexpr DWORD READER_BUFFER_SIZE = 16384;
CRITICAL_SECTION reader_lock;
char reader_buffer[READER_BUFFER_SIZE];
DWORD reader_count = 0;
bool reader_ended = false;  // the reader thread met the end of the input

// Set by wake_main_thread and by the reader thread when input arrives.
HANDLE wake_event()
{
    static const HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    return event;
}

DWORD WINAPI standard_input_reader(void*)
{
    char chunk[4096];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(input_handle, chunk, sizeof chunk, &got, nullptr) || got == 0) {
            EnterCriticalSection(&reader_lock);
            reader_ended = true;
            LeaveCriticalSection(&reader_lock);
            SetEvent(wake_event());
            return 0;
        }
        DWORD done = 0;
        while (done < got) {
            EnterCriticalSection(&reader_lock);
            DWORD room = READER_BUFFER_SIZE - reader_count;
            DWORD n = got - done < room ? got - done : room;
            std::memcpy(reader_buffer + reader_count, chunk + done, n);
            reader_count += n;
            LeaveCriticalSection(&reader_lock);
            SetEvent(wake_event());
            done += n;
            if (done < got) Sleep(1);  // the engine has not taken the earlier input yet
        }
    }
}

void initialise_input()
{
    input_initialised = true;
    input_handle = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (!GetConsoleMode(input_handle, &mode)) {
        input_kind = GetFileType(input_handle) == FILE_TYPE_DISK ? STDIN_FILE : STDIN_PIPE;
        DWORD waiting = 0;
        if (input_kind == STDIN_PIPE && !PeekNamedPipe(input_handle, nullptr, 0, nullptr, &waiting, nullptr) &&
            GetLastError() != ERROR_BROKEN_PIPE) {
            // Not a pipe that can be peeked (Wine hands a Unix pipe over this
            // way): a thread waits on it so that the main loop never does.
            InitializeCriticalSection(&reader_lock);
            input_kind = STDIN_READER;
            HANDLE thread = CreateThread(nullptr, 0, standard_input_reader, nullptr, 0, nullptr);
            if (thread) CloseHandle(thread);
        }
        return;
    }
    input_kind = STDIN_CONSOLE;
    // No window-size or mouse events in the console's input queue.
    SetConsoleMode(input_handle, mode & ~DWORD(ENABLE_WINDOW_INPUT | ENABLE_MOUSE_INPUT));
    FlushConsoleInputBuffer(input_handle);
}

}  // namespace

int poll_standard_input(bool)
{
    if (!input_initialised) initialise_input();
    switch (input_kind) {
    case STDIN_CONSOLE: return _kbhit() ? INPUT_LINE : INPUT_NOTHING;
    case STDIN_FILE: return INPUT_BYTES;
    case STDIN_READER: {
        EnterCriticalSection(&reader_lock);
        DWORD count = reader_count;
        bool ended = reader_ended;
        LeaveCriticalSection(&reader_lock);
        return count > 0 ? INPUT_BYTES : ended ? INPUT_END : INPUT_NOTHING;
    }
    default: break;
    }
    pipe_bytes_waiting = 0;
    // A closed or broken pipe ends the input.
    if (!PeekNamedPipe(input_handle, nullptr, 0, nullptr, &pipe_bytes_waiting, nullptr))
        return GetLastError() == ERROR_BROKEN_PIPE ? INPUT_END : INPUT_NOTHING;
    return pipe_bytes_waiting > 0 ? INPUT_BYTES : INPUT_NOTHING;
}

int read_standard_input_bytes(char* buffer, int size)
{
    if (size <= 0) return 0;
    DWORD wanted = DWORD(size);
    if (input_kind == STDIN_READER) {
        EnterCriticalSection(&reader_lock);
        DWORD n = reader_count < wanted ? reader_count : wanted;
        std::memcpy(buffer, reader_buffer, n);
        std::memmove(reader_buffer, reader_buffer + n, reader_count - n);
        reader_count -= n;
        LeaveCriticalSection(&reader_lock);
        return int(n);
    }
    // Never ask a pipe for more than it holds: ReadFile would wait for it.
    if (input_kind == STDIN_PIPE && pipe_bytes_waiting < wanted) wanted = pipe_bytes_waiting;
    DWORD got = 0;
    if (wanted == 0) return 0;
    if (!ReadFile(input_handle, buffer, wanted, &got, nullptr))
        return GetLastError() == ERROR_BROKEN_PIPE ? -1 : 0;
    // A file has ended when it gives nothing more.
    if (got == 0 && input_kind == STDIN_FILE) return -1;
    return int(got);
}

void wait_for_input_or_wake(int milliseconds, bool watch_input)
{
    // A console or a peekable pipe says nothing when input arrives: look
    // again after one tick. The reader thread of an unpeekable pipe sets the
    // event itself.
    if (watch_input && input_kind != STDIN_READER && milliseconds > 5) milliseconds = 5;
    WaitForSingleObject(wake_event(), DWORD(milliseconds < 0 ? 0 : milliseconds));
}

void wake_main_thread() { SetEvent(wake_event()); }

void* allocate_aligned_block(std::size_t bytes, std::size_t alignment)
{
    return _aligned_malloc(bytes, alignment);
}

void free_aligned_block(void* block) { _aligned_free(block); }

namespace {

// The extended topology functions exist from Windows 7 on; they are looked up
// by name so the program still starts on older systems.
using GetProcessorInformationEx = BOOL(WINAPI*)(LOGICAL_PROCESSOR_RELATIONSHIP,
                                                 PSYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX, PDWORD);
using GetNodeMaskEx = BOOL(WINAPI*)(USHORT, PGROUP_AFFINITY);
using SetGroupAffinity = BOOL(WINAPI*)(HANDLE, const GROUP_AFFINITY*, PGROUP_AFFINITY);

void* kernel_function(const char* name)
{
    HMODULE kernel = GetModuleHandleA("Kernel32.dll");
    return kernel ? reinterpret_cast<void*>(GetProcAddress(kernel, name)) : nullptr;
}

}  // namespace

int count_processor_topology(int thread_index)
{
    auto get_information =
        reinterpret_cast<GetProcessorInformationEx>(kernel_function("GetLogicalProcessorInformationEx"));
    if (!get_information) return -1;
    DWORD length = 0;
    get_information(LOGICAL_PROCESSOR_RELATIONSHIP(0xFFFF), nullptr, &length);
    if (length == 0) return -1;
    auto* buffer = static_cast<unsigned char*>(std::malloc(length));
    if (!buffer) return -1;
    if (!get_information(LOGICAL_PROCESSOR_RELATIONSHIP(0xFFFF),
                         reinterpret_cast<PSYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX>(buffer), &length)) {
        std::free(buffer);
        return -1;
    }
    int nodes = 0, cores = 0, threads = 0;
    for (DWORD offset = 0; offset < length;) {
        auto* record = reinterpret_cast<PSYSTEM_LOGICAL_PROCESSOR_INFORMATION_EX>(buffer + offset);
        if (record->Size == 0) break;
        if (record->Relationship == RelationNumaNode) {
            nodes++;
        } else if (record->Relationship == RelationProcessorCore) {
            cores++;
            threads += record->Processor.Flags == LTP_PC_SMT ? 2 : 1;
        }
        offset += record->Size;
    }
    std::free(buffer);
    if (thread_index == 0) std::printf("nodes=%d, cores=%d, threads=%d\n", nodes, cores, threads);
    return numa_node_of_processor(thread_index, nodes, cores, threads);
}

void place_search_thread(int thread_index)
{
    int node = count_processor_topology(thread_index);
    if (node == -1) return;
    auto node_mask = reinterpret_cast<GetNodeMaskEx>(kernel_function("GetNumaNodeProcessorMaskEx"));
    auto set_affinity = reinterpret_cast<SetGroupAffinity>(kernel_function("SetThreadGroupAffinity"));
    if (!node_mask || !set_affinity) return;
    GROUP_AFFINITY affinity = {};
    if (!node_mask(USHORT(node), &affinity)) return;
    if (set_affinity(GetCurrentThread(), &affinity, nullptr))
        std::printf("thread %d, set group affinity to %d\n", thread_index, int(affinity.Group));
}

FileHandle open_read_only_file(const char* path)
{
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return INVALID_FILE;
    if (GetFileType(file) != FILE_TYPE_DISK) {  // a pipe or a device
        CloseHandle(file);
        return INVALID_FILE;
    }
    return reinterpret_cast<FileHandle>(file);
}

RegularFile open_regular_file(const char* path, const char* mode)
{
    // Looked at before opening (nothing is opened that could block) and
    // again on the open stream.
    RegularFile result;
    struct _stat64 info;
    if (_stat64(path, &info) != 0) return result;
    if ((info.st_mode & _S_IFMT) != _S_IFREG) {
        result.status = REGULAR_FILE_NOT_REGULAR;
        return result;
    }
    std::FILE* file = std::fopen(path, mode);
    if (!file) return result;
    if (_fstat64(_fileno(file), &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG) {
        std::fclose(file);
        result.status = REGULAR_FILE_NOT_REGULAR;
        return result;
    }
    result.file = file;
    result.size = u64(info.st_size);
    result.status = REGULAR_FILE_OPENED;
    return result;
}

namespace {

// The volume serial number and file index of an existing file; false when it
// cannot be opened. Opened only to read its attributes, sharing everything,
// so that a file another program holds open is still looked at.
bool file_identity(const char* path, BY_HANDLE_FILE_INFORMATION& info)
{
    HANDLE file = CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool known = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    return known;
}

}  // namespace

bool same_existing_file(const char* a, const char* b)
{
    BY_HANDLE_FILE_INFORMATION first, second;
    if (!file_identity(a, first) || !file_identity(b, second)) return false;
    return first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

void close_file(FileHandle file)
{
    if (file != INVALID_FILE) CloseHandle(reinterpret_cast<HANDLE>(file));
}

u64 file_size_of(FileHandle file)
{
    DWORD high = 0;
    DWORD low = GetFileSize(reinterpret_cast<HANDLE>(file), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return 0;
    return (u64(high) << 32) | low;
}

bool read_whole_file(FileHandle file, void* out, u64 size)
{
    HANDLE handle = reinterpret_cast<HANDLE>(file);
    LARGE_INTEGER start = {};
    if (!SetFilePointerEx(handle, start, nullptr, FILE_BEGIN)) return false;
    u64 done = 0;
    while (done < size) {
        DWORD chunk = size - done > (1u << 30) ? (1u << 30) : DWORD(size - done);
        DWORD got = 0;
        if (!ReadFile(handle, static_cast<char*>(out) + done, chunk, &got, nullptr) || got == 0) return false;
        done += got;
    }
    return true;
}

const u8* map_file_read_only(FileHandle file, const char* name, const char* suffix, u64* size)
{
    HANDLE handle = reinterpret_cast<HANDLE>(file);
    DWORD high = 0;
    DWORD low = GetFileSize(handle, &high);
    *size = (u64(high) << 32) | low;
    HANDLE mapping = CreateFileMappingA(handle, nullptr, PAGE_READONLY, high, low, nullptr);
    if (!mapping) {
        std::fprintf(stderr, "CreateFileMapping() failed.\n");
        return nullptr;
    }
    void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
    if (!view) {
        std::fprintf(stderr, "MapViewOfFile() failed, name = %s%s, error = %lu.\n", name, suffix,
                     static_cast<unsigned long>(GetLastError()));
        CloseHandle(mapping);
        return nullptr;
    }
    // The view keeps the mapping object alive; unmapping the view releases both.
    if (!CloseHandle(mapping)) std::fprintf(stderr, "CloseHandle failed, error code %d", int(GetLastError()));
    return static_cast<const u8*>(view);
}

void unmap_file(const u8* base, u64)
{
    if (!base) return;
    if (!UnmapViewOfFile(base)) std::fprintf(stderr, "unmap failed, error code %d", int(GetLastError()));
}

void create_platform_mutex(PlatformMutex& mutex) { mutex.handle = CreateMutexA(nullptr, FALSE, nullptr); }

void destroy_platform_mutex(PlatformMutex& mutex)
{
    if (mutex.handle) CloseHandle(static_cast<HANDLE>(mutex.handle));
    mutex.handle = nullptr;
}

void lock_platform_mutex(PlatformMutex& mutex)
{
    if (mutex.handle) WaitForSingleObject(static_cast<HANDLE>(mutex.handle), INFINITE);
}

void unlock_platform_mutex(PlatformMutex& mutex)
{
    if (mutex.handle) ReleaseMutex(static_cast<HANDLE>(mutex.handle));
}

#endif
