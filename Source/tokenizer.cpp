#include "tokenizer.h"

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
