#include "services/DrawnMaps.h"
#include "services/MapService.h"

#include <gtest/gtest.h>

namespace {

MapView ViewAt(double longitude)
{
    MapView view;
    view.longitude = longitude;
    view.latitude = 39.5;
    view.imageWidth = 64;
    view.imageHeight = 66;
    view.layers = 1;
    return view;
}

TEST(DrawnMapsTest, KeepsTheLastFewSmallMapsByTheirWholeView)
{
    DrawnMaps maps;
    maps.Keep(ViewAt(-98.5), "first");
    EXPECT_EQ(maps.Find(ViewAt(-98.5)), "first");
    MapView otherLayers = ViewAt(-98.5);
    otherLayers.layers = 3;
    EXPECT_EQ(maps.Find(otherLayers), "") << "every part of the view counts";
    MapView otherSize = ViewAt(-98.5);
    otherSize.imageWidth = 65;
    EXPECT_EQ(maps.Find(otherSize), "");

    for (size_t i = 1; i <= DrawnMaps::kMaxMaps; ++i)
        maps.Keep(ViewAt(-98.5 + static_cast<double>(i)), "later");
    EXPECT_EQ(maps.Find(ViewAt(-98.5)), "") << "the oldest went";
    EXPECT_EQ(maps.Find(ViewAt(-98.5 + DrawnMaps::kMaxMaps)), "later");

    maps.Keep(ViewAt(10), std::string(DrawnMaps::kMaxGifBytes + 1, 'x'));
    EXPECT_EQ(maps.Find(ViewAt(10)), "") << "a large map is not kept";
}

TEST(DrawnMapsTest, TheSameMapAskedAgainIsNotDrawnAgain)
{
    const Gazetteer gazetteer;
    const BoundaryLines boundaries;
    const MapService service(gazetteer, boundaries);
    const QueryMap query{{"lon", "-98.5"}, {"lat", "39.5"}, {"wid", "1"}, {"ht", "1.04"},
                         {"iwd", "120"}, {"iht", "125"}, {"on", "GRID,water"}};
    const ServiceReply first = service.Map(query);
    ASSERT_EQ(first.status, 200);
    const ServiceReply second = service.Map(query);
    EXPECT_EQ(second.body, first.body);
    EXPECT_EQ(service.MapsDrawn(), 1u);

    QueryMap elsewhere = query;
    elsewhere["lon"] = "-97.5";
    EXPECT_EQ(service.Map(elsewhere).status, 200);
    EXPECT_EQ(service.MapsDrawn(), 2u);
}

} // namespace
