#include "raster/ImageCache.h"

#include "raster/ParallelBands.h"

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
    if (entry->written)
        writtenBytes_ -= entry->bytes;
    entries_.erase(entry);
}

void ImageCache::DropOverBudget()
{
    for (auto it = entries_.end(); writtenBytes_ > kBudgetBytes && it != entries_.begin();) {
        --it;
        if (it->written)
            Drop(it++);
    }
}

std::list<ImageCache::Entry>::iterator ImageCache::FindMatching(const std::string& path)
{
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
        if (it->path != path)
            continue;
        FileIdentity now;
        if (!it->written || (IdentityOf(path, now) && now == it->identity))
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
    entries_.push_front(Entry{path, identity, std::make_shared<TGAFile>(std::move(image)), bytes, true});
    heldBytes_ += bytes;
    writtenBytes_ += bytes;
    DropOverBudget();
}

void ImageCache::KeepInMemoryOnly(const std::string& path)
{
    inMemoryOnly_.insert(path);
}

bool ImageCache::KeepsInMemoryOnly(const std::string& path) const
{
    return inMemoryOnly_.count(path) != 0;
}

void ImageCache::KeepUnwritten(const std::string& path, TGAFile image)
{
    Forget(path);
    if (image.IsEmpty())
        return;
    const size_t bytes = BytesOf(image);
    entries_.push_front(Entry{path, FileIdentity{}, std::make_shared<TGAFile>(std::move(image)), bytes, false});
    heldBytes_ += bytes;
}

bool ImageCache::HoldsUnwritten(const std::string& path) const
{
    for (const Entry& entry : entries_)
        if (entry.path == path)
            return !entry.written;
    return false;
}

void ImageCache::ApplyPending(Entry& entry)
{
    if (!entry.pending)
        return;
    TGAFile& image = *entry.image;
    const PixelMap pending = entry.pending;
    ParallelBands(image.GetHeight(), [&](int begin, int end) {
        for (int y = begin; y < end; ++y) {
            uint8_t* pixel = image.Row(y);
            for (int x = 0; x < image.GetWidth(); ++x, pixel += 3)
                pending(pixel);
        }
    });
    entry.pending = nullptr;
}

std::shared_ptr<const TGAFile> ImageCache::Find(const std::string& path)
{
    PixelMap pending = nullptr;
    const auto found = FindPending(path, pending);
    if (found && pending)
        ApplyPending(entries_.front());
    return found;
}

std::shared_ptr<const TGAFile> ImageCache::FindPending(const std::string& path, PixelMap& pending)
{
    const auto found = FindMatching(path);
    if (found == entries_.end())
        return nullptr;
    entries_.splice(entries_.begin(), entries_, found);
    pending = found->pending;
    return found->image;
}

void ImageCache::KeepUnwrittenPending(const std::string& path, TGAFile source, PixelMap pending)
{
    const bool mappable = source.BytesPerPixel() == 3;
    KeepUnwritten(path, std::move(source));
    if (mappable && !entries_.empty() && entries_.front().path == path)
        entries_.front().pending = pending;
}

bool ImageCache::Take(const std::string& path, TGAFile& image)
{
    const auto found = FindMatching(path);
    // An image another stage still reads cannot be handed over for change.
    if (found == entries_.end() || found->image.use_count() != 1)
        return false;
    ApplyPending(*found);
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

int OpenCachedPending(ImageCache* images, const std::string& path, std::shared_ptr<const TGAFile>& image,
                      PixelMap& pending)
{
    pending = nullptr;
    image = images ? images->FindPending(path, pending) : nullptr;
    return image ? 0 : OpenCached(images, path, image);
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

int WriteOrKeep(ImageCache* images, const std::string& path, TGAFile image)
{
    const int written = KeptInMemoryOnly(images, path) ? 0 : image.Write(path);
    if (written == 0)
        HandOn(images, path, std::move(image));
    return written;
}

bool KeptInMemoryOnly(const ImageCache* images, const std::string& path)
{
    return images && images->KeepsInMemoryOnly(path);
}

void HandOn(ImageCache* images, const std::string& path, TGAFile image)
{
    if (KeptInMemoryOnly(images, path))
        images->KeepUnwritten(path, std::move(image));
    else
        KeepWritten(images, path, std::move(image));
}

void ForgetImage(ImageCache* images, const std::string& path)
{
    if (images)
        images->Forget(path);
}
