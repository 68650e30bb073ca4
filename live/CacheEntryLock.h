#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

// How long and on what terms a caller waits for an entry's lock.
struct CacheLockWait {
    // Asked between tries; true ends the wait at once. It must be quick and
    // take no cache lock itself.
    std::function<bool()> cancelled;
    // After this long the caller goes on without the lock: a holder that
    // has not finished by then is stuck, and fetching the entry a second
    // time costs a download, never a damaged file (entries are renamed
    // into place whole).
    std::chrono::milliseconds patience = std::chrono::minutes(20);
    // How often a held lock is tried again.
    std::chrono::milliseconds poll{20};
};

// An exclusive lock on one entry of the live cache, held for the life of
// the object, between processes sharing the cache folder and between
// threads of one process. Callers look in the cache, take the lock when the
// entry is missing, look again (another holder may have stored it while
// they waited) and only then fetch and store it.
//
// The lock is an advisory flock() on a small file beside the entry, its
// name with ".lock" added; no reader of the cache takes that for an entry
// and the cache sweep leaves it alone. The holder removes the file as it
// lets go, so the cache keeps no lock files; a waiter that then gets the
// lock of a removed file notices (the name no longer leads to the file it
// locked) and locks the new one. A process killed while holding leaves an
// empty lock file that the next holder removes. A folder made for a lock
// file is removed again when nothing was stored in it. Within one process a
// registry of held entries keeps threads apart as well, so that the lock
// does not depend on how a network file system maps flock().
//
// Waiting polls: it ends when the lock is got, when `cancelled` says so, or
// after the patience, whichever comes first.
class CacheEntryLock {
public:
    enum class State {
        kHeld,         // this caller alone may fetch and store the entry
        kCancelled,    // the wait was cancelled: fetch nothing
        kGaveUp,       // the patience ran out: go on without the lock
        kUnavailable,  // no lock file can be made (a read-only cache): go on
    };

    CacheEntryLock(const std::string& entryPath, const CacheLockWait& wait);
    ~CacheEntryLock();
    CacheEntryLock(const CacheEntryLock&) = delete;
    CacheEntryLock& operator=(const CacheEntryLock&) = delete;

    State Outcome() const { return state_; }
    bool Cancelled() const { return state_ == State::kCancelled; }

    static std::string LockFileFor(const std::string& entryPath) { return entryPath + ".lock"; }

private:
    bool WaitInProcess(const CacheLockWait& wait, std::chrono::steady_clock::time_point deadline);
    State LockFile(const CacheLockWait& wait, std::chrono::steady_clock::time_point deadline);
    int OpenLockFile();
    bool StillNamed() const;
    void Release();

    std::string key_;
    std::string lockPath_;
    int fd_ = -1;
    std::vector<std::string> madeFolders_;
    bool registered_ = false;
    State state_ = State::kUnavailable;
};
