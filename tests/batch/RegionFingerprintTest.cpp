#include "batch/BatchOptions.h"
#include "batch/RegionCommand.h"
#include "core/JobFields.h"
#include "live/LiveSourceSettings.h"

#include <gtest/gtest.h>

namespace {

TEST(RegionFingerprint, ATextureOtherThanTheStreetMapAt1200RowsChangesItAndTheDefaultKeepsItsOldForm)
{
    const BatchOptions options;
    JobFields job;
    LiveSourceSettings sources;
    const std::string plain = QuadOptionsFingerprint(options, job, sources);
    EXPECT_EQ(plain.find("texture"), std::string::npos) << "quads finished before the choice stay finished";

    job.textureKind = TextureKind::ImageryWithMap;
    job.textureHeight = 4800;
    const std::string imagery = QuadOptionsFingerprint(options, job, sources);
    EXPECT_NE(imagery.find("texture=imagery+map; texture-height=4800"), std::string::npos) << imagery;
    EXPECT_EQ(imagery.find("imagery=http"), std::string::npos) << "the bundled imagery has no URL to name";

    sources.live = true;
    sources.imageryUrl = "http://127.0.0.1:1/wms";
    EXPECT_NE(QuadOptionsFingerprint(options, job, sources).find("imagery=http://127.0.0.1:1/wms"), std::string::npos);
    job.textureKind = TextureKind::Map;
    EXPECT_EQ(QuadOptionsFingerprint(options, job, sources).find("imagery="), std::string::npos)
        << "a street map does not depend on the imagery";
}

}  // namespace
