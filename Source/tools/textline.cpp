#include "tools/textline.h"

#include <cstring>

namespace {

constexpr int CHUNK_SIZE = 256;

// Bytes that one fgets call stored. fgets gives no count, and a NUL byte
// read from the file looks like its terminator; so the buffer is filled with
// line feeds first, and the last NUL in it is the one fgets wrote.
std::size_t stored_length(const char* chunk)
{
    std::size_t n = CHUNK_SIZE - 1;
    while (n > 0 && chunk[n] != 0) n--;
    return n;
}

}  // namespace

bool read_text_line(TextFile& in, std::string& line, bool* had_line_feed)
{
    line.clear();
    if (had_line_feed) *had_line_feed = false;
    if (in.stopped) return false;
    char chunk[CHUNK_SIZE];
    bool any = false;
    for (;;) {
        std::memset(chunk, '\n', sizeof chunk);
        if (!std::fgets(chunk, sizeof chunk, in.file)) return any;
        any = true;
        const std::size_t n = stored_length(chunk);
        in.unpolled += n;
        if (in.poll && in.unpolled >= TEXT_POLL_BYTES) {
            in.unpolled = 0;
            if (!in.poll()) {
                in.stopped = true;
                line.clear();
                return false;
            }
        }
        if (n > 0 && chunk[n - 1] == '\n') {
            line.append(chunk, n - 1);
            if (had_line_feed) *had_line_feed = true;
            return true;
        }
        line.append(chunk, n);
    }
}

bool read_text_line(std::FILE* file, std::string& line, bool* had_line_feed)
{
    TextFile in;
    in.file = file;
    return read_text_line(in, line, had_line_feed);
}

void copy_bounded(char* out, std::size_t capacity, const char* text, std::size_t length)
{
    if (capacity == 0) return;
    if (length > capacity - 1) length = capacity - 1;
    std::memcpy(out, text, length);
    out[length] = 0;
}
