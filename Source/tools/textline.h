// Whole-line reading for the tools' text files (PGN, EPD, training files):
// a line of any length comes back in one piece, never split in the middle.
#pragma once

#include <cstdio>
#include <string>

#include "types.h"

// Bytes read between two calls of a text file's poll.
constexpr u64 TEXT_POLL_BYTES = u64(1) << 16;

// A text file read line by line. While a tool reads a long file, `poll`
// (when set) runs after every TEXT_POLL_BYTES bytes; once it returns false
// the reading ends as at the end of the file, and `stopped` says so.
struct TextFile {
    std::FILE* file = nullptr;
    bool (*poll)() = nullptr;
    u64 unpolled = 0;  // bytes read since the last poll
    bool stopped = false;
};

// Reads the next line into `line` without its line feed. Line ends are
// judged by the bytes read: a NUL byte inside a line stays in it and never
// ends it or hides the line feed after it. `had_line_feed` (when given)
// tells whether the line ended with one; the last line of a file may not.
// Returns false at the end of the file with nothing read, or once the poll
// asked to stop.
bool read_text_line(TextFile& in, std::string& line, bool* had_line_feed = nullptr);
// The same for a file read without a poll.
bool read_text_line(std::FILE* file, std::string& line, bool* had_line_feed = nullptr);

// Copies at most `capacity - 1` characters of `text` into `out` and ends it.
void copy_bounded(char* out, std::size_t capacity, const char* text, std::size_t length);
