#pragma once

#include <string>

class LogSink;

// What the renderer's parameter files say about one job.
struct FlightParameters {
    int textureWidth = 0;
    int textureHeight = 0;
    int rasterColumns = 0;
    int rasterRows = 0;
    double zScale = 0.0;
    std::string heightMap;
    std::string finalTexture;
    std::string framePattern;  // of the flight the file describes
};

// The text of parameter file 1 or 2: 49 CR LF separated lines, none after
// the last.
std::string FlightParameterText(int templateNumber, const FlightParameters& values);

// Writes parameter file 1 or 2, replacing an existing one. Logs "Result file
// written" on success; a file that cannot be created or written completely
// logs "Could not write ALP file", is removed, and gives 1.
int WriteFlightParameterFile(const std::string& fileName, int templateNumber,
                             const FlightParameters& values, LogSink& log);

// Why a path cannot stand in a parameter file, or an empty text when it can:
// each value is one line of the file, so a line break (or a NUL, which ends
// the renderer's text) would split it and shift every line after it.
std::string WhyPathUnfitForParameterFile(const std::string& path);
