#pragma once

#include "job/ElevationOrder.h"

#include <string>

class LogSink;

// Extracts every member of a ZIP archive into the archive's own folder,
// creating stored folders and overwriting existing files, quietly.
// Encrypted members are skipped without a prompt. Names may use '/' or '\'
// between folders.
//
// The archive's directory is checked before anything is written: too many
// members, a member whose name would land outside the folder (absolute, a
// drive letter, ".."), a symbolic link, or sizes adding up to more than the
// limit refuse the whole archive. Returns 0 on success, 1 on any failure,
// which is logged.
int UnpackArchive(const std::string& archivePath, LogSink& log);

// An order's archive holds one raster with a few companion files.
inline constexpr int kMaxArchiveMembers = 256;

// The member's path inside the extraction folder with '/' between its
// parts (archives made on Windows use '\'), or empty when it would land
// outside: absolute, with a drive letter, or with a ".." part, or when it
// names no member at all ("", ".", "./").
std::string SafeMemberPath(std::string name);

// Extraction stops once the members written add up to this many bytes, so
// a hostile archive cannot fill the disk.
inline constexpr unsigned long long kMaxUnpackedBytes = kMaxArchiveBytes;
