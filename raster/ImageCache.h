#pragma once

#include "raster/TGAFile.h"

#include <sys/types.h>

#include <list>
#include <memory>
#include <set>
#include <string>

// The images that the stages of one job have just written, handed on to the
// next stage in memory instead of being read back from their files. The
// files are written exactly as before; this only saves the reading. A job
// owns one and gives it to each stage; stages given none read the files.
//
// Each entry remembers which file it matches (device, inode, size and
// modification time at the moment it was kept). A lookup whose file no
// longer matches — rewritten, renamed away or deleted by anyone — drops the
// entry and reports a miss, so the caller reads the file as it is. The
// entries together hold at most kBudgetBytes, room for one 1-degree height
// map and a map tile: the least recently used go first, so that a job never
// holds two large images for later, and an image larger than that is not
// kept. Used by one thread at a time.
//
// A job that removes its intermediate files names them beforehand
// (KeepInMemoryOnly): a stage then hands such an image on without writing
// its file (WriteOrKeep). Those entries match no file, are never dropped to
// make room, and go only when forgotten.
// A change of one 24-bit pixel that depends on that pixel only.
using PixelMap = void (*)(uint8_t* pixel);

class ImageCache {
public:
    ImageCache() = default;
    ImageCache(const ImageCache&) = delete;
    ImageCache& operator=(const ImageCache&) = delete;

    // Keeps `image` as the content of `path`, which it has just been written to.
    void Keep(const std::string& path, TGAFile image);
    // The image of `path` to read from, or null.
    std::shared_ptr<const TGAFile> Find(const std::string& path);
    // Moves the image of `path` out of the cache into `image`, for a stage that
    // changes it; false (and `image` untouched) when it is not there.
    bool Take(const std::string& path, TGAFile& image);
    void Forget(const std::string& path);

    // Images for `path` are from now on kept here instead of being written.
    void KeepInMemoryOnly(const std::string& path);
    bool KeepsInMemoryOnly(const std::string& path) const;
    // Keeps `image` as the content of `path`, which has no file.
    void KeepUnwritten(const std::string& path, TGAFile image);
    // True when the image of `path` is here without a file of its own.
    bool HoldsUnwritten(const std::string& path) const;
    // Keeps, without a file, the `source` (24-bit, else it is kept as it is) whose pixels become those
    // of `path` through `pending`. Readers that look at every pixel get it
    // applied first; a reader that samples a few (FindPending) applies it to
    // those alone, so the pixels no result uses are never made.
    void KeepUnwrittenPending(const std::string& path, TGAFile source, PixelMap pending);
    // The image of `path` as held, with the map still to apply to its pixels
    // (null when none), or null.
    std::shared_ptr<const TGAFile> FindPending(const std::string& path, PixelMap& pending);

    size_t HeldBytes() const { return heldBytes_; }

    static constexpr size_t kBudgetBytes = size_t(48) << 20;

private:
    // What tells one state of a file from another without reading it.
    struct FileIdentity {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        long long modifiedSeconds = 0;
        long modifiedNanoseconds = 0;

        bool operator==(const FileIdentity&) const = default;
    };
    struct Entry {
        std::string path;
        FileIdentity identity;
        std::shared_ptr<TGAFile> image;
        size_t bytes = 0;
        bool written = true;
        PixelMap pending = nullptr;
    };

    static bool IdentityOf(const std::string& path, FileIdentity& identity);
    // The entry of `path` if it still matches its file; one that does not is dropped.
    std::list<Entry>::iterator FindMatching(const std::string& path);
    void Drop(std::list<Entry>::iterator entry);
    // Drops the least recently used written images until those fit the budget.
    void DropOverBudget();
    static void ApplyPending(Entry& entry);

    std::list<Entry> entries_;  // most recently used first
    size_t heldBytes_ = 0;
    size_t writtenBytes_ = 0;
    std::set<std::string> inMemoryOnly_;
};

// Opens `path` from `images` when it is there (and `images` is given), else
// from the file; the result is what TGAFile::Open gives, so callers keep
// their messages.
int OpenCached(ImageCache* images, const std::string& path, std::shared_ptr<const TGAFile>& image);
// The same for a reader that applies a pending pixel map itself (see
// ImageCache::KeepUnwrittenPending); `pending` is null when there is none.
int OpenCachedPending(ImageCache* images, const std::string& path, std::shared_ptr<const TGAFile>& image,
                      PixelMap& pending);
// The same for a stage that changes the image.
int OpenForChange(ImageCache* images, const std::string& path, TGAFile& image);
// Hands `image`, just written to `path`, on to the next stage when there is a cache.
void KeepWritten(ImageCache* images, const std::string& path, TGAFile image);
// Writes `image` to `path` and hands it on, or, when `images` keeps `path`
// in memory only, hands it on without writing; TGAFile::Write's result.
int WriteOrKeep(ImageCache* images, const std::string& path, TGAFile image);
// True when `images` keeps `path` in memory only.
bool KeptInMemoryOnly(const ImageCache* images, const std::string& path);
// Hands on `image` of `path`, which has just been written to it or, when
// `images` keeps `path` in memory only, has just been made without a file.
void HandOn(ImageCache* images, const std::string& path, TGAFile image);
// Drops what `images` holds for `path`, a file about to go or change.
void ForgetImage(ImageCache* images, const std::string& path);
