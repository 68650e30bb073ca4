#include "export/ExportFormat.h"

#include <algorithm>

const char* ExportFormatName(ExportFormat format)
{
    switch (format) {
    case ExportFormat::Png16:
        return "png16";
    case ExportFormat::GeoTiff:
        return "geotiff";
    case ExportFormat::Raw16:
        return "r16";
    case ExportFormat::TexturePng:
        return "png";
    }
    return "";
}

bool ParseExportFormats(const std::string& list, std::vector<ExportFormat>& formats, std::string& error)
{
    formats.clear();
    // Every comma separates two names, so "png16," names an empty format.
    size_t start = 0;
    while (start <= list.size()) {
        const size_t comma = std::min(list.find(',', start), list.size());
        const std::string name = list.substr(start, comma - start);
        start = comma + 1;
        const auto* found = std::find_if(std::begin(kAllExportFormats), std::end(kAllExportFormats),
                                         [&](ExportFormat f) { return name == ExportFormatName(f); });
        if (found == std::end(kAllExportFormats)) {
            error = "unknown export format \"" + name + "\" (png16, geotiff, r16 or png)";
            return false;
        }
        if (std::find(formats.begin(), formats.end(), *found) == formats.end())
            formats.push_back(*found);
    }
    return true;
}
