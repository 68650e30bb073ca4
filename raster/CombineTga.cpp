#include "raster/CombineTga.h"

#include "core/LogSink.h"
#include "core/StringPrintf.h"
#include "raster/ColorList.h"
#include "raster/ImageCache.h"
#include "raster/ParallelBands.h"
#include "raster/StretchTga.h"
#include "raster/TGAFile.h"

#include <cstdio>
#include <filesystem>
#include <memory>

namespace {

constexpr const char* kLegendFile = "legend.tga";
constexpr const char* kListIntro =
    "CombineTga(): Using the following colors to define transparency and semi-transparency in TIGER maps:";

struct ColorLists {
    ColorList transparent;
    ColorList lightening;
};

void LogList(const char* name, const ColorList& list, LogSink& log)
{
    for (int i = 0; i < list.Count(); ++i) {
        const uint32_t c = list.At(i);
        log.AddToLog(StringPrintf("CombineTga(): %s[%d]: (%d/%d/%d)", name, i, ColorList::Red(c),
                                  ColorList::Green(c), ColorList::Blue(c)));
    }
}

// The legend's bottom row lists the lightening colours, the row above the
// transparent ones. A legend one pixel high has no transparent row, so that
// list stays empty.
bool LoadLegend(ColorLists& lists, LogSink& log)
{
    // The legend is optional: without the file, nothing is tried and nothing said.
    std::error_code missing;
    if (!std::filesystem::exists(kLegendFile, missing))
        return false;
    TGAFile legend;
    if (legend.Open(kLegendFile) != 0)
        return false;
    log.AddToLog("CombineTga(): Legend file \"legend.tga\" present and loaded.");
    log.AddToLog(kListIntro);
    for (int i = 0; i < legend.GetWidth(); ++i) {
        uint8_t pixel[32] = {};
        if (legend.GetHeight() > 1) {
            legend.GetPixel(i, 1, pixel);
            lists.transparent.AddUnique(ColorList::Key(pixel));
        }
        legend.GetPixel(i, 0, pixel);
        lists.lightening.AddUnique(ColorList::Key(pixel));
    }
    LogList("transparentColor", lists.transparent, log);
    LogList("lighteningColor", lists.lightening, log);
    return true;
}

void UseDefaults(ColorLists& lists, LogSink& log)
{
    struct Default {
        bool transparent;
        int red, green, blue;
        const char* label;
    };
    static constexpr Default kDefaults[] = {
        {true, 255, 255, 255, "white"},
        {false, 255, 180, 170, "pink (military area)"},
        {false, 175, 215, 127, "dark green (national park)"},
        {false, 127, 255, 127, "dight green (other park)"},
        {false, 255, 247, 159, "yellow (city)"},
    };
    log.AddToLog("CombineTga(): No legend file \"legend.tga\" present.");
    log.AddToLog(kListIntro);
    for (const Default& d : kDefaults) {
        ColorList& list = d.transparent ? lists.transparent : lists.lightening;
        log.AddToLog(StringPrintf("CombineTga():     %s[%d]: (%d/%d/%d), %s",
                                  d.transparent ? "transparentColor" : "lighteningColor", list.Count(), d.red,
                                  d.green, d.blue, d.label));
        list.AddFront(ColorList::FromRgb(d.red, d.green, d.blue));
    }
}

// What a map colour does to the output.
enum class MapRole { Transparent, Lightening, Opaque };

// Lightening of one channel: halfway from the map channel to 255, then
// multiplied with the colouring's channel. Held as a table of all pairs.
class LighteningTable {
public:
    LighteningTable()
    {
        for (int m = 0; m < 256; ++m) {
            const int lightened = m + (255 - m) / 2;
            for (int e = 0; e < 256; ++e) {
                const double value = lightened * e / 255.0 + 0.5;
                table_[m][e] = static_cast<uint8_t>(value > 255.0 ? 255 : static_cast<int>(value));
            }
        }
    }
    uint8_t operator()(uint8_t map, uint8_t elevation) const { return table_[map][elevation]; }

private:
    uint8_t table_[256][256];
};

// The role of each map colour, remembered for the last colour seen: maps
// come in long runs of one colour.
class RoleCache {
public:
    explicit RoleCache(const ColorLists& lists) : lists_(lists) {}
    MapRole Of(uint32_t key)
    {
        if (key != lastKey_ || !valid_) {
            lastKey_ = key;
            valid_ = true;
            lastRole_ = lists_.transparent.Contains(key)  ? MapRole::Transparent
                        : lists_.lightening.Contains(key) ? MapRole::Lightening
                                                          : MapRole::Opaque;
        }
        return lastRole_;
    }

private:
    const ColorLists& lists_;
    uint32_t lastKey_ = 0;
    bool valid_ = false;
    MapRole lastRole_ = MapRole::Opaque;
};

void BlendPixel(const uint8_t* m, const uint8_t* e, MapRole role, const LighteningTable& lighten, uint8_t* o)
{
    switch (role) {
    case MapRole::Transparent:
        o[0] = e[0], o[1] = e[1], o[2] = e[2];
        break;
    case MapRole::Lightening:
        o[0] = lighten(m[0], e[0]), o[1] = lighten(m[1], e[1]), o[2] = lighten(m[2], e[2]);
        break;
    case MapRole::Opaque:
        o[0] = m[0], o[1] = m[1], o[2] = m[2];
        break;
    }
}

void BlendRows(const TGAFile& map, const TGAFile& elevation, const ColorLists& lists, const LighteningTable& lighten,
               int begin, int end, TGAFile& output)
{
    RoleCache roles(lists);
    const bool packed = map.BytesPerPixel() == 3 && elevation.BytesPerPixel() == 3;
    for (int y = begin; y < end; ++y) {
        uint8_t* o = output.Row(y);
        if (packed) {
            const uint8_t* m = map.Row(y);
            const uint8_t* e = elevation.Row(y);
            for (int x = 0; x < map.GetWidth(); ++x, m += 3, e += 3, o += 3)
                BlendPixel(m, e, roles.Of(ColorList::Key(m)), lighten, o);
            continue;
        }
        // Images of other pixel sizes: only the first three bytes count.
        for (int x = 0; x < map.GetWidth(); ++x, o += 3) {
            uint8_t m[32] = {}, e[32] = {};
            map.GetPixel(x, y, m);
            elevation.GetPixel(x, y, e);
            BlendPixel(m, e, roles.Of(ColorList::Key(m)), lighten, o);
        }
    }
}

// Each output pixel depends on its own map and colouring pixels only, so
// bands of rows are blended on all cores.
void Blend(const TGAFile& map, const TGAFile& elevation, const ColorLists& lists, TGAFile& output)
{
    const auto lighten = std::make_unique<LighteningTable>();
    ParallelBands(map.GetHeight(), [&](int begin, int end) {
        BlendRows(map, elevation, lists, *lighten, begin, end, output);
    });
}

} // namespace

