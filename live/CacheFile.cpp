#include "live/CacheFile.h"

#include "core/FileSystem.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

constexpr const char* kTemporaryMark = ".part-";

std::string TemporaryNameFor(const std::string& path)
{
    static std::atomic<unsigned> counter{0};
    return path + kTemporaryMark + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

}  // namespace

bool ReadCacheFile(const std::string& path, size_t maxBytes, std::string& bytes)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    if (error || size > maxBytes)
        return false;
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file)
        return false;
    bytes.resize(static_cast<size_t>(size));
    return std::fread(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
}

bool WriteCacheFile(const std::string& path, const std::string& bytes, std::string& error)
{
    std::error_code folderError;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), folderError);
    const std::string temporary = TemporaryNameFor(path);
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) {
        error = "cannot write \"" + temporary + "\": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = std::fclose(file) == 0;
    std::error_code renameError;
    if (written && closed)
        std::filesystem::rename(temporary, path, renameError);
    if (!written || !closed || renameError) {
        error = "cannot write \"" + path + "\"";
        RemovePartialFile(temporary);
        return false;
    }
    return true;
}

std::string TemporaryCacheFileName(const std::string& path)
{
    std::error_code folderError;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), folderError);
    return TemporaryNameFor(path);
}

bool IsTemporaryCacheFileName(const std::string& name)
{
    // <name>.part-<process>-<count>, perhaps followed by .<extension>
    const size_t mark = name.rfind(kTemporaryMark);
    if (mark == std::string::npos || mark == 0)
        return false;
    size_t at = mark + std::strlen(kTemporaryMark);
    auto digits = [&] {
        const size_t start = at;
        while (at < name.size() && std::isdigit(static_cast<unsigned char>(name[at])))
            ++at;
        return at > start;
    };
    if (!digits() || at >= name.size() || name[at++] != '-' || !digits())
        return false;
    if (at == name.size())
        return true;
    if (name[at++] != '.' || at == name.size())
        return false;
    return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(at), name.end(),
                       [](unsigned char c) { return std::isalnum(c) != 0; });
}

bool CommitCacheFile(const std::string& temporary, const std::string& path, std::string& error)
{
    std::error_code renameError;
    std::filesystem::rename(temporary, path, renameError);
    if (!renameError)
        return true;
    error = "cannot write \"" + path + "\"";
    RemovePartialFile(temporary);
    return false;
}

std::string CacheKeyHash(const std::string& text)
{
    uint64_t hash = 14695981039346656037ull;
    for (const unsigned char c : text) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return hex;
}
