#pragma once

#include <string>

// A full path split the way job file names are built from it: drive (always
// empty on Linux), folder with leading and trailing '/', base name without
// extension, and extension with its dot.
struct PathParts {
    std::string drive;
    std::string folder;
    std::string base;
    std::string extension;
};

PathParts SplitPath(const std::string& fullPath);

// The result files that can be named after the archive or after the quad.
enum class ResultFile { HeightMap, CombinedTexture, WaypointTexture, FirstParameterFile, SecondParameterFile };

// Every file name of one job, derived from the downloaded archive's path.
class JobFileNames {
public:
    explicit JobFileNames(const std::string& archivePath);

    const PathParts& Parts() const { return parts_; }

    std::string ExtractionFolder() const;
    std::string BilRaster() const;
    std::string BilHeader() const;
    std::string BilStatistics() const;
    std::string TileGif() const;
    std::string TileTga() const;
    std::string TileReprojected() const;
    std::string MapTexture() const;
    std::string ElevationColoring() const;
    // The aerial photograph fitted to the texture, under the street map.
    std::string ImageryTexture() const;
    // The renderer's frame-name pattern of flight 1 or 2; keeps a literal "%04d".
    std::string FramePattern(int flight) const;

    // A result file, named after the archive or, when `fromCoordinates`, after
    // the quad's north-west corner (read when the name is built).
    std::string Result(ResultFile file, bool fromCoordinates, double quadTop, double quadLeft) const;

private:
    std::string Prefix() const;  // drive, folder and base name
    PathParts parts_;
};

// The coordinate name of a result file, such as
// "/data/40.000000N99.000000W_el.tga" for `ending` "_el.tga".
std::string CoordinateFileName(const PathParts& parts, double quadTop, double quadLeft, const char* ending);
