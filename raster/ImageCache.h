#pragma once

#include "raster/TGAFile.h"

#include <memory>
#include <string>

// The images that the stages of a job have just written, kept in memory so
// that the next stage takes them from here instead of reading the file back.
// The files are written exactly as before; this only saves the reading.
//
// Each entry remembers which file it matches (device, inode, size and
// modification time at the moment it was kept). A lookup whose file no longer
// matches — rewritten, renamed away or deleted by anyone — drops the entry
// and reports a miss, so the caller reads the file as it is. TGAFile::Write
// and Forget() drop an entry at once. The entries together hold at most
// kBudgetBytes, room for one 1-degree height map and a map tile: the least
// recently used go first, so that a job never holds two large images for
// later, and an image larger than that is not kept. The job runner empties
// the cache when a job ends.
class ImageCache {
public:
    // Keeps `image` as the content of `path`, which it has just been written to.
    static void Keep(const std::string& path, TGAFile image);
    // The image of `path` to read from, or null.
    static std::shared_ptr<const TGAFile> Find(const std::string& path);
    // Moves the image of `path` out of the cache into `image`, for a stage that
    // changes it; false (and `image` untouched) when it is not there.
    static bool Take(const std::string& path, TGAFile& image);
    static void Forget(const std::string& path);
    static void Clear();

    static size_t HeldBytes();

    static constexpr size_t kBudgetBytes = size_t(48) << 20;
};

// Opens `path` from the cache when it is there, else from the file; the
// result is what TGAFile::Open gives, so callers keep their messages.
int OpenCached(const std::string& path, std::shared_ptr<const TGAFile>& image);
// The same for a stage that changes the image.
int OpenForChange(const std::string& path, TGAFile& image);
