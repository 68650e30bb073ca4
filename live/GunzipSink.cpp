#include "live/GunzipSink.h"

#include "live/HgtTile.h"

#include <algorithm>
#include <climits>

namespace {

// 16 + MAX_WBITS: a gzip wrapper, checked to its CRC and length trailer.
constexpr int kGzipWindowBits = 16 + MAX_WBITS;
constexpr size_t kOutputBlock = 256 * 1024;

}  // namespace

GunzipSink::GunzipSink(size_t maxOutput) : maxOutput_(maxOutput) { Reset(); }

GunzipSink::GunzipSink(size_t maxOutput, std::string outputPath)
    : maxOutput_(maxOutput), outputPath_(std::move(outputPath))
{
    Reset();
}

GunzipSink::~GunzipSink()
{
    if (streamOpen_)
        inflateEnd(&stream_);
    CloseFile();
}

void GunzipSink::CloseFile()
{
    if (file_ && std::fclose(file_) != 0 && error_.empty())
        error_ = "its inflated bytes could not be written to \"" + outputPath_ + "\"";
    file_ = nullptr;
}

bool GunzipSink::Emit(const char* data, size_t size)
{
    if (outputSize_ + size > maxOutput_) {
        error_ = "it inflates to more than " + std::to_string(maxOutput_) + " bytes";
        output_.clear();
        return false;
    }
    outputSize_ += size;
    if (outputPath_.empty()) {
        output_.append(data, size);
        return true;
    }
    if (!file_ || std::fwrite(data, 1, size, file_) != size) {
        error_ = "its inflated bytes could not be written to \"" + outputPath_ + "\"";
        return false;
    }
    return true;
}

void GunzipSink::Reset()
{
    if (streamOpen_)
        inflateEnd(&stream_);
    stream_ = z_stream{};
    streamOpen_ = inflateInit2(&stream_, kGzipWindowBits) == Z_OK;
    memberEnded_ = false;
    sawInput_ = false;
    error_ = streamOpen_ ? "" : "the gzip decoder could not be started";
    output_.clear();
    outputSize_ = 0;
    if (!outputPath_.empty()) {
        CloseFile();
        file_ = std::fopen(outputPath_.c_str(), "wb");
        if (!file_ && error_.empty())
            error_ = "\"" + outputPath_ + "\" could not be created";
    }
}

void GunzipSink::Begin() { Reset(); }

bool GunzipSink::Append(const char* data, size_t size)
{
    if (error_.empty() && size > 0)
        Inflate(reinterpret_cast<const unsigned char*>(data), size);
    return true;
}

bool GunzipSink::Inflate(const unsigned char* data, size_t size)
{
    sawInput_ = true;
    while (size > 0) {
        if (memberEnded_) {
            // Another member follows the one that ended.
            if (inflateReset(&stream_) != Z_OK) {
                error_ = "the gzip decoder could not be restarted";
                return false;
            }
            memberEnded_ = false;
        }
        const size_t chunk = std::min<size_t>(size, UINT_MAX);
        stream_.next_in = const_cast<unsigned char*>(data);
        stream_.avail_in = static_cast<uInt>(chunk);
        while (stream_.avail_in > 0 && !memberEnded_) {
            // One byte of room beyond the limit tells a stream that ends at
            // the limit from one that goes on.
            const size_t room = std::min(kOutputBlock, maxOutput_ + 1 - outputSize_);
            block_.resize(room);
            stream_.next_out = reinterpret_cast<unsigned char*>(block_.data());
            stream_.avail_out = static_cast<uInt>(room);
            const int result = inflate(&stream_, Z_NO_FLUSH);
            if (!Emit(block_.data(), room - stream_.avail_out))
                return false;
            if (result == Z_STREAM_END) {
                memberEnded_ = true;
            } else if (result != Z_OK && result != Z_BUF_ERROR) {
                error_ = std::string("it is no intact gzip data (") + (stream_.msg ? stream_.msg : "inflate failed") +
                         ")";
                return false;
            } else if (result == Z_BUF_ERROR && stream_.avail_out != 0) {
                break;  // all input taken; more is needed
            }
        }
        const size_t used = chunk - stream_.avail_in;
        data += used;
        size -= used;
        if (used == 0 && !memberEnded_)
            break;
    }
    return true;
}

bool GunzipSink::Finish(std::string& error)
{
    CloseFile();
    if (!error_.empty()) {
        error = error_;
        return false;
    }
    if (!sawInput_) {
        error = "the answer was empty";
        return false;
    }
    if (!memberEnded_) {
        error = "it ends before its gzip stream does (truncated)";
        return false;
    }
    return true;
}

bool GunzipHeightFile(const std::string& gzip, std::string& heights, std::string& error)
{
    GunzipSink sink(kLargestHgtBytes);
    sink.Begin();
    sink.Append(gzip.data(), gzip.size());
    if (!sink.Finish(error))
        return false;
    if (HgtPostsForBytes(sink.Output().size()) == 0) {
        error = "it holds " + std::to_string(sink.Output().size()) +
                " bytes, not a height file of 3601 or 1201 posts square";
        return false;
    }
    heights = sink.TakeOutput();
    return true;
}
