#include "core/FileReplacement.h"

#include "core/FileSystem.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <set>

namespace {

namespace fs = std::filesystem;

class FileReplacementTest : public ::testing::Test {
protected:
    void SetUp() override { WriteFileBytes(path_, "old contents"); }

    // Declared first: the paths below are made from it.
    TempDir dir_;
    const std::string path_ = dir_.File("result.tga");
    const std::string temporary_ = path_ + ".partial";
};

TEST_F(FileReplacementTest, CommittedWriteReplacesTheOldFileWhole)
{
    for (const FileReplacement::Sync sync : {FileReplacement::Sync::kNo, FileReplacement::Sync::kToDisk}) {
        WriteFileBytes(path_, "old contents");
        FileReplacement file(path_, temporary_);
        ASSERT_NE(file.Open(), nullptr);
        ASSERT_EQ(std::fputs("new", file.Stream()), 1);
        std::fflush(file.Stream());
        // Until the commit a reader sees the old file, the new one only under the temporary name.
        EXPECT_EQ(ReadFileBytes(path_), "old contents");
        EXPECT_EQ(ReadFileBytes(temporary_), "new");
        ASSERT_TRUE(file.Commit(true, sync));
        EXPECT_EQ(ReadFileBytes(path_), "new");
        EXPECT_FALSE(fs::exists(temporary_));
    }
    EXPECT_TRUE(FileReplacement(path_, temporary_).WriteWhole("whole", FileReplacement::Sync::kToDisk));
    EXPECT_EQ(ReadFileBytes(path_), "whole");
}

TEST_F(FileReplacementTest, FailedWriteLeavesTheOldFileAndNoTemporary)
{
    FileReplacement refused(path_, temporary_);
    std::fputs("half", refused.Open());
    EXPECT_FALSE(refused.Commit(false));
    EXPECT_EQ(ReadFileBytes(path_), "old contents");
    EXPECT_FALSE(fs::exists(temporary_));

    // A full disk that shows only when the buffered bytes are written out.
    FileReplacement full(path_, temporary_);
    std::FILE* stream = full.Open();
    ASSERT_NE(stream, nullptr);
    std::fputs("buffered", stream);
    const int devFull = ::open("/dev/full", O_WRONLY);
    ASSERT_GE(devFull, 0);
    ASSERT_GE(::dup2(devFull, fileno(stream)), 0);
    ::close(devFull);
    EXPECT_FALSE(full.Commit(true));
    EXPECT_EQ(full.Reason(), std::strerror(ENOSPC));
    EXPECT_EQ(ReadFileBytes(path_), "old contents");
    EXPECT_FALSE(fs::exists(temporary_));

    // A result's writer goes the same way.
    WriteFileBytes(FileReplacement::PartialNameFor(path_), "half");
    EXPECT_FALSE(FileReplacement::ForResult(path_).Commit(false));
    EXPECT_FALSE(fs::exists(temporary_));
}

TEST_F(FileReplacementTest, AbandonedWriterRemovesItsTemporaryAndAMovedOneKeepsIt)
{
    FileReplacement first(path_, temporary_);
    std::fputs("cancelled", first.Open());
    {
        FileReplacement moved(std::move(first));
        EXPECT_TRUE(fs::exists(temporary_));
    }
    EXPECT_FALSE(fs::exists(temporary_));
    EXPECT_EQ(ReadFileBytes(path_), "old contents");

    FileReplacement second(path_, temporary_);
    std::fputs("cancelled", second.Open());
    second.Abandon();
    EXPECT_FALSE(fs::exists(temporary_));
    EXPECT_FALSE(second.Commit(true));
    EXPECT_EQ(ReadFileBytes(path_), "old contents");
}

TEST_F(FileReplacementTest, PipeIsWrittenDirectlyAndNeverRemoved)
{
    const std::string pipe = dir_.File("pipe");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(FileReplacement::ForResult(pipe).WritingName(), pipe);
    {
        FileReplacement abandoned(pipe, pipe + ".partial");
        EXPECT_EQ(abandoned.WritingName(), pipe);
        ASSERT_NE(abandoned.Open(), nullptr);
    }
    FileReplacement file = FileReplacement::WithUniqueTemporary(pipe, ".partial-");
    EXPECT_TRUE(file.WriteWhole("through", FileReplacement::Sync::kToDisk));
    char bytes[16] = {};
    EXPECT_EQ(::read(reader, bytes, sizeof bytes), 7);
    EXPECT_STREQ(bytes, "through");
    ::close(reader);
    struct stat info {};
    ASSERT_EQ(::lstat(pipe.c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
    EXPECT_EQ(FilesUnder(dir_.Path()), (std::set<std::string>{"result.tga"}));
}

TEST_F(FileReplacementTest, UniqueTemporariesAreMadeAtOnceWithTheModeOfANewFile)
{
    const mode_t mask = ::umask(027);
    FileReplacement first = FileReplacement::WithUniqueTemporary(path_, ".partial-");
    FileReplacement second = FileReplacement::WithUniqueTemporary(path_, ".partial-");
    ::umask(mask);
    ASSERT_FALSE(first.Failed());
    EXPECT_NE(first.WritingName(), second.WritingName());
    EXPECT_EQ(first.WritingName().size(), path_.size() + std::string(".partial-XXXXXX").size());
    EXPECT_EQ(FilesUnder(dir_.Path()).size(), 3u);
    WriteFileBytes(first.WritingName(), "first");
    ASSERT_TRUE(first.Commit());
    EXPECT_EQ(fs::status(path_).permissions(), fs::perms(0640));

    FileReplacement nowhere = FileReplacement::WithUniqueTemporary(dir_.File("missing/x.png"), ".partial-");
    EXPECT_TRUE(nowhere.Failed());
    EXPECT_EQ(nowhere.Reason(), std::strerror(ENOENT));
    EXPECT_FALSE(nowhere.Commit(true));
}

}  // namespace
