#include "export/WriteThroughTemporary.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The permissions a newly created file gets under the current umask
// (mkstemp makes its files private).
mode_t CreationMode()
{
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

} // namespace

bool WriteThroughTemporary(const std::string& path,
                           const std::function<bool(const std::string& temporary, std::string& error)>& write,
                           std::string& error)
{
    std::vector<char> name(path.begin(), path.end());
    for (const char c : std::string(".partial-XXXXXX"))
        name.push_back(c);
    name.push_back('\0');
    const int descriptor = mkstemp(name.data());
    if (descriptor < 0) {
        error = std::strerror(errno);
        return false;
    }
    close(descriptor);
    const std::string temporary(name.data());
    if (!write(temporary, error)) {
        std::remove(temporary.c_str());
        return false;
    }
    chmod(temporary.c_str(), CreationMode());
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = std::strerror(errno);
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}
