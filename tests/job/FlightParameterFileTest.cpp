#include "job/FlightParameterFile.h"

#include "tests/support/RecordingWindow.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <sstream>

namespace {

FlightParameters DefaultQuadValues()
{
    FlightParameters values;
    values.textureWidth = 926;
    values.textureHeight = 1200;
    values.rasterColumns = 3600;
    values.rasterRows = 3600;
    values.zScale = 0.02;
    values.heightMap = "/data/83412_el.tga";
    values.finalTexture = "/data/83412_tx_c.tga";
    values.framePattern = "/data/83412_output_1_%04d.tga";
    return values;
}

std::vector<std::string> SplitCrLf(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    lines.push_back(text.substr(start));
    return lines;
}

TEST(FlightParameterFile, FirstFlightForTheDefaultQuad)
{
    const std::vector<std::string> lines = SplitCrLf(FlightParameterText(1, DefaultQuadValues()));
    ASSERT_EQ(lines.size(), 49u);
    EXPECT_EQ(lines[0], "[Param]");
    EXPECT_EQ(lines[1], "BeobXA=0.000000");
    EXPECT_EQ(lines[2], "BeobYA=-1000.000000");
    EXPECT_EQ(lines[8], "BeobXE=926.000000");
    EXPECT_EQ(lines[12], "NeigungE=-34.000000");
    EXPECT_EQ(lines[27], "AusDateiname=/data/83412_output_1_%04d.tga");
    EXPECT_EQ(lines[29], "TDateiname=/data/83412_tx_c.tga");
    EXPECT_EQ(lines[30], "HDateiname=/data/83412_el.tga");
    EXPECT_EQ(lines[31], "HDateiSkalaX=0.257222");
    EXPECT_EQ(lines[32], "HDateiSkalaY=0.333333");
    EXPECT_EQ(lines[33], "HDateiSkalaZA=0.020000");
    EXPECT_EQ(lines[34], "HDateiSkalaZE=0.020000");
    EXPECT_EQ(lines[36], "MaskenDateiName=");
    EXPECT_EQ(lines[43], "Hintergrund=A00000");
    EXPECT_EQ(lines[48], "Recorder=0");
}

TEST(FlightParameterFile, SecondFlightEndsAboveTheCentreLookingDown)
{
    const std::vector<std::string> lines = SplitCrLf(FlightParameterText(2, DefaultQuadValues()));
    ASSERT_EQ(lines.size(), 49u);
    const std::vector<std::string> flight(lines.begin(), lines.begin() + 15);
    EXPECT_EQ(flight, (std::vector<std::string>{
                          "[Param]", "BeobXA=-330.000000", "BeobYA=-330.000000", "BeobZA=1000.000000",
                          "RichtungA=45.000000", "NeigungA=-40.000000", "BrennA=2400.000000",
                          "VerkantenA=0.000000", "BeobXE=463.000000", "BeobYE=600.000000",
                          "BeobZE=1670.000000", "RichtungE=0.000000", "NeigungE=-89.999900",
                          "BrennE=1200.000000", "VerkantenE=0.000000"}));
    const std::vector<std::string> first = SplitCrLf(FlightParameterText(1, DefaultQuadValues()));
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 15, lines.end()),
              std::vector<std::string>(first.begin() + 15, first.end()))
        << "lines 16 to 49 are shared";
}

TEST(FlightParameterFile, WritesCrLfBetweenLinesAndNoneAfterTheLast)
{
    TempDir dir;
    RecordingWindow window;
    const std::string path = dir.File("q_1.alp");
    ASSERT_EQ(WriteFlightParameterFile(path, 1, DefaultQuadValues(), window), 0);
    const std::string bytes = ReadFileBytes(path);
    EXPECT_EQ(bytes, FlightParameterText(1, DefaultQuadValues()));
    EXPECT_EQ(bytes.substr(bytes.size() - 12), "\r\nRecorder=0");
    size_t bareLineFeeds = 0;
    for (size_t i = 0; i < bytes.size(); ++i)
        bareLineFeeds += bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r');
    EXPECT_EQ(bareLineFeeds, 0u);
    EXPECT_EQ(window.Lines(), std::vector<std::string>{"Result file written: \"" + path + "\"."});
}

TEST(FlightParameterFile, UncreatableOrUnwritableFileIsReportedAsFailure)
{
    TempDir dir;
    RecordingWindow window;
    const std::string missingFolder = dir.File("gone/q_1.alp");
    EXPECT_EQ(WriteFlightParameterFile(missingFolder, 1, DefaultQuadValues(), window), 1);
    EXPECT_EQ(window.Lines().back(), "Could not write ALP file \"" + missingFolder + "\".");

    EXPECT_EQ(WriteFlightParameterFile("/dev/full", 2, DefaultQuadValues(), window), 1);
    EXPECT_EQ(window.Lines().back(), "Could not write ALP file \"/dev/full\".");
    struct stat info {};
    EXPECT_EQ(stat("/dev/full", &info), 0) << "a failed write never removes a device";
}

} // namespace
