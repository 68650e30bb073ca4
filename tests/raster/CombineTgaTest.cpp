#include "ConversionTestSupport.h"

#include "raster/CombineTga.h"
#include "tests/support/RecordingWindow.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace conversiontest {
namespace {

const std::string kIntro =
    "CombineTga(): Using the following colors to define transparency and semi-transparency in TIGER maps:";

class CombineTgaTest : public testing::Test {
protected:
    ScratchFolder folder;
    CurrentFolder here{folder.Folder()};  // "legend.tga" is looked up here
    bool keepIntermediates = false;
    RecordingWindow log;

    std::vector<std::string> LinesAfterFirst() const
    {
        const std::vector<std::string> lines = log.Lines();
        return {lines.begin() + 1, lines.end()};
    }
};

TEST_F(CombineTgaTest, DefaultListsMakeWhiteTransparentAndTintAreas)
{
    const Rgb map[] = {{255, 255, 255}, {255, 247, 159}, {0, 0, 0}, {255, 180, 170}, {10, 20, 30}};
    WriteImage("m.tga", 5, 1, [&](int x, int) { return map[x]; });
    WriteImage("e.tga", 5, 1, [](int, int) { return Rgb{200, 100, 50}; });
    ASSERT_EQ(CombineTga("m.tga", "e.tga", "o.tga", log, keepIntermediates), 0);
    TGAFile out;
    ASSERT_EQ(out.Open("o.tga"), 0);
    EXPECT_EQ(PixelOf(out, 0, 0), (Rgb{200, 100, 50}));
    EXPECT_EQ(PixelOf(out, 1, 0), (Rgb{200, 98, 41}));
    EXPECT_EQ(PixelOf(out, 2, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(PixelOf(out, 3, 0), (Rgb{200, 85, 42}));  // 255/217/212 over 200/100/50
    EXPECT_EQ(PixelOf(out, 4, 0), (Rgb{10, 20, 30}));
    EXPECT_EQ(LinesAfterFirst(), (std::vector<std::string>{
                                     "CombineTga(): No legend file \"legend.tga\" present.",
                                     kIntro,
                                     "CombineTga():     transparentColor[0]: (255/255/255), white",
                                     "CombineTga():     lighteningColor[0]: (255/180/170), pink (military area)",
                                     "CombineTga():     lighteningColor[1]: (175/215/127), dark green (national park)",
                                     "CombineTga():     lighteningColor[2]: (127/255/127), dight green (other park)",
                                     "CombineTga():     lighteningColor[3]: (255/247/159), yellow (city)",
                                     "Combining successful: \"o.tga\" written.",
                                 }));
}

TEST_F(CombineTgaTest, LegendDefinesTheListsNewestFirst)
{
    const Rgb red{255, 0, 0}, blue{0, 0, 255}, white{255, 255, 255};
    WriteImage("legend.tga", 3, 2, [&](int x, int y) { return y == 1 ? white : (x < 2 ? red : blue); });
    WriteImage("m.tga", 3, 1, [&](int x, int) { return x == 0 ? white : (x == 1 ? blue : Rgb{255, 247, 159}); });
    WriteImage("e.tga", 3, 1, [](int, int) { return Rgb{100, 100, 100}; });
    ASSERT_EQ(CombineTga("m.tga", "e.tga", "o.tga", log, keepIntermediates), 0);
    EXPECT_EQ(LinesAfterFirst(), (std::vector<std::string>{
                                     "CombineTga(): Legend file \"legend.tga\" present and loaded.",
                                     kIntro,
                                     "CombineTga(): transparentColor[0]: (255/255/255)",
                                     "CombineTga(): lighteningColor[0]: (0/0/255)",
                                     "CombineTga(): lighteningColor[1]: (255/0/0)",
                                     "Combining successful: \"o.tga\" written.",
                                 }));
    TGAFile out;
    ASSERT_EQ(out.Open("o.tga"), 0);
    EXPECT_EQ(PixelOf(out, 0, 0), (Rgb{100, 100, 100}));
    EXPECT_EQ(PixelOf(out, 1, 0), (Rgb{50, 50, 100}));      // blue lightened to 127/127/255
    EXPECT_EQ(PixelOf(out, 2, 0), (Rgb{255, 247, 159}));    // not in this legend
}

TEST_F(CombineTgaTest, OddLegends)
{
    // One row high: no transparent colours. Unreadable: the defaults.
    WriteImage("legend.tga", 2, 1, [](int, int) { return Rgb{1, 2, 3}; });
    WriteImage("m.tga", 1, 1, [](int, int) { return Rgb{255, 255, 255}; });
    WriteImage("e.tga", 1, 1, [](int, int) { return Rgb{7, 7, 7}; });
    ASSERT_EQ(CombineTga("m.tga", "e.tga", "o.tga", log, keepIntermediates), 0);
    EXPECT_EQ(log.Lines()[3], "CombineTga(): lighteningColor[0]: (1/2/3)");
    TGAFile out;
    ASSERT_EQ(out.Open("o.tga"), 0);
    EXPECT_EQ(PixelOf(out, 0, 0), (Rgb{255, 255, 255}));

    WriteBytes("legend.tga", {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 2, 0, 24, 0});  // run-length encoded
    RecordingWindow second;
    ASSERT_EQ(CombineTga("m.tga", "e.tga", "o.tga", second, keepIntermediates), 0);
    EXPECT_EQ(second.Lines()[1], "CombineTga(): No legend file \"legend.tga\" present.");
}

TEST_F(CombineTgaTest, ColoringOfAnotherSizeIsStretchedIntoASideFile)
{
    for (bool remove : {true, false}) {
        keepIntermediates = !remove;
        WriteImage("m.tga", 8, 8, [](int, int) { return Rgb{255, 255, 255}; });
        WriteImage("e.tga", 4, 4, [](int x, int y) { return Rgb{x * 10, y * 10, 5}; });
        RecordingWindow run;
        ASSERT_EQ(CombineTga("m.tga", "e.tga", "o.tga", run, keepIntermediates), 0);
        EXPECT_TRUE(run.HasLine("Stretching/shrinking successful: \"e.tga.stretched.tga\" written."));
        EXPECT_EQ(std::filesystem::exists("e.tga.stretched.tga"), !remove);
        TGAFile out;
        ASSERT_EQ(out.Open("o.tga"), 0);
        EXPECT_EQ(out.GetWidth(), 8);
        EXPECT_EQ(PixelOf(out, 2, 6), (Rgb{10, 30, 5}));
    }
}

// Drops root's privileges for the scope, so that file modes bind as they do
// for a user; does nothing for a user.
class AsUnprivilegedUser {
public:
    AsUnprivilegedUser() : wasRoot_(geteuid() == 0)
    {
        if (wasRoot_) {
            EXPECT_EQ(seteuid(65534), 0);
        }
    }
    ~AsUnprivilegedUser()
    {
        if (wasRoot_) {
            EXPECT_EQ(seteuid(0), 0);
        }
    }

private:
    bool wasRoot_;
};

TEST_F(CombineTgaTest, OldReadOnlySideFileOfAnotherSizeIsReplacedNotRead)
{
    WriteImage("m.tga", 64, 64, [](int, int) { return Rgb{255, 255, 255}; });
    WriteImage("e.tga", 4, 4, [](int, int) { return Rgb{1, 2, 3}; });
    WriteImage("e.tga.stretched.tga", 2, 2, [](int, int) { return Rgb{9, 9, 9}; });
    chmod("e.tga.stretched.tga", 0444);
    chmod(folder.Folder().c_str(), 0777);
    int result = 0;
    {
        AsUnprivilegedUser user;
        result = CombineTga("m.tga", "e.tga", "o.tga", log, keepIntermediates);
    }
    // Files are written under a temporary name and renamed into place, so a
    // read-only old copy in a writable folder is replaced, never read.
    ASSERT_EQ(result, 0);
    TGAFile out;
    ASSERT_EQ(out.Open("o.tga"), 0);
    EXPECT_EQ(PixelOf(out, 0, 0), (Rgb{1, 2, 3}));
    EXPECT_EQ(PixelOf(out, 32, 32), (Rgb{1, 2, 3}));
}

TEST_F(CombineTgaTest, FailuresNameTheFile)
{
    WriteImage("m.tga", 2, 2, [](int, int) { return Rgb{255, 255, 255}; });
    WriteImage("e.tga", 2, 2, [](int, int) { return Rgb{1, 1, 1}; });
    struct Case {
        const char *map, *coloring, *output;
        int code;
        std::string line;
    } cases[] = {
        {"none.tga", "e.tga", "o.tga", 1, "Error in CombineTga(): Could not open file \"none.tga\"."},
        {"m.tga", "none.tga", "o.tga", 2, "Error in CombineTga(): Could not open file \"none.tga\"."},
        {"m.tga", "e.tga", "no/o.tga", 3, "Error in CombineTga(): Could not write file \"no/o.tga\"."},
    };
    for (const Case& c : cases) {
        RecordingWindow run;
        EXPECT_EQ(CombineTga(c.map, c.coloring, c.output, run, keepIntermediates), c.code);
        EXPECT_EQ(run.Lines().back(), c.line);
    }
    EXPECT_FALSE(std::filesystem::exists("o.tga"));
}

} // namespace
} // namespace conversiontest
