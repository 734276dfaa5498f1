#include "input.h"

#include <cstring>

#include "console.h"
#include "log.h"
#include "platform.h"
#include "records.h"
#include "uci.h"

namespace {

char command_queue[COMMAND_QUEUE_SIZE];
char line_buffer[INPUT_LINE_SIZE];
// Standard input has reached its end (the other side closed it).
bool input_ended = false;
// Raw input (a pipe): the line being built across calls.
char byte_line[INPUT_LINE_SIZE];
i32 byte_line_length = 0;
bool skipping_long_byte_line = false;
// The overlong line being skipped began with "position".
bool skipping_position_line = false;

void send_notice(const char* text)
{
    char line[160];
    std::snprintf(line, sizeof line, "%s%s", engine_config.protocol == PROTOCOL_UCI ? "info string " : "", text);
    send_line(line);
}

bool starts_with_position(const char* line)
{
    while (*line == ' ') line++;
    return std::strncmp(line, "position", 8) == 0 && (line[8] == ' ' || line[8] == 0);
}

// An overlong line is dropped with a notice; a dropped "position" is
// replaced by one that is refused, so that no "go" after it searches the
// position before it.
// Returns 1 when the stand-in was queued.
int drop_overlong_line(bool was_position)
{
    send_notice("input line too long, ignored");
    return was_position && queue_command_line("position (line too long)") == 1;
}

// End of input after raw bytes: a last line without its line end still counts.
void finish_partial_byte_line()
{
    if (skipping_long_byte_line) {
        drop_overlong_line(skipping_position_line);
    } else if (byte_line_length > 0) {
        byte_line[byte_line_length] = 0;
        queue_command_line(byte_line);
    }
    byte_line_length = 0;
    skipping_long_byte_line = false;
}

// Reads the waiting raw bytes, no more than the queue can take now beside
// the line being built (the rest waits in the pipe until commands have been
// executed), so that no complete line ever finds the queue full.
void read_input_bytes()
{
    const int pending = skipping_long_byte_line ? 0 : byte_line_length;
    int room = int(sizeof command_queue) - int(std::strlen(command_queue)) - pending - 2;
    if (room < 128) return;
    static char bytes[COMMAND_QUEUE_SIZE];
    int count = read_standard_input_bytes(bytes, room);
    if (count < 0) {
        finish_partial_byte_line();
        input_ended = true;
        return;
    }
    queue_input_bytes(bytes, count);
}

}  // namespace

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
    // Byte by byte, so that the line's length is what arrived, not the
    // string length (a NUL byte inside a line must not make its tail look
    // like a line of its own).
    int length = 0;
    bool overlong = false;
    int c;
    while ((c = std::getc(in)) != EOF && c != '\n') {
        if (length < int(sizeof line_buffer) - 1) line_buffer[length++] = char(c);
        else overlong = true;
    }
    if (c == EOF) input_ended = true;
    if (length == 0 && c == EOF) return 0;
    line_buffer[length] = 0;
    if (overlong) return drop_overlong_line(starts_with_position(line_buffer));
    // The command ends at the first NUL, carriage return or line feed.
    return queue_command_line(line_buffer) == 1;
}

int queue_input_bytes(const char* bytes, int count)
{
    int queued = 0;
    for (int i = 0; i < count; i++) {
        char c = bytes[i];
        // A zero byte joins the line like any other and ends its command
        // there (the rest of the line is not another command).
        if (c == '\n') {
            byte_line[byte_line_length] = 0;
            if (skipping_long_byte_line) {
                skipping_long_byte_line = false;
                queued += drop_overlong_line(skipping_position_line);
            } else if (byte_line_length > 0 && queue_command_line(byte_line) == 1) {
                queued++;
            }
            byte_line_length = 0;
        } else if (!skipping_long_byte_line) {
            if (byte_line_length == INPUT_LINE_SIZE - 1) {
                // Longer than the line buffer: drop it whole rather than split it.
                byte_line[byte_line_length] = 0;
                skipping_position_line = starts_with_position(byte_line);
                skipping_long_byte_line = true;
                byte_line_length = 0;
            } else {
                byte_line[byte_line_length++] = c;
            }
        }
    }
    return queued;
}

bool pop_queued_command(char* out, int size)
{
    char* separator = std::strchr(command_queue, COMMAND_SEPARATOR);
    if (!separator) return false;
    size_t length = size_t(separator - command_queue);
    if (length > size_t(size - 1)) length = size_t(size - 1);
    std::memcpy(out, command_queue, length);
    out[length] = 0;
    std::memmove(command_queue, separator + 1, std::strlen(separator + 1) + 1);
    out[std::strcspn(out, "\r\n")] = 0;
    return true;
}

void execute_command(char* command)
{
    if (engine_config.protocol == PROTOCOL_UCI) {
        run_uci_command(command);
    } else if (engine_config.protocol == PROTOCOL_CONSOLE) {
        if (std::strcmp(command, "uci") == 0) run_uci_command(command);
        else if (command[0]) run_console_command(command);
    }
}

int queued_command_count()
{
    int count = 0;
    for (const char* p = command_queue; *p; p++)
        if (*p == COMMAND_SEPARATOR) count++;
    return count;
}

bool input_at_end() { return input_ended; }

void clear_command_queue()
{
    command_queue[0] = 0;
    input_ended = false;
    byte_line_length = 0;
    skipping_long_byte_line = false;
}

void gather_input()
{
    if (!input_ended) {
        switch (poll_standard_input(engine_config.protocol == PROTOCOL_CONSOLE)) {
        case INPUT_LINE: read_input_line(stdin); break;
        case INPUT_BYTES: read_input_bytes(); break;
        case INPUT_END:
            finish_partial_byte_line();
            input_ended = true;
            break;
        default: break;
        }
    }
}

bool quit_is_waiting()
{
    gather_input();
    for (const char* command = command_queue; *command;) {
        while (*command == ' ') command++;
        if (std::strncmp(command, "quit", 4) == 0 && (command[4] == COMMAND_SEPARATOR || command[4] == ' ')) return true;
        const char* separator = std::strchr(command, COMMAND_SEPARATOR);
        if (!separator) break;
        command = separator + 1;
    }
    return false;
}

void process_input()
{
    gather_input();
    static char command[COMMAND_QUEUE_SIZE];
    if (pop_queued_command(command, sizeof command)) execute_command(command);
}

bool poll_for_quit()
{
    process_input();
    return !engine_config.quit;
}
