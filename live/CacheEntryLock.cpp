#include "live/CacheEntryLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>

namespace fs = std::filesystem;

namespace {

// The entries some thread of this process holds or is locking.
struct HeldEntries {
    std::mutex mutex;
    std::condition_variable released;
    std::set<std::string> keys;
};

HeldEntries& Held()
{
    static HeldEntries held;
    return held;
}

std::string KeyOf(const std::string& path)
{
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error);
    return error ? path : absolute.lexically_normal().string();
}

bool AskedToStop(const CacheLockWait& wait) { return wait.cancelled && wait.cancelled(); }

}  // namespace

CacheEntryLock::CacheEntryLock(const std::string& entryPath, const CacheLockWait& wait)
    : key_(KeyOf(entryPath)), lockPath_(LockFileFor(entryPath))
{
    const auto deadline = std::chrono::steady_clock::now() + wait.patience;
    if (!WaitInProcess(wait, deadline))
        return;
    state_ = LockFile(wait, deadline);
    // A caller that gave up or has no lock file goes on, still apart from
    // this process's other threads; a cancelled one keeps nobody waiting.
    if (state_ == State::kCancelled)
        Release();
}

CacheEntryLock::~CacheEntryLock() { Release(); }

// Opens the lock file, making its folder when there is none yet; the
// folders made are noted (deepest first) so that they go again when nothing
// was stored in them.
int CacheEntryLock::OpenLockFile()
{
    constexpr int kTries = 3;  // another lock may remove a folder it made just as this one makes it
    int fd = ::open(lockPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    for (int i = 0; fd < 0 && errno == ENOENT && i < kTries; ++i) {
        std::error_code error;
        for (fs::path folder = fs::path(lockPath_).parent_path(); !folder.empty() && !fs::exists(folder, error);
             folder = folder.parent_path())
            madeFolders_.push_back(folder.string());
        fs::create_directories(fs::path(lockPath_).parent_path(), error);
        fd = ::open(lockPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    }
    return fd;
}

void CacheEntryLock::Release()
{
    // Removed while still held, so nobody can be holding the file that goes.
    if (fd_ >= 0 && state_ == State::kHeld)
        ::unlink(lockPath_.c_str());
    // A folder made for the lock stays only when an entry was stored in it
    // (or another lock file came meanwhile; an empty folder is harmless).
    for (const std::string& folder : madeFolders_)
        if (::rmdir(folder.c_str()) != 0)
            break;
    madeFolders_.clear();
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (registered_) {
        HeldEntries& held = Held();
        {
            std::lock_guard lock(held.mutex);
            held.keys.erase(key_);
        }
        held.released.notify_all();
        registered_ = false;
    }
}

bool CacheEntryLock::WaitInProcess(const CacheLockWait& wait, std::chrono::steady_clock::time_point deadline)
{
    HeldEntries& held = Held();
    std::unique_lock lock(held.mutex);
    while (held.keys.count(key_) != 0) {
        if (AskedToStop(wait)) {
            state_ = State::kCancelled;
            return false;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            state_ = State::kGaveUp;
            return false;
        }
        held.released.wait_for(lock, wait.poll);
    }
    held.keys.insert(key_);
    registered_ = true;
    return true;
}

CacheEntryLock::State CacheEntryLock::LockFile(const CacheLockWait& wait,
                                               std::chrono::steady_clock::time_point deadline)
{
    for (;;) {
        if (fd_ < 0 && (fd_ = OpenLockFile()) < 0)
            return State::kUnavailable;
        if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
            if (StillNamed())
                return State::kHeld;
            // Its holder removed the file as we got it: lock the one the name leads to now.
            ::close(fd_);
            fd_ = -1;
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK)
            return State::kUnavailable;
        if (AskedToStop(wait))
            return State::kCancelled;
        if (std::chrono::steady_clock::now() >= deadline)
            return State::kGaveUp;
        std::this_thread::sleep_for(wait.poll);
    }
}

// Whether the lock file's name still leads to the file this lock holds.
bool CacheEntryLock::StillNamed() const
{
    struct stat locked {};
    struct stat named {};
    return ::fstat(fd_, &locked) == 0 && ::stat(lockPath_.c_str(), &named) == 0 && locked.st_dev == named.st_dev &&
           locked.st_ino == named.st_ino;
}
