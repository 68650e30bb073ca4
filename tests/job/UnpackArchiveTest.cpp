#include "job/UnpackArchive.h"

#include "tests/support/RecordingWindow.h"

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
    bool symbolicLink = false;
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
        if (member.symbolicLink)
            zip_file_set_external_attributes(archive, static_cast<zip_uint64_t>(index), 0, ZIP_OPSYS_UNIX,
                                             (0120777u) << 16);
    }
    ASSERT_EQ(zip_close(archive), 0);
}

// The unpack step with its log kept.
int Unpack(const std::string& archive, RecordingWindow* log = nullptr)
{
    RecordingWindow own;
    return UnpackArchive(archive, log ? *log : own);
}

TEST(UnpackArchive, ExtractsFoldersAndFilesBesideTheArchiveOverwriting)
{
    TempDir dir;
    std::filesystem::create_directories(dir.Path() / "B");
    WriteFileBytes(dir.File("B/B.hdr"), "old header, longer than the new one");
    MakeZip(dir.File("B.zip"), {{"B/", ""}, {"B/B.bil", std::string(8, '\x01')}, {"B/B.hdr", "NROWS 2"},
                                {"B/sub/deep.txt", "deep"}});
    ASSERT_EQ(Unpack(dir.File("B.zip")), 0);
    EXPECT_EQ(ReadFileBytes(dir.File("B/B.bil")), std::string(8, '\x01'));
    EXPECT_EQ(ReadFileBytes(dir.File("B/B.hdr")), "NROWS 2");
    EXPECT_EQ(ReadFileBytes(dir.File("B/sub/deep.txt")), "deep");
}

TEST(UnpackArchive, SkipsEncryptedMembers)
{
    TempDir dir;
    std::filesystem::create_directories(dir.Path() / "job");
    MakeZip(dir.File("job/a.zip"), {{"B/secret.bil", "hidden", true}, {"B/B.stx", "1 0 9 1 1"}});
    ASSERT_EQ(Unpack(dir.File("job/a.zip")), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.File("job/B/secret.bil")));
    EXPECT_EQ(ReadFileBytes(dir.File("job/B/B.stx")), "1 0 9 1 1");
}

TEST(UnpackArchive, WindowsFolderSeparatorsMakeFolders)
{
    TempDir dir;
    MakeZip(dir.File("B.zip"), {{"B\\B.bil", "raster"}, {"B\\sub\\B.hdr", "NROWS 2"}});
    ASSERT_EQ(Unpack(dir.File("B.zip")), 0);
    EXPECT_EQ(ReadFileBytes(dir.File("B/B.bil")), "raster");
    EXPECT_EQ(ReadFileBytes(dir.File("B/sub/B.hdr")), "NROWS 2");
}

// Every hostile archive is refused from its directory: nothing at all is
// written, inside the folder or outside it.
TEST(UnpackArchive, HostileArchivesAreRefusedBeforeAnythingIsWritten)
{
    const struct {
        const char* name;
        std::vector<Member> members;
        std::string line;  // after "Error in UnpackArchive(): " and the archive's name
    } cases[] = {
        {"parent", {{"B/B.bil", "x"}, {"../escaped.txt", "x"}}, "would land outside its folder."},
        {"deep parent", {{"B/../../escaped.txt", "x"}}, "would land outside its folder."},
        {"windows parent", {{"B\\..\\..\\escaped.txt", "x"}}, "would land outside its folder."},
        {"absolute", {{"/tmp/terrafetch-absolute-member.txt", "x"}}, "would land outside its folder."},
        {"windows absolute", {{"\\escaped.txt", "x"}}, "would land outside its folder."},
        {"drive letter", {{"C:\\escaped.txt", "x"}}, "would land outside its folder."},
        {"symbolic link", {{"B/B.bil", "/etc/passwd", false, true}}, "is a symbolic link."},
        // Names of slashes only or the folder itself: no file may be made for them, not even briefly.
        {"root", {{"B/B.bil", "x"}, {"/", "x"}}, "would land outside its folder."},
        {"slashes", {{"///", "x"}}, "would land outside its folder."},
        {"the folder itself", {{"./", "x"}}, "would land outside its folder."},
        {"dot", {{".", "x"}}, "would land outside its folder."},
    };
    for (const auto& c : cases) {
        TempDir dir;
        std::filesystem::create_directories(dir.Path() / "job");
        MakeZip(dir.File("job/a.zip"), c.members);
        RecordingWindow log;
        EXPECT_EQ(Unpack(dir.File("job/a.zip"), &log), 1) << c.name;
        ASSERT_FALSE(log.Lines().empty()) << c.name;
        EXPECT_EQ(log.Lines().back().rfind("Error in UnpackArchive(): Member \"", 0), 0u) << c.name;
        EXPECT_NE(log.Lines().back().find("\"" + dir.File("job/a.zip") + "\" " + c.line), std::string::npos)
            << c.name << ": " << log.Lines().back();
        EXPECT_FALSE(std::filesystem::exists(dir.File("escaped.txt"))) << c.name;
        EXPECT_FALSE(std::filesystem::exists(dir.File("job/B"))) << c.name;
    }
    EXPECT_FALSE(std::filesystem::exists("/tmp/terrafetch-absolute-member.txt"));
}

