#pragma once

#include "live/UpstreamFetch.h"
#include "live/WmsAnswer.h"
#include "live/WmsGetMap.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

// Fetches a box of street map from one TIGERweb WMS in the pieces of a plan
// and hands each decoded piece on, so that only a few pieces are held at once.
class WmsMapSource {
public:
    static constexpr size_t kMaxAnswerBytes = 64u << 20;
    static constexpr int kMaxPieces = 16;  // per service and map
    static constexpr size_t kParallelPieces = 3;  // decoded pieces held at once, at most

    // `name` says which service this is in messages ("TIGERweb physical
    // features WMS").
    WmsMapSource(UpstreamFetch fetch, std::string baseUrl, std::string name)
        : fetch_(std::move(fetch)), baseUrl_(std::move(baseUrl)), name_(std::move(name))
    {
    }

    using PieceSink = std::function<void(const WmsPiece& piece, const RgbImage& image)>;

    // Fetches every piece of `plan` with `layers`; returns an empty text, or
    // at the first failure a line naming the service and the cause. The
    // sink is called for one piece at a time, from any of the fetching
    // threads.
    std::string Fetch(const std::vector<std::string>& layers, const WmsPiecePlan& plan, const PieceSink& sink) const;

private:
    std::string FetchPiece(const std::vector<std::string>& layers, const WmsPiece& piece, const PieceSink& sink) const;

    UpstreamFetch fetch_;
    std::string baseUrl_;
    std::string name_;
};
