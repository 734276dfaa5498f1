// EPD records and the test-suite run ("-anepd"): every position of an EPD
// file is searched under the current limits and the engine's move is
// checked against the "bm" (best move) or "am" (avoid move) answer.
#pragma once

struct Position;

// The texts of one EPD line, each empty when absent; every field is cut to
// its capacity.
struct EpdRecord {
    char position[512];  // placement, side, castling, en passant joined by blanks
    char bm[64];         // first operand of "bm"
    char am[64];         // first operand of "am"
    char id[256];        // operand of "id", quotes included
    char ce[64];         // operand of "ce"
    char c0[256];        // operand of "c0"
};

// Splits one line into `out`. Returns true when the line has the four position
// fields, else false (the fields are then empty).
bool parse_epd_record(const char* line, EpdRecord& out);

// Sets the position of a record; a position that cannot be played is
// refused with "skipping invalid position POSITION (REASON)", its bytes
// that are not printable shown as "?". Returns false then.
bool set_epd_position(Position& pos, const char* position);

// Runs the EPD file named by the test file name of EngineConfig: searches
// each position, counts the solved ones, writes the positions without a
// usable answer to "unsolved.epd" and sends the totals. `poll` (see
// toolsupport.h) runs while the file is read, during threaded searches and
// every 256 positions. Returns 0, or 1 after reporting a file that could not
// be opened or written.
int run_epd_test_suite(bool (*poll)() = nullptr);

// True when the line is one the EPD readers skip before parsing: it begins
// with a blank, "#" or ";".
bool epd_line_is_comment(const char* line);
