#include "services/ExtractService.h"

#include "gateway/PlainStatusText.h"
#include "terrain/BilArchive.h"

#include <algorithm>
#include <cctype>
#include <utility>
#include <cmath>
#include <cstdio>

namespace {

struct StatusPage {
    const char* strong;  // the page's emphasised progress text
    const char* detail;
};

// The phrases follow the order's progress; the fourth page says nothing a
// client knows, as real queues now and then do.
constexpr StatusPage kPages[] = {
    {"Adding your request<BR>to the extract queue.", "Your order has been received."},
    {"There are 2 requests ahead of you.", "Please wait; this page reloads by itself."},
    {"There is 1 request ahead of you.", "Please wait; this page reloads by itself."},
    {"Your order is being prepared.", "Please wait; this page reloads by itself."},
    {"Extracting data", "Reading elevation posts for the requested area."},
    {"Creating the archive file", "Packing the raster, its header and its statistics."},
    {"The data extraction has completed.<BR>Your download starts now.",
     "If it does not, follow the link below."},
};
constexpr int kPageCount = static_cast<int>(sizeof kPages / sizeof kPages[0]);

// Live mode has no queue to show: its pages follow the tiles instead. The
// extracting page repeats until they are all in.
constexpr StatusPage kLivePages[] = {
    {"Adding your request<BR>to the extract queue.", "Your order has been received."},
    {"Extracting data", "Fetching the elevation tiles of the requested area."},
    {"Creating the archive file", "Packing the raster, its header and its statistics."},
    {"The data extraction has completed.<BR>Your download starts now.",
     "If it does not, follow the link below."},
};
constexpr int kLivePageCount = static_cast<int>(sizeof kLivePages / sizeof kLivePages[0]);
constexpr int kLiveExtractPage = 1;

constexpr size_t kMaxOrders = 10000;
constexpr size_t kRecentArchives = 2;

std::string Format(const char* format, double a, double b, double c, double d)
{
    char text[256];
    std::snprintf(text, sizeof text, format, a, b, c, d);
    return text;
}

bool SameNumber(double value, double expected) { return std::fabs(value - expected) < 1e-9; }

ServiceReply Redirect(const std::string& location)
{
    ServiceReply reply;
    reply.status = 302;
    reply.contentType = "text/html";
    reply.headers.emplace_back("Location", location);
    reply.body = "<HTML><BODY>Moved to <A HREF=\"" + location + "\">" + location + "</A></BODY></HTML>\n";
    return reply;
}

ServiceReply StatusPageReply(uint64_t id, double west, double east, double south, double north,
                             const std::string& strong, const std::string& detail, const std::string& next,
                             int waitSeconds)
{
    ServiceReply reply;
    reply.contentType = "text/html";
    reply.headers.emplace_back("Refresh", std::to_string(waitSeconds) + "; URL=" + next);
    reply.body = "<HTML>\n<HEAD><TITLE>Request Status</TITLE></HEAD>\n<BODY>\n"
                 "<H2>Order " + std::to_string(id) + "</H2>\n"
                 "<P><STRONG>" + strong + "</STRONG></P>\n"
                 "<P>" + detail + "</P>\n" +
                 Format("<P>Area: west %.6f, east %.6f, north %.6f, south %.6f.</P>\n", west, east, north, south) +
                 "<P><A HREF=\"" + next + "\">Next</A></P>\n</BODY>\n</HTML>\n";
    return reply;
}

std::string BundledElevationText(const std::string& dataFolder)
{
    if (dataFolder.empty())
        return "Elevation: synthetic terrain from the bundled services, not measured data; see \"Real data\" "
               "in the README.";
    return "Elevation: the elevation files of " + PlainStatusText(dataFolder) +
           " where they cover the area, synthetic terrain (not measured data) elsewhere.";
}

ServiceReply LiveFailure(const std::string& why)
{
    ServiceReply reply = ServiceReply::Text(502, "Error: " + why + "\n");
    reply.headers.emplace_back("X-Extract-Error", why);
    return reply;
}

ServiceReply BadOrder(const std::string& why)
{
    // The client shows the headers of a failed answer, not its body, so the
    // reason travels in a header as well.
    ServiceReply reply = ServiceReply::Text(400, "Error: " + why + "\n");
    reply.headers.emplace_back("X-Extract-Error", why);
    return reply;
}

}  // namespace

ExtractService::ExtractService(Options options) : options_(std::move(options))
{
    uint64_t seed = options_.seed;
    if (seed == 0) {
        std::random_device device;
        seed = (static_cast<uint64_t>(device()) << 32) ^ device();
    }
    ids_.seed(seed);
    if (options_.live.live)
        live_ = std::make_unique<LiveElevation>(options_.live, options_.upstream);
}

int ExtractService::StatusPageCount() { return kPageCount; }