TEST(UnpackArchive, MemberCountAndTotalSizeAreBounded)
{
    TempDir dir;
    std::vector<Member> many;
    for (int i = 0; i <= kMaxArchiveMembers; ++i)
        many.push_back({"B/m" + std::to_string(i), ""});
    MakeZip(dir.File("many.zip"), many);
    RecordingWindow log;
    EXPECT_EQ(Unpack(dir.File("many.zip"), &log), 1);
    EXPECT_EQ(log.Lines().back(), "Error in UnpackArchive(): \"" + dir.File("many.zip") + "\" holds "
                                      + std::to_string(kMaxArchiveMembers + 1) + " members, more than the "
                                      + std::to_string(kMaxArchiveMembers) + " allowed.");
    EXPECT_FALSE(std::filesystem::exists(dir.File("B")));

    // Zeros compress a thousandfold: a small archive that claims more than
    // the limit is refused from its directory.
    const std::string zeros((kMaxUnpackedBytes / 2) + 1, '\0');
    MakeZip(dir.File("bomb.zip"), {{"B/a.bil", zeros}, {"B/b.bil", zeros}});
    EXPECT_LT(std::filesystem::file_size(dir.File("bomb.zip")), 1u << 20);
    EXPECT_EQ(Unpack(dir.File("bomb.zip"), &log), 1);
    EXPECT_EQ(log.Lines().back(), "Error in UnpackArchive(): \"" + dir.File("bomb.zip")
                                      + "\" would unpack to more than " + std::to_string(kMaxUnpackedBytes)
                                      + " bytes.");
    EXPECT_FALSE(std::filesystem::exists(dir.File("B")));
}

TEST(UnpackArchive, DamagedOrMissingArchivesFail)
{
    TempDir dir;
    EXPECT_EQ(Unpack(dir.File("missing.zip")), 1);
    WriteFileBytes(dir.File("html.zip"), "<HTML><BODY>Error</BODY></HTML>");
    EXPECT_EQ(Unpack(dir.File("html.zip")), 1);

    MakeZip(dir.File("good.zip"), {{"B/B.bil", std::string(4000, 'a')}});
    std::string bytes = ReadFileBytes(dir.File("good.zip"));
    WriteFileBytes(dir.File("truncated.zip"), bytes.substr(0, bytes.size() / 2));
    RecordingWindow log;
    EXPECT_EQ(Unpack(dir.File("truncated.zip"), &log), 1);
    EXPECT_EQ(log.Lines().back().rfind("Error in UnpackArchive(): ", 0), 0u);
}

// A member's compressed bytes damaged in the middle: whichever way it is
// inflated, it fails as a failed extraction and leaves nothing behind.
TEST(UnpackArchive, DamagedMemberDataFailsAndLeavesNoFile)
{
    TempDir dir;
    std::string content;
    for (int i = 0; i < 200000; ++i)
        content += static_cast<char>((i * 7919) % 251);
    MakeZip(dir.File("good.zip"), {{"B/B.bil", content}});
    ASSERT_EQ(Unpack(dir.File("good.zip")), 0);
    EXPECT_EQ(ReadFileBytes(dir.File("B/B.bil")), content);

    std::string bytes = ReadFileBytes(dir.File("good.zip"));
    // The local header is 30 bytes, then the name and the extra field.
    const size_t data = 30 + static_cast<uint8_t>(bytes[26]) + static_cast<uint8_t>(bytes[28]);
    bytes[data + 200] = static_cast<char>(bytes[data + 200] ^ 0x5a);
    bytes[data + 201] = static_cast<char>(bytes[data + 201] ^ 0xa5);
    std::filesystem::create_directory(dir.File("damaged"));
    WriteFileBytes(dir.File("damaged/damaged.zip"), bytes);
    RecordingWindow log;
    EXPECT_EQ(Unpack(dir.File("damaged/damaged.zip"), &log), 1);
    EXPECT_NE(log.Lines().back().find("Could not extract"), std::string::npos) << log.Lines().back();
    EXPECT_FALSE(std::filesystem::exists(dir.File("damaged/B/B.bil")));
}

} // namespace
