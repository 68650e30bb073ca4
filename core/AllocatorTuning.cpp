#include "core/AllocatorTuning.h"

#include <malloc.h>

#include <mutex>

void TuneAllocator()
{
    static std::once_flag once;
    std::call_once(once, [] {
        mallopt(M_MMAP_THRESHOLD, 1 << 20);
        mallopt(M_ARENA_MAX, 1);
    });
}

void ReturnFreedMemory()
{
    malloc_trim(0);
}
