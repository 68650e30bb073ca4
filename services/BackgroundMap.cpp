#include "services/BackgroundMap.h"

#include "gateway/PlainStatusText.h"

#include <cstdio>

bool BackgroundMap::Done() const
{
    std::lock_guard lock(mutex_);
    return done_;
}

bool BackgroundMap::Failed() const
{
    std::lock_guard lock(mutex_);
    return done_ && !failure_.empty();
}

std::string BackgroundMap::Failure() const
{
    std::lock_guard lock(mutex_);
    return failure_;
}

std::string BackgroundMap::ProgressText() const
{
    std::string text = progress_ ? progress_() : std::string();
    if (text.empty())
        return Done() ? "The street map is drawn." : "Drawing the street map.";
    return text;
}

void BackgroundMap::Finish(const std::string& failure)
{
    // The failure goes into status pages and into a header.
    std::string plain = PlainStatusText(failure);
    while (!plain.empty() && plain.back() == ' ')
        plain.pop_back();
    std::lock_guard lock(mutex_);
    failure_ = plain;
    done_ = true;
}

std::string JobMapQuery(double west, double east, double south, double north)
{
    constexpr int kImageWidth = 1200;
    const int imageHeight = static_cast<int>(kImageWidth * 1.04 + 0.5);
    char query[320];
    std::snprintf(query, sizeof query,
                  "lon=%0.8f&lat=%0.8f&wid=%0.8f&ht=%0.8f&iwd=%d&iht=%d"
                  "&on=CITIES,GRID,counties,indian,majroads,miscell,places,railroad,shorelin,streets,"
                  "interstate,statehwy,ushwy,states,water",
                  (west + east) * 0.5, (north + south) * 0.5, east - west, (north - south) * 1.04, kImageWidth,
                  imageHeight);
    return query;
}
