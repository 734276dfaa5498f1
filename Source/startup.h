// Start-up: the tables and records, the configuration layers (built-in
// defaults, "vant.rc", command-line switches), the search threads, then one
// of a tool, a benchmark or engine mode; and the shutdown they all share.
#pragma once

// What the command line asked for besides settings.
struct RunChoice {
    int benchmark = 0;          // positions: BENCH_SHORT_COUNT or BENCH_POSITION_COUNT
    int epd_test = 0;           // "-anepd"
    int pgn_scan_mode = 0;      // "-scan_pgn1".."-scan_pgn4"
    char pgn_path[140] = {};
    int match = 0;              // "-match"
    int make_tune = 0;          // "-mktune"
    int tune = 0;               // "-tune"
};

// Reads the switches left to right into the engine records and `choice`.
// Returns 0, or 1 after a message when a switch lacks its value or a file
// name does not fit.
int read_command_line(int argc, char** argv, RunChoice& choice);

// The whole program: returns the process exit code.
int vant_main(int argc, char** argv);
