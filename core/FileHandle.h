#pragma once

#include <cstdio>
#include <memory>

// An owned C stream, closed on every path. Standard input and output are
// never owned: use a raw FILE* for them.
struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

inline FileHandle OpenFile(const char* path, const char* mode)
{
    return FileHandle(std::fopen(path, mode));
}

// Closes `file` now; false when it held no stream or its last bytes could
// not be written (a full disk often shows only here).
inline bool CloseFile(FileHandle& file)
{
    return file && std::fclose(file.release()) == 0;
}
