#pragma once

#include <cstddef>
#include <cstdint>

// The pixel memory of one image, left uninitialised.
//
// A job's images are tens of megabytes each. Fresh memory of that size costs
// a page fault per 4 KiB page and the kernel's zeroing of it. So large
// buffers are mapped on 2 MiB boundaries with transparent huge pages asked
// for: a few dozen faults instead of ten thousand. A freed buffer goes back
// to the system at once, so memory a stage no longer needs serves the next
// (a freed buffer kept for reuse would stay resident through stages that
// need no large image). Small buffers come from the heap as usual.
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

private:
    PixelBuffer(uint8_t* data, size_t capacity, bool mapped) : data_(data), capacity_(capacity), mapped_(mapped) {}

    uint8_t* data_ = nullptr;
    size_t capacity_ = 0;
    bool mapped_ = false;
};
