#include "tokenizer.h"

#include <algorithm>
#include <cstdlib>

namespace {

char token_buffer[INPUT_TOKEN_SIZE];

}  // namespace

char* next_input_token(const char* text)
{
    while (*text == ' ') text++;
    int n = 0;
    while (n < INPUT_TOKEN_SIZE - 1 && text[n] && text[n] != ' ' && text[n] != '\r' && text[n] != '\n') {
        token_buffer[n] = text[n];
        n++;
    }
    token_buffer[n] = 0;
    return token_buffer;
}

unsigned split_words(const char* text, char words[LINE_WORDS][LINE_WORD_SIZE])
{
    unsigned cut = 0;
    for (int w = 0; w < LINE_WORDS; w++) {
        while (is_blank(*text)) text++;
        int n = 0;
        while (*text && !is_blank(*text)) {
            if (n < LINE_WORD_SIZE - 1) words[w][n++] = *text;
            else cut |= 1u << w;
            text++;
        }
        words[w][n] = 0;
    }
    return cut;
}

int clamp_int(long value, int low, int high) { return int(std::clamp<long>(value, low, high)); }

int read_clamped_number(const char* text, int low, int high, bool* clamped)
{
    const long value = std::strtol(text, nullptr, 10);
    const int held = clamp_int(value, low, high);
    if (clamped && held != value) *clamped = true;
    return held;
}

const char* trim_blanks(const char* text, size_t& length)
{
    while (length > 0 && is_blank(*text)) text++, length--;
    while (length > 0 && is_blank(text[length - 1])) length--;
    return text;
}

const char* read_leading_number(const char* text, long* value)
{
    const char* digits = text + (*text == '-' || *text == '+');
    if (*digits < '0' || *digits > '9') return nullptr;
    char* end = nullptr;
    *value = std::strtol(text, &end, 10);
    return end;
}

bool read_whole_number(const char* text, long* value)
{
    const char* end = read_leading_number(text, value);
    return end && *end == 0;
}
