#include "log.h"

#include <unistd.h>

#include <cstdarg>
#include <cstdlib>

#include "records.h"

std::FILE* log_file = nullptr;

bool logging_active() { return engine_config.log.load(std::memory_order_relaxed) != 0 && log_file != nullptr; }

void send_line(const char* text)
{
    std::puts(text);
    std::fflush(stdout);
    log_line(text);
}

void send_format(const char* format, ...)
{
    char text[1024];
    va_list args, again;
    va_start(args, format);
    va_copy(again, args);
    const int length = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (length >= int(sizeof text)) {
        // A long path list in a reply goes out whole.
        char* whole = static_cast<char*>(std::malloc(size_t(length) + 1));
        if (whole) std::vsnprintf(whole, size_t(length) + 1, format, again);
        send_line(whole ? whole : text);
        std::free(whole);
    } else {
        send_line(text);
    }
    va_end(again);
}

void log_line(const char* text)
{
    if (!logging_active()) return;
    std::fprintf(log_file, "%s\n", text);
    std::fflush(log_file);
}

namespace {
const char* const LOG_FILE_NAME = "vant.log";
}

const char* log_output() { return log_file ? LOG_FILE_NAME : nullptr; }

void open_log_file()
{
    const char* name = LOG_FILE_NAME;
    if (access(name, F_OK) == 0 && unlink(name) != 0) {
        send_line("log file in use.");
        return;
    }
    log_file = std::fopen(name, "w");
}

void close_log_file()
{
    if (log_file) std::fclose(log_file);
    log_file = nullptr;
}
