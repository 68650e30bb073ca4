#pragma once

#include "live/UpstreamClient.h"

#include <cstdio>
#include <string>

// Writes a body as it downloads to a file, created afresh by each attempt,
// so that a large download never sits in memory. The caller removes the file.
class FileBodySink : public UpstreamClient::BodySink {
public:
    explicit FileBodySink(std::string path);
    ~FileBodySink() override;
    FileBodySink(const FileBodySink&) = delete;
    FileBodySink& operator=(const FileBodySink&) = delete;

    void Begin() override;
    bool Append(const char* data, size_t size) override;
    std::string Reason() const override;

    // Closes the file; false when it could not be written completely.
    bool Finish();

private:
    std::string path_;
    std::FILE* file_ = nullptr;
    bool failed_ = false;
};
