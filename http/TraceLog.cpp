#include "http/TraceLog.h"

#include "core/StringPrintf.h"
#include "http/CHTTPRequest.h"

#include <cstdio>

namespace {

constexpr const char* kTraceFile = "terraFetch.log";

}  // namespace

// Day and month names are spelled out here rather than taken from strftime,
// whose names follow the locale the window sets up.
std::string TraceHeaderLine(std::time_t when)
{
    static constexpr const char* days[] = {"Sunday", "Monday", "Tuesday", "Wednesday",
                                           "Thursday", "Friday", "Saturday"};
    static constexpr const char* months[] = {"January", "February", "March",     "April",
                                             "May",     "June",     "July",      "August",
                                             "September", "October", "November", "December"};
    std::tm utc{};
    if (!gmtime_r(&when, &utc))
        return "terraFetchDialog log file created\r\n";
    return StringPrintf("terraFetchDialog log file created %s, %s %02d, %04d %02d:%02d:%02d UTC\r\n",
                        days[utc.tm_wday % 7], months[utc.tm_mon % 12], utc.tm_mday, utc.tm_year + 1900,
                        utc.tm_hour, utc.tm_min, utc.tm_sec);
}

void writeTrace(const std::string& body)
{
    std::FILE* file = std::fopen(kTraceFile, "ab");
    if (!file)
        return;
    const std::string texts[] = {
        TraceHeaderLine(std::time(nullptr)),
        "\r\n",
        "CHTTPRequest::execute():\r\n",
        "no progressInformationText found.\r\n",
        "Dumping whole HTTP response body:\r\n",
        "\r\n",
        "+++ BEGIN OF PAYLOAD +++\r\n",
        body,
        "+++ END OF PAYLOAD +++\r\n",
        "\r\n",
    };
    // A failing write drops the rest of the entry; the request goes on.
    for (const std::string& text : texts)
        if (std::fwrite(text.data(), 1, text.size(), file) != text.size())
            break;
    std::fclose(file);
}

void writeTraceStopped(unsigned long long bytes)
{
    std::FILE* file = std::fopen(kTraceFile, "ab");
    if (!file)
        return;
    const std::string line = StringPrintf("%sTracing stopped: this request's status pages have filled %llu bytes of "
                                          "the log.\r\n\r\n",
                                          TraceHeaderLine(std::time(nullptr)).c_str(), bytes);
    std::fwrite(line.data(), 1, line.size(), file);
    std::fclose(file);
}
