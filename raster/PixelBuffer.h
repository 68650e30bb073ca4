#pragma once

#include <cstddef>
#include <cstdint>

// The pixel memory of one image, left uninitialised.
//
// A job's images are tens of megabytes each and come and go stage after
// stage. Fresh memory of that size costs a page fault per 4 KiB page and the
// kernel's zeroing of it, for every operation. So large buffers are mapped
// on 2 MiB boundaries with transparent huge pages asked for (a few hundred
// faults instead of thousands), and a freed one is kept in a small pool for
// the next image of the same job. ReleasePool() gives the pooled memory back
// to the system; the job runner calls it when a job ends, so a process that
// runs many jobs does not grow. Small buffers come from the heap as usual.
class PixelBuffer {
public:
    PixelBuffer() = default;
    ~PixelBuffer() { reset(); }
    PixelBuffer(PixelBuffer&& other) noexcept;
    PixelBuffer& operator=(PixelBuffer&& other) noexcept;
    PixelBuffer(const PixelBuffer&) = delete;
    PixelBuffer& operator=(const PixelBuffer&) = delete;

    // At least `bytes` bytes, or an empty buffer when there is no memory.
    static PixelBuffer Allocate(size_t bytes);

    uint8_t* get() const { return data_; }
    explicit operator bool() const { return data_ != nullptr; }
    void reset();

    // Frees every pooled buffer.
    static void ReleasePool();
    // Bytes the pool holds now (for tests and benchmarks).
    static size_t PooledBytes();

private:
    PixelBuffer(uint8_t* data, size_t capacity, bool mapped) : data_(data), capacity_(capacity), mapped_(mapped) {}

    uint8_t* data_ = nullptr;
    size_t capacity_ = 0;
    bool mapped_ = false;
};
