#include "input.h"

#include <sys/ioctl.h>
#include <sys/select.h>

#include <cstring>

#include "console.h"
#include "log.h"
#include "records.h"
#include "uci.h"

namespace {

char command_queue[COMMAND_QUEUE_SIZE];
char line_buffer[COMMAND_QUEUE_SIZE];
char token_buffer[INPUT_TOKEN_SIZE];
// Set while the pieces of an overlong line are being read and thrown away.
bool skipping_long_line = false;

void send_notice(const char* text)
{
    char line[160];
    std::snprintf(line, sizeof line, "%s%s", engine_config.protocol == 1 ? "info string " : "", text);
    send_line(line);
}

// Zero-timeout readiness test of standard input: select in UCI mode, the
// count of waiting bytes in console mode (a terminal).
bool input_waiting()
{
    if (engine_config.protocol != 0) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(0, &readable);
        timeval no_wait = {0, 0};
        return select(16, &readable, nullptr, nullptr, &no_wait) > 0;
    }
    int waiting = 0;
    if (ioctl(0, FIONREAD, &waiting) != 0) return false;
    return waiting > 0;
}

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

int queue_command_line(const char* line)
{
    size_t length = std::strcspn(line, "\r\n");
    if (length == 0) return 0;
    size_t used = std::strlen(command_queue);
    // The line, its separator and the queue's terminator must all fit.
    if (used + length + 2 > sizeof command_queue) {
        send_notice("command queue full, line ignored");
        return -1;
    }
    std::memcpy(command_queue + used, line, length);
    command_queue[used + length] = COMMAND_SEPARATOR;
    command_queue[used + length + 1] = 0;
    return 1;
}

int read_input_line(std::FILE* in)
{
    if (!std::fgets(line_buffer, sizeof line_buffer, in)) return 0;
    size_t length = std::strlen(line_buffer);
    bool complete = length < sizeof line_buffer - 1 || line_buffer[length - 1] == '\n';
    if (skipping_long_line) {
        if (complete) {
            skipping_long_line = false;
            send_notice("input line too long, ignored");
        }
        return 0;
    }
    if (!complete) {
        // Longer than the buffer: drop it whole rather than split it.
        skipping_long_line = true;
        return 0;
    }
    return queue_command_line(line_buffer) == 1;
}

int pop_queued_command(char* out, int size)
{
    char* separator = std::strchr(command_queue, COMMAND_SEPARATOR);
    if (!separator) return 0;
    size_t length = size_t(separator - command_queue);
    if (length > size_t(size - 1)) length = size_t(size - 1);
    std::memcpy(out, command_queue, length);
    out[length] = 0;
    std::memmove(command_queue, separator + 1, std::strlen(separator + 1) + 1);
    out[std::strcspn(out, "\r\n")] = 0;
    return 1;
}

void execute_command(char* command)
{
    if (engine_config.protocol == 1) {
        run_uci_command(command);
    } else if (engine_config.protocol == 0) {
        if (std::strcmp(command, "uci") == 0) run_uci_command(command);
        else if (command[0]) run_console_command(command);
    }
}

void clear_command_queue()
{
    command_queue[0] = 0;
    skipping_long_line = false;
}

void process_input()
{
    if (input_waiting()) read_input_line(stdin);
    char command[COMMAND_QUEUE_SIZE];
    if (pop_queued_command(command, sizeof command)) execute_command(command);
}
