#include "trace.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "movetext.h"
#include "records.h"

namespace {

const char* const TRACE_FILE = "trace.txt";
std::FILE* trace_file = nullptr;   // opened on the first traced move, kept open
i16 last_traced_ply = 0;
i16 last_traced_depth = -1;        // never decreases: one heading per deeper iteration
std::mutex trace_mutex;            // threads' entries interleave but never tear
bool trace_unavailable = false;    // "trace.txt" could not be created: tracing is off

} // namespace

void write_search_trace(const Position& pos, Move move)
{
    if (engine_config.trace_depth == 0) return;
    std::lock_guard<std::mutex> lock(trace_mutex);
    if (trace_unavailable) return;
    if (!trace_file) {
        trace_file = std::fopen(TRACE_FILE, "w");
        if (!trace_file) {
            // The search goes on without its trace.
            std::fprintf(stderr, "Could not create trace.txt; the search trace is off.\n");
            trace_unavailable = true;
            return;
        }
    }
    const ThreadData* owner = pos.owner;
    int ply = owner->search_ply;
    if (ply > engine_config.trace_depth || ply >= MAX_PLY) return;
    int remaining = owner->ply[ply].depth;
    int depth = owner->current_depth.load(std::memory_order_relaxed);
    if (depth > last_traced_depth) std::fprintf(trace_file, "\n\nSEARCH DEPTH= %d\n", depth);

    char text[16];
    move_text_or_null(move, text);
    if (ply <= last_traced_ply) {
        std::fputc('\n', trace_file);
        for (int i = 1; i < ply; i++) std::fputs("         ", trace_file);
    }
    std::fprintf(trace_file, "(%2d)%s ", remaining, text);
    last_traced_ply = i16(ply);
    last_traced_depth = i16(depth);
}

void flush_search_trace()
{
    std::lock_guard<std::mutex> lock(trace_mutex);
    if (trace_file) std::fflush(trace_file);
}

const char* search_trace_output() { return engine_config.trace_depth != 0 ? TRACE_FILE : nullptr; }
