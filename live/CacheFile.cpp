#include "live/CacheFile.h"

#include "core/FileHandle.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace {

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
    FileHandle file = OpenFile(path.c_str(), "rb");
    if (!file)
        return false;
    bytes.resize(static_cast<size_t>(size));
    return std::fread(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
}

bool WriteCacheFile(const std::string& path, const std::string& bytes, std::string& error)
{
    FileReplacement replacement = CacheFileReplacement(path);
    if (!replacement.Open()) {
        error = "cannot write \"" + replacement.WritingName() + "\": " + replacement.Reason();
        return false;
    }
    if (!replacement.WriteWhole(bytes)) {
        error = "cannot write \"" + path + "\"";
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

FileReplacement CacheFileReplacement(const std::string& path)
{
    return FileReplacement(path, TemporaryCacheFileName(path));
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
