#pragma once

#include "live/UpstreamClient.h"

#include <zlib.h>

#include <cstddef>
#include <cstdio>
#include <string>

// Inflates a gzip body while it downloads and keeps what it inflates, up to
// `maxOutput` bytes: in memory, or written straight to a file so that a large
// download never sits in memory whole. Concatenated gzip members are inflated one after the
// other, as gunzip does. A damaged stream is remembered, not refused at
// once: the client decides from the status what the body was, and an error
// page that is no gzip must not turn a missing tile into a failed transfer.
class GunzipSink : public UpstreamClient::BodySink {
public:
    explicit GunzipSink(size_t maxOutput);
    // Writes the inflated bytes to `outputPath` (created afresh by each
    // attempt) instead of keeping them; the caller removes the file.
    GunzipSink(size_t maxOutput, std::string outputPath);
    ~GunzipSink() override;
    GunzipSink(const GunzipSink&) = delete;
    GunzipSink& operator=(const GunzipSink&) = delete;

    void Begin() override;
    bool Append(const char* data, size_t size) override;

    // After the body has ended: true when it was whole gzip that inflated
    // within the limit; otherwise `error` says what was wrong with it.
    bool Finish(std::string& error);

    const std::string& Output() const { return output_; }
    // Inflated bytes so far, in memory or in the file.
    size_t OutputSize() const { return outputSize_; }
    std::string TakeOutput() { return std::move(output_); }

private:
    void Reset();
    bool Inflate(const unsigned char* data, size_t size);
    bool Emit(const char* data, size_t size);
    void CloseFile();

    size_t maxOutput_;
    z_stream stream_{};
    bool streamOpen_ = false;
    bool memberEnded_ = false;  // the last member ended cleanly
    bool sawInput_ = false;
    std::string error_;
    std::string output_;
    std::string block_;  // one block of inflated bytes on its way out
    size_t outputSize_ = 0;
    std::string outputPath_;  // empty: in memory
    std::FILE* file_ = nullptr;
};

// Inflates a whole gzip text and checks that it is one height file
// (3601² or 1201² posts); false with `error` set otherwise.
bool GunzipHeightFile(const std::string& gzip, std::string& heights, std::string& error);
