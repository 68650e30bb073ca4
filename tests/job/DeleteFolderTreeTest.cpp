#include "job/DeleteFolderTree.h"
#include "tests/support/RecordingWindow.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(DeleteFolderTree, RemovesNestedFoldersQuietly)
{
    TempDir folder;
    const auto tree = folder.Path() / "N39W099";
    std::filesystem::create_directories(tree / "info" / "deeper");
    WriteFileBytes((tree / "N39W099.bil").string(), "bil");
    WriteFileBytes((tree / "info" / "deeper" / "notes.txt").string(), "x");
    RecordingWindow window;
    EXPECT_EQ(DeleteFolderTree(tree.string(), window), 0);
    EXPECT_FALSE(std::filesystem::exists(tree));
    EXPECT_TRUE(window.Messages().empty());
}

TEST(DeleteFolderTree, AFolderThatCannotBeRemovedIsReportedInAMessage)
{
    TempDir folder;
    const std::string missing = folder.File("missing");
    RecordingWindow window;
    EXPECT_EQ(DeleteFolderTree(missing, window), 1);
    ASSERT_EQ(window.Messages().size(), 1u);
    EXPECT_EQ(window.Messages()[0].rfind("Error: " + missing + ":\n", 0), 0u) << window.Messages()[0];
    // The box keeps the information icon under its "Error" caption.
    EXPECT_EQ(window.MessageIcons(), std::vector<MessageIcon>{MessageIcon::Information});
}

} // namespace
