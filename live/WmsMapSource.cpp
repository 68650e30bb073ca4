#include "live/WmsMapSource.h"

#include "live/CacheEntryLock.h"
#include "live/CacheFile.h"
#include "live/PieceFlights.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

WmsMapSource::Result WmsMapSource::Fetch(const std::vector<std::string>& layers, const WmsPiecePlan& plan,
                                         const PieceSink& sink) const
{
    // Pieces are fetched and decoded side by side (the upstream client caps
    // the requests at once); the sink sees one piece at a time.
    std::atomic<size_t> next{0};
    std::mutex mutex;
    Result failure;
    auto work = [&] {
        for (size_t i = next++; i < plan.pieces.size(); i = next++) {
            {
                std::lock_guard lock(mutex);
                if (!failure.failure.empty())
                    return;
            }
            const Result result =
                FetchPiece(layers, plan.pieces[i], [&](const WmsPiece& piece, const RgbImage& image) {
                    std::lock_guard lock(mutex);
                    if (failure.failure.empty())
                        sink(piece, image);
                });
            if (!result.failure.empty()) {
                std::lock_guard lock(mutex);
                if (failure.failure.empty())
                    failure = result;
                return;
            }
        }
    };
    const size_t helpers = std::min<size_t>(kParallelPieces, std::max<size_t>(1, plan.pieces.size())) - 1;
    std::vector<std::thread> threads;
    for (size_t i = 0; i < helpers; ++i)
        threads.emplace_back(work);
    work();
    for (std::thread& thread : threads)
        thread.join();
    return failure;
}

size_t WmsMapSource::MaxAnswerBytesFor(const WmsPiece& piece)
{
    const size_t pixels =
        static_cast<size_t>(std::max(piece.width, 0)) * static_cast<size_t>(std::max(piece.height, 0));
    return std::min(kMaxAnswerBytes, 2 * pixels + (size_t{1} << 20));
}

std::string WmsMapSource::PiecePath(const std::string& url) const
{
    return cacheFolder_.empty() ? std::string() : cacheFolder_ + "/wms/pieces/" + CacheKeyHash(url) + ".map";
}

WmsMapSource::Result WmsMapSource::FetchPiece(const std::vector<std::string>& layers, const WmsPiece& piece,
                                              const PieceSink& sink) const
{
    const std::string url = WmsGetMapUrl(baseUrl_, layers, piece, format_);
    const std::string path = PiecePath(url);
    // A second request for this piece waits here, then finds it kept.
    PieceFlights::Hold hold(PieceFlights::Shared(), url);
    if (path.empty())
        return FetchAndKeep(url, path, piece, sink);
    if (ServeKept(path, piece, sink))
        return {};
    // Another process may be fetching the same piece: wait for it, then serve what it kept.
    const CacheEntryLock entry(path, {fetch_.CancelProbe(), kLockPatience});
    if (entry.Cancelled()) {
        UpstreamAnswer cancelled;
        cancelled.error = "cancelled";
        return Decode(cancelled, piece, sink);
    }
    if (ServeKept(path, piece, sink))
        return {};
    return FetchAndKeep(url, path, piece, sink);
}

// Hands on the kept answer for `piece` when there is one that decodes.
bool WmsMapSource::ServeKept(const std::string& path, const WmsPiece& piece, const PieceSink& sink) const
{
    UpstreamAnswer kept;
    if (!ReadCacheFile(path, MaxAnswerBytesFor(piece), kept.body))
        return false;
    kept.ok = true;
    kept.status = 200;
    return Decode(kept, piece, sink).failure.empty();
}

WmsMapSource::Result WmsMapSource::FetchAndKeep(const std::string& url, const std::string& path,
                                                const WmsPiece& piece, const PieceSink& sink) const
{
    const UpstreamAnswer answer = fetch_(url, MaxAnswerBytesFor(piece));
    Result result = Decode(answer, piece, sink);
    // Only a piece that decoded is kept; a refusal is asked again next time.
    std::string ignored;
    if (result.failure.empty() && !path.empty())
        WriteCacheFile(path, answer.body, ignored);
    return result;
}

WmsMapSource::Result WmsMapSource::Decode(const UpstreamAnswer& answer, const WmsPiece& piece,
                                          const PieceSink& sink) const
{
    const std::string source = "The " + name_ + " at " + baseUrl_;
    if (!answer.ok)
        return {source + " could not be reached: " + answer.error + "."};
    // A decoded piece is some 40 MB of pixels: pieces are fetched side by
    // side, but decoded and handed on one at a time in the whole process.
    static std::mutex decoding;
    std::lock_guard lock(decoding);
    const WmsAnswer map =
        ReadWmsAnswer(answer.contentType, answer.body, static_cast<size_t>(piece.width) * piece.height);
    if (answer.status != 200 && map.ok)
        return {source + " answered with status " + std::to_string(answer.status) + "."};
    if (!map.ok) {
        const std::string status = answer.status == 200 ? "" : " (status " + std::to_string(answer.status) + ")";
        return {source + " gave no map" + status + ": " + map.error + ".", IsLayerNotDefined(answer.body)};
    }
    if (map.image.width != piece.width || map.image.height != piece.height)
        return {source + " answered an image of " + std::to_string(map.image.width) + " x " +
                std::to_string(map.image.height) + " pixels for one of " + std::to_string(piece.width) + " x " +
                std::to_string(piece.height) + "."};
    sink(piece, map.image);
    return {};
}
