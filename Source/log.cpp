#include "log.h"

#include <unistd.h>

#include <cstdarg>

#include "records.h"

std::FILE* log_file = nullptr;

bool logging_active() { return engine_config.log != 0 && log_file != nullptr; }

void send_line(const char* text)
{
    std::puts(text);
    std::fflush(stdout);
    log_line(text);
}

void send_format(const char* format, ...)
{
    char text[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    send_line(text);
}

void log_line(const char* text)
{
    if (!logging_active()) return;
    std::fprintf(log_file, "%s\n", text);
    std::fflush(log_file);
}

void open_log_file()
{
    const char* name = "vant.log";
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
