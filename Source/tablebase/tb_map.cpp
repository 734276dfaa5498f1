#include "tb_map.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "tb_registry.h"

bool tb_map_into_heap = false;

namespace {

// Reads the whole file into a heap buffer of exactly its size (test aid).
const u8* read_into_heap(int fd, u64 size)
{
    if (size == 0) return nullptr;
    auto* buffer = static_cast<u8*>(std::malloc(size));
    if (!buffer) return nullptr;
    u64 done = 0;
    while (done < size) {
        ssize_t got = pread(fd, buffer + done, size - done, off_t(done));
        if (got <= 0) {
            std::free(buffer);
            return nullptr;
        }
        done += u64(got);
    }
    return buffer;
}

} // namespace

const u8* map_table_file(const char* name, const char* suffix, u64* length)
{
    const int fd = open_table_file(name, suffix);
    if (fd == -1) return nullptr;
    struct stat info;
    if (fstat(fd, &info) != 0) {
        std::perror("fstat");
        close(fd);
        return nullptr;
    }
    *length = u64(info.st_size);
    const u8* base;
    if (tb_map_into_heap) {
        base = read_into_heap(fd, *length);
    } else {
        void* mapped = mmap(nullptr, size_t(*length), PROT_READ, MAP_SHARED, fd, 0);
        base = mapped == MAP_FAILED ? nullptr : static_cast<const u8*>(mapped);
    }
    if (!base) {
        std::fprintf(stderr, "Could not mmap() %s.\n", name);
        std::exit(1);
    }
    close(fd);
    return base;
}

void unmap_table_file(const u8* base, u64 length)
{
    if (!base) return;
    if (tb_map_into_heap) {
        std::free(const_cast<u8*>(base));
        return;
    }
    if (munmap(const_cast<u8*>(base), size_t(length)) != 0) std::perror("munmap");
}