std::string ExtractService::ValidateOrder(const QueryMap& query, double& west, double& east,
                                          double& south, double& north)
{
    struct Edge {
        const char* key;
        double* value;
    };
    for (const Edge& edge : {Edge{"lft", &west}, Edge{"rgt", &east}, Edge{"top", &north},
                             Edge{"bot", &south}}) {
        std::string text;
        if (!FindKey(query, edge.key, text))
            return std::string("The order names no ") + edge.key + " edge.";
        if (!ParseNumber(text, *edge.value))
            return std::string("The ") + edge.key + " edge \"" + text.substr(0, 40) + "\" is not a number.";
    }
    if (west < -180.0 || east > 180.0)
        return "Longitudes must lie between -180 and 180 degrees.";
    if (south < -90.0 || north > 90.0)
        return "Latitudes must lie between -90 and 90 degrees.";
    if (!(west < east))
        return "The west edge (lft) must lie west of the east edge (rgt).";
    if (!(south < north))
        return "The south edge (bot) must lie south of the north edge (top).";
    if (east - west > 1.0 + 1e-9 || north - south > 1.0 + 1e-9)
        return "The area may be at most 1 degree on a side.";
    if (PostsForSpan(east - west) < 2 || PostsForSpan(north - south) < 2)
        return "The area must be at least one arc-second on a side.";
    std::string text;
    if (FindKey(query, "pfm", text) && text != "BIL")
        return "Only the raster format BIL (pfm=BIL) is offered.";
    if (FindKey(query, "arc", text) && text != "ZIP")
        return "Only ZIP archives (arc=ZIP) are offered.";
    for (const char* key : {"csx", "csy"}) {
        double cell = 0.0;
        if (FindKey(query, key, text) && (!ParseNumber(text, cell) || !SameNumber(cell, kArcSecond)))
            return std::string("The cell size ") + key + " must be one arc-second (0.0002777777778).";
    }
    return {};
}

ServiceReply ExtractService::Order(const QueryMap& query, const std::string& host)
{
    double west = 0, east = 0, south = 0, north = 0;
    const std::string why = ValidateOrder(query, west, east, south, north);
    if (!why.empty())
        return BadOrder(why);

    OrderRecord record{west, east, south, north, nullptr, nullptr};
    if (live_)
        record.tiles = live_->Start(west, east, south, north);
    if (live_ && options_.startMap)
        record.map = options_.startMap(west, east, south, north);
    uint64_t id = 0;
    {
        std::lock_guard lock(mutex_);
        do
            id = 100000000 + ids_() % 900000000;
        while (orders_.count(id));
        orders_[id] = std::move(record);
        orderAge_.push_back(id);
        while (orderAge_.size() > kMaxOrders) {
            orders_.erase(orderAge_.front());
            orderAge_.pop_front();
        }
    }
    return Redirect("http://" + host + kStatusPath + "?id=" + std::to_string(id) + "&page=0");
}

bool ExtractService::FindOrder(const QueryMap& query, uint64_t& id, OrderRecord& order)
{
    std::string text;
    long number = 0;
    if (!FindKey(query, "id", text) || !ParseInteger(text, number) || number <= 0)
        return false;
    id = static_cast<uint64_t>(number);
    std::lock_guard lock(mutex_);
    const auto found = orders_.find(id);
    if (found == orders_.end())
        return false;
    order = found->second;
    return true;
}

ServiceReply ExtractService::Status(const QueryMap& query, const std::string& host)
{
    uint64_t id = 0;
    OrderRecord order{};
    if (!FindOrder(query, id, order))
        return ServiceReply::Text(404, "Error: There is no such order.\n");
    std::string text;
    long page = 0;
    if (!FindKey(query, "page", text) || !ParseInteger(text, page) || page < 0 || page >= kPageCount)
        return ServiceReply::Text(404, "Error: There is no such status page.\n");

    if (live_)
        return LiveStatus(id, order, page, host);

    const std::string orderQuery = "?id=" + std::to_string(id);
    const std::string next = page + 1 < kPageCount
                                 ? "http://" + host + kStatusPath + orderQuery + "&page=" + std::to_string(page + 1)
                                 : "http://" + host + kDownloadPath + orderQuery;
    // The first page says where the heights come from: made-up terrain is
    // never passed off as measured data.
    std::string strong = kPages[page].strong;
    if (page == 0)
        strong += "<BR>" + BundledElevationText(options_.elevation.hgtFolder);
    return StatusPageReply(id, order.west, order.east, order.south, order.north, strong,
                           kPages[page].detail, next, options_.waitSeconds);
}

