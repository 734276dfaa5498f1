// Small services the development tools share: reporting a file they cannot
// open, refusing an input that is one of their outputs, and emptying the
// evaluation caches when the parameters they were filled under change.
#pragma once

#include <cstdio>
#include <initializer_list>
#include <string>

struct ThreadData;

// Sends "can't open WHAT PATH": a tool's input or output file that could
// not be opened.
void report_unopened_file(const char* what, const char* path);

// Opens a tool's input file for reading, but only a regular file: a
// directory reads as nothing and a device or a FIFO may never end. Sends
// "WHAT PATH is not a regular file" for such a one, and "can't open WHAT
// PATH" for a missing one when `report_missing`; both give nullptr.
std::FILE* open_tool_input(const char* what, const char* path, bool report_missing = true);

// Whether a tool's input file is one of the files it writes: the same
// existing file by identity (same_existing_file), however it is spelt or
// linked. Sends "WHAT PATH is the output file OUTPUT" for the first such
// one. The open log ("vant.log") counts as an output of every tool. A tool
// asks before it opens any output for writing, so that a refused run leaves
// its input as it was. A null output stands for none.
bool input_is_an_output(const char* what, const char* path, std::initializer_list<const char*> outputs);

// Closes a file the tool wrote; false when any write to it failed, or the
// flush or the close did (a full disk shows only there, as buffered writes
// reach the file late).
bool close_written_file(std::FILE* file);

// Whether a file a tool is to write under a name of the user's choice is the
// open log, which every line the tool sends is appended to as well: the two
// would come out interleaved. Sends "WHAT PATH is the log file vant.log".
bool output_is_the_log(const char* what, const char* path);

// close_written_file that says so: sends "could not write NAME" on failure.
bool close_tool_output(std::FILE* file, const char* name);

// A tool that runs long takes `poll`, the input poll of its caller (start-up
// or the console hand in poll_for_quit): asked between pieces of work, it
// runs what arrived on the input, so that "stop" and "quit" reach the tool,
// and says false once the tool should end. Without one (nullptr, as the
// tests call the tools) nothing is polled.

// The text with every byte that is not a printable character shown as "?":
// what a tool echoes of a line it refuses.
std::string printable_text(const char* text);

// Empties the evaluation cache and the pawn hash of every search thread:
// their entries hold scores computed under the parameters then in use.
void clear_evaluation_caches();
// The same for one thread's record.
void clear_thread_evaluation_caches(ThreadData* td);
