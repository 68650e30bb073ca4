#include "job/UnpackArchive.h"

#include "job/FileSystem.h"

#include <zip.h>

#include <cstdio>
#include <filesystem>
#include <memory>

namespace {

struct ArchiveCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct MemberCloser {
    void operator()(zip_file_t* member) const { zip_fclose(member); }
};
struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

bool ExtractMember(zip_t* archive, zip_uint64_t index, const std::filesystem::path& target,
                   unsigned long long& budget)
{
    std::unique_ptr<zip_file_t, MemberCloser> member(zip_fopen_index(archive, index, 0));
    if (!member)
        return false;
    std::error_code ignored;
    std::filesystem::create_directories(target.parent_path(), ignored);
    std::unique_ptr<std::FILE, FileCloser> out(std::fopen(target.c_str(), "wb"));
    if (!out)
        return false;
    char buffer[65536];
    zip_int64_t count;
    while ((count = zip_fread(member.get(), buffer, sizeof buffer)) > 0) {
        if (static_cast<unsigned long long>(count) > budget
            || std::fwrite(buffer, 1, static_cast<size_t>(count), out.get()) != static_cast<size_t>(count)) {
            out.reset();
            RemovePartialFile(target);
            return false;
        }
        budget -= static_cast<unsigned long long>(count);
    }
    const bool closed = std::fclose(out.release()) == 0;
    if (count < 0 || !closed) {
        RemovePartialFile(target);
        return false;
    }
    return true;
}

} // namespace

bool IsSafeMemberName(const std::string& name)
{
    if (name.empty() || name[0] == '/' || name[0] == '\\')
        return false;
    for (const auto& part : std::filesystem::path(name))
        if (part == "..")
            return false;
    return name.find('\\') == std::string::npos;
}

int UnpackArchive(const std::string& archivePath)
{
    int error = 0;
    std::unique_ptr<zip_t, ArchiveCloser> archive(zip_open(archivePath.c_str(), ZIP_RDONLY, &error));
    if (!archive)
        return 1;
    const std::filesystem::path folder = std::filesystem::absolute(archivePath).parent_path();
    unsigned long long budget = kMaxUnpackedBytes;
    const zip_int64_t count = zip_get_num_entries(archive.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t info;
        zip_stat_init(&info);
        if (zip_stat_index(archive.get(), static_cast<zip_uint64_t>(i), 0, &info) != 0 || !(info.valid & ZIP_STAT_NAME))
            return 1;
        const std::string name = info.name;
        const bool encrypted = (info.valid & ZIP_STAT_ENCRYPTION_METHOD) && info.encryption_method != ZIP_EM_NONE;
        if (encrypted || !IsSafeMemberName(name))
            continue;
        const std::filesystem::path target = folder / name;
        if (name.back() == '/') {
            std::error_code failed;
            std::filesystem::create_directories(target, failed);
            if (failed)
                return 1;
            continue;
        }
        if (!ExtractMember(archive.get(), static_cast<zip_uint64_t>(i), target, budget))
            return 1;
    }
    return 0;
}
