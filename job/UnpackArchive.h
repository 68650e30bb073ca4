#pragma once

#include <string>

// Extracts every member of a ZIP archive into the archive's own folder,
// creating stored folders and overwriting existing files, quietly.
// Encrypted members are skipped without a prompt, and so are members whose
// names would land outside the folder (absolute paths, ".."). Returns 0 on
// success, 1 when the archive cannot be opened or a member cannot be read
// or written.
int UnpackArchive(const std::string& archivePath);

// A member name that stays inside the extraction folder: relative, and
// without a ".." component or a backslash.
bool IsSafeMemberName(const std::string& name);

// Extraction stops once the members written add up to this many bytes, so
// a hostile archive cannot fill the disk.
inline constexpr unsigned long long kMaxUnpackedBytes = 4ull << 30;
