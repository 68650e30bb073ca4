#pragma once

// Shared pieces of the fuzz targets: sinks that drop what they are told, and
// an in-memory file that readers taking a path can open.
#include "core/JobWindow.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

class NullWindow : public JobWindow {
public:
    void AddToLog(const std::string&) override {}
    void EnableControl(JobControl, bool) override {}
    void SetProgress(int) override {}
    void ShowStatus(StatusIcon) override {}
    bool AskRetryWithTimeout(int&) override { return false; }
    bool AskPassword(std::string&, std::string&) override { return false; }
    void ShowMessage(const std::string&, const std::string&, MessageIcon = MessageIcon::Information) override {}
    void RefreshCoordinates() override {}
};

// A file in memory (memfd), refilled for every input; Path() opens it afresh
// from its start, as a regular file of exactly the bytes written.
class MemoryFile {
public:
    explicit MemoryFile(const char* name) : fd_(memfd_create(name, 0)) {}
    ~MemoryFile()
    {
        if (fd_ >= 0)
            close(fd_);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    bool Fill(std::string_view bytes)
    {
        if (fd_ < 0 || ftruncate(fd_, 0) != 0)
            return false;
        size_t written = 0;
        while (written < bytes.size()) {
            const ssize_t count = pwrite(fd_, bytes.data() + written, bytes.size() - written,
                                         static_cast<off_t>(written));
            if (count <= 0)
                return false;
            written += static_cast<size_t>(count);
        }
        return true;
    }
    std::string Path() const { return "/proc/self/fd/" + std::to_string(fd_); }

private:
    int fd_;
};

inline std::string_view AsText(const uint8_t* data, size_t size)
{
    return {reinterpret_cast<const char*>(data), size};
}

// Stops the target with a message when a property of the reader fails, so
// the fuzzer keeps the input as a crash.
#define FUZZ_CHECK(condition)                                                                     \
    do {                                                                                          \
        if (!(condition)) {                                                                       \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);    \
            std::abort();                                                                         \
        }                                                                                         \
    } while (false)

