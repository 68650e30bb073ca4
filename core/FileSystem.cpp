#include "core/FileSystem.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

bool RenameNoReplace(const std::string& from, const std::string& to)
{
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // File systems without RENAME_NOREPLACE: a hard link fails on an existing name.
    if (link(from.c_str(), to.c_str()) != 0)
        return false;
    return unlink(from.c_str()) == 0;
}

bool FileExists(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0;
}

void RemovePartialFile(const std::string& path)
{
    struct stat info {};
    if (lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode))
        unlink(path.c_str());
}

void ReserveFileSpace(int descriptor, unsigned long long bytes)
{
    if (bytes > 0)
        (void)fallocate(descriptor, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(bytes));
}

std::string ExecutableFolder()
{
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : program.parent_path().string();
}
