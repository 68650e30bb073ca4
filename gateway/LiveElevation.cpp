#include "gateway/LiveElevation.h"

#include "gateway/PlainStatusText.h"
#include "terrain/ElevationSource.h"

namespace {

std::string TileWord(int count) { return count == 1 ? "tile" : "tiles"; }

}  // namespace

LiveElevation::LiveElevation(const LiveSourceSettings& settings, UpstreamClient::Limits limits)
    : fetcher_(settings, 4, limits)
{
}

LiveElevation::Tiles LiveElevation::Start(double west, double east, double south, double north)
{
    return fetcher_.Start(HgtCellsForBox(west, east, south, north));
}

bool LiveElevation::BuildGrid(const ElevationTileFetcher::Order& tiles, double west, double east, double south,
                              double north, ElevationGrid& grid) const
{
    return BuildElevationGridFromTileFiles(tiles.ReadyTiles(), west, east, south, north, grid);
}

std::string LiveElevation::SourceText() const
{
    const DemGeoTiffCache* second = fetcher_.SecondSource();
    std::string text = "Elevation: 1-arc-second tiles from " + PlainStatusText(fetcher_.Cache().BaseUrl()) + ", cached in " +
                       PlainStatusText(fetcher_.Cache().Folder());
    if (second)
        text += "; where they fail, " + std::string(DemGeoTiffCache::kSourceName) + " from " +
                PlainStatusText(second->BaseUrl()) + ", cached in " + PlainStatusText(second->Folder());
    text += ". Height files you put into " + PlainStatusText(fetcher_.Cache().UserFolder()) + " itself are used first.";
    return text + "<BR>" + kElevationCredit;
}

std::string LiveElevation::ProgressText(const TileFetchStatus& status)
{
    std::string text = std::to_string(status.finished) + " of " + std::to_string(status.total) + " elevation " +
                       TileWord(status.total) + " downloaded";
    if (status.fromCache > 0)
        text += " (" + std::to_string(status.fromCache) + " from the cache)";
    text += ".";
    for (const std::string& note : status.notes)
        text += "<BR>" + PlainStatusText(note) + ".";
    if (status.secondSourceUsed)
        text += "<BR>" + std::string(kSecondSourceCredit);
    return text;
}

std::string LiveElevation::FailureText(const TileFetchStatus& status) const
{
    return "Error<BR>" + FailureLine(status);
}

std::string LiveElevation::FailureLine(const TileFetchStatus& status) const
{
    return "The elevation tiles from " + PlainStatusText(fetcher_.Cache().BaseUrl()) +
           " could not be fetched: " + PlainStatusText(status.error) + ".";
}
