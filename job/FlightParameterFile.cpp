#include "job/FlightParameterFile.h"

#include "core/FileReplacement.h"
#include "core/LogSink.h"
#include "core/StringPrintf.h"

#include <cstdio>

namespace {

// Lines 1 to 15: the camera flight. The first flight runs along the
// terrain's edge turning from 15 to -15 degrees; the second starts outside
// the corner and ends looking straight down on the centre.
std::string FlightLines(int templateNumber, const FlightParameters& v)
{
    if (templateNumber == 1) {
        return StringPrintf(
            "[Param]\r\nBeobXA=0.000000\r\nBeobYA=%0.6f\r\nBeobZA=%0.6f\r\n"
            "RichtungA=15.000000\r\nNeigungA=-34.000000\r\nBrennA=1200.000000\r\n"
            "VerkantenA=0.000000\r\nBeobXE=%0.6f\r\nBeobYE=%0.6f\r\nBeobZE=%0.6f\r\n"
            "RichtungE=-15.000000\r\nNeigungE=-34.000000\r\nBrennE=1200.000000\r\n"
            "VerkantenE=0.000000\r\n",
            -1000.0, 1000.0, static_cast<double>(v.textureWidth), -1000.0, 1000.0);
    }
    return StringPrintf(
        "[Param]\r\nBeobXA=%0.6f\r\nBeobYA=%0.6f\r\nBeobZA=%0.6f\r\n"
        "RichtungA=45.000000\r\nNeigungA=-40.000000\r\nBrennA=2400.000000\r\n"
        "VerkantenA=0.000000\r\nBeobXE=%0.6f\r\nBeobYE=%0.6f\r\nBeobZE=%0.6f\r\n"
        "RichtungE=0.000000\r\nNeigungE=-89.999900\r\nBrennE=1200.000000\r\n"
        "VerkantenE=0.000000\r\n",
        -330.0, -330.0, 1000.0, v.textureWidth * 0.5, v.textureHeight * 0.5, 1670.0);
}

// Lines 16 to 49, the same in both files apart from the values.
std::string CommonLines(const FlightParameters& v)
{
    const double zScale = v.zScale * 3600 / v.rasterColumns;
    return StringPrintf(
        "Bildanzahl=100\r\nOffset=0\r\nStartbildNr=0\r\nEndbildNr=99\r\n"
        "LichtX=-1.000000\r\nLichtY=1.000000\r\nLichtZ=-2.000000\r\n"
        "NebelA=1000000.000000\r\nNebelE=1000000.000000\r\nTraegheit=1.000000\r\n"
        "AusgabeTGA=1\r\nAusgabeYUV=0\r\nAusDateiname=%s\r\nTDateiVerwenden=1\r\n"
        "TDateiname=%s\r\nHDateiname=%s\r\nHDateiSkalaX=%0.6f\r\nHDateiSkalaY=%0.6f\r\n"
        "HDateiSkalaZA=%0.6f\r\nHDateiSkalaZE=%0.6f\r\nMDateiVerwenden=0\r\n"
        "MaskenDateiName=\r\nAusBreite=640\r\nAusHoehe=480\r\nAusAuflX=512\r\nAusAuflY=512\r\n"
        "HintergrundVerwenden=1\r\nGenauRechnen=1\r\nHintergrund=A00000\r\nRundflug=0\r\n"
        "HoeheUeberBoden=0.000000\r\nVerkantenFaktor=0.000000\r\nVoraussicht=0.000000\r\n"
        "Recorder=0",
        v.framePattern.c_str(), v.finalTexture.c_str(), v.heightMap.c_str(),
        static_cast<double>(v.textureWidth) / v.rasterColumns,
        static_cast<double>(v.textureHeight) / v.rasterRows, zScale, zScale);
}

} // namespace

std::string FlightParameterText(int templateNumber, const FlightParameters& values)
{
    return FlightLines(templateNumber, values) + CommonLines(values);
}

int WriteFlightParameterFile(const std::string& fileName, int templateNumber,
                             const FlightParameters& values, LogSink& log)
{
    const std::string text = FlightParameterText(templateNumber, values);
    if (!FileReplacement::ForResult(fileName).WriteWhole(text)) {
        log.AddToLog(StringPrintf("Could not write ALP file \"%s\".", fileName.c_str()));
        return 1;
    }
    log.AddToLog(StringPrintf("Result file written: \"%s\".", fileName.c_str()));
    return 0;
}

std::string WhyPathUnfitForParameterFile(const std::string& path)
{
    if (path.find_first_of("\r\n") != std::string::npos)
        return "it holds a line break";
    if (path.find('\0') != std::string::npos)
        return "it holds a NUL character";
    return {};
}
