#include "tools/textline.h"

#include <cstring>

bool read_text_line(std::FILE* file, std::string& line, bool* had_line_feed)
{
    line.clear();
    if (had_line_feed) *had_line_feed = false;
    char chunk[512];
    bool any = false;
    while (std::fgets(chunk, sizeof chunk, file)) {
        any = true;
        std::size_t n = std::strlen(chunk);
        if (n > 0 && chunk[n - 1] == '\n') {
            line.append(chunk, n - 1);
            if (had_line_feed) *had_line_feed = true;
            return true;
        }
        line.append(chunk, n);
    }
    return any;
}

void copy_bounded(char* out, std::size_t capacity, const char* text, std::size_t length)
{
    if (capacity == 0) return;
    if (length > capacity - 1) length = capacity - 1;
    std::memcpy(out, text, length);
    out[length] = 0;
}
