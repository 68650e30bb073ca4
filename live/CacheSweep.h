#pragma once

#include <chrono>
#include <string>

// Removes what writers of the live cache leave behind when a process ends
// in the middle of writing a file: the temporary files beside the kept ones
// (see CacheFile.h). Only those older than kTemporaryFileAge are removed, so
// that a file another running process is still writing stays. The cache's
// own folders are looked through (the folder itself and two levels below it,
// as deep as the cache lays its files); nothing else is touched, whatever
// else a user keeps there.
constexpr std::chrono::hours kTemporaryFileAge{24};

// Sweeps `folder` the first time it is named in this process; later calls
// for the same folder do nothing.
void SweepCacheFolderOnce(const std::string& folder);

// Sweeps `folder` now: the number of files removed.
int SweepCacheFolder(const std::string& folder, std::chrono::hours olderThan = kTemporaryFileAge);
