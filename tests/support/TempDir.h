#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <string>

// A fresh folder under the system's temporary folder, removed with
// everything in it when the object goes.
class TempDir {
public:
    TempDir()
    {
        std::random_device seed;
        const auto base = std::filesystem::temp_directory_path();
        do {
            path_ = base / ("terrafetch-test-" + std::to_string(seed()));
        } while (!std::filesystem::create_directory(path_));
    }
    ~TempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline void WriteFileBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every file under `folder`, by its path relative to it.
inline std::set<std::string> FilesUnder(const std::filesystem::path& folder)
{
    std::set<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder, error))
        if (entry.is_regular_file())
            names.insert(std::filesystem::relative(entry.path(), folder).string());
    return names;
}
