// Non-blocking input: polls standard input, gathers complete lines in a
// command queue (each pending command ends with an at-sign) and executes one
// queued command per call, through the UCI or the console interpreter.
#pragma once

#include <cstdio>

// The longest command line taken: a "position" line of the longest game the
// fifty-move rule allows (under 12,000 plies, about 60 KB) with room to spare.
constexpr int INPUT_LINE_SIZE = 1 << 17;
// The queue holds a whole longest line beside the commands still waiting.
constexpr int COMMAND_QUEUE_SIZE = 2 * INPUT_LINE_SIZE;
constexpr char COMMAND_SEPARATOR = '@';

// Polls standard input without waiting, queues what arrived and executes at
// most one queued command.
void process_input();

// The poll handed to a tool that runs long (an EPD suite, a match, the
// tuner, a PGN scan, the benchmark): one process_input, so that "stop" and
// "quit" reach the tool; false once the quit flag is set.
bool poll_for_quit();

// Polls standard input without waiting and queues what arrived, executing
// nothing.
void gather_input();

// Polls like gather_input; true when a "quit" waits in the queue: what ends a
// long console command that must not run other commands meanwhile (perft).
// The "quit" stays queued for the interpreter. The end of the input alone
// ends nothing early: the commands before it still run to their end.
bool quit_is_waiting();

// Reads one line from `in` (which the caller knows to have input) and queues
// it; the command ends at the line's first NUL or carriage return. A line
// longer than the line buffer is dropped whole, with a notice, once its end
// has arrived; a dropped "position" line leaves no valid position (a refused
// "position" command takes its place in the queue), so that the next "go"
// never answers for the position before it. Reaching the end of `in` marks
// the input as ended. Returns 1 when a command was queued.
int read_input_line(std::FILE* in);

// Appends one line (its line end, if any, ends it) to the queue as one
// command per at-sign separated piece. Empty lines are not queued. A line
// the queue has no room for is dropped whole with a notice. Returns 1 when
// queued, 0 for an empty line, -1 when dropped.
int queue_command_line(const char* line);

// Raw input as it arrives from a pipe: a line feed ends the line being
// built, which is then queued like queue_command_line (so its command ends
// at its first zero byte or carriage return); every other byte joins the
// line, and an incomplete last line waits for the next call. A line longer than the line buffer is
// dropped whole as read_input_line drops one. Returns the number of lines
// queued.
int queue_input_bytes(const char* bytes, int count);

// Pops the oldest command into `out` (size bytes); returns true when there was one.
bool pop_queued_command(char* out, int size);

// Hands a popped command to the interpreter of the protocol mode.
void execute_command(char* command);

// Commands waiting in the queue.
int queued_command_count();

// Whether standard input has reached its end (the GUI closed the pipe).
bool input_at_end();

// Empties the queue and forgets a partly read long line (tests, restarts).
void clear_command_queue();
