#include "job/UnpackArchive.h"

#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

struct Member {
    std::string name;
    std::string content;
    bool encrypted = false;
};

void MakeZip(const std::string& path, const std::vector<Member>& members)
{
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(archive, nullptr);
    for (const Member& member : members) {
        if (member.name.back() == '/') {
            zip_dir_add(archive, member.name.c_str(), ZIP_FL_ENC_UTF_8);
            continue;
        }
        zip_source_t* source = zip_source_buffer(archive, member.content.data(), member.content.size(), 0);
        const zip_int64_t index = zip_file_add(archive, member.name.c_str(), source, ZIP_FL_ENC_UTF_8);
        ASSERT_GE(index, 0) << member.name;
        if (member.encrypted)
            zip_file_set_encryption(archive, static_cast<zip_uint64_t>(index), ZIP_EM_AES_256, "secret");
    }
    ASSERT_EQ(zip_close(archive), 0);
}

TEST(UnpackArchive, ExtractsFoldersAndFilesBesideTheArchiveOverwriting)
{
    TempDir dir;
    std::filesystem::create_directories(dir.Path() / "B");
    WriteFileBytes(dir.File("B/B.hdr"), "old header, longer than the new one");
    MakeZip(dir.File("B.zip"), {{"B/", ""}, {"B/B.bil", std::string(8, '\x01')}, {"B/B.hdr", "NROWS 2"},
                                {"B/sub/deep.txt", "deep"}});
    ASSERT_EQ(UnpackArchive(dir.File("B.zip")), 0);
    EXPECT_EQ(ReadFileBytes(dir.File("B/B.bil")), std::string(8, '\x01'));
    EXPECT_EQ(ReadFileBytes(dir.File("B/B.hdr")), "NROWS 2");
    EXPECT_EQ(ReadFileBytes(dir.File("B/sub/deep.txt")), "deep");
}

TEST(UnpackArchive, SkipsEncryptedMembersAndNamesOutsideTheFolder)
{
    TempDir dir;
    std::filesystem::create_directories(dir.Path() / "job");
    MakeZip(dir.File("job/a.zip"), {{"../escaped.txt", "x"},
                                    {"/tmp/terrafetch-absolute-member.txt", "x"},
                                    {"B/../../escaped2.txt", "x"},
                                    {"B/secret.bil", "hidden", true},
                                    {"B/B.stx", "1 0 9 1 1"}});
    ASSERT_EQ(UnpackArchive(dir.File("job/a.zip")), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.File("escaped.txt")));
    EXPECT_FALSE(std::filesystem::exists(dir.File("escaped2.txt")));
    EXPECT_FALSE(std::filesystem::exists("/tmp/terrafetch-absolute-member.txt"));
    EXPECT_FALSE(std::filesystem::exists(dir.File("job/B/secret.bil")));
    EXPECT_EQ(ReadFileBytes(dir.File("job/B/B.stx")), "1 0 9 1 1");
}

TEST(UnpackArchive, DamagedOrMissingArchivesFail)
{
    TempDir dir;
    EXPECT_EQ(UnpackArchive(dir.File("missing.zip")), 1);
    WriteFileBytes(dir.File("html.zip"), "<HTML><BODY>Error</BODY></HTML>");
    EXPECT_EQ(UnpackArchive(dir.File("html.zip")), 1);

    MakeZip(dir.File("good.zip"), {{"B/B.bil", std::string(4000, 'a')}});
    std::string bytes = ReadFileBytes(dir.File("good.zip"));
    WriteFileBytes(dir.File("truncated.zip"), bytes.substr(0, bytes.size() / 2));
    EXPECT_EQ(UnpackArchive(dir.File("truncated.zip")), 1);
}

} // namespace
