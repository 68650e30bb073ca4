// Fuzz target for unpacking an elevation archive: the input is the archive
// as a server sent it. It is unpacked in a private folder, emptied after
// every input; whatever it holds, unpacking ends without harm, and a failed
// unpacking reports failure.
#include "fuzz/FuzzSupport.h"
#include "job/UnpackArchive.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

// A folder of its own for the process, removed when the process ends.
struct PrivateFolder {
    std::filesystem::path path;
    PrivateFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "fuzz-unpack-XXXXXX").string();
        if (mkdtemp(pattern.data()))
            path = pattern;
    }
    ~PrivateFolder()
    {
        std::error_code ignored;
        if (!path.empty())
            std::filesystem::remove_all(path, ignored);
    }
};

const std::filesystem::path& Folder()
{
    static const PrivateFolder folder;
    return folder.path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (Folder().empty())
        return 0;
    const std::filesystem::path archive = Folder() / "archive.zip";
    {
        std::ofstream out(archive, std::ios::binary);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!out)
            return 0;
    }
    NullWindow log;
    const int result = UnpackArchive(archive.string(), log);
    FUZZ_CHECK(result == 0 || result == 1);
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(Folder(), ignored))
        std::filesystem::remove_all(entry.path(), ignored);
    return 0;
}
