#include "core/FileReplacement.h"

#include "core/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

namespace {

constexpr int kUniqueNameTries = 100;

std::string RandomLetters(size_t count)
{
    static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    thread_local std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<size_t> pick(0, sizeof kLetters - 2);
    std::string letters(count, ' ');
    for (char& letter : letters)
        letter = kLetters[pick(generator)];
    return letters;
}

bool SyncDescriptorOf(const std::string& path, int flags)
{
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | flags);
    if (descriptor < 0)
        return false;
    const bool synced = ::fsync(descriptor) == 0;
    ::close(descriptor);
    return synced;
}

std::string FolderOf(const std::string& path)
{
    const std::string folder = std::filesystem::path(path).parent_path().string();
    return folder.empty() ? "." : folder;
}

}  // namespace

FileReplacement::FileReplacement(std::string path, std::string temporary)
    : path_(std::move(path)), writing_(WritesInPlace(path_) ? path_ : std::move(temporary))
{
}

FileReplacement FileReplacement::WithUniqueTemporary(std::string path, const std::string& prefix)
{
    if (WritesInPlace(path))
        return FileReplacement(path, path);
    FileReplacement replacement(path, std::string());
    for (int i = 0; i < kUniqueNameTries; ++i) {
        replacement.writing_ = path + prefix + RandomLetters(6);
        // Created exclusively, with the mode the umask gives a new file.
        const int descriptor = ::open(replacement.writing_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (descriptor >= 0) {
            ::close(descriptor);
            return replacement;
        }
        if (errno != EEXIST)
            break;
    }
    replacement.Fail();
    replacement.finished_ = true;  // nothing of ours is there to remove
    return replacement;
}

FileReplacement FileReplacement::ForResult(std::string path)
{
    std::string temporary = PartialNameFor(path);
    return FileReplacement(std::move(path), std::move(temporary));
}

FileReplacement::~FileReplacement() { Abandon(); }

FileReplacement::FileReplacement(FileReplacement&& other) noexcept
    : path_(std::move(other.path_)),
      writing_(std::move(other.writing_)),
      stream_(std::move(other.stream_)),
      finished_(other.finished_),
      error_(other.error_)
{
    other.finished_ = true;
}

bool FileReplacement::WritesInPlace(const std::string& path)
{
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode);
}

std::FILE* FileReplacement::Open()
{
    if (!stream_ && !finished_) {
        stream_ = OpenFile(writing_.c_str(), "wb");
        if (!stream_)
            Fail();
    }
    return stream_.get();
}

bool FileReplacement::Close()
{
    if (stream_ && !CloseFile(stream_))
        return Fail();
    return !Failed();
}

bool FileReplacement::Commit(bool written, Sync sync)
{
    if (finished_)
        return false;
    bool whole = written && !Failed();
    if (stream_ && !CloseFile(stream_) && whole)
        whole = Fail();
    finished_ = true;
    if (writing_ == path_)
        return whole;
    // The bytes reach the disk before the new name does, so that after a
    // crash the name holds the old file or the new one, never an empty one.
    if (whole && sync == Sync::kToDisk && !SyncDescriptorOf(writing_, 0))
        whole = Fail();
    if (whole && std::rename(writing_.c_str(), path_.c_str()) != 0)
        whole = Fail();
    if (!whole) {
        RemovePartialFile(writing_);
        return false;
    }
    // The file stands whole under its name now, so a folder that cannot be
    // synced does not make the write a failure.
    if (sync == Sync::kToDisk)
        SyncDescriptorOf(FolderOf(path_), O_DIRECTORY);
    return true;
}

bool FileReplacement::WriteWhole(const std::string& bytes, Sync sync)
{
    std::FILE* file = Open();
    const bool written = file && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (file && !written)
        Fail();
    return Commit(written, sync);
}

void FileReplacement::Abandon()
{
    if (finished_)
        return;
    stream_.reset();
    finished_ = true;
    if (writing_ != path_)
        RemovePartialFile(writing_);
}

std::string FileReplacement::Reason() const { return error_ != 0 ? std::strerror(error_) : std::string(); }

bool FileReplacement::Fail()
{
    if (error_ == 0)
        error_ = errno != 0 ? errno : EIO;
    return false;
}
