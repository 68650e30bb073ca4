#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// Encodes an 8-bit RGB PNG as its rows arrive and hands its bytes on as they
// are made, so a large image is never held whole, neither as pixels nor
// (with a sink that writes them away) as a PNG.
class PngRowWriter {
public:
    // Takes the next bytes of the PNG; false stops the encoding.
    using Sink = std::function<bool(const char* data, size_t size)>;
    enum class Compression {
        Fast,     // zlib level 1 and the "up" filter alone, for pictures sent at once
        Default,  // libpng's own choice, for files that are kept
    };

    PngRowWriter(int width, int height, Sink sink, Compression compression);
    ~PngRowWriter();
    PngRowWriter(const PngRowWriter&) = delete;
    PngRowWriter& operator=(const PngRowWriter&) = delete;

    // `count` rows, top first, three bytes a pixel; false once encoding failed.
    bool WriteRows(const uint8_t* rgb, int count);
    // Ends the PNG once every row was written; false when anything failed.
    bool Finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The PNG of rows made by `drawRows(first, end, rgb)` into `rgb` a band of
// `bandRows` at a time, in memory and fast; empty when encoding failed.
std::string EncodePngInBands(int width, int height, int bandRows,
                             const std::function<void(int first, int end, uint8_t* rgb)>& drawRows);
