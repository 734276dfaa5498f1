// Whole-line reading for the tools' text files (PGN, EPD, training files):
// a line of any length comes back in one piece, never split in the middle.
#pragma once

#include <cstdio>
#include <string>

// Reads the next line into `line` without its line feed. `had_line_feed`
// (when given) tells whether the line ended with one; the last line of a
// file may not. Returns false at the end of the file with nothing read.
bool read_text_line(std::FILE* file, std::string& line, bool* had_line_feed = nullptr);

// Copies at most `capacity - 1` characters of `text` into `out` and ends it.
void copy_bounded(char* out, std::size_t capacity, const char* text, std::size_t length);