ServiceReply ExtractService::LiveStatus(uint64_t id, const OrderRecord& order, long page, const std::string& host)
{
    if (page >= kLivePageCount)
        return ServiceReply::Text(404, "Error: There is no such status page.\n");
    const std::string orderQuery = "?id=" + std::to_string(id);
    auto pageUrl = [&](long number) {
        return "http://" + host + kStatusPath + orderQuery + "&page=" + std::to_string(number);
    };
    const std::string download = "http://" + host + kDownloadPath + orderQuery;
    std::string next = page + 1 < kLivePageCount ? pageUrl(page + 1) : download;
    std::string strong = kLivePages[page].strong;
    int wait = options_.waitSeconds;
    if (page == 0) {
        strong += "<BR>" + live_->SourceText();
        if (order.map)
            strong += "<BR>" + std::string(BackgroundMap::kCredit);
    }
    if (page == kLiveExtractPage) {
        const TileFetchStatus status = order.tiles->Status();
        if (status.failed) {
            strong = live_->FailureText(status);
            next = download;
        } else if (order.map && order.map->Failed()) {
            strong = "Error<BR>" + order.map->Failure();
            next = download;
        } else {
            strong += "<BR>" + LiveElevation::ProgressText(status);
            if (order.map)
                strong += "<BR>" + order.map->ProgressText();
            if (!status.Done() || (order.map && !order.map->Done())) {
                // Polled once a second at most while the tiles come in.
                next = pageUrl(page);
                wait = std::max(1, wait);
            }
        }
    }
    return StatusPageReply(id, order.west, order.east, order.south, order.north, strong, kLivePages[page].detail,
                           next, wait);
}

ServiceReply ExtractService::Download(const QueryMap& query, const std::string& host)
{
    uint64_t id = 0;
    OrderRecord order{};
    if (!FindOrder(query, id, order))
        return ServiceReply::Text(404, "Error: There is no such order.\n");
    if (order.tiles) {
        const TileFetchStatus status = order.tiles->Status();
        if (status.failed)
            return LiveFailure(live_->FailureLine(status));
        if (order.map && order.map->Failed())
            return LiveFailure(order.map->Failure());
        if (!status.Done() || (order.map && !order.map->Done()))
            return Redirect("http://" + host + kStatusPath + "?id=" + std::to_string(id) + "&page=" +
                            std::to_string(kLiveExtractPage));
    }
    return Redirect("http://" + host + kArchivePrefix + std::to_string(id) + ".zip");
}

bool ExtractService::BuildGrid(const OrderRecord& order, ElevationGrid& grid) const
{
    if (order.tiles)
        return live_->BuildGrid(*order.tiles, order.west, order.east, order.south, order.north, grid);
    return BuildElevationGrid(options_.elevation, order.west, order.east, order.south, order.north, grid);
}

bool ExtractService::RecentArchiveFor(uint64_t id, const OrderRecord& order, std::string& bytes)
{
    RecentArchive found{};
    {
        std::lock_guard lock(mutex_);
        for (const RecentArchive& recent : recentArchives_) {
            // The bundled terrain of a quad is the same for every order;
            // live tiles may have changed in the meantime.
            const bool sameQuad = !recent.live && !order.tiles && recent.west == order.west
                               && recent.east == order.east && recent.south == order.south
                               && recent.north == order.north;
            if (recent.id == id || (sameQuad && !found.bytes))
                found = recent;
        }
    }
    if (!found.bytes || !found.bytes->Read(bytes))
        return false;
    if (found.id == id)
        return true;
    if (RenameBilArchive(bytes, std::to_string(found.id), std::to_string(id)))
        return true;
    bytes.clear();
    return false;
}

ServiceReply ExtractService::Archive(const std::string& name)
{
    const size_t dot = name.find('.');
    if (dot == std::string::npos || name.substr(dot) != ".zip")
        return ServiceReply::Text(404, "Error: There is no such archive.\n");
    QueryMap query{{"id", name.substr(0, dot)}};
    uint64_t id = 0;
    OrderRecord order{};
    if (!FindOrder(query, id, order))
        return ServiceReply::Text(404, "Error: There is no such archive.\n");
    if (order.tiles) {
        const TileFetchStatus status = order.tiles->Status();
        if (status.failed)
            return LiveFailure(live_->FailureLine(status));
        if (order.map && order.map->Failed())
            return LiveFailure(order.map->Failure());
        if (!status.Done() || (order.map && !order.map->Done()))
            return ServiceReply::Text(404, "Error: The archive is not ready yet.\n");
    }

    std::string bytes;
    if (!RecentArchiveFor(id, order, bytes)) {
        {
            // Released on every way out, exceptions included.
            struct Slot {
                std::counting_semaphore<2>& semaphore;
                explicit Slot(std::counting_semaphore<2>& s) : semaphore(s) { semaphore.acquire(); }
                ~Slot() { semaphore.release(); }
            } slot(builders_);
            ElevationGrid grid;
            if (BuildGrid(order, grid))
                bytes = MakeBilArchive(std::to_string(id), std::move(grid), options_.compressionLevel);
        }
        if (bytes.empty())
            return ServiceReply::Text(500, "Error: The archive could not be made.\n");
        if (auto kept = SpooledBytes::Spool(bytes)) {
            std::lock_guard lock(mutex_);
            recentArchives_.push_back(
                RecentArchive{id, order.west, order.east, order.south, order.north, order.tiles != nullptr,
                              std::move(kept)});
            while (recentArchives_.size() > kRecentArchives)
                recentArchives_.pop_front();
        }
    }

    ServiceReply reply;
    reply.contentType = "application/zip";
    reply.body = std::move(bytes);
    reply.headers.emplace_back("Content-Disposition", "attachment; filename=\"" + name + "\"");
    return reply;
}
