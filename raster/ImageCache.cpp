#include "raster/ImageCache.h"

#include <sys/stat.h>

namespace {

size_t BytesOf(const TGAFile& image)
{
    return static_cast<size_t>(image.RowStride()) * static_cast<size_t>(image.GetHeight());
}

} // namespace

bool ImageCache::IdentityOf(const std::string& path, FileIdentity& identity)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    identity = FileIdentity{info.st_dev, info.st_ino, info.st_size, static_cast<long long>(info.st_mtim.tv_sec),
                            info.st_mtim.tv_nsec};
    return true;
}

void ImageCache::Drop(std::list<Entry>::iterator entry)
{
    heldBytes_ -= entry->bytes;
    entries_.erase(entry);
}

std::list<ImageCache::Entry>::iterator ImageCache::FindMatching(const std::string& path)
{
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->path != path)
            continue;
        FileIdentity now;
        if (IdentityOf(path, now) && now == it->identity)
            return it;
        Drop(it);
        return entries_.end();
    }
    return entries_.end();
}

void ImageCache::Keep(const std::string& path, TGAFile image)
{
    Forget(path);
    FileIdentity identity;
    const size_t bytes = BytesOf(image);
    if (!IdentityOf(path, identity) || image.IsEmpty() || bytes > kBudgetBytes)
        return;
    entries_.push_front(Entry{path, identity, std::make_shared<TGAFile>(std::move(image)), bytes});
    heldBytes_ += bytes;
    while (heldBytes_ > kBudgetBytes)
        Drop(std::prev(entries_.end()));
}

std::shared_ptr<const TGAFile> ImageCache::Find(const std::string& path)
{
    const auto found = FindMatching(path);
    if (found == entries_.end())
        return nullptr;
    entries_.splice(entries_.begin(), entries_, found);
    return found->image;
}

bool ImageCache::Take(const std::string& path, TGAFile& image)
{
    const auto found = FindMatching(path);
    // An image another stage still reads cannot be handed over for change.
    if (found == entries_.end() || found->image.use_count() != 1)
        return false;
    image = std::move(*found->image);
    Drop(found);
    return true;
}

void ImageCache::Forget(const std::string& path)
{
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->path == path) {
            Drop(it);
            return;
        }
    }
}

int OpenCached(ImageCache* images, const std::string& path, std::shared_ptr<const TGAFile>& image)
{
    image = images ? images->Find(path) : nullptr;
    if (image)
        return 0;
    auto opened = std::make_shared<TGAFile>();
    const int result = opened->Open(path);
    if (result == 0)
        image = std::move(opened);
    return result;
}

int OpenForChange(ImageCache* images, const std::string& path, TGAFile& image)
{
    return images && images->Take(path, image) ? 0 : image.Open(path);
}

void KeepWritten(ImageCache* images, const std::string& path, TGAFile image)
{
    if (images)
        images->Keep(path, std::move(image));
}

void ForgetImage(ImageCache* images, const std::string& path)
{
    if (images)
        images->Forget(path);
}
