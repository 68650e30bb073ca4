#pragma once

#include "core/FileReplacement.h"

#include <cstddef>
#include <string>

// Files of the live cache. A file is written under a temporary name beside
// its final one and renamed into place only when complete, so that neither
// a reader nor a later run ever sees a partial file.

// The whole file, when it exists and holds at most `maxBytes`.
bool ReadCacheFile(const std::string& path, size_t maxBytes, std::string& bytes);

// Writes `bytes` as `path`, creating its folder; false with `error` set when
// that fails, leaving no file behind.
bool WriteCacheFile(const std::string& path, const std::string& bytes, std::string& error);

// A temporary name beside `path`, unique to this process and call; its
// folder is created.
std::string TemporaryCacheFileName(const std::string& path);

// The replacement of `path` for a file written piece by piece, through a
// TemporaryCacheFileName(path).
FileReplacement CacheFileReplacement(const std::string& path);

// Whether a file name (without folder) is one TemporaryCacheFileName() or
// WriteCacheFile() gives, with or without an extension added after it.
bool IsTemporaryCacheFileName(const std::string& name);

// A stable 64-bit FNV-1a hash of `text` as 16 hex digits, for file names.
std::string CacheKeyHash(const std::string& text);
