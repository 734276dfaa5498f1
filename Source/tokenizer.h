// The command interpreters' tokenizer: the next blank-separated word of a
// command line, a line split into words, and words read as numbers.
#pragma once

#include <cstddef>

// A token holds at most 128 characters and its terminator.
constexpr int INPUT_TOKEN_SIZE = 129;

// Skips leading blanks, then copies up to 128 characters until a blank, a
// carriage return, a line feed or the end of the text. The result lives in a
// static buffer that the next call overwrites.
char* next_input_token(const char* text);

// The blanks between words: space, tab, carriage return, line feed.
inline bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A console or configuration line as words: up to ten, each cut to 127
// characters.
constexpr int LINE_WORDS = 10;
constexpr int LINE_WORD_SIZE = 128;

// Splits at blanks into LINE_WORDS words; missing words are empty. Returns
// the words that were cut, as bits (1 << word index).
unsigned split_words(const char* text, char words[LINE_WORDS][LINE_WORD_SIZE]);

// The value held within low..high.
int clamp_int(long value, int low, int high);

// The leading number of a word by strtol's rule (blanks, a sign, digits,
// anything after them ignored; 0 without digits; beyond long held at its
// edge), held within low..high; `clamped`, when given, is raised if it lay
// outside.
int read_clamped_number(const char* text, int low, int high, bool* clamped = nullptr);

// The span of `length` characters at `text` without the blanks at its ends;
// returns its start and shortens `length`.
const char* trim_blanks(const char* text, size_t& length);

// An optional sign and decimal digits at the very start of `text`, a value
// beyond long held at its edge. Returns the end of the digits, or nullptr
// when there are none.
const char* read_leading_number(const char* text, long* value);

// The same for a text that is the number and nothing else: false without
// digits (a blank before the sign counts as no digits) or with anything
// after them.
bool read_whole_number(const char* text, long* value);
