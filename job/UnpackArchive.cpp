#include "job/UnpackArchive.h"

#include "core/FileHandle.h"
#include "core/FileSystem.h"
#include "core/LogSink.h"
#include "core/StringPrintf.h"
#include "job/InflateMember.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace {

struct ArchiveCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct MemberCloser {
    void operator()(zip_file_t* member) const { zip_fclose(member); }
};

uint64_t ReadLittle(const unsigned char* bytes, int count)
{
    uint64_t value = 0;
    for (int i = count; i-- > 0;)
        value = (value << 8) | bytes[i];
    return value;
}

// The member count that the archive's end record announces, read before the
// ZIP library parses (and allocates for) the whole directory. Empty when no
// end record is found; the library then judges the file.
std::optional<uint64_t> AnnouncedMemberCount(const std::string& path)
{
    FileHandle file(std::fopen(path.c_str(), "rb"));
    if (!file || std::fseek(file.get(), 0, SEEK_END) != 0)
        return std::nullopt;
    const long size = std::ftell(file.get());
    // The end record is 22 bytes plus a comment of at most 65,535 bytes; a
    // ZIP64 locator of 20 bytes may precede it.
    const long tail = std::min<long>(size, 22 + 65535 + 20);
    std::vector<unsigned char> bytes(static_cast<size_t>(tail));
    if (tail < 22 || std::fseek(file.get(), size - tail, SEEK_SET) != 0
        || std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
        return std::nullopt;
    for (long at = tail - 22; at >= 0; --at) {
        const unsigned char* end = bytes.data() + at;
        if (std::memcmp(end, "PK\5\6", 4) != 0)
            continue;
        const uint64_t count = ReadLittle(end + 10, 2);
        const unsigned char* locator = end - 20;
        if (count != 0xFFFF || at < 20 || std::memcmp(locator, "PK\6\7", 4) != 0)
            return count;
        unsigned char record[56];
        const auto offset = static_cast<long>(ReadLittle(locator + 8, 8));
        if (offset < 0 || std::fseek(file.get(), offset, SEEK_SET) != 0
            || std::fread(record, 1, sizeof record, file.get()) != sizeof record
            || std::memcmp(record, "PK\6\6", 4) != 0)
            return std::nullopt;
        return ReadLittle(record + 32, 8);
    }
    return std::nullopt;
}

bool IsSymbolicLink(zip_t* archive, zip_uint64_t index)
{
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) != 0)
        return false;
    return system == ZIP_OPSYS_UNIX && ((attributes >> 16) & S_IFMT) == S_IFLNK;
}

struct Member {
    zip_uint64_t index;
    std::string path;
};

enum class Extraction { Done, OverBudget, Failed };

// Writes one member; the file is opened without following a symbolic link
// that may stand at its name. What it wrote is removed when it fails.
Extraction ExtractMember(zip_t* archive, const Member& member, const std::filesystem::path& target,
                   unsigned long long& budget)
{
    std::unique_ptr<zip_file_t, MemberCloser> source(zip_fopen_index(archive, member.index, 0));
    if (!source)
        return Extraction::Failed;
    std::error_code ignored;
    std::filesystem::create_directories(target.parent_path(), ignored);
    const int descriptor = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    FileHandle out(descriptor >= 0 ? ::fdopen(descriptor, "wb") : nullptr);
    if (!out) {
        if (descriptor >= 0)
            ::close(descriptor);
        return Extraction::Failed;
    }
    InflatedMember content;
    if (InflateWholeMember(archive, member.index, budget, content)) {
        ReserveFileSpace(descriptor, content.size);
        const bool written = std::fwrite(content.bytes.get(), 1, content.size, out.get()) == content.size;
        if (std::fclose(out.release()) != 0 || !written) {
            RemovePartialFile(target);
            return Extraction::Failed;
        }
        budget -= content.size;
        return Extraction::Done;
    }
    char buffer[65536];
    zip_int64_t count;
    while ((count = zip_fread(source.get(), buffer, sizeof buffer)) > 0) {
        const bool overBudget = static_cast<unsigned long long>(count) > budget;
        if (overBudget
            || std::fwrite(buffer, 1, static_cast<size_t>(count), out.get()) != static_cast<size_t>(count)) {
            out.reset();
            RemovePartialFile(target);
            return overBudget ? Extraction::OverBudget : Extraction::Failed;
        }
        budget -= static_cast<unsigned long long>(count);
    }
    const bool closed = std::fclose(out.release()) == 0;
    if (count < 0 || !closed) {
        RemovePartialFile(target);
        return Extraction::Failed;
    }
    return Extraction::Done;
}

} // namespace

