#pragma once

#include <string>

// Renames a file, failing when the new name exists already.
bool RenameNoReplace(const std::string& from, const std::string& to);

bool FileExists(const std::string& path);

// Removes what a failed write left behind. Only regular files are removed,
// so a failed write to a device or a pipe never deletes it.
void RemovePartialFile(const std::string& path);

// The folder of the running program, or "" when it cannot be told.
std::string ExecutableFolder();
