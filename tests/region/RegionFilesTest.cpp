#include "region/QuadMarker.h"
#include "region/RegionRecord.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(QuadMarker, AFinishedQuadListsItsFilesAndIsCheckedAgainstThem)
{
    TempDir folder;
    WriteFileBytes(folder.File("a_el.tga"), std::string(100, 'x'));
    WriteFileBytes(folder.File("job.log"), "log\n");
    const std::string quad = folder.Path().string();
    EXPECT_EQ(CheckQuad(quad).state, QuadState::kUnfinished);
    EXPECT_EQ(CheckQuad(folder.File("none")).state, QuadState::kNotStarted);

    std::string error;
    ASSERT_TRUE(MarkQuadFinished(quad, "size=0.25; z-scale=0.02", 7, error)) << error;
    QuadCheck check = CheckQuad(quad);
    ASSERT_EQ(check.state, QuadState::kFinished) << check.detail;
    EXPECT_EQ(check.marker.options, "size=0.25; z-scale=0.02");
    EXPECT_EQ(check.marker.voids, 7);
    ASSERT_EQ(check.marker.files.size(), 2u);
    EXPECT_EQ(check.marker.files[0].name, "a_el.tga");
    EXPECT_FALSE(std::filesystem::exists(folder.File(std::string(kQuadMarkerName) + ".partial")));

    // A file cut short or gone undoes the finish.
    WriteFileBytes(folder.File("a_el.tga"), std::string(99, 'x'));
    EXPECT_EQ(CheckQuad(quad).state, QuadState::kFilesChanged);
    std::filesystem::remove(folder.File("a_el.tga"));
    EXPECT_EQ(CheckQuad(quad).state, QuadState::kFilesChanged);
}

TEST(QuadMarker, ADamagedMarkIsNoFinish)
{
    QuadMarker marker{"size=1", 3, {{"x_el.tga", 12}, {"with space.txt", 4}}};
    const std::string text = QuadMarkerText(marker);
    QuadMarker read;
    ASSERT_TRUE(ParseQuadMarker(text, read));
    EXPECT_EQ(read.files[1].name, "with space.txt");
    // Cut anywhere before its last line, the mark is not sound.
    for (size_t length = 0; length < text.size() - 1; ++length)
        EXPECT_FALSE(ParseQuadMarker(text.substr(0, length), read)) << length;
    EXPECT_FALSE(ParseQuadMarker(text + "more\n", read));
    std::string escaping = text;
    escaping.replace(escaping.find("x_el.tga"), 8, "../../etc");
    EXPECT_FALSE(ParseQuadMarker(escaping, read));

    TempDir folder;
    WriteFileBytes(folder.File(kQuadMarkerName), text.substr(0, text.size() / 2));
    const QuadCheck check = CheckQuad(folder.Path().string());
    EXPECT_EQ(check.state, QuadState::kUnfinished);
    EXPECT_NE(check.detail.find("damaged"), std::string::npos);
}

TEST(RegionRecord, LinesAreAppendedAndDamagedOnesCounted)
{
    TempDir folder;
    const RegionRecord record(folder.File(RegionRecordName({})));
    std::string error;
    ASSERT_TRUE(record.Append({"N40.00W099.00", "started", 0, 0, "2026-12-10T09:00:00Z", 0, ""}, error)) << error;
    ASSERT_TRUE(record.Append({"N40.00W099.00", "failed", 5, 1.25, "2026-12-10T09:00:01Z", 0,
                               "Error:\tStatus Code is 400\n(refused)"},
                              error));
    std::vector<RecordEntry> entries;
    int damaged = -1;
    ASSERT_TRUE(record.Load(entries, damaged));
    EXPECT_EQ(damaged, 0);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[1].exitStatus, 5);
    EXPECT_EQ(entries[1].cause, "Error: Status Code is 400 (refused)");

    // A line cut by a kill, and one that is no entry at all.
    std::string text = ReadFileBytes(record.Path());
    WriteFileBytes(record.Path(), text + "garbage line\nN39.75W099.00\tdone\t0\t1");
    ASSERT_TRUE(record.Load(entries, damaged));
    EXPECT_EQ(damaged, 2);
    EXPECT_EQ(entries.size(), 2u);
    ASSERT_TRUE(record.Rewrite(entries, error)) << error;
    ASSERT_TRUE(record.Load(entries, damaged));
    EXPECT_EQ(damaged, 0);
    EXPECT_EQ(entries.size(), 2u);

    EXPECT_EQ(RegionRecordName({1, 4}), "region-record-shard-1-of-4.tsv");
}

} // namespace
