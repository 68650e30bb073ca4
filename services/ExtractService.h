#pragma once

#include "gateway/LiveElevation.h"
#include "gateway/ServiceReply.h"
#include "live/LiveSourceSettings.h"
#include "services/BackgroundMap.h"
#include "services/SpooledBytes.h"
#include "terrain/ElevationSource.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <random>
#include <semaphore>
#include <string>
#include <unordered_map>

// The elevation extract service. An order is answered the way a queued
// service answers: a redirect to a status page, status pages whose Refresh
// header names a wait and the next page, a final redirect to the archive, and
// the archive itself (B/B.bil, B/B.hdr, B/B.stx in a ZIP named B.zip, with B
// the order number).
//
//   GET /diststatus/servlet/gov.usgs.edc.RequestStatus?...lft=&rgt=&top=&bot=...
//   GET /diststatus/servlet/gov.usgs.edc.OrderStatus?id=N&page=K
//   GET /diststatus/servlet/gov.usgs.edc.Download?id=N
//   GET /diststatus/archive/N.zip
//
// Absolute URLs in Location and Refresh headers are built from the Host the
// client addressed (or `fallbackHost`).
//
// In live mode the order's tiles are fetched from the public elevation
// source while the client follows the pages (handlers never wait for them):
// the pages name the source and its credit and count the tiles in, one page
// repeats until they are all there, and a failed fetch shows an "Error" page
// whose next URL answers 502 with the cause. The archive then holds the
// tiles' own posts, voids where the source has no tile. With a map starter
// the order's street map is drawn meanwhile: the pages wait for it as well,
// give its credit, and its failure fails the order.
class ExtractService {
public:
    static constexpr const char* kOrderPath = "/diststatus/servlet/gov.usgs.edc.RequestStatus";
    static constexpr const char* kStatusPath = "/diststatus/servlet/gov.usgs.edc.OrderStatus";
    static constexpr const char* kDownloadPath = "/diststatus/servlet/gov.usgs.edc.Download";
    static constexpr const char* kArchivePrefix = "/diststatus/archive/";

    struct Options {
        ElevationSourceOptions elevation;
        int waitSeconds = 1;       // the wait each status page asks for
        int compressionLevel = 1;  // of the archive members
        uint64_t seed = 0;         // order numbers; 0 picks one at random
        LiveSourceSettings live;   // live.live: elevation from the public source
        UpstreamClient::Limits upstream;
        // Live mode: draws the order's street map while its tiles come in;
        // empty, orders concern elevation alone.
        BackgroundMapStarter startMap;
    };

    explicit ExtractService(Options options);

    ServiceReply Order(const QueryMap& query, const std::string& host);
    ServiceReply Status(const QueryMap& query, const std::string& host);
    ServiceReply Download(const QueryMap& query, const std::string& host);
    // `name` is the last path component, for example 123456789.zip.
    ServiceReply Archive(const std::string& name);

    // How many status pages an order goes through before its archive.
    static int StatusPageCount();

    // Why an order's query is not acceptable, or an empty text when it is.
    static std::string ValidateOrder(const QueryMap& query, double& west, double& east,
                                     double& south, double& north);

private:
    struct OrderRecord {
        double west, east, south, north;
        LiveElevation::Tiles tiles;  // live mode only
        std::shared_ptr<BackgroundMap> map;  // when a map is drawn with the order
    };

    bool FindOrder(const QueryMap& query, uint64_t& id, OrderRecord& order);
    ServiceReply LiveStatus(uint64_t id, const OrderRecord& order, long page, const std::string& host);
    bool BuildGrid(const OrderRecord& order, ElevationGrid& grid) const;

    Options options_;
    std::unique_ptr<LiveElevation> live_;
    std::mutex mutex_;
    std::mt19937_64 ids_;
    std::unordered_map<uint64_t, OrderRecord> orders_;
    std::deque<uint64_t> orderAge_;
    // The last archives built, so a client that retries a download gets the
    // same bytes without a second build, and an order of the same quad from
    // the bundled terrain gets them under its own name; they wait in
    // temporary files.
    struct RecentArchive {
        uint64_t id;
        double west, east, south, north;
        bool live;
        std::shared_ptr<const SpooledBytes> bytes;
    };
    std::deque<RecentArchive> recentArchives_;
    // The archive of order `id` from those kept, into `bytes`; false when none serves.
    bool RecentArchiveFor(uint64_t id, const OrderRecord& order, std::string& bytes);
    // Building an archive of a 1-degree quad holds some 60 MB; at most two
    // are built at a time.
    std::counting_semaphore<2> builders_{2};
};
