#include "job/InterruptedJobFiles.h"

#include "core/FileReplacement.h"
#include "core/FileSystem.h"
#include "core/LogSink.h"
#include "core/StringPrintf.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

constexpr const char* kRecordPrefix = ".terrafetch-job-";
constexpr const char* kIntermediate = "intermediate ";
constexpr const char* kResult = "result ";

bool ProcessIsGone(const std::string& recordName)
{
    const std::string digits = recordName.substr(std::char_traits<char>::length(kRecordPrefix));
    if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const pid_t pid = static_cast<pid_t>(std::stol(digits));
    if (pid == getpid())
        return false;
    if (kill(pid, 0) != 0)
        return errno == ESRCH;
    // A killed process whose parent has not collected it yet is a zombie:
    // gone for this purpose.
    std::ifstream stat("/proc/" + digits + "/stat");
    std::string line;
    std::getline(stat, line);
    const size_t end = line.rfind(')');
    return end != std::string::npos && line.compare(end, 3, ") Z") == 0;
}

// Whether `path` names something inside `folder` without going up a level.
bool LiesInside(const std::string& path, const std::string& folder)
{
    return path.size() > folder.size() + 1 && path.compare(0, folder.size() + 1, folder + "/") == 0 &&
           path.find("/../") == std::string::npos && path.find("/./") == std::string::npos &&
           path.compare(path.size() - 3, 3, "/..") != 0;
}

// Removes a regular file or a real folder (not a link to one); true when something went.
bool RemoveLeftover(const std::string& path)
{
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0)
        return false;
    std::error_code ignored;
    if (S_ISDIR(info.st_mode))
        return std::filesystem::remove_all(path, ignored) > 0;
    return S_ISREG(info.st_mode) && unlink(path.c_str()) == 0;
}

int RemoveRecorded(const std::string& record, const std::string& folder)
{
    std::ifstream lines(record);
    int removed = 0;
    std::string line;
    while (std::getline(lines, line)) {
        const bool intermediate = line.rfind(kIntermediate, 0) == 0;
        if (!intermediate && line.rfind(kResult, 0) != 0)
            continue;
        const std::string path = line.substr(std::char_traits<char>::length(intermediate ? kIntermediate : kResult));
        if (!LiesInside(path, folder))
            continue;
        if (intermediate)
            removed += RemoveLeftover(path);
        removed += RemoveLeftover(FileReplacement::PartialNameFor(path));
        removed += RemoveLeftover(path + ".part");
    }
    return removed;
}

}  // namespace

InterruptedJobFiles::InterruptedJobFiles(std::string folder)
    : folder_(std::move(folder)), recordPath_(folder_ + "/" + kRecordPrefix + std::to_string(getpid()))
{
}

InterruptedJobFiles::~InterruptedJobFiles()
{
    RemovePartialFile(recordPath_);
}

void InterruptedJobFiles::RemoveLeftovers(const std::string& folder, LogSink& log)
{
    std::error_code error;
    std::filesystem::directory_iterator entries(folder, error);
    int removed = 0;
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        const std::string name = entries->path().filename().string();
        if (name.rfind(kRecordPrefix, 0) != 0 || !ProcessIsGone(name))
            continue;
        removed += RemoveRecorded(entries->path().string(), folder);
        RemovePartialFile(entries->path().string());
    }
    if (removed > 0)
        log.AddToLog(StringPrintf("Removed %d files that an interrupted job left in \"%s\".", removed,
                                  folder.c_str()));
}

void InterruptedJobFiles::Record(const std::vector<std::string>& intermediates,
                                 const std::vector<std::string>& results)
{
    std::string text;
    for (const std::string& path : intermediates)
        text += kIntermediate + path + "\n";
    for (const std::string& path : results)
        text += kResult + path + "\n";
    // A record that cannot be written only costs the clean-up after a kill.
    FileReplacement::ForResult(recordPath_).WriteWhole(text);
}
