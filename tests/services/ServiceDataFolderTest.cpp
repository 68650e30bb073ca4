#include "services/ReferenceServices.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

// An installed or unpacked copy (bin/ beside share/terrafetch/data) reads
// its own data wherever it lies; a program elsewhere falls back to the data
// of the source tree it was built from.
TEST(ServiceDataFolder, TheCopyBesideTheProgramComesFirst)
{
    TempDir root;
    const std::filesystem::path bin = root.Path() / "usr" / "bin";
    const std::filesystem::path data = root.Path() / "usr" / "share" / "terrafetch" / "data";
    std::filesystem::create_directories(bin);
    const std::string fallback = ServiceDataFolderBeside(bin.string());
    EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(fallback) / "places.txt")) << fallback;
    EXPECT_EQ(ServiceDataFolderBeside(""), fallback);

    std::filesystem::create_directories(data);
    EXPECT_EQ(ServiceDataFolderBeside(bin.string()), data.string());
}

TEST(ServiceDataFolder, TheEnvironmentOverridesIt)
{
    ::setenv("TERRAFETCH_SERVICES_DATA", "/somewhere/else", 1);
    EXPECT_EQ(DefaultServiceDataFolder(), "/somewhere/else");
    ::unsetenv("TERRAFETCH_SERVICES_DATA");
    EXPECT_NE(DefaultServiceDataFolder(), "/somewhere/else");
}

} // namespace
