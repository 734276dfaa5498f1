// The command interpreters' tokenizer: the next blank-separated word of a
// command line.
#pragma once

// A token holds at most 128 characters and its terminator.
constexpr int INPUT_TOKEN_SIZE = 129;

// Skips leading blanks, then copies up to 128 characters until a blank, a
// carriage return, a line feed or the end of the text. The result lives in a
// static buffer that the next call overwrites.
char* next_input_token(const char* text);
