#pragma once

#include <cstdint>
#include <memory>
#include <string>

// Encodes an 8-bit RGB PNG into memory as its rows arrive, so a large image
// is never held whole as pixels: only the rows handed over and the PNG made
// so far. Fast compression (zlib level 1), for pictures sent at once.
class PngRowWriter {
public:
    PngRowWriter(int width, int height);
    ~PngRowWriter();
    PngRowWriter(const PngRowWriter&) = delete;
    PngRowWriter& operator=(const PngRowWriter&) = delete;

    // `count` rows, top first, three bytes a pixel; false once libpng failed.
    bool WriteRows(const uint8_t* rgb, int count);
    // The whole PNG once every row was written; empty when encoding failed.
    std::string Finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};
