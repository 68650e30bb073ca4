#include "raster/RelaxNoData.h"

#include "bench/RelaxNoDataReference.h"
#include "raster/TGAFile.h"
#include "tests/support/RecordingWindow.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using Rows = std::vector<std::vector<int>>;  // bottom row first

class RelaxFixture : public ::testing::Test {
protected:
    std::string Map() const { return dir.File("q_el.tga"); }

    void WriteMap(const Rows& rows)
    {
        TGAFile image;
        ASSERT_EQ(image.Create(static_cast<int>(rows[0].size()), static_cast<int>(rows.size())), 0);
        for (size_t y = 0; y < rows.size(); ++y)
            for (size_t x = 0; x < rows[y].size(); ++x)
                image.SetValue(static_cast<int>(x), static_cast<int>(y), rows[y][x]);
        ASSERT_EQ(image.Write(Map()), 0);
    }

    Rows ReadMap(const std::string& path) const
    {
        TGAFile image;
        EXPECT_EQ(image.Open(path), 0);
        Rows rows(image.GetHeight(), std::vector<int>(image.GetWidth()));
        for (int y = 0; y < image.GetHeight(); ++y)
            for (int x = 0; x < image.GetWidth(); ++x)
                rows[y][x] = image.GetValue(x, y);
        return rows;
    }

    // The log lines after the opening line.
    std::vector<std::string> IterationLines() const
    {
        std::vector<std::string> lines = window.Lines();
        EXPECT_EQ(lines.at(0), "Substituting NODATA (z = 0) values via 2D relaxation.");
        lines.erase(lines.begin());
        return lines;
    }

    TempDir dir;
    RecordingWindow window;
    bool keepUnfilled = false;
    std::atomic<bool> cancelRequested{false};
};

TEST_F(RelaxFixture, OneRowExamplesStopWhenTwoIterationsChangeTheSameTotal)
{
    const struct {
        std::vector<int> row;
        std::vector<int> filled;
        const char* line;
    } cases[] = {
        {{5, 0, 0, 0, 9}, {5, 2, 2, 2, 9}, "Relaxation achieved after 1 iterations."},
        {{0, 0, 7}, {2, 2, 7}, "Relaxation achieved after 1 iterations."},
        {{7, 0, 0}, {7, 0, 0}, "Relaxation achieved after 0 iterations."},
        {{3, 4, 5}, {3, 4, 5}, "Relaxation achieved after 0 iterations."},
    };
    for (const auto& c : cases) {
        RecordingWindow fresh;
        WriteMap({c.row});
        ASSERT_EQ(RelaxNoData(Map(), 50, keepUnfilled, fresh, cancelRequested), 0);
        EXPECT_EQ(ReadMap(Map()), Rows{c.filled});
        EXPECT_EQ(fresh.Lines().back(), c.line);
        EXPECT_FALSE(std::filesystem::exists(Map() + ".rm")) << "removed as an intermediate file";
        EXPECT_FALSE(std::filesystem::exists(Map() + "-int.tga"));
    }
}

TEST_F(RelaxFixture, ColumnsPullTowardsTheirEndsToo)
{
    // A hole column between 10 (bottom) and 40 (top), in a 1-pixel-wide map:
    // only the column pass reaches it.
    WriteMap({{10}, {0}, {0}, {40}});
    ASSERT_EQ(RelaxNoData(Map(), 1, keepUnfilled, window, cancelRequested), 0);
    // targets 20 and 30; one iteration moves each 10 % of the way, rounded.
    EXPECT_EQ(ReadMap(Map()), (Rows{{10}, {2}, {3}, {40}}));
}

TEST_F(RelaxFixture, LogsTheResidualEveryFifthIterationWithoutConverging)
{
    WriteMap({{100000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 900000}});
    ASSERT_EQ(RelaxNoData(Map(), 50, keepUnfilled, window, cancelRequested), 0);
    const std::vector<std::string> lines = IterationLines();
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[0].substr(0, 23), "Iteration  5: residual ");
    EXPECT_EQ(lines[9].substr(0, 23), "Iteration 50: residual ");
    const std::string value = lines[0].substr(23);
    EXPECT_EQ(value.size(), 7u) << "five decimals: " << value;
}

