#include "records.h"

#include <new>

#include "platform.h"

SearchState search_state;
EngineConfig engine_config;
std::atomic<ThreadData*> thread_table[MAX_THREADS];
ThreadData* game_record = nullptr;
i32 extra_report = 0;
i32 single_thread_bench = 0;

void* ThreadData::operator new(std::size_t size, const std::nothrow_t&) noexcept
{
#if defined(__linux__)
    // 32-bit builds keep the address space for 80 threads and the table.
    const std::size_t alignment = sizeof(void*) >= 8 ? std::size_t(2) << 20 : 64;
#else
    // No transparent huge pages to gain; the padding would only cost memory.
    const std::size_t alignment = 64;
#endif
    return allocate_aligned_block(size, alignment);
}

void ThreadData::operator delete(void* block) noexcept { free_aligned_block(block); }

ThreadData* allocate_thread_data()
{
    // Value-initialisation zero-fills every plain field.
    return new (std::nothrow) ThreadData();
}

void reset_thread_links(ThreadData* td)
{
    td->pos.owner = td;
    td->ply[0].list_start = &td->move_stack[0];
    td->ply[1].list_start = &td->move_stack[1];
}

int setup_game_record()
{
    game_record = allocate_thread_data();
    if (!game_record) return -1;
    game_record->index = 255;
    game_record->undo_count = 0;
    game_record->search_ply = 1;
    game_record->undo[0].move = 0;
    reset_thread_links(game_record);
    return 0;
}
