#pragma once

#include <string>

// Renames a file, failing when the new name exists already.
bool RenameNoReplace(const std::string& from, const std::string& to);

bool FileExists(const std::string& path);

// Removes what a failed write left behind. Only regular files are removed,
// so a failed write to a device or a pipe never deletes it.
void RemovePartialFile(const std::string& path);

// Where a file that replaces `path` is written first: "<path>.partial", in
// the same folder, renamed to `path` once whole (CommitWrittenFile), so that
// no half-written file ever stands under its final name, even after a kill.
// A path naming something other than a regular file (a device or a pipe) is
// written directly.
std::string WritingNameFor(const std::string& path);
// After a write to WritingNameFor(path): renames it into place when
// `written`, or removes it. False when the write or the rename failed.
bool CommitWrittenFile(const std::string& path, bool written);

// Asks the file system to set aside `bytes` for the file open at
// `descriptor` before it is written, without changing its size: large writes
// then skip the space accounting of every page. Where that cannot be done
// nothing happens, and the write finds out about space as it always has.
void ReserveFileSpace(int descriptor, unsigned long long bytes);

// The folder of the running program, or "" when it cannot be told.
std::string ExecutableFolder();
