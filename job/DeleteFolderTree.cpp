#include "job/DeleteFolderTree.h"

#include "core/JobWindow.h"
#include "core/StringPrintf.h"

#include <filesystem>
#include <system_error>

namespace {

void DeleteContents(const std::filesystem::path& folder, JobWindow& window)
{
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        std::error_code ignored;
        if (entry.is_directory(ignored) && !entry.is_symlink(ignored))
            DeleteFolderTree(entry.path().string(), window);
        else
            std::filesystem::remove(entry.path(), ignored);
    }
}

} // namespace

int DeleteFolderTree(const std::string& folder, JobWindow& window)
{
    DeleteContents(folder, window);
    std::error_code error;
    if (std::filesystem::remove(folder, error) && !error)
        return 0;
    if (!error)
        error = std::make_error_code(std::errc::no_such_file_or_directory);
    window.ShowMessage("Error", StringPrintf("%s:\n%s", folder.c_str(), error.message().c_str()));
    return 1;
}