int CombineTga(const std::string& map, const std::string& elevationColoring, const std::string& output,
               LogSink& log, bool keepIntermediates, ImageCache* images)
{
    log.AddToLog(StringPrintf("Combining \"%s\" and \"%s\" to \"%s\".", map.c_str(), elevationColoring.c_str(),
                              output.c_str()));
    std::shared_ptr<const TGAFile> m;
    if (OpenCached(images, map, m) != 0) {
        log.AddToLog(StringPrintf("Error in CombineTga(): Could not open file \"%s\".", map.c_str()));
        return 1;
    }
    std::shared_ptr<const TGAFile> e;
    if (OpenCached(images, elevationColoring, e) != 0) {
        m.reset();
        log.AddToLog(StringPrintf("Error in CombineTga(): Could not open file \"%s\".", elevationColoring.c_str()));
        return 2;
    }
    std::string stretched;
    if (e->GetWidth() != m->GetWidth() || e->GetHeight() != m->GetHeight()) {
        const double we = e->GetWidth(), he = e->GetHeight();
        const int mapWidth = m->GetWidth(), mapHeight = m->GetHeight();
        e.reset();
        // While the full-size colouring is stretched the map waits in its
        // file, so that it is not held beside the two images of the stretch.
        m.reset();
        ForgetImage(images, map);
        stretched = StringPrintf("%s.stretched.tga", elevationColoring.c_str());
        StretchTga(elevationColoring, stretched, {0, 0, we, 0, 0, he, we, he}, mapWidth, mapHeight, log, images);
        // The full-size colouring has served its one reader.
        ForgetImage(images, elevationColoring);
        if (OpenCached(images, map, m) != 0) {
            log.AddToLog(StringPrintf("Error in CombineTga(): Could not open file \"%s\".", map.c_str()));
            return 1;
        }
        // A stretch that failed may leave an old side file of another size
        // behind; it counts as not opened rather than being read past its end.
        if (OpenCached(images, stretched, e) != 0 || e->GetWidth() != m->GetWidth() || e->GetHeight() != m->GetHeight()) {
            log.AddToLog(StringPrintf("Error in CombineTga(): Could not open file \"%s\".", stretched.c_str()));
            return 2;
        }
    }
    // The side file is only needed until it has been read.
    if (!stretched.empty() && !keepIntermediates) {
        std::remove(stretched.c_str());
        ForgetImage(images, stretched);
    }
    TGAFile o;
    // Every pixel is set by the blend.
    if (o.CreateUnfilled(m->GetWidth(), m->GetHeight()) != 0) {
        log.AddToLog(StringPrintf("Error in CombineTga(): Could not create a %d by %d image.", m->GetWidth(),
                                  m->GetHeight()));
        return 3;
    }
    ColorLists lists;
    if (!LoadLegend(lists, log))
        UseDefaults(lists, log);
    Blend(*m, *e, lists, o);
    m.reset();
    e.reset();
    if (o.Write(output) != 0) {
        log.AddToLog(StringPrintf("Error in CombineTga(): Could not write file \"%s\".", output.c_str()));
        return 3;
    }
    KeepWritten(images, output, std::move(o));
    log.AddToLog(StringPrintf("Combining successful: \"%s\" written.", output.c_str()));
    return 0;
}
