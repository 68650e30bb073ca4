#include "region/RegionQuads.h"

#include <gtest/gtest.h>

#include <set>

namespace {

std::vector<std::string> Names(const std::vector<QuadCorner>& quads, double size)
{
    std::vector<std::string> names;
    const int decimals = QuadNameDecimals(quads, size);
    for (const QuadCorner& quad : quads)
        names.push_back(QuadFolderName(quad, decimals));
    return names;
}

TEST(RegionQuads, ABoxIsCoveredByGridQuadsRowByRowFromTheNorthWest)
{
    RegionBox box;
    std::string error;
    ASSERT_TRUE(ParseRegionBox("-99,39,-98.5,39.5", box, error)) << error;
    EXPECT_EQ(CountQuadsCoveringBox(box, 0.25), 4);
    EXPECT_EQ(Names(QuadsCoveringBox(box, 0.25), 0.25),
              (std::vector<std::string>{"N39.50W099.00", "N39.50W098.75", "N39.25W099.00", "N39.25W098.75"}));

    // A box off the grid takes every quad it touches, and only those.
    ASSERT_TRUE(ParseRegionBox("-98.9,39.05,-98.6,39.3", box, error)) << error;
    EXPECT_EQ(Names(QuadsCoveringBox(box, 0.25), 0.25),
              (std::vector<std::string>{"N39.50W099.00", "N39.50W098.75", "N39.25W099.00", "N39.25W098.75"}));
    ASSERT_TRUE(ParseRegionBox("-99,39.7,-98.8,40", box, error)) << error;
    const auto tenths = QuadsCoveringBox(box, 0.1);
    EXPECT_EQ(Names(tenths, 0.1), (std::vector<std::string>{"N40.00W099.00", "N40.00W098.90", "N39.90W099.00",
                                                             "N39.90W098.90", "N39.80W099.00", "N39.80W098.90"}));
    EXPECT_EQ(tenths[5].north, 39.8);  // multiples of 0.1 do not drift
}

TEST(RegionQuads, FolderNamesSortAndSayTheHemispheres)
{
    EXPECT_EQ(QuadFolderName({120, -5.5}, 2), "S05.50E120.00");
    EXPECT_EQ(QuadFolderName({-0.0, 0.0}, 2), "N00.00E000.00");
    EXPECT_EQ(QuadFolderName({-98.25, 39.75}, 2), "N39.75W098.25");
    // The finest size and odd corners of a list get the digits they need.
    EXPECT_EQ(QuadNameDecimals({{-99, 40}}, 0.025), 3);
    EXPECT_EQ(Names({{-99.0625, 40}}, 0.25), std::vector<std::string>{"N40.0000W099.0625"});
}

TEST(RegionQuads, BadBoxesAreRefusedWithTheReason)
{
    RegionBox box;
    std::string error;
    for (const char* text : {"-99,39,-98.5", "-99,39,-98.5,39.5,1", "a,39,-98.5,39.5", "-99,39,-98.5,"}) {
        EXPECT_FALSE(ParseRegionBox(text, box, error)) << text;
        EXPECT_NE(error.find("--region"), std::string::npos);
    }
    EXPECT_FALSE(ParseRegionBox("-98,39,-99,40", box, error));
    EXPECT_NE(error.find("west edge must lie west"), std::string::npos);
    EXPECT_FALSE(ParseRegionBox("-99,40,-98,40", box, error));
    EXPECT_NE(error.find("south edge must lie south"), std::string::npos);
    EXPECT_FALSE(ParseRegionBox("-181,39,-98,40", box, error));
    EXPECT_FALSE(ParseRegionBox("-99,39,-98,91", box, error));
    // The count comes before any quad is made, so a continent is cheap to refuse.
    ASSERT_TRUE(ParseRegionBox("-125,25,-65,50", box, error));
    EXPECT_EQ(CountQuadsCoveringBox(box, 0.025), 2400.0 * 1000.0);
}

TEST(RegionQuads, AQuadsFileNamesTheLineThatIsWrong)
{
    std::vector<QuadCorner> quads;
    std::string error;
    ASSERT_TRUE(ParseQuadsText("# my county\n-99 40\n\n  -98.75\t40 # the next\n", "q.txt", quads, error)) << error;
    ASSERT_EQ(quads.size(), 2u);
    EXPECT_EQ(quads[1].west, -98.75);

    EXPECT_FALSE(ParseQuadsText("-99 40\n-98 forty\n", "q.txt", quads, error));
    EXPECT_NE(error.find("\"q.txt\", line 2"), std::string::npos) << error;
    EXPECT_FALSE(ParseQuadsText("-99 40 7\n", "q.txt", quads, error));
    EXPECT_NE(error.find("line 1"), std::string::npos);
    EXPECT_FALSE(ParseQuadsText("-99\n", "q.txt", quads, error));
    EXPECT_FALSE(ParseQuadsText("-99 95\n", "q.txt", quads, error));
    EXPECT_FALSE(ParseQuadsText("-99 40\n#\n-99.0 40.000\n", "q.txt", quads, error));
    EXPECT_NE(error.find("line 3: the quad -99.0 40.000 is listed twice"), std::string::npos) << error;
    EXPECT_FALSE(ParseQuadsText("# nothing\n\n", "q.txt", quads, error));
    EXPECT_NE(error.find("lists no quad"), std::string::npos);
    EXPECT_FALSE(ReadQuadsFile("/nonexistent/q.txt", quads, error));
}

TEST(RegionQuads, ShardsTakeEveryQuadExactlyOnce)
{
    RegionBox box{-99, 39, -98, 40};
    const auto quads = QuadsCoveringBox(box, 0.1);
    ASSERT_EQ(quads.size(), 100u);
    std::set<std::string> seen;
    size_t taken = 0;
    for (int k = 0; k < 3; ++k)
        for (const QuadCorner& quad : QuadsOfShard(quads, {k, 3})) {
            seen.insert(QuadFolderName(quad, 2));
            ++taken;
        }
    EXPECT_EQ(taken, 100u);
    EXPECT_EQ(seen.size(), 100u);
    EXPECT_EQ(QuadsOfShard(quads, {1, 3}).front(), quads[1]);
    EXPECT_EQ(QuadsOfShard(quads, {0, 200}).size(), 1u);

    Shard shard;
    std::string error;
    EXPECT_TRUE(ParseShard("3/4", shard, error));
    EXPECT_EQ(shard.index, 3);
    for (const char* text : {"4/4", "0/0", "-1/2", "1", "1/2/3", "a/2", "0.5/2"})
        EXPECT_FALSE(ParseShard(text, shard, error)) << text;
}

} // namespace
