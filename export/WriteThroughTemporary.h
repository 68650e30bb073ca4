#pragma once

#include <functional>
#include <string>

// Writes a file under a temporary name in the same folder and renames it to
// `path` (replacing an older file) only when `write` succeeded, so `path`
// never holds a half-written file. `write` gets the temporary name and
// returns false with `error` set on failure; the temporary file is removed
// then.
bool WriteThroughTemporary(const std::string& path,
                           const std::function<bool(const std::string& temporary, std::string& error)>& write,
                           std::string& error);