TEST_F(RelaxFixture, KeepsTheUnfilledMapAsBackupWhenAsked)
{
    keepUnfilled = true;
    WriteMap({{5, 0, 0, 0, 9}});
    ASSERT_EQ(RelaxNoData(Map(), 50, keepUnfilled, window, cancelRequested), 0);
    EXPECT_EQ(ReadMap(Map() + ".rm"), (Rows{{5, 0, 0, 0, 9}}));
    EXPECT_EQ(ReadMap(Map()), (Rows{{5, 2, 2, 2, 9}}));
}

TEST_F(RelaxFixture, CancelKeepsWhatWasReachedAndSucceeds)
{
    cancelRequested = true;
    WriteMap({{5, 0, 0, 0, 9}});
    ASSERT_EQ(RelaxNoData(Map(), 50, keepUnfilled, window, cancelRequested), 0);
    EXPECT_EQ(ReadMap(Map()), (Rows{{5, 0, 0, 0, 9}}));
    EXPECT_TRUE(IterationLines().empty());
}

TEST_F(RelaxFixture, FailuresLeaveTheHeightMapInPlace)
{
    EXPECT_EQ(RelaxNoData(Map(), 50, keepUnfilled, window, cancelRequested), 1);
    EXPECT_EQ(window.Lines().back(), "Could not open \"" + Map() + "\".");

    WriteMap({{5, 0, 9}});
    WriteFileBytes(Map() + ".rm", "left over");
    EXPECT_EQ(RelaxNoData(Map(), 50, keepUnfilled, window, cancelRequested), 4);
    EXPECT_EQ(window.Lines().back(), "Could not rename \"" + Map() + "\" to \"" + Map() + ".rm\".");
    EXPECT_EQ(ReadMap(Map()), (Rows{{5, 0, 9}}));
    EXPECT_EQ(ReadFileBytes(Map() + ".rm"), "left over") << "a rename never replaces";
    EXPECT_TRUE(std::filesystem::exists(Map() + "-int.tga"));
}

// Random maps with clustered holes, edge runs and negative heights must come
// out exactly as the straightforward whole-image scan makes them.
TEST_F(RelaxFixture, MatchesThePlainScanOnRandomMaps)
{
    std::mt19937 random(1234);
    for (int trial = 0; trial < 20; ++trial) {
        const int width = 1 + static_cast<int>(random() % 40);
        const int height = 1 + static_cast<int>(random() % 40);
        TGAFile source;
        ASSERT_EQ(source.Create(width, height), 0);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                source.SetValue(x, y, static_cast<int>(random() % 4000) - 500);
        const int holes = static_cast<int>(random() % 12);
        for (int h = 0; h < holes; ++h) {
            const int cx = static_cast<int>(random() % width), cy = static_cast<int>(random() % height);
            const int r = static_cast<int>(random() % 6);
            for (int y = cy - r; y <= cy + r; ++y)
                for (int x = cx - r; x <= cx + r; ++x)
                    source.SetValue(x, y, 0);
        }
        ASSERT_EQ(source.Write(Map()), 0);

        TGAFile expected;
        ASSERT_EQ(expected.Open(Map()), 0);
        const std::vector<std::string> expectedLines = RelaxNoDataReference(source, expected, 50);
        ASSERT_EQ(expected.Write(dir.File("expected.tga")), 0);

        RecordingWindow fresh;
        ASSERT_EQ(RelaxNoData(Map(), 50, keepUnfilled, fresh, cancelRequested), 0);
        std::vector<std::string> lines = fresh.Lines();
        lines.erase(lines.begin());
        EXPECT_EQ(lines, expectedLines) << "trial " << trial;
        EXPECT_EQ(ReadFileBytes(Map()), ReadFileBytes(dir.File("expected.tga"))) << "trial " << trial;
    }
}

} // namespace
