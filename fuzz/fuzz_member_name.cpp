// Fuzz target for the check of archive member names before unpacking: the
// input is a name as the archive stores it (cut at a NUL, as the archive
// library hands names out).
#include "fuzz/FuzzSupport.h"
#include "job/UnpackArchive.h"

#include <cstring>
#include <filesystem>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string name(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));
    const std::string path = SafeMemberPath(name);
    if (path.empty())
        return 0;
    FUZZ_CHECK(path.find('\\') == std::string::npos);
    // An accepted name lands inside the folder, however it is spelled.
    static const std::filesystem::path folder = "/job/folder";
    const std::filesystem::path inside = (folder / path).lexically_normal().lexically_relative(folder);
    FUZZ_CHECK(!inside.empty() && !inside.is_absolute());
    FUZZ_CHECK(*inside.begin() != "..");
    return 0;
}
