#pragma once

#include <string>

// Renames a file, failing when the new name exists already.
bool RenameNoReplace(const std::string& from, const std::string& to);

bool FileExists(const std::string& path);

// Removes what a failed write left behind. Only regular files are removed,
// so a failed write to a device or a pipe never deletes it.
void RemovePartialFile(const std::string& path);

// Asks the file system to set aside `bytes` for the file open at
// `descriptor` before it is written, without changing its size: large writes
// then skip the space accounting of every page. Where that cannot be done
// nothing happens, and the write finds out about space as it always has.
void ReserveFileSpace(int descriptor, unsigned long long bytes);

// The folder of the running program, or "" when it cannot be told.
std::string ExecutableFolder();
