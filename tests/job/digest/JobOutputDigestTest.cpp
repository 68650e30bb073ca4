// Every file a whole default 1-degree job writes, compared with a stored list
// of digests, so that any change to how the stages work that alters one
// output byte fails here. The list is tests/job/digest/JobOutputDigests.txt; to
// record it afresh (only when an output is meant to change), run this test
// with TERRAFETCH_WRITE_DIGESTS set to the list's path.
#include "core/JobFields.h"
#include "job/JobParameters.h"
#include "job/RunJob.h"
#include "job/ServiceHosts.h"
#include "tests/support/NoWaitServices.h"
#include "tests/support/RecordingWindow.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace {

namespace fs = std::filesystem;

// 64-bit FNV-1a: enough to tell changed bytes apart, and needs no library.
uint64_t Fnv1a(const std::string& bytes)
{
    uint64_t hash = 14695981039346656037ull;
    for (const char c : bytes) {
        hash ^= static_cast<uint8_t>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// The order number and the job's folder differ from run to run; both are
// replaced by fixed words in names and contents before digesting.
struct RunNames {
    std::string order;
    std::string folder;

    std::string Normalise(std::string text) const
    {
        ReplaceAll(text, folder, "FOLDER");
        ReplaceAll(text, order, "ORDER");
        return text;
    }
};

std::string OrderNumber(const RecordingWindow& log)
{
    for (const std::string& line : log.Lines()) {
        const size_t zip = line.find(".zip\"...");
        if (line.rfind("Writing file \"", 0) == 0 && zip != std::string::npos) {
            const std::string path = line.substr(14, zip - 14);
            return path.substr(path.find_last_of('/') + 1);
        }
    }
    return {};
}

// "digest size name" for every file under `folder` but the trace log (it
// holds times), sorted by name. The archive's bytes are the server's, with
// the build time in its member headers, so only its size is compared.
std::string DigestList(const fs::path& folder, const RunNames& names)
{
    std::map<std::string, std::string> lines;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file() || entry.path().filename() == "terraFetch.log")
            continue;
        const std::string name = names.Normalise(fs::relative(entry.path(), folder).string());
        const std::string bytes = names.Normalise(ReadFileBytes(entry.path().string()));
        char digest[32];
        const bool archive = entry.path().extension() == ".zip";
        std::snprintf(digest, sizeof digest, "%016llx",
                      archive ? 0ull : static_cast<unsigned long long>(Fnv1a(bytes)));
        lines[name] = std::string(digest) + " " + std::to_string(bytes.size()) + " " + name;
    }
    std::string list;
    for (const auto& [name, line] : lines)
        list += line + "\n";
    return list;
}

// The stored list: sections "[case]" followed by their lines.
std::map<std::string, std::string> ReadStoredLists(const std::string& path)
{
    std::map<std::string, std::string> sections;
    std::ifstream in(path);
    std::string line, current;
    while (std::getline(in, line)) {
        if (line.size() > 2 && line.front() == '[' && line.back() == ']')
            current = line.substr(1, line.size() - 2);
        else if (!line.empty())
            sections[current] += line + "\n";
    }
    return sections;
}

struct DigestCase {
    const char* name;
    bool substituteZ0;
    bool removeIntermediateFiles;
};

const DigestCase kCases[] = {
    {"hole filling, intermediates kept", true, false},
    {"no hole filling, intermediates kept", false, false},
    {"default settings", false, true},
};

std::string RunCase(const DigestCase& digestCase)
{
    for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"})
        unsetenv(name);
    ReferenceServices& services = NoWaitServices();
    EXPECT_NE(services.Port(), 0) << services.Error();
    const ServiceHosts hosts{services.HostAndPort(), services.HostAndPort(), services.HostAndPort()};
    TempDir folder;
    const fs::path previous = fs::current_path();
    fs::current_path(folder.Path());
    JobFields job;
    job.substituteZ0 = digestCase.substituteZ0;
    job.removeIntermediateFiles = digestCase.removeIntermediateFiles;
    RecordingWindow window;
    const std::atomic<bool> neverCancelled{false};
    const int result = RunJob(window, JobParametersFrom(job, hosts), neverCancelled);
    fs::current_path(previous);
    EXPECT_EQ(result, 0) << digestCase.name;
    const RunNames names{OrderNumber(window), folder.Path().string()};
    EXPECT_FALSE(names.order.empty());
    return DigestList(folder.Path(), names);
}

TEST(JobOutputDigestTest, EveryFileOfAWholeJobIsByteForByteAsRecorded)
{
    std::map<std::string, std::string> measured;
    for (const DigestCase& digestCase : kCases)
        measured[digestCase.name] = RunCase(digestCase);

    if (const char* record = std::getenv("TERRAFETCH_WRITE_DIGESTS")) {
        std::ofstream out(record);
        for (const DigestCase& digestCase : kCases)
            out << "[" << digestCase.name << "]\n" << measured[digestCase.name] << "\n";
        GTEST_SKIP() << "digests recorded to " << record;
    }
    const auto stored = ReadStoredLists(TERRAFETCH_JOB_DIGESTS);
    for (const DigestCase& digestCase : kCases) {
        const auto found = stored.find(digestCase.name);
        ASSERT_NE(found, stored.end()) << "no stored digests for " << digestCase.name;
        EXPECT_EQ(measured[digestCase.name], found->second) << digestCase.name;
    }
}

} // namespace
