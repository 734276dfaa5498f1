// Read-only mapping of whole table files. The base address and the mapped
// length (what the unmapping needs) live in the table's record.
#pragma once

#include "types.h"

// Maps name + suffix (".rtbw" or ".rtbz") from the first directory of the
// tablebase path that holds it. Returns the base and writes the length, or
// returns nullptr when no directory holds the file or when the file cannot
// be mapped (an empty one, a half-copied download); the latter prints
// "Could not mmap() %s." and the caller treats the table as absent. *found
// (when given) tells whether a file was found at all.
const u8* map_table_file(const char* name, const char* suffix, u64* length, bool* found = nullptr);
// Releases a mapping; nothing for a null base; failures are printed and ignored.
void unmap_table_file(const u8* base, u64 length);

// Test aid: when set, files are read into heap buffers of their exact size
// instead of being mapped, so that the sanitizer build catches any read past
// the end of a table. Off in the engine.
extern bool tb_map_into_heap;
