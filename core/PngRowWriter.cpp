#include "core/PngRowWriter.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <vector>

struct PngRowWriter::State {
    png_structp png = nullptr;
    png_infop info = nullptr;
    int width = 0, height = 0, written = 0;
    bool failed = false;
    Sink sink;
};

namespace {

// Called inside libpng, whose jump point the caller set: a sink that refuses
// ends the call in progress with a failure.
void Append(png_structp png, png_bytep data, png_size_t length)
{
    const auto& sink = *static_cast<const PngRowWriter::Sink*>(png_get_io_ptr(png));
    if (!sink(reinterpret_cast<const char*>(data), length))
        png_error(png, "the PNG's bytes could not be written");
}

void Flush(png_structp) {}

// libpng reports errors by longjmp: each call into it sets its own jump
// point in a function that holds no C++ objects.
bool WriteHeader(png_structp png, png_infop info, int width, int height, bool fast)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (fast) {
        png_set_compression_level(png, 1);
        // The "up" filter alone: cheap, and it suits smooth pictures.
        png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
    }
    png_write_info(png, info);
    return true;
}

bool WriteRow(png_structp png, const uint8_t* row)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_write_row(png, const_cast<png_bytep>(row));
    return true;
}

bool WriteEnd(png_structp png, png_infop info)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_write_end(png, info);
    return true;
}

}  // namespace

PngRowWriter::PngRowWriter(int width, int height, Sink sink, Compression compression)
    : state_(std::make_unique<State>())
{
    State& s = *state_;
    s.width = width;
    s.height = height;
    s.sink = std::move(sink);
    s.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    s.info = s.png ? png_create_info_struct(s.png) : nullptr;
    if (!s.info || width < 1 || height < 1) {
        s.failed = true;
        return;
    }
    png_set_write_fn(s.png, &s.sink, Append, Flush);
    s.failed = !WriteHeader(s.png, s.info, width, height, compression == Compression::Fast);
}

PngRowWriter::~PngRowWriter()
{
    if (state_->png)
        png_destroy_write_struct(&state_->png, state_->info ? &state_->info : nullptr);
}

bool PngRowWriter::WriteRows(const uint8_t* rgb, int count)
{
    State& s = *state_;
    for (int i = 0; i < count && !s.failed; ++i) {
        if (s.written == s.height) {
            s.failed = true;
            break;
        }
        s.failed = !WriteRow(s.png, rgb + static_cast<size_t>(i) * s.width * 3);
        ++s.written;
    }
    return !s.failed;
}

bool PngRowWriter::Finish()
{
    State& s = *state_;
    if (s.failed || s.written != s.height || !WriteEnd(s.png, s.info))
        return false;
    s.failed = true;  // nothing more may be written
    return true;
}

std::string EncodePngInBands(int width, int height, int bandRows,
                             const std::function<void(int first, int end, uint8_t* rgb)>& drawRows)
{
    std::string bytes;
    // Smooth pictures at level 1 come to about a third of their pixels' bytes.
    bytes.reserve(static_cast<size_t>(std::max(width, 0)) * std::max(height, 0) + 1024);
    PngRowWriter png(width, height, [&bytes](const char* data, size_t size) {
        bytes.append(data, size);
        return true;
    }, PngRowWriter::Compression::Fast);
    std::vector<uint8_t> band(static_cast<size_t>(std::max(width, 0)) * 3 * std::max(1, std::min(bandRows, height)));
    for (int first = 0; first < height; first += bandRows) {
        const int end = std::min(height, first + bandRows);
        drawRows(first, end, band.data());
        if (!png.WriteRows(band.data(), end - first))
            return {};
    }
    return png.Finish() ? bytes : std::string();
}
