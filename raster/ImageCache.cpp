#include "raster/ImageCache.h"

#include <sys/stat.h>

#include <list>
#include <mutex>
#include <optional>

namespace {

// What tells one state of a file from another without reading it.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long long modifiedSeconds = 0;
    long modifiedNanoseconds = 0;

    bool operator==(const FileIdentity&) const = default;
};

std::optional<FileIdentity> IdentityOf(const std::string& path)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return FileIdentity{info.st_dev, info.st_ino, info.st_size, static_cast<long long>(info.st_mtim.tv_sec),
                        info.st_mtim.tv_nsec};
}

size_t BytesOf(const TGAFile& image)
{
    return static_cast<size_t>(image.RowStride()) * static_cast<size_t>(image.GetHeight());
}

struct Entry {
    std::string path;
    FileIdentity identity;
    std::shared_ptr<TGAFile> image;
    size_t bytes = 0;
};

std::mutex cacheMutex;
std::list<Entry> entries;  // most recently used first
size_t heldBytes = 0;

// The entry of `path` if it still matches its file; one that does not is
// dropped into `dropped` (freed by the caller, outside the lock).
std::list<Entry>::iterator FindLocked(const std::string& path, std::list<Entry>& dropped)
{
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (it->path != path)
            continue;
        if (IdentityOf(path) == it->identity)
            return it;
        heldBytes -= it->bytes;
        dropped.splice(dropped.end(), entries, it);
        return entries.end();
    }
    return entries.end();
}

void ForgetLocked(const std::string& path, std::list<Entry>& dropped)
{
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (it->path == path) {
            heldBytes -= it->bytes;
            dropped.splice(dropped.end(), entries, it);
            return;
        }
    }
}

} // namespace

void ImageCache::Keep(const std::string& path, TGAFile image)
{
    std::list<Entry> dropped;
    const std::optional<FileIdentity> identity = IdentityOf(path);
    const size_t bytes = BytesOf(image);
    std::lock_guard lock(cacheMutex);
    ForgetLocked(path, dropped);
    if (!identity || image.IsEmpty() || bytes > kBudgetBytes)
        return;
    entries.push_front(Entry{path, *identity, std::make_shared<TGAFile>(std::move(image)), bytes});
    heldBytes += bytes;
    while (heldBytes > kBudgetBytes) {
        heldBytes -= entries.back().bytes;
        dropped.splice(dropped.end(), entries, std::prev(entries.end()));
    }
}

std::shared_ptr<const TGAFile> ImageCache::Find(const std::string& path)
{
    std::list<Entry> dropped;
    std::lock_guard lock(cacheMutex);
    const auto found = FindLocked(path, dropped);
    if (found == entries.end())
        return nullptr;
    entries.splice(entries.begin(), entries, found);
    return found->image;
}

bool ImageCache::Take(const std::string& path, TGAFile& image)
{
    std::list<Entry> dropped;
    std::lock_guard lock(cacheMutex);
    const auto found = FindLocked(path, dropped);
    // An image another stage still reads cannot be handed over for change.
    if (found == entries.end() || found->image.use_count() != 1)
        return false;
    image = std::move(*found->image);
    heldBytes -= found->bytes;
    dropped.splice(dropped.end(), entries, found);
    return true;
}

void ImageCache::Forget(const std::string& path)
{
    std::list<Entry> dropped;
    std::lock_guard lock(cacheMutex);
    ForgetLocked(path, dropped);
}

void ImageCache::Clear()
{
    std::list<Entry> dropped;
    std::lock_guard lock(cacheMutex);
    dropped.swap(entries);
    heldBytes = 0;
}

size_t ImageCache::HeldBytes()
{
    std::lock_guard lock(cacheMutex);
    return heldBytes;
}

int OpenCached(const std::string& path, std::shared_ptr<const TGAFile>& image)
{
    image = ImageCache::Find(path);
    if (image)
        return 0;
    auto opened = std::make_shared<TGAFile>();
    const int result = opened->Open(path);
    if (result == 0)
        image = std::move(opened);
    return result;
}

int OpenForChange(const std::string& path, TGAFile& image)
{
    return ImageCache::Take(path, image) ? 0 : image.Open(path);
}
