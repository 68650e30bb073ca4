#pragma once

#include <atomic>
#include <string>

class ImageCache;
class JobWindow;
class TGAFile;
struct JobParameters;

// The credit the public orthoimagery asks for, logged with every texture made from it.
inline constexpr const char* kPublicImageryCredit = "USGS The National Map: Orthoimagery";
// The setting that names the imagery's WMS layer instead of the first one listed.
inline constexpr const char* kImageryLayerVariable = "TERRAFETCH_IMAGERY_LAYER";

// Makes `output`, the texture-sized aerial image of the job's quad, from the
// imagery WMS of `job.hosts.imagery`: its capabilities are read first (the
// layer the setting names, else the first named one; the largest piece it
// allows), then the grid of the texture's resolution is fetched in pieces,
// band by band, and resampled into the texture's geometry as it comes.
// Pieces are kept in `job.hosts.imageryCache` when that is set, by source,
// layer, box and size. Anything but an image of the asked size fails the
// stage with a line naming the cause and the setting to check, as does an
// answer of one colour over the whole quad (no imagery there). Returns 0,
// or 1 with nothing written.
int MakeImageryTexture(JobWindow& window, const JobParameters& job, const std::atomic<bool>& cancelRequested,
                       int width, int height, const std::string& output, ImageCache& images);

// The same image in memory only, for a stage that draws over it before it
// is written; on failure `texture` holds nothing of use.
int FetchImagery(JobWindow& window, const JobParameters& job, const std::atomic<bool>& cancelRequested, int width,
                 int height, TGAFile& texture);
