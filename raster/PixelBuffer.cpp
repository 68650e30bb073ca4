#include "raster/PixelBuffer.h"

#include <sys/mman.h>

#include <mutex>
#include <new>
#include <vector>

namespace {

constexpr size_t kHugePage = size_t(2) << 20;
// Below this a buffer comes from the heap (which maps large blocks of their
// exact size): rounding a map tile up to huge pages would cost more memory
// than the faults it saves.
constexpr size_t kMappedFrom = size_t(16) << 20;
// Freed buffers kept for reuse; a job's stages hold at most two large
// images at a time.
constexpr size_t kPoolSlots = 2;

struct Mapping {
    uint8_t* data;
    size_t capacity;
};

std::mutex poolMutex;
std::vector<Mapping> pool;

size_t RoundUp(size_t bytes, size_t unit)
{
    return (bytes + unit - 1) / unit * unit;
}

// A fresh mapping of `capacity` bytes (a multiple of 2 MiB) starting on a
// 2 MiB boundary, so that the kernel can back all of it with huge pages:
// map one huge page more, then unmap the slack before and after.
uint8_t* MapAligned(size_t capacity)
{
    const size_t length = capacity + kHugePage;
    void* raw = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t aligned = RoundUp(start, kHugePage);
    if (aligned > start)
        munmap(raw, aligned - start);
    const uintptr_t end = start + length;
    if (end > aligned + capacity)
        munmap(reinterpret_cast<void*>(aligned + capacity), end - (aligned + capacity));
    auto* data = reinterpret_cast<uint8_t*>(aligned);
    madvise(data, capacity, MADV_HUGEPAGE);
    return data;
}

// The pooled buffer that fits `bytes` most tightly, without using one more
// than twice as big (that one may be needed for a large image next).
bool TakeFromPool(size_t bytes, Mapping& found)
{
    std::lock_guard lock(poolMutex);
    auto best = pool.end();
    for (auto it = pool.begin(); it != pool.end(); ++it)
        if (it->capacity >= bytes && it->capacity <= 2 * bytes + kHugePage
            && (best == pool.end() || it->capacity < best->capacity))
            best = it;
    if (best == pool.end())
        return false;
    found = *best;
    pool.erase(best);
    return true;
}

} // namespace

PixelBuffer PixelBuffer::Allocate(size_t bytes)
{
    if (bytes < kMappedFrom)
        return PixelBuffer(new (std::nothrow) uint8_t[bytes == 0 ? 1 : bytes], bytes, false);
    Mapping reused{};
    if (TakeFromPool(bytes, reused))
        return PixelBuffer(reused.data, reused.capacity, true);
    const size_t capacity = RoundUp(bytes, kHugePage);
    uint8_t* data = MapAligned(capacity);
    return data ? PixelBuffer(data, capacity, true) : PixelBuffer();
}

PixelBuffer::PixelBuffer(PixelBuffer&& other) noexcept
    : data_(other.data_), capacity_(other.capacity_), mapped_(other.mapped_)
{
    other.data_ = nullptr;
    other.capacity_ = 0;
}

PixelBuffer& PixelBuffer::operator=(PixelBuffer&& other) noexcept
{
    if (this != &other) {
        reset();
        data_ = other.data_;
        capacity_ = other.capacity_;
        mapped_ = other.mapped_;
        other.data_ = nullptr;
        other.capacity_ = 0;
    }
    return *this;
}

void PixelBuffer::reset()
{
    if (!data_)
        return;
    if (!mapped_) {
        delete[] data_;
    } else {
        std::unique_lock lock(poolMutex);
        if (pool.size() < kPoolSlots) {
            pool.push_back({data_, capacity_});
        } else {
            lock.unlock();
            munmap(data_, capacity_);
        }
    }
    data_ = nullptr;
    capacity_ = 0;
}

void PixelBuffer::ReleasePool()
{
    std::vector<Mapping> released;
    {
        std::lock_guard lock(poolMutex);
        released.swap(pool);
    }
    for (const Mapping& mapping : released)
        munmap(mapping.data, mapping.capacity);
}

size_t PixelBuffer::PooledBytes()
{
    std::lock_guard lock(poolMutex);
    size_t total = 0;
    for (const Mapping& mapping : pool)
        total += mapping.capacity;
    return total;
}
