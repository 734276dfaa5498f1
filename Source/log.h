// The line sender: every reply and notice leaves through send_line, which
// writes standard output and, while logging is on, appends to "vant.log".
#pragma once

#include <cstdio>

extern std::FILE* log_file;

// Writes the line and a line end to standard output, flushes, and copies it
// to the log while logging is on and the log is open.
void send_line(const char* text);
// send_line of a printf-style text, whatever its length.
void send_format(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The log copy alone (lines the UCI user must not see).
void log_line(const char* text);
// Removes an old "vant.log" and creates it anew; when the old file cannot be
// removed, says "log file in use." and keeps no log for the run.
void open_log_file();
void close_log_file();
// "vant.log" while the log file is open (a file being written), else null.
const char* log_output();
// True when lines are copied to the log.
bool logging_active();
