#include "region/QuadMarker.h"

#include "core/FileReplacement.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

constexpr const char* kFirstLine = "terrafetch finished quad";
constexpr const char* kLastLine = "end";
constexpr size_t kMaxMarkerBytes = 1 << 20;

bool ReadSmallFile(const fs::path& path, std::string& text)
{
    std::ifstream file(path, std::ios::binary);
    if (!file)
        return false;
    text.assign(kMaxMarkerBytes + 1, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(file.gcount()));
    return text.size() <= kMaxMarkerBytes;
}

// A name the mark may list: a plain file name of this folder.
bool PlainName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\n') == std::string::npos;
}

} // namespace

std::string QuadMarkerText(const QuadMarker& marker)
{
    std::ostringstream text;
    text << kFirstLine << "\noptions " << marker.options << "\nvoids " << marker.voids << '\n';
    for (const QuadMarker::File& file : marker.files)
        text << "file " << file.size << ' ' << file.name << '\n';
    text << kLastLine << '\n';
    return text.str();
}

bool ParseQuadMarker(const std::string& text, QuadMarker& marker)
{
    std::istringstream lines(text);
    std::string line;
    if (!std::getline(lines, line) || line != kFirstLine)
        return false;
    if (!std::getline(lines, line) || line.rfind("options ", 0) != 0)
        return false;
    marker.options = line.substr(8);
    if (!std::getline(lines, line) || line.rfind("voids ", 0) != 0)
        return false;
    std::istringstream voids(line.substr(6));
    if (!(voids >> marker.voids) || marker.voids < 0)
        return false;
    marker.files.clear();
    // The last line proves the mark was written to its end.
    while (std::getline(lines, line)) {
        if (line == kLastLine)
            return !std::getline(lines, line);
        std::istringstream fields(line);
        std::string word;
        QuadMarker::File file;
        if (!(fields >> word) || word != "file" || !(fields >> file.size) || fields.get() != ' ')
            return false;
        std::getline(fields, file.name);
        if (!PlainName(file.name))
            return false;
        marker.files.push_back(file);
    }
    return false;
}

QuadCheck CheckQuad(const std::string& folder)
{
    QuadCheck check;
    std::error_code error;
    if (!fs::is_directory(folder, error))
        return check;
    check.state = QuadState::kUnfinished;
    std::string text;
    const fs::path markPath = fs::path(folder) / kQuadMarkerName;
    if (!fs::exists(markPath, error)) {
        check.detail = "it has no finished mark";
        return check;
    }
    if (!ReadSmallFile(markPath, text) || !ParseQuadMarker(text, check.marker)) {
        check.detail = std::string("its mark \"") + kQuadMarkerName + "\" is damaged";
        return check;
    }
    for (const QuadMarker::File& file : check.marker.files) {
        const fs::path path = fs::path(folder) / file.name;
        const auto size = fs::is_regular_file(path, error) ? fs::file_size(path, error) : 0;
        if (error || !fs::is_regular_file(path, error) || size != file.size) {
            check.state = QuadState::kFilesChanged;
            check.detail = "its file \"" + file.name + "\" is missing or changed";
            return check;
        }
    }
    check.state = QuadState::kFinished;
    return check;
}

bool MarkQuadFinished(const std::string& folder, const std::string& options, long long voids, std::string& error)
{
    QuadMarker marker{options, voids, {}};
    std::error_code listing;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, listing)) {
        const std::string name = entry.path().filename().string();
        std::error_code ignored;
        if (name == kQuadMarkerName || !entry.is_regular_file(ignored) || !PlainName(name))
            continue;
        marker.files.push_back({name, static_cast<unsigned long long>(entry.file_size(ignored))});
    }
    if (listing) {
        error = "its folder cannot be listed: " + listing.message();
        return false;
    }
    std::sort(marker.files.begin(), marker.files.end(),
              [](const QuadMarker::File& a, const QuadMarker::File& b) { return a.name < b.name; });
    FileReplacement replacement((fs::path(folder) / kQuadMarkerName).string(),
                                (fs::path(folder) / (std::string(kQuadMarkerName) + ".partial")).string());
    if (!replacement.WriteWhole(QuadMarkerText(marker))) {
        error = "its finished mark cannot be written: " + replacement.Reason();
        return false;
    }
    return true;
}
