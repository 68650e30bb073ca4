#include "job/ElevationOrder.h"
#include "job/MapTile.h"

#include <gtest/gtest.h>

#include <set>

namespace {

TEST(ElevationOrder, OrderUrlListsEveryKeyInOrderWithSixDecimalEdges)
{
    const std::string url = ElevationOrderUrl("extract.example:8080", {-99, -98, 40, 39}, "00ff");
    EXPECT_EQ(url,
              "http://extract.example:8080/diststatus/servlet/gov.usgs.edc.RequestStatus?siz=1&key=SM3&ras=1&rsp=1"
              "&pfm=BIL&imsurl=-1&ms=-1&att=-1&lay=-1&fid=-1&dlpre=&lft=-99.000000&rgt=-98.000000&top=40.000000"
              "&bot=39.000000&wmd=1&mur=http://extract.example:8080/distmeta/servlet/gov.usgs.edc.MetaBuilder"
              "&mcd=SRTM1FIN&mdf=HTML&arc=ZIP&sde=SRTM.C_US_1_ELEVATION_SHIFT&msd=SRTM.c_national_1_elevation_meta"
              "&zun=&prj=0&csx=0.0002777777778&csy=0.0002777777778&bnd=&bndnm=&RC=00ff");
}

TEST(ElevationOrder, RequestCodesAre38HexDigitsAndChangeFromJobToJob)
{
    std::set<std::string> codes;
    for (int i = 0; i < 20; ++i) {
        const std::string code = MakeRequestCode();
        ASSERT_EQ(code.size(), 38u);
        EXPECT_EQ(code.find_first_not_of("0123456789abcdef"), std::string::npos) << code;
        codes.insert(code);
    }
    EXPECT_EQ(codes.size(), 20u);
}

TEST(ElevationOrder, ProgressPhrasesInOrderOfPrecedence)
{
    const std::vector<std::string>& phrases = ElevationProgressPhrases();
    ASSERT_EQ(phrases.size(), 9u);
    EXPECT_EQ(phrases.front(), "Adding your request");
    EXPECT_EQ(phrases[1], "Extracting data");
    EXPECT_EQ(phrases[7], "ahead of you");
    EXPECT_EQ(phrases.back(), "Error");
}

TEST(MapTile, UrlAsksForTheQuadFourPercentTaller)
{
    EXPECT_EQ(MapTileUrl("maps.example", -99, -98, 40, 39, 1200),
              "http://maps.example/cgi-bin/mapper/map.gif?lon=-98.50000000&lat=39.50000000&wid=1.00000000"
              "&ht=1.04000000&iwd=1200&iht=1248&on=CITIES,GRID,counties,indian,majroads,miscell,places,railroad,"
              "shorelin,streets,interstate,statehwy,ushwy,states,water");
    const std::string small = MapTileUrl("m", -99, -98.975, 40, 39.975, 1200);
    EXPECT_NE(small.find("wid=0.02500000&ht=0.02600000&iwd=1200&iht=1248&"), std::string::npos) << small;
}

} // namespace
