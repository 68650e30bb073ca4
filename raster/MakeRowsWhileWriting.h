#pragma once

#include <functional>
#include <string>

class ImageCache;
class TGAFile;

// Makes rows [begin, end) of an image; false when they cannot be made.
using RowMaker = std::function<bool(int begin, int end)>;

// Fills `image` block by block with `makeRows`, on every core, and writes it
// to `path` while it is being filled: a block goes to the file as soon as it
// and every block before it are made, so that the file system's work on the
// file overlaps the making of the rest. The file is the one TGAFile::Write
// writes once the image is complete.
//
// Only for makers whose blocks write disjoint rows and read nothing another
// block writes. Returns 0, or TGAFile::Write's code when the file cannot be
// opened (2) or written (3), or kRowsNotMade when `makeRows` failed; on any
// failure the partial file is removed.
int MakeRowsWhileWriting(TGAFile& image, const std::string& path, const RowMaker& makeRows);

inline constexpr int kRowsNotMade = 10;

// The same making, on every core, for an image that is not written: 0, or
// kRowsNotMade when `makeRows` failed.
int MakeRowsInMemory(TGAFile& image, const RowMaker& makeRows);

// MakeRowsWhileWriting, or MakeRowsInMemory when `images` keeps `path` in
// memory only (see ImageCache::KeepInMemoryOnly).
int MakeRowsFor(ImageCache* images, TGAFile& image, const std::string& path, const RowMaker& makeRows);
