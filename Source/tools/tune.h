// Tuning of the evaluation weights against game results. The tuning error
// is the mean absolute difference between each training position's result
// and a logistic win expectation from the engine's quiescence score there.
// Drivers: "-tune" (finite-difference gradient descent over the active
// parameters, logged to "tune.log"), "-mktune" (a filtered copy of the
// training file in "tune_new.epd") and the console's one-parameter line
// search ("tune").
#pragma once

#include <cstdio>

#include "types.h"

// One tunable parameter: a 16-bit field of the live ParamRecord.
struct TuneParam {
    char name[25];
    i16* target;
    double x;         // real-valued position in the descent
    double gradient;  // last gradient of "-tune"
    i16 active;       // 1 when "-tune" varies it
};

constexpr int TUNE_TABLE_SIZE = 114;

extern TuneParam tune_table[TUNE_TABLE_SIZE];
extern int tune_count;
extern bool tune_registered;
extern std::FILE* tune_log;   // "tune.log" while "-tune" runs

// Appends one parameter (x = the field's value); false when the table is full.
bool add_tune_param(const char* name, i16* target);
// Fills the table once with the 114 parameters.
void register_tune_params();
// Marks the first parameter of that name active.
void activate_tune_param(const char* name);
// The parameter of that name, or nullptr.
TuneParam* find_tune_param(const char* name);

// Writes "junk.epd", a random 15 % of the file's lines; the sample follows
// tune_sample_seed, so a run is repeatable. False, after saying why, when
// the file cannot be read or "junk.epd" cannot be written. `poll` (see
// toolsupport.h) runs while the file is read, here and in the readers and
// drivers below; the tuning error also asks it every 256 positions.
bool sample_epd_to_junk(const char* path, bool (*poll)() = nullptr);
extern u32 tune_sample_seed;

// The tuning error of the file; 1.0 when it cannot be opened, 0.0 when no
// line is usable. With a `rewrite` file (that of "-mktune") the usable lines
// are also written to it, and the reading stops at a write that failed (its
// error flag is left for the caller). *used_lines (when given) receives the
// number of lines the error was taken over.
double tuning_error_with_rewrite(const char* path, std::FILE* rewrite, int* used_lines = nullptr,
                                 bool (*poll)() = nullptr);
double tuning_error(const char* path, bool (*poll)() = nullptr);

// "-mktune": writes "tune_new.epd" from the training file. Returns 0, or 1
// when the training file cannot be opened or "tune_new.epd" cannot be
// opened or written (after saying so).
int run_make_tune(bool (*poll)() = nullptr);
// "-tune": the gradient descent over "p1".."p9" (100 passes). Returns 0, or
// 1 when the training file cannot be opened or holds no usable line, or
// "junk.epd" or "tune.log" cannot be written; a write that fails ends the
// run at once, with one message.
int run_gradient_tune(bool (*poll)() = nullptr);
// The console's "tune NAME [FILE]": the line search over one parameter; the
// best value is reported, the parameter keeps its value.
void run_tune_command(const char* name, const char* file, bool (*poll)() = nullptr);
