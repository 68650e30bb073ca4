#include "raster/MapColorRules.h"

#include "core/LogSink.h"
#include "core/StringPrintf.h"
#include "raster/TGAFile.h"

#include <filesystem>

namespace {

constexpr const char* kLegendFile = "legend.tga";
constexpr const char* kListIntro =
    "CombineTga(): Using the following colors to define transparency and semi-transparency in TIGER maps:";

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
bool LoadLegend(MapColorLists& lists, LogSink& log)
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

void UseDefaults(MapColorLists& lists, LogSink& log)
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

} // namespace

MapColorLists LoadMapColorLists(LogSink& log)
{
    MapColorLists lists;
    if (!LoadLegend(lists, log))
        UseDefaults(lists, log);
    return lists;
}

LighteningTable::LighteningTable()
{
    for (int m = 0; m < 256; ++m) {
        const int lightened = m + (255 - m) / 2;
        for (int e = 0; e < 256; ++e) {
            const double value = lightened * e / 255.0 + 0.5;
            table_[m][e] = static_cast<uint8_t>(value > 255.0 ? 255 : static_cast<int>(value));
        }
    }
}

MapPixelBlender::Role MapPixelBlender::RoleOf(uint32_t key)
{
    if (key != lastKey_ || !valid_) {
        lastKey_ = key;
        valid_ = true;
        lastRole_ = lists_.transparent.Contains(key)  ? Role::Transparent
                    : lists_.lightening.Contains(key) ? Role::Lightening
                                                      : Role::Opaque;
    }
    return lastRole_;
}

void MapPixelBlender::Blend(const uint8_t* m, const uint8_t* e, uint8_t* o)
{
    switch (RoleOf(ColorList::Key(m))) {
    case Role::Transparent:
        o[0] = e[0], o[1] = e[1], o[2] = e[2];
        break;
    case Role::Lightening:
        o[0] = lighten_(m[0], e[0]), o[1] = lighten_(m[1], e[1]), o[2] = lighten_(m[2], e[2]);
        break;
    case Role::Opaque:
        o[0] = m[0], o[1] = m[1], o[2] = m[2];
        break;
    }
}
