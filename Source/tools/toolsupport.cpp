#include "tools/toolsupport.h"

#include <cstring>
#include <string>

#include "records.h"
#include "driver.h"
#include "log.h"
#include "platform.h"
#include "report.h"
#include "threads.h"
#include "timecontrol.h"

void report_unopened_file(const char* what, const char* path)
{
    std::string text = std::string("can't open ") + what + " " + path;
    send_line(text.c_str());
}

std::FILE* open_tool_input(const char* what, const char* path, bool report_missing)
{
    const RegularFile opened = open_text_file(path);
    if (opened.status == REGULAR_FILE_NOT_REGULAR) {
        std::string text = std::string(what) + " " + path + " is not a regular file";
        send_line(text.c_str());
    } else if (!opened.file && report_missing) {
        report_unopened_file(what, path);
    }
    return opened.file;
}

bool close_written_file(std::FILE* file)
{
    bool ok = std::fflush(file) == 0 && !std::ferror(file);
    return std::fclose(file) == 0 && ok;
}

namespace {

// Says so when the file is the output file (of that kind); false when it is
// not (or there is no such output).
bool input_is_the_output(const char* what, const char* path, const char* output, const char* kind = "output file")
{
    if (!output || !same_existing_file(path, output)) return false;
    std::string text = std::string(what) + " " + path + " is the " + kind + " " + output;
    send_line(text.c_str());
    return true;
}

}  // namespace

bool input_is_an_output(const char* what, const char* path, std::initializer_list<const char*> outputs)
{
    // The open log is written by every tool that prints.
    if (input_is_the_output(what, path, log_output())) return true;
    for (const char* output : outputs)
        if (input_is_the_output(what, path, output)) return true;
    return false;
}

bool output_is_the_log(const char* what, const char* path)
{
    return input_is_the_output(what, path, log_output(), "log file");
}

bool close_tool_output(std::FILE* file, const char* name)
{
    const bool written = close_written_file(file);
    if (!written) send_line((std::string("could not write ") + name).c_str());
    return written;
}

std::string printable_text(const char* text)
{
    std::string out;
    for (const char* p = text; *p; p++) out += *p >= ' ' && *p <= '~' ? *p : '?';
    return out;
}

void clear_thread_evaluation_caches(ThreadData* td)
{
    if (!td) return;
    std::memset(td->eval_cache, 0, sizeof td->eval_cache);
    std::memset(td->pawn_hash, 0, sizeof td->pawn_hash);
}

void clear_evaluation_caches()
{
    for (auto& slot : thread_table) clear_thread_evaluation_caches(slot.load(std::memory_order_relaxed));
}
