#pragma once

#include <string>

// The cache sub-folder of one source's files, named after its base URL: a
// readable part (host and path, other characters as '-', at most 48 of
// them) and a short hash of the whole URL, so that what one URL gave is never
// served for another and a user can still tell the folders apart.
std::string SourceCacheFolderName(const std::string& baseUrl);
