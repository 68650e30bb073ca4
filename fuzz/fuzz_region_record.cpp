// Fuzz target for the files a region run reads back: its record and a quad's
// finished mark. The input is read as either.
#include "fuzz/FuzzSupport.h"
#include "region/QuadMarker.h"
#include "region/RegionRecord.h"

#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(AsText(data, size));
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        RecordEntry entry;
        if (!ParseRecordLine(line, entry))
            continue;
        // What was read writes back as a line that reads the same.
        RecordEntry again;
        const std::string written = RecordLine(entry);
        FUZZ_CHECK(written.back() == '\n');
        FUZZ_CHECK(ParseRecordLine(written.substr(0, written.size() - 1), again));
        FUZZ_CHECK(again.quad == entry.quad && again.state == entry.state && again.voids == entry.voids);
    }
    QuadMarker marker;
    if (ParseQuadMarker(text, marker)) {
        for (const QuadMarker::File& file : marker.files)
            FUZZ_CHECK(!file.name.empty() && file.name.find('/') == std::string::npos && file.name != "..");
        QuadMarker again;
        FUZZ_CHECK(ParseQuadMarker(QuadMarkerText(marker), again));
        FUZZ_CHECK(again.files.size() == marker.files.size() && again.options == marker.options);
    }
    return 0;
}
