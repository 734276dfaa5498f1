#include "tb_map.h"

#include <cstdio>
#include <cstdlib>

#include "platform.h"
#include "tb_registry.h"

bool tb_map_into_heap = false;

namespace {

// Reads the whole file into a heap buffer of exactly its size (test aid).
const u8* read_into_heap(FileHandle file, u64 size)
{
    if (size == 0 || size > u64(SIZE_MAX)) return nullptr;
    auto* buffer = static_cast<u8*>(std::malloc(size_t(size)));
    if (!buffer) return nullptr;
    if (!read_whole_file(file, buffer, size)) {
        std::free(buffer);
        return nullptr;
    }
    return buffer;
}

} // namespace

const u8* map_table_file(const char* name, const char* suffix, u64* length, bool* found)
{
    const FileHandle file = open_table_file(name, suffix);
    if (found) *found = file != INVALID_FILE;
    if (file == INVALID_FILE) return nullptr;
    const u8* base;
    if (tb_map_into_heap) {
        u64 size = file_size_of(file);
        *length = size;
        base = read_into_heap(file, size);
        if (!base) std::fprintf(stderr, "Could not mmap() %s.\n", name);
    } else {
        // A file that cannot be mapped is reported by the platform layer.
        base = map_file_read_only(file, name, suffix, length);
    }
    close_file(file);
    return base;
}

void unmap_table_file(const u8* base, u64 length)
{
    if (!base) return;
    if (tb_map_into_heap) {
        std::free(const_cast<u8*>(base));
        return;
    }
    unmap_file(base, length);
}