std::string SafeMemberPath(std::string name)
{
    for (char& c : name)
        if (c == '\\')
            c = '/';
    if (name.empty() || name[0] == '/' || (name.size() > 1 && name[1] == ':'))
        return {};
    bool namesSomething = false;
    for (const auto& part : std::filesystem::path(name)) {
        if (part == "..")
            return {};
        namesSomething = namesSomething || (!part.empty() && part != "." && part != "/");
    }
    // "." or "./" would be the folder itself, not a member in it.
    return namesSomething ? name : std::string();
}

int UnpackArchive(const std::string& archivePath, LogSink& log)
{
    auto fail = [&log](const std::string& line) {
        log.AddToLog("Error in UnpackArchive(): " + line);
        return 1;
    };
    const char* archiveName = archivePath.c_str();
    auto tooMany = [&](unsigned long long count) {
        return fail(StringPrintf("\"%s\" holds %llu members, more than the %d allowed.", archiveName, count,
                                 kMaxArchiveMembers));
    };
    if (const auto announced = AnnouncedMemberCount(archivePath); announced && *announced > kMaxArchiveMembers)
        return tooMany(*announced);

    int error = 0;
    std::unique_ptr<zip_t, ArchiveCloser> archive(zip_open(archiveName, ZIP_RDONLY, &error));
    if (!archive)
        return fail(StringPrintf("Could not open \"%s\" as a ZIP archive.", archiveName));
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    if (count > kMaxArchiveMembers)
        return tooMany(static_cast<unsigned long long>(count));

    // The whole directory is checked before anything is written.
    std::vector<Member> members;
    unsigned long long total = 0;
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        zip_stat_t info;
        zip_stat_init(&info);
        if (zip_stat_index(archive.get(), index, 0, &info) != 0 || !(info.valid & ZIP_STAT_NAME))
            return fail(StringPrintf("Could not read the directory of \"%s\".", archiveName));
        const bool encrypted = (info.valid & ZIP_STAT_ENCRYPTION_METHOD) && info.encryption_method != ZIP_EM_NONE;
        if (encrypted)
            continue;
        const std::string path = SafeMemberPath(info.name);
        if (path.empty())
            return fail(StringPrintf("Member \"%s\" of \"%s\" would land outside its folder.", info.name,
                                     archiveName));
        if (IsSymbolicLink(archive.get(), index))
            return fail(StringPrintf("Member \"%s\" of \"%s\" is a symbolic link.", info.name, archiveName));
        const unsigned long long size = (info.valid & ZIP_STAT_SIZE) ? info.size : 0;
        if (size > kMaxUnpackedBytes - total)
            return fail(StringPrintf("\"%s\" would unpack to more than %llu bytes.", archiveName, kMaxUnpackedBytes));
        total += size;
        members.push_back({index, path});
    }

    const std::filesystem::path folder = std::filesystem::absolute(archivePath).parent_path();
    // The sizes in the directory may lie; the budget holds while writing too.
    unsigned long long budget = kMaxUnpackedBytes;
    for (const Member& member : members) {
        const std::filesystem::path target = folder / member.path;
        if (member.path.back() == '/') {
            std::error_code failed;
            std::filesystem::create_directories(target, failed);
            if (failed)
                return fail(StringPrintf("Could not create the folder \"%s\".", target.c_str()));
            continue;
        }
        const Extraction extracted = ExtractMember(archive.get(), member, target, budget);
        if (extracted == Extraction::OverBudget)
            return fail(StringPrintf("\"%s\" unpacks to more than %llu bytes.", archiveName, kMaxUnpackedBytes));
        if (extracted == Extraction::Failed)
            return fail(StringPrintf("Could not extract \"%s\" from \"%s\".", target.c_str(), archiveName));
    }
    return 0;
}
