#include "ConversionTestSupport.h"

#include "raster/MakeRowsWhileWriting.h"
#include "raster/TGAFile.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

namespace conversiontest {
namespace {

uint8_t Shade(int x, int y, int channel)
{
    return static_cast<uint8_t>(x * 7 + y * 13 + channel * 101);
}

void Paint(TGAFile& image, int begin, int end)
{
    for (int y = begin; y < end; ++y)
        for (int x = 0; x < image.GetWidth(); ++x)
            for (int c = 0; c < 3; ++c)
                image.Row(y)[3 * x + c] = Shade(x, y, c);
}

// Widths with and without row padding in memory, heights that end inside a
// block, and blocks finished out of order: the file is always the one
// Write gives for the finished image.
TEST(MakeRowsWhileWriting, WritesTheFileThatWriteWritesForTheFinishedImage)
{
    ScratchFolder folder;
    for (const auto& [width, height] : {std::pair{5, 3}, std::pair{926, 131}, std::pair{64, 200}}) {
        TGAFile made;
        ASSERT_EQ(made.CreateUnfilled(width, height), 0);
        const int result = MakeRowsWhileWriting(made, folder.Path("made.tga"), [&](int begin, int end) {
            // Early blocks take longest, so later ones finish first.
            if (begin == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            Paint(made, begin, end);
            return true;
        });
        ASSERT_EQ(result, 0) << width << " x " << height;
        TGAFile reference;
        ASSERT_EQ(reference.CreateUnfilled(width, height), 0);
        Paint(reference, 0, height);
        ASSERT_EQ(reference.Write(folder.Path("reference.tga")), 0);
        EXPECT_EQ(ReadFileBytes(folder.Path("made.tga")), ReadFileBytes(folder.Path("reference.tga"))) << width << " x " << height;
    }
}

TEST(MakeRowsWhileWriting, AFailedBlockLeavesNoFileAndStopsTheRest)
{
    ScratchFolder folder;
    TGAFile image;
    ASSERT_EQ(image.CreateUnfilled(100, 64 * 40), 0);
    std::atomic<int> made{0};
    const int result = MakeRowsWhileWriting(image, folder.Path("out.tga"), [&](int begin, int) {
        ++made;
        return begin != 64 * 3;
    });
    EXPECT_EQ(result, kRowsNotMade);
    EXPECT_FALSE(std::filesystem::exists(folder.Path("out.tga")));
    EXPECT_LT(made.load(), 40) << "blocks after the failure are not made";
}

TEST(MakeRowsWhileWriting, AFileThatCannotBeOpenedMakesNoRows)
{
    ScratchFolder folder;
    TGAFile image;
    ASSERT_EQ(image.CreateUnfilled(8, 8), 0);
    bool called = false;
    EXPECT_EQ(MakeRowsWhileWriting(image, folder.Path("missing/out.tga"),
                                   [&](int, int) {
                                       called = true;
                                       return true;
                                   }),
              2);
    EXPECT_FALSE(called);
    TGAFile empty;
    EXPECT_EQ(MakeRowsWhileWriting(empty, folder.Path("empty.tga"), [](int, int) { return true; }), 3);
}

} // namespace
} // namespace conversiontest
