#pragma once

#include "core/FileHandle.h"

#include <cstdio>
#include <memory>
#include <string>

// Bytes kept for later in an unnamed temporary file, so that the system's
// file cache holds them rather than the process's memory: the extract
// service keeps its last archives this way for clients that download one
// again, without the archives adding to a long-running program's size.
class SpooledBytes {
public:
    // Null when no temporary file can be made or written.
    static std::shared_ptr<const SpooledBytes> Spool(const std::string& bytes);

    // All the bytes; false when they cannot be read back.
    bool Read(std::string& bytes) const;

private:
    FileHandle file_;
    size_t size_ = 0;
};
