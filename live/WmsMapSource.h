#pragma once

#include "live/UpstreamFetch.h"
#include "live/WmsAnswer.h"
#include "live/WmsGetMap.h"

#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// Fetches a box of street map from one TIGERweb WMS in the pieces of a plan
// and hands each decoded piece on, so that only a few pieces are held at once.
// Each answer is kept in the cache folder under its GetMap URL, so a retry or
// a later run resumes with the pieces already fetched; a piece asked for
// twice at once, by threads of one process or by processes sharing the
// cache folder, is fetched once.
class WmsMapSource {
public:
    static constexpr size_t kMaxAnswerBytes = 64u << 20;
    // A piece's answer may hold two bytes a pixel plus 1 MiB (and never more
    // than kMaxAnswerBytes): far more than a compressed map needs, little
    // enough that the pieces fetched at once stay small in memory.
    static size_t MaxAnswerBytesFor(const WmsPiece& piece);
    static constexpr int kMaxPieces = 16;  // per service and map
    static constexpr size_t kParallelPieces = 3;  // pieces fetched at once, at most; one is decoded at a time
    // How long a piece waits for another process fetching the same one.
    static constexpr std::chrono::minutes kLockPatience{20};

    // `name` says which service this is in messages ("TIGERweb physical
    // features WMS"); an empty `cacheFolder` keeps no pieces.
    WmsMapSource(UpstreamFetch fetch, std::string baseUrl, std::string name, std::string cacheFolder = {},
                 std::string format = "image/png")
        : fetch_(std::move(fetch)), baseUrl_(std::move(baseUrl)), name_(std::move(name)),
          cacheFolder_(std::move(cacheFolder)), format_(std::move(format))
    {
    }

    using PieceSink = std::function<void(const WmsPiece& piece, const RgbImage& image)>;

    struct Result {
        std::string failure;           // empty when every piece arrived
        bool layerNotDefined = false;  // the service refused a layer name
    };

    // Fetches every piece of `plan` with `layers`; stops at the first
    // failure, naming the service and the cause. The sink is called for one
    // piece at a time, from any of the fetching threads.
    Result Fetch(const std::vector<std::string>& layers, const WmsPiecePlan& plan, const PieceSink& sink) const;

private:
    Result FetchPiece(const std::vector<std::string>& layers, const WmsPiece& piece, const PieceSink& sink) const;
    bool ServeKept(const std::string& path, const WmsPiece& piece, const PieceSink& sink) const;
    Result FetchAndKeep(const std::string& url, const std::string& path, const WmsPiece& piece,
                        const PieceSink& sink) const;
    Result Decode(const UpstreamAnswer& answer, const WmsPiece& piece, const PieceSink& sink) const;
    std::string PiecePath(const std::string& url) const;

    UpstreamFetch fetch_;
    std::string baseUrl_;
    std::string name_;
    std::string cacheFolder_;
    std::string format_;
};
