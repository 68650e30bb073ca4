#include "services/DrawnMaps.h"

bool DrawnMaps::SameView(const MapView& a, const MapView& b)
{
    return a.longitude == b.longitude && a.latitude == b.latitude && a.width == b.width && a.height == b.height
        && a.imageWidth == b.imageWidth && a.imageHeight == b.imageHeight && a.layers == b.layers;
}

std::string DrawnMaps::Find(const MapView& view) const
{
    std::lock_guard lock(mutex_);
    for (const Drawn& drawn : maps_)
        if (SameView(drawn.view, view))
            return drawn.gif;
    return {};
}

void DrawnMaps::Keep(const MapView& view, const std::string& gif)
{
    if (gif.empty() || gif.size() > kMaxGifBytes)
        return;
    std::lock_guard lock(mutex_);
    maps_.remove_if([&](const Drawn& drawn) { return SameView(drawn.view, view); });
    maps_.push_front(Drawn{view, gif});
    while (maps_.size() > kMaxMaps)
        maps_.pop_back();
}
