#include "live/CacheSweep.h"

#include "live/CacheFile.h"

#include <filesystem>
#include <mutex>
#include <set>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr int kDeepestLevel = 2;  // below the cache folder: elevation/<source>/, wms/pieces/

bool IsStaleTemporaryFile(const fs::directory_entry& entry, fs::file_time_type before)
{
    std::error_code error;
    if (!entry.is_regular_file(error) || error || !IsTemporaryCacheFileName(entry.path().filename().string()))
        return false;
    const fs::file_time_type written = entry.last_write_time(error);
    return !error && written < before;
}

}  // namespace

int SweepCacheFolder(const std::string& folder, std::chrono::hours olderThan)
{
    const fs::file_time_type before = fs::file_time_type::clock::now() - olderThan;
    std::error_code error;
    fs::recursive_directory_iterator walk(folder, fs::directory_options::skip_permission_denied, error);
    int removed = 0;
    for (; !error && walk != fs::recursive_directory_iterator(); walk.increment(error)) {
        if (walk.depth() >= kDeepestLevel)
            walk.disable_recursion_pending();
        std::error_code removeError;
        if (IsStaleTemporaryFile(*walk, before) && fs::remove(walk->path(), removeError))
            ++removed;
    }
    return removed;
}

void SweepCacheFolderOnce(const std::string& folder)
{
    static std::mutex mutex;
    static std::set<std::string> swept;
    std::error_code error;
    const fs::path canonical = fs::weakly_canonical(folder, error);
    {
        std::lock_guard lock(mutex);
        if (!swept.insert(error ? folder : canonical.string()).second)
            return;
    }
    SweepCacheFolder(folder);
}
