#include "ConversionTestSupport.h"

#include "raster/ImageCache.h"
#include "raster/StretchTga.h"
#include "tests/support/RecordingWindow.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace conversiontest {
namespace {

Rgb Red(int, int) { return {200, 0, 0}; }
Rgb Blue(int, int) { return {0, 0, 200}; }

// Writes a plain image to `path` and keeps what was written, as a stage does.
void WriteAndKeep(ImageCache& images, const std::string& path, Rgb (*color)(int, int), int size = 4)
{
    WriteImage(path, size, size, color);
    TGAFile written;
    ASSERT_EQ(written.Open(path), 0);
    images.Keep(path, std::move(written));
}

Rgb CornerOf(ImageCache& images, const std::string& path)
{
    std::shared_ptr<const TGAFile> image;
    EXPECT_EQ(OpenCached(&images, path, image), 0) << path;
    return image ? PixelOf(*image, 0, 0) : Rgb{-1, -1, -1};
}

class ImageCacheTest : public ::testing::Test {
protected:
    ScratchFolder folder;
    ImageCache images;
    std::string path = folder.Path("a.tga");
};

TEST_F(ImageCacheTest, AnImageIsHandedOnUntilItsFileChanges)
{
    WriteAndKeep(images, path, Red);
    const std::shared_ptr<const TGAFile> kept = images.Find(path);
    ASSERT_NE(kept, nullptr);
    std::shared_ptr<const TGAFile> opened;
    ASSERT_EQ(OpenCached(&images, path, opened), 0);
    EXPECT_EQ(opened, kept) << "served from memory, not read again";

    // Rewritten by a writer that knows nothing of the cache.
    WriteImage(path, 4, 4, Blue);
    EXPECT_EQ(CornerOf(images, path), (Rgb{0, 0, 200}));
    EXPECT_EQ(images.Find(path), nullptr) << "the stale entry is gone";

    // Replaced by a rename.
    WriteAndKeep(images, path, Red);
    WriteImage(folder.Path("b.tga"), 4, 4, Blue);
    std::filesystem::rename(folder.Path("b.tga"), path);
    EXPECT_EQ(CornerOf(images, path), (Rgb{0, 0, 200}));

    // Grown in place: same file, another size.
    WriteAndKeep(images, path, Red);
    std::ofstream(path, std::ios::app) << "tail";
    EXPECT_EQ(images.Find(path), nullptr);

    // Deleted: nothing to open.
    WriteAndKeep(images, path, Red);
    std::filesystem::remove(path);
    std::shared_ptr<const TGAFile> gone;
    EXPECT_NE(OpenCached(&images, path, gone), 0);
    EXPECT_EQ(images.HeldBytes(), 0u);
}

TEST_F(ImageCacheTest, AStageReadsWhatTheDiskHoldsAfterAnotherWriter)
{
    WriteAndKeep(images, path, Red);
    WriteImage(path, 4, 4, Blue);
    RecordingWindow log;
    ASSERT_EQ(StretchTga(path, folder.Path("out.tga"), {0, 0, 4, 0, 0, 4, 4, 4}, 8, 8, log, &images), 0);
    TGAFile out;
    ASSERT_EQ(out.Open(folder.Path("out.tga")), 0);
    EXPECT_EQ(PixelOf(out, 3, 3), (Rgb{0, 0, 200}));
    EXPECT_EQ(CornerOf(images, folder.Path("out.tga")), (Rgb{0, 0, 200})) << "and hands its own output on";
}

TEST_F(ImageCacheTest, TakingMovesTheImageOutUnlessSomeoneStillReadsIt)
{
    WriteAndKeep(images, path, Red);
    {
        const std::shared_ptr<const TGAFile> reader = images.Find(path);
        TGAFile taken;
        EXPECT_FALSE(images.Take(path, taken));
        EXPECT_TRUE(taken.IsEmpty());
    }
    TGAFile changed;
    ASSERT_TRUE(images.Take(path, changed));
    EXPECT_EQ(PixelOf(changed, 0, 0), (Rgb{200, 0, 0}));
    EXPECT_EQ(images.Find(path), nullptr);
    TGAFile fromFile;
    EXPECT_EQ(OpenForChange(&images, path, fromFile), 0) << "a second change reads the file";
    EXPECT_EQ(OpenForChange(nullptr, path, fromFile), 0) << "and so does a stage given no cache";
}

TEST_F(ImageCacheTest, TheBudgetKeepsTheMostRecentlyUsedImages)
{
    // 3 MiB of pixels each.
    const int side = 1024;
    const size_t each = static_cast<size_t>(TGAFile::RowStrideFor(3, side)) * side;
    const size_t fit = ImageCache::kBudgetBytes / each;
    for (size_t i = 0; i < fit; ++i)
        WriteAndKeep(images, folder.Path(std::to_string(i) + ".tga"), Red, side);
    EXPECT_EQ(images.HeldBytes(), fit * each);
    ASSERT_NE(images.Find(folder.Path("0.tga")), nullptr);  // now the most recent
    WriteAndKeep(images, folder.Path("new.tga"), Red, side);
    EXPECT_LE(images.HeldBytes(), ImageCache::kBudgetBytes);
    EXPECT_NE(images.Find(folder.Path("0.tga")), nullptr);
    EXPECT_EQ(images.Find(folder.Path("1.tga")), nullptr) << "the least recently used went";

    // Larger than the whole budget: never kept.
    TGAFile huge;
    ASSERT_EQ(huge.CreateUnfilled(4200, 4200), 0);
    ASSERT_EQ(huge.Write(folder.Path("huge.tga")), 0);
    images.Keep(folder.Path("huge.tga"), std::move(huge));
    EXPECT_EQ(images.Find(folder.Path("huge.tga")), nullptr);
}

// Images kept in memory only: no file is written, readers get them
// whatever lies on disk, and no budget pushes them out.
TEST_F(ImageCacheTest, AnImageKeptInMemoryOnlyIsHandedOnWithoutItsFile)
{
    images.KeepInMemoryOnly(path);
    TGAFile image;
    ASSERT_EQ(image.Create(4, 4), 0);
    SetRgb(image, 0, 0, {200, 0, 0});
    ASSERT_EQ(WriteOrKeep(&images, path, std::move(image)), 0);
    EXPECT_FALSE(std::filesystem::exists(path)) << "no file is written";
    EXPECT_TRUE(images.HoldsUnwritten(path));
    EXPECT_EQ(CornerOf(images, path), (Rgb{200, 0, 0}));

    // Large written images arriving later do not push it out.
    const int side = 2048;
    for (int i = 0; i < 4; ++i)
        WriteAndKeep(images, folder.Path("big" + std::to_string(i) + ".tga"), Blue, side);
    EXPECT_EQ(CornerOf(images, path), (Rgb{200, 0, 0}));

    // A path not named is written as before.
    const std::string other = folder.Path("other.tga");
    TGAFile written;
    ASSERT_EQ(written.Create(4, 4), 0);
    ASSERT_EQ(WriteOrKeep(&images, other, std::move(written)), 0);
    EXPECT_TRUE(std::filesystem::exists(other));
    EXPECT_FALSE(images.HoldsUnwritten(other));

    images.Forget(path);
    std::shared_ptr<const TGAFile> gone;
    EXPECT_NE(OpenCached(&images, path, gone), 0) << "forgotten, and there is no file";
}

void Invert(uint8_t* pixel)
{
    for (int i = 0; i < 3; ++i)
        pixel[i] = static_cast<uint8_t>(255 - pixel[i]);
}

// A pending pixel map gives the same bytes whether the whole image is read
// or a stretch samples it.
TEST_F(ImageCacheTest, APendingPixelMapIsAppliedWhereverTheImageIsRead)
{
    const std::string source = folder.Path("source.tga");
    WriteImage(source, 64, 48, [](int x, int y) { return Rgb{x * 3, y * 5, (x + y) % 256}; });
    TGAFile mappedWhole;
    ASSERT_EQ(mappedWhole.Open(source), 0);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            Invert(mappedWhole.Row(y) + 3 * x);
    ASSERT_EQ(mappedWhole.Write(folder.Path("mapped.tga")), 0);
    RecordingWindow log;
    const StretchCorners corners{0, 0, 64, 0, 0, 48, 64, 48};
    ASSERT_EQ(StretchTga(folder.Path("mapped.tga"), folder.Path("expected.tga"), corners, 20, 30, log), 0);

    TGAFile heights;
    ASSERT_EQ(heights.Open(source), 0);
    images.KeepUnwrittenPending(path, std::move(heights), Invert);
    ASSERT_EQ(StretchTga(path, folder.Path("sampled.tga"), corners, 20, 30, log, &images), 0);
    EXPECT_EQ(ReadFileBytes(folder.Path("sampled.tga")), ReadFileBytes(folder.Path("expected.tga")));

    std::shared_ptr<const TGAFile> whole;
    ASSERT_EQ(OpenCached(&images, path, whole), 0);
    ASSERT_EQ(whole->GetWidth(), 64);
    for (int y = 0; y < 48; y += 7)
        for (int x = 0; x < 64; x += 5)
            EXPECT_EQ(PixelOf(*whole, x, y), PixelOf(mappedWhole, x, y)) << x << "," << y;
}

} // namespace
} // namespace conversiontest
