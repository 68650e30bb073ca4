#include "region/RegionRecord.h"

#include "core/FileReplacement.h"
#include "core/StringPrintf.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace {

constexpr const char* kHeader = "# quad\tstate\texit\tseconds\ttime\tvoids\tcause\n";

// Tabs and line breaks would break the line apart.
std::string OneField(std::string text)
{
    for (char& c : text)
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    return text.substr(0, 400);
}

bool KnownState(const std::string& state)
{
    return state == "started" || state == "done" || state == "failed" || state == "skipped";
}

bool WriteAll(int descriptor, const std::string& bytes)
{
    size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(descriptor, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

std::string RegionRecordName(const Shard& shard)
{
    if (shard.count <= 1)
        return "region-record.tsv";
    return StringPrintf("region-record-shard-%d-of-%d.tsv", shard.index, shard.count);
}

std::string RecordLine(const RecordEntry& entry)
{
    return StringPrintf("%s\t%s\t%d\t%.1f\t%s\t%lld\t%s\n", OneField(entry.quad).c_str(), entry.state.c_str(),
                        entry.exitStatus, entry.seconds, entry.time.c_str(), entry.voids,
                        OneField(entry.cause).c_str());
}

bool ParseRecordLine(const std::string& line, RecordEntry& entry)
{
    std::vector<std::string> fields;
    std::istringstream stream(line);
    std::string field;
    while (std::getline(stream, field, '\t'))
        fields.push_back(field);
    if (fields.size() == 6 && !line.empty() && line.back() == '\t')
        fields.emplace_back();
    if (fields.size() != 7 || fields[0].empty() || !KnownState(fields[1]))
        return false;
    char* end = nullptr;
    entry.quad = fields[0];
    entry.state = fields[1];
    entry.exitStatus = static_cast<int>(std::strtol(fields[2].c_str(), &end, 10));
    if (fields[2].empty() || *end)
        return false;
    entry.seconds = std::strtod(fields[3].c_str(), &end);
    if (fields[3].empty() || *end)
        return false;
    entry.time = fields[4];
    entry.voids = std::strtoll(fields[5].c_str(), &end, 10);
    if (fields[5].empty() || *end)
        return false;
    entry.cause = fields[6];
    return true;
}

std::string RecordTimeNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

bool RegionRecord::Load(std::vector<RecordEntry>& entries, int& damagedLines) const
{
    entries.clear();
    damagedLines = 0;
    std::ifstream file(path_, std::ios::binary);
    if (!file)
        return ::access(path_.c_str(), F_OK) != 0;
    std::string line;
    while (std::getline(file, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        RecordEntry entry;
        // A line without its end was cut by a kill or a full disk.
        if (file.eof() || !ParseRecordLine(line, entry))
            ++damagedLines;
        else
            entries.push_back(entry);
    }
    return true;
}

bool RegionRecord::Rewrite(const std::vector<RecordEntry>& entries, std::string& error) const
{
    std::string text = kHeader;
    for (const RecordEntry& entry : entries)
        text += RecordLine(entry);
    FileReplacement replacement = FileReplacement::WithUniqueTemporary(path_, ".partial-");
    if (replacement.Failed() || !replacement.WriteWhole(text, FileReplacement::Sync::kToDisk)) {
        error = "the record \"" + path_ + "\" cannot be written: " + replacement.Reason();
        return false;
    }
    return true;
}

bool RegionRecord::Append(const RecordEntry& entry, std::string& error) const
{
    const int descriptor = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (descriptor < 0) {
        error = "the record \"" + path_ + "\" cannot be opened: " + std::strerror(errno);
        return false;
    }
    std::string bytes;
    if (::lseek(descriptor, 0, SEEK_END) == 0)
        bytes = kHeader;
    bytes += RecordLine(entry);
    const bool written = WriteAll(descriptor, bytes);
    const int writeError = errno;
    if (::close(descriptor) != 0 || !written) {
        error = "the record \"" + path_ + "\" cannot be written: " + std::strerror(written ? errno : writeError);
        return false;
    }
    return true;
}
