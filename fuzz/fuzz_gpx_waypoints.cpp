// Fuzz target for the GPX waypoint reader. With clang it is a libFuzzer
// target; with other compilers main() below replays the files or folders
// named on the command line, or, given none, runs a fixed number of random
// mutations of a few small GPX documents (a quick smoke run, good under the
// sanitizers).
#include "route/GpxWaypoints.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view document(reinterpret_cast<const char*>(data), size);
    LooksLikeGpx(document);
    LooksLikeXml(document);
    WaypointList list;
    GpxFault fault;
    // Small limits, so that the caps are reached by small inputs too.
    WaypointLimits limits;
    limits.maxPoints = 8;
    limits.maxXmlDepth = 6;
    const bool read = ParseGpxWaypoints(document, list, &fault, limits);
    // What the reader promises: all or nothing, points on the earth only,
    // a reason exactly when it fails, and never more than the cap.
    if (read == list.empty() || read != (fault.kind == GpxFault::Kind::None) || list.size() > limits.maxPoints)
        std::abort();
    for (const Waypoint& w : list)
        if (!(std::fabs(w.latitude) <= 90.0) || !(std::fabs(w.longitude) <= 180.0))
            std::abort();
    return 0;
}

#ifndef TERRAFETCH_LIBFUZZER
namespace {

std::vector<uint8_t> ReadAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Run(const std::vector<uint8_t>& bytes)
{
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
}

std::vector<std::string> Seeds()
{
    const std::string head = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                             "<gpx version=\"1.1\" xmlns=\"http://www.topografix.com/GPX/1/1\">";
    return {
        head + "<rte><name>r</name><rtept lat=\"39.5\" lon=\"-98.5\"><name>A</name></rtept>"
               "<rtept lat=\"39.6\" lon=\"-98.4\"><desc>B</desc></rtept></rte></gpx>",
        head + "<trk><trkseg><trkpt lat=\"39.1\" lon=\"-98.1\"><ele>400</ele></trkpt></trkseg>"
               "<trkseg><trkpt lat=\"39.2\" lon=\"-98.2\"/></trkseg></trk></gpx>",
        head + "<wpt lat=\"40\" lon=\"-99\"><name>&amp;&#65;</name></wpt><wpt lat=\"1e1\" lon=\"-2\"/>"
               "<wpt lat=\"-90\" lon=\"180\"/></gpx>",
        "<?xml version=\"1.0\"?><!DOCTYPE gpx [<!ENTITY a \"aaaa\"><!ENTITY b \"&a;&a;&a;\">]>"
        "<gpx><wpt lat=\"1\" lon=\"2\"><name>&b;</name></wpt></gpx>",
    };
}

bool SeedsRead()
{
    const std::vector<std::string> seeds = Seeds();
    for (size_t i = 0; i + 1 < seeds.size(); ++i) {
        WaypointList list;
        if (!ParseGpxWaypoints(seeds[i], list))
            return false;
    }
    return true;
}

void MutationRun(int rounds)
{
    std::mt19937 random(20240502u);
    const std::vector<std::string> seeds = Seeds();
    static const char* const kPieces[] = {"<", ">", "/>", "</rtept>", "<trkpt lat=\"1\" lon=\"2\">", "&", "&a;",
                                          "\"", "<![CDATA[", "]]>", "<!--", "-->", "\xff", "<wpt"};
    for (int round = 0; round < rounds; ++round) {
        std::string text = seeds[round % seeds.size()];
        const int edits = 1 + static_cast<int>(random() % 6);
        for (int e = 0; e < edits && !text.empty(); ++e) {
            const size_t at = random() % text.size();
            switch (random() % 4) {
            case 0:
                text[at] = static_cast<char>(random());
                break;
            case 1:
                text.erase(at, 1 + random() % 8);
                break;
            case 2:
                text.insert(at, kPieces[random() % std::size(kPieces)]);
                break;
            default:
                text.insert(at, text.substr(random() % text.size(), random() % 64));
                break;
            }
        }
        Run(std::vector<uint8_t>(text.begin(), text.end()));
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        if (!SeedsRead()) {
            std::puts("A seed document does not read.");
            return 1;
        }
        MutationRun(20000);
        std::puts("20000 mutated documents read.");
        return 0;
    }
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path path(argv[i]);
        if (std::filesystem::is_directory(path)) {
            for (const auto& entry : std::filesystem::directory_iterator(path))
                Run(ReadAll(entry.path()));
        } else {
            Run(ReadAll(path));
        }
    }
    return 0;
}
#endif
