// The configuration file reader: "vant.rc" (and the match's "test1.rc") hold
// key and value lines for the evaluation and search parameters, a few book
// and tablebase settings, two paths, and piece-square blocks of eight lines.
#pragma once

#include <cstdio>

struct ParamRecord;

// Longest line the reader takes: a path key with the longest path fits.
constexpr int CONFIG_LINE_LIMIT = 8192;

// Reads the file into `params` (the book, tablebase and path keys always
// write the global records). Every line is read whole: a line longer than
// CONFIG_LINE_LIMIT, or a path longer than PATH_TEXT_LIMIT, is skipped with
// a message naming the file and the line; comments are skipped whatever
// their length. Returns true when the file was read and all twelve piece-square
// blocks are complete, false when it cannot be opened (nothing changed) or a
// block is incomplete (the built-in shapes stay in use).
bool read_config_file(const char* path, ParamRecord& params);

// An open configuration file and the number of the line last read from it,
// which the reader's messages name.
struct ConfigFile {
    std::FILE* file = nullptr;
    const char* path = "";
    int line_number = 0;
};

// Reads the eight rank lines (rank 8 first, files a to h) of one
// piece-square block that follow its key line.
void read_config_pst_block(ParamRecord& params, int type, int phase, ConfigFile& in);
