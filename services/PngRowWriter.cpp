#include "services/PngRowWriter.h"

#include <png.h>

#include <csetjmp>

struct PngRowWriter::State {
    png_structp png = nullptr;
    png_infop info = nullptr;
    int width = 0, height = 0, written = 0;
    bool failed = false;
    std::string bytes;
};

namespace {

void Append(png_structp png, png_bytep data, png_size_t length)
{
    auto* bytes = static_cast<std::string*>(png_get_io_ptr(png));
    bytes->append(reinterpret_cast<const char*>(data), length);
}

void Flush(png_structp) {}

// libpng reports errors by longjmp: each call into it sets its own jump
// point in a function that holds no C++ objects.
bool WriteHeader(png_structp png, png_infop info, int width, int height)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 1);
    // The "up" filter alone: cheap, and it suits smooth pictures.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
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

PngRowWriter::PngRowWriter(int width, int height) : state_(std::make_unique<State>())
{
    State& s = *state_;
    s.width = width;
    s.height = height;
    s.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    s.info = s.png ? png_create_info_struct(s.png) : nullptr;
    if (!s.info || width < 1 || height < 1) {
        s.failed = true;
        return;
    }
    // Smooth pictures at level 1 come to about a third of their pixels' bytes.
    s.bytes.reserve(static_cast<size_t>(width) * height + 1024);
    png_set_write_fn(s.png, &s.bytes, Append, Flush);
    s.failed = !WriteHeader(s.png, s.info, width, height);
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

std::string PngRowWriter::Finish()
{
    State& s = *state_;
    if (s.failed || s.written != s.height || !WriteEnd(s.png, s.info))
        return {};
    s.failed = true;  // nothing more may be written
    return std::move(s.bytes);
}
