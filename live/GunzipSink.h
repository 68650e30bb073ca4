#pragma once

#include "live/UpstreamClient.h"

#include <zlib.h>

#include <cstddef>
#include <string>

// Inflates a gzip body while it downloads and keeps what it inflates, up to
// `maxOutput` bytes. Concatenated gzip members are inflated one after the
// other, as gunzip does. A damaged stream is remembered, not refused at
// once: the client decides from the status what the body was, and an error
// page that is no gzip must not turn a missing tile into a failed transfer.
class GunzipSink : public UpstreamClient::BodySink {
public:
    explicit GunzipSink(size_t maxOutput);
    ~GunzipSink() override;
    GunzipSink(const GunzipSink&) = delete;
    GunzipSink& operator=(const GunzipSink&) = delete;

    void Begin() override;
    bool Append(const char* data, size_t size) override;

    // After the body has ended: true when it was whole gzip that inflated
    // within the limit; otherwise `error` says what was wrong with it.
    bool Finish(std::string& error);

    const std::string& Output() const { return output_; }
    std::string TakeOutput() { return std::move(output_); }

private:
    void Reset();
    bool Inflate(const unsigned char* data, size_t size);

    size_t maxOutput_;
    z_stream stream_{};
    bool streamOpen_ = false;
    bool memberEnded_ = false;  // the last member ended cleanly
    bool sawInput_ = false;
    std::string error_;
    std::string output_;
};

// Inflates a whole gzip text and checks that it is one height file
// (3601² or 1201² posts); false with `error` set otherwise.
bool GunzipHeightFile(const std::string& gzip, std::string& heights, std::string& error);
