#include "job/ImageryTexture.h"

#include "core/JobWindow.h"
#include "core/StringPrintf.h"
#include "job/ImageryGrid.h"
#include "job/ImageryResampler.h"
#include "job/JobParameters.h"
#include "job/TextureGeometry.h"
#include "live/CacheEntryLock.h"
#include "live/CacheFile.h"
#include "live/SourceCacheKey.h"
#include "live/UpstreamClient.h"
#include "live/WmsAnswer.h"
#include "live/WmsCapabilitiesSource.h"
#include "raster/ImageCache.h"
#include "raster/TGAFile.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// Pieces are at most this tall, so that a band of the widest texture stays
// small beside the texture itself.
constexpr int kMaxPieceRows = 1024;
constexpr int kMaxPieceColumns = 2048;
constexpr auto kLockPatience = std::chrono::minutes(10);
constexpr const char* kCheckSetting = "Check the imagery URL (TERRAFETCH_IMAGERY_URL or --imagery-url)";

// Cancels the client as soon as the job is asked to stop, also in the middle
// of a transfer; it stops watching when it goes.
class CancelWatch {
public:
    CancelWatch(UpstreamClient& client, const std::atomic<bool>& cancelRequested)
        : thread_([this, &client, &cancelRequested] {
              std::unique_lock lock(mutex_);
              while (!done_) {
                  if (cancelRequested) {
                      client.Cancel();
                      return;
                  }
                  wake_.wait_for(lock, std::chrono::milliseconds(20));
              }
          })
    {
    }
    ~CancelWatch()
    {
        {
            const std::lock_guard lock(mutex_);
            done_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }
    CancelWatch(const CancelWatch&) = delete;
    CancelWatch& operator=(const CancelWatch&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool done_ = false;
    std::thread thread_;
};

bool IsPublicImagery(const std::string& url)
{
    return url.find("nationalmap.gov") != std::string::npos;
}

// The layer to ask for: the one the setting names, else the first named one.
const WmsLayerInfo* ChooseLayer(const WmsCapabilities& capabilities, const std::string& named, std::string& error)
{
    for (const WmsLayerInfo& layer : capabilities.layers)
        if (named.empty() || layer.name == named)
            return &layer;
    error = named.empty() ? "its capabilities list no named layer"
                          : StringPrintf("it has no layer named \"%s\" (set by %s)", named.c_str(),
                                         kImageryLayerVariable);
    return nullptr;
}

// One piece's answer: the image, or why there is none.
struct PieceImage {
    RgbImage image;
    std::string error;
    bool kept = false;  // served from the cache
};

class PieceSource {
public:
    PieceSource(UpstreamClient& client, const JobParameters& job, std::string layer, std::string format)
        : client_(client), url_(job.hosts.imagery), layer_(std::move(layer)), format_(std::move(format)),
          folder_(job.hosts.imageryCache.empty()
                      ? std::string()
                      : job.hosts.imageryCache + "/imagery/" + SourceCacheFolderName(url_))
    {
    }

    PieceImage Get(const WmsPiece& piece) const
    {
        const std::string url = WmsGetMapUrl(url_, {layer_}, piece, format_);
        const std::string path = folder_.empty() ? std::string() : folder_ + "/" + CacheKeyHash(url) + ".img";
        if (path.empty())
            return Fetch(url, path, piece);
        PieceImage result;
        if (ReadKept(path, piece, result))
            return result;
        // Another process may be fetching the same piece: wait for it, then take what it kept.
        const CacheEntryLock entry(path, {[this] { return client_.Cancelled(); }, kLockPatience});
        if (entry.Cancelled())
            return PieceImage{{}, "cancelled", false};
        if (ReadKept(path, piece, result))
            return result;
        return Fetch(url, path, piece);
    }

private:
    static size_t MaxBytes(const WmsPiece& piece)
    {
        return static_cast<size_t>(piece.width) * piece.height * 4 + (size_t(1) << 20);
    }

    static PieceImage Decode(const std::string& contentType, const std::string& body, const WmsPiece& piece)
    {
        WmsAnswer answer = ReadWmsAnswer(contentType, body, static_cast<size_t>(piece.width) * piece.height);
        if (!answer.ok)
            return PieceImage{{}, answer.error, false};
        if (answer.image.width != piece.width || answer.image.height != piece.height)
            return PieceImage{{}, StringPrintf("it answered an image of %d x %d pixels for one of %d x %d",
                                               answer.image.width, answer.image.height, piece.width, piece.height),
                              false};
        return PieceImage{std::move(answer.image), {}, false};
    }

    bool ReadKept(const std::string& path, const WmsPiece& piece, PieceImage& result) const
    {
        std::string body;
        if (!ReadCacheFile(path, MaxBytes(piece), body))
            return false;
        result = Decode(format_, body, piece);
        result.kept = result.error.empty();
        return result.kept;
    }

    PieceImage Fetch(const std::string& url, const std::string& path, const WmsPiece& piece) const
    {
        const UpstreamAnswer answer = client_.Get(url, MaxBytes(piece));
        if (!answer.ok)
            return PieceImage{{}, answer.error, false};
        if (answer.status != 200 && ServiceExceptionMessage(answer.body).empty())
            return PieceImage{{}, StringPrintf("it answered HTTP status %ld", answer.status), false};
        PieceImage result = Decode(answer.contentType, answer.body, piece);
        // Only an image is kept; a refusal is asked again next time.
        std::string ignored;
        if (result.error.empty() && !path.empty())
            WriteCacheFile(path, answer.body, ignored);
        return result;
    }

    UpstreamClient& client_;
    std::string url_, layer_, format_, folder_;
};

// Whether every pixel seen so far has had one colour.
class OneColourCheck {
public:
    void See(const RgbImage& image)
    {
        for (size_t i = 0; i + 2 < image.rgb.size() && single_; i += 3) {
            const uint32_t colour = image.rgb[i] << 16 | image.rgb[i + 1] << 8 | image.rgb[i + 2];
            if (!seen_)
                first_ = colour, seen_ = true;
            single_ = colour == first_;
        }
    }
    bool Single() const { return seen_ && single_; }

private:
    bool seen_ = false, single_ = true;
    uint32_t first_ = 0;
};

// The band's pieces side by side, as rows of the grid's width.
void PasteInto(std::vector<uint8_t>& band, int bandWidth, const RgbImage& piece, int column)
{
    for (int row = 0; row < piece.height; ++row)
        std::copy_n(piece.rgb.data() + static_cast<size_t>(row) * piece.width * 3, static_cast<size_t>(piece.width) * 3,
                    band.data() + (static_cast<size_t>(row) * bandWidth + column) * 3);
}

std::string WithoutFinalPeriods(std::string text)
{
    while (!text.empty() && text.back() == '.')
        text.pop_back();
    return text;
}

int Fail(JobWindow& window, const std::string& why)
{
    window.AddToLog(StringPrintf("Error: Imagery: %s.", WithoutFinalPeriods(why).c_str()));
    return 1;
}

// What the service says of itself: its capabilities and the layer to ask
// for. Null with the failure logged when there is none to use.
const WmsLayerInfo* ReadService(JobWindow& window, const JobParameters& job, UpstreamClient& client,
                                WmsCapabilitiesSource::Shared& capabilities)
{
    const std::string& url = job.hosts.imagery;
    window.AddToLog(StringPrintf("Imagery: reading the capabilities of \"%s\".", url.c_str()));
    WmsCapabilitiesSource source(FetchThrough(client), url, "imagery WMS", job.hosts.imageryCache);
    std::string error;
    capabilities = source.Get(error);
    if (!capabilities) {
        Fail(window, StringPrintf("%s. %s", WithoutFinalPeriods(error).c_str(), kCheckSetting));
        return nullptr;
    }
    const WmsLayerInfo* layer = ChooseLayer(*capabilities, job.hosts.imageryLayer, error);
    if (!layer) {
        Fail(window, StringPrintf("the imagery WMS at \"%s\": %s. %s", url.c_str(), error.c_str(), kCheckSetting));
        return nullptr;
    }
    window.AddToLog(IsPublicImagery(url) ? StringPrintf("Imagery: %s.", kPublicImageryCredit)
                                         : StringPrintf("Imagery: from \"%s\" of \"%s\".", layer->title.c_str(),
                                                        url.c_str()));
    return layer;
}

// Fetches the grid band by band, each resampled into `texture` as it comes.
int FetchGrid(JobWindow& window, const JobParameters& job, const std::atomic<bool>& cancelRequested,
              const ImageryGrid& grid, const PieceSource& source, TGAFile& texture)
{
    const int pieces = grid.BandCount() * grid.PiecesPerBand();
    ImageryResampler resampler(TextureGeometry(job.quad, texture.GetWidth(), texture.GetHeight()), grid);
    OneColourCheck oneColour;
    int number = 0;
    for (int band = 0; band < grid.BandCount(); ++band) {
        const int rows = grid.BandEnd(band) - grid.BandStart(band);
        std::vector<uint8_t> bandRgb(static_cast<size_t>(grid.Width()) * rows * 3);
        const std::vector<WmsPiece> bandPieces = grid.PiecesOf(band);
        for (size_t i = 0; i < bandPieces.size(); ++i) {
            const WmsPiece& piece = bandPieces[i];
            const PieceImage answer = source.Get(piece);
            ++number;
            if (cancelRequested)
                return Fail(window, "cancelled");
            if (!answer.error.empty())
                return Fail(window, StringPrintf("the imagery WMS at \"%s\" gave no image for piece %d of %d: %s. %s",
                                                 job.hosts.imagery.c_str(), number, pieces,
                                                 WithoutFinalPeriods(answer.error).c_str(), kCheckSetting));
            window.AddToLog(StringPrintf("Imagery: piece %d of %d (%d x %d pixels)%s.", number, pieces, piece.width,
                                         piece.height, answer.kept ? " from the cache" : ""));
            window.SetProgress(number * 100 / pieces);
            oneColour.See(answer.image);
            PasteInto(bandRgb, grid.Width(), answer.image, grid.PieceColumn(static_cast<int>(i)));
        }
        resampler.AddBand(std::move(bandRgb), texture);
    }
    if (oneColour.Single())
        return Fail(window, StringPrintf("every pixel the imagery WMS at \"%s\" gave for the quad has one colour; "
                                         "it may have no imagery there",
                                         job.hosts.imagery.c_str()));
    return 0;
}

} // namespace

int FetchImagery(JobWindow& window, const JobParameters& job, const std::atomic<bool>& cancelRequested, int width,
                 int height, TGAFile& texture)
{
    UpstreamClient client;
    const CancelWatch watch(client, cancelRequested);
    WmsCapabilitiesSource::Shared capabilities;
    const WmsLayerInfo* layer = ReadService(window, job, client, capabilities);
    if (cancelRequested)
        return Fail(window, "cancelled");
    if (!layer)
        return 1;
    const int maxSide = WmsMaxImageSide(capabilities->maxWidth, capabilities->maxHeight);
    const ImageryGrid grid(job.quad, width, height, std::min(maxSide, kMaxPieceColumns),
                           std::min(maxSide, kMaxPieceRows));
    window.AddToLog(StringPrintf("Imagery: layer \"%s\" (%s), %d x %d pixels in %d pieces.", layer->name.c_str(),
                                 layer->title.c_str(), grid.Width(), grid.Height(),
                                 grid.BandCount() * grid.PiecesPerBand()));
    if (texture.CreateUnfilled(width, height) != 0)
        return Fail(window, StringPrintf("no room for a texture of %d x %d pixels", width, height));
    const PieceSource source(client, job, layer->name, capabilities->PreferredFormat());
    const int result = FetchGrid(window, job, cancelRequested, grid, source, texture);
    if (result != 0)
        texture.Close();
    return result;
}

int MakeImageryTexture(JobWindow& window, const JobParameters& job, const std::atomic<bool>& cancelRequested,
                       int width, int height, const std::string& output, ImageCache& images)
{
    TGAFile texture;
    if (const int result = FetchImagery(window, job, cancelRequested, width, height, texture); result != 0)
        return result;
    if (texture.Write(output) != 0)
        return Fail(window, StringPrintf("could not write \"%s\"", output.c_str()));
    window.AddToLog(StringPrintf("Imagery: \"%s\" written.", output.c_str()));
    KeepWritten(&images, output, std::move(texture));
    return 0;
}
