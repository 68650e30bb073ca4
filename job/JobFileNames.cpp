#include "job/JobFileNames.h"

#include "core/StringPrintf.h"

#include <cmath>

PathParts SplitPath(const std::string& fullPath)
{
    PathParts parts;
    const size_t slash = fullPath.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    parts.folder = fullPath.substr(0, nameStart);
    const std::string name = fullPath.substr(nameStart);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) {
        parts.base = name;
    } else {
        parts.base = name.substr(0, dot);
        parts.extension = name.substr(dot);
    }
    return parts;
}

JobFileNames::JobFileNames(const std::string& archivePath)
    : parts_(SplitPath(archivePath))
{
}

std::string JobFileNames::Prefix() const
{
    return parts_.drive + parts_.folder + parts_.base;
}

std::string JobFileNames::ExtractionFolder() const { return Prefix(); }
std::string JobFileNames::BilRaster() const { return Prefix() + "/" + parts_.base + ".bil"; }
std::string JobFileNames::BilHeader() const { return Prefix() + "/" + parts_.base + ".hdr"; }
std::string JobFileNames::BilStatistics() const { return Prefix() + "/" + parts_.base + ".stx"; }
std::string JobFileNames::TileGif() const { return Prefix() + StringPrintf("_tx_%d%d.gif", 0, 0); }
std::string JobFileNames::TileTga() const { return Prefix() + StringPrintf("_tx_%d%d.tga", 0, 0); }
std::string JobFileNames::TileReprojected() const { return Prefix() + StringPrintf("_tx_r_%d%d.tga", 0, 0); }
std::string JobFileNames::MapTexture() const { return Prefix() + "_tx_r.tga"; }
std::string JobFileNames::ElevationColoring() const { return Prefix() + "_el_c.tga"; }
std::string JobFileNames::ImageryTexture() const { return Prefix() + "_tx_i.tga"; }

std::string JobFileNames::FramePattern(int flight) const
{
    return Prefix() + StringPrintf("_output_%d_%%04d.tga", flight);
}

namespace {

const char* ResultEnding(ResultFile file)
{
    switch (file) {
    case ResultFile::HeightMap: return "_el.tga";
    case ResultFile::CombinedTexture: return "_tx_c.tga";
    case ResultFile::WaypointTexture: return "_tx_cw.tga";
    case ResultFile::FirstParameterFile: return "_1.alp";
    case ResultFile::SecondParameterFile: return "_2.alp";
    }
    return "";
}

} // namespace

std::string JobFileNames::Result(ResultFile file, bool fromCoordinates, double quadTop, double quadLeft) const
{
    if (fromCoordinates)
        return CoordinateFileName(parts_, quadTop, quadLeft, ResultEnding(file));
    return Prefix() + ResultEnding(file);
}

std::string CoordinateFileName(const PathParts& parts, double quadTop, double quadLeft, const char* ending)
{
    const char latitudeLetter = quadTop >= 0 ? 'N' : 'S';
    const char longitudeLetter = quadLeft <= 0 ? 'W' : 'E';
    return StringPrintf("%s%s%08.6f%c%09.6f%c%s", parts.drive.c_str(), parts.folder.c_str(),
                        std::fabs(quadTop), latitudeLetter, std::fabs(quadLeft), longitudeLetter, ending);
}
