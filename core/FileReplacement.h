#pragma once

#include "core/FileHandle.h"

#include <cstdio>
#include <string>

// Writes a file under a temporary name in its folder and renames it into
// place only when it is whole, so a failed, cancelled or killed write never
// leaves a partial file under the final name and an older file there
// survives it. Without Commit() the temporary is removed when the object
// goes.
//
// Each kind of writer names its temporaries its own way, because clean-ups
// elsewhere recognise them: "<path>.partial" for job results and parameter
// files, "<path>.part" for downloads, the cache's "<path>.part-<pid>-<n>".
//
// A path naming something other than a regular file (a device, a pipe, a
// link) is written directly: nothing is renamed over it, removed or synced.
class FileReplacement {
public:
    enum class Sync {
        kNo,
        kToDisk,  // the file's bytes, then the folder's new entry, reach the disk
    };

    // Writes `path` through `temporary`, a name in the same folder.
    FileReplacement(std::string path, std::string temporary);
    // Writes `path` through a temporary "<path><prefix>XXXXXX" that no other
    // writer has, created now with the permissions a new file gets. Failed()
    // tells whether it could be made.
    static FileReplacement WithUniqueTemporary(std::string path, const std::string& prefix);
    // Writes a job's result `path` through PartialNameFor(path), the name the
    // clean-up after a killed job looks for.
    static FileReplacement ForResult(std::string path);
    static std::string PartialNameFor(const std::string& path) { return path + ".partial"; }

    ~FileReplacement();
    FileReplacement(FileReplacement&& other) noexcept;
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;
    FileReplacement& operator=(FileReplacement&&) = delete;

    // Whether `path` is written directly: it names something that is there
    // and is no regular file.
    static bool WritesInPlace(const std::string& path);

    const std::string& Path() const { return path_; }
    // Where the bytes go: the temporary, or Path() when written directly.
    const std::string& WritingName() const { return writing_; }

    // Opens WritingName() for writing, once; the stream belongs to this
    // object. Null when it cannot be opened.
    std::FILE* Open();
    std::FILE* Stream() const { return stream_.get(); }
    // Closes the stream before Commit(), for writers that tell a failed
    // close from a failed rename; false when its last bytes could not be
    // written, which makes Commit() fail.
    bool Close();

    // Ends the write: closes the stream, syncs when asked, and renames the
    // temporary into place. With `written` false, or when a step fails, the
    // temporary is removed instead and the result is false.
    bool Commit(bool written = true, Sync sync = Sync::kNo);
    // Opens, writes all of `bytes` and commits.
    bool WriteWhole(const std::string& bytes, Sync sync = Sync::kNo);
    // Gives the write up now: closes the stream and removes the temporary.
    void Abandon();

    // Whether a step has failed, and the system's words for it.
    bool Failed() const { return error_ != 0; }
    std::string Reason() const;

private:
    // Keeps the first failure's errno; always false.
    bool Fail();

    std::string path_;
    std::string writing_;
    FileHandle stream_;
    bool finished_ = false;
    int error_ = 0;
};
