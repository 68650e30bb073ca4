#include "raster/BilToTga.h"

#include "core/LogSink.h"
#include "core/StringPrintf.h"
#include "core/FileHandle.h"
#include "raster/ImageCache.h"
#include "raster/MakeRowsWhileWriting.h"
#include "raster/TGAFile.h"
#include "raster/TextLines.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

constexpr int kNoData = -9999;

struct BilHeader {
    long long rows = 0;
    long long columns = 0;
    long long bits = 0;
    bool mostSignificantFirst = false;
};

long long ParseInteger(const std::string& text)
{
    return std::strtoll(text.c_str(), nullptr, 10);
}

// Keyword, blanks, value; keywords in any case; a later line wins.
void ApplyHeaderLine(const std::string& line, BilHeader& header)
{
    const std::vector<std::string> tokens = SplitAtSpaces(line);
    if (tokens.empty())
        return;
    const std::string& keyword = tokens[0];
    const std::string value = tokens.size() > 1 ? tokens[1] : std::string();
    if (strcasecmp(keyword.c_str(), "NROWS") == 0) {
        header.rows = ParseInteger(value);
    } else if (strcasecmp(keyword.c_str(), "NCOLS") == 0) {
        header.columns = ParseInteger(value);
    } else if (strcasecmp(keyword.c_str(), "NBITS") == 0) {
        header.bits = ParseInteger(value);
    } else if (strcasecmp(keyword.c_str(), "BYTEORDER") == 0) {
        header.mostSignificantFirst = !value.empty() && (value[0] == 'm' || value[0] == 'M');
    }
}

// The reason a header cannot be converted, or empty when it can.
std::string HeaderProblem(const BilHeader& header)
{
    if (header.rows < 2 || header.columns < 2)
        return "needs NROWS and NCOLS of at least 2";
    if (header.bits != 8 && header.bits != 16 && header.bits != 32)
        return StringPrintf("has NBITS %lld; only 8, 16 and 32 are supported", header.bits);
    if (header.rows - 1 > 65535 || header.columns - 1 > 65535)
        return StringPrintf("describes %lld x %lld samples, more than a height map can hold",
                            header.columns, header.rows);
    if (header.rows * header.columns > kMaxBilSamples)
        return StringPrintf("describes %lld x %lld samples, more than the %lld of the largest quad's raster",
                            header.columns, header.rows, kMaxBilSamples);
    return {};
}

// Clamped to 24 bits, then rounded by adding 0.5 and truncating toward zero.
int RoundFloatHeight(float sample)
{
    if (std::isnan(sample))
        return 0;
    double value = sample;
    if (value < -8388608.0)
        value = -8388608.0;
    if (value > 8388607.0)
        value = 8388607.0;
    return static_cast<int>(value + 0.5);
}

uint32_t ReadUnsigned(const uint8_t* bytes, int count, bool mostSignificantFirst)
{
    uint32_t value = 0;
    for (int i = 0; i < count; ++i) {
        const int shift = mostSignificantFirst ? 8 * (count - 1 - i) : 8 * i;
        value |= static_cast<uint32_t>(bytes[i]) << shift;
    }
    return value;
}

int DecodeSixteen(const uint8_t* bytes, bool mostSignificantFirst)
{
    const auto sample = static_cast<int16_t>(mostSignificantFirst ? (bytes[0] << 8) | bytes[1]
                                                                  : (bytes[1] << 8) | bytes[0]);
    return sample == kNoData ? 0 : sample;
}

int DecodeFloat(const uint8_t* bytes, bool mostSignificantFirst)
{
    const uint32_t bits = ReadUnsigned(bytes, 4, mostSignificantFirst);
    float sample;
    std::memcpy(&sample, &bits, sizeof sample);
    return sample == static_cast<float>(kNoData) ? 0 : RoundFloatHeight(sample);
}

// Decodes `count` samples of one data row into one image row; one loop per
// sample form keeps the per-pixel work to the decoding itself.
void ConvertRow(const uint8_t* samples, int count, const BilHeader& header, int statisticsMaximum,
                uint8_t* pixels)
{
    const bool msb = header.mostSignificantFirst;
    if (header.bits == 16) {
        for (int x = 0; x < count; ++x)
            TGAFile::WriteHeight24(DecodeSixteen(samples + 2 * x, msb), pixels + 3 * x);
    } else if (header.bits == 32) {
        for (int x = 0; x < count; ++x)
            TGAFile::WriteHeight24(DecodeFloat(samples + 4 * x, msb), pixels + 3 * x);
    } else {
        for (int x = 0; x < count; ++x) {
            const int byte = samples[x];
            TGAFile::WriteHeight24(byte > statisticsMaximum ? byte - 256 : byte, pixels + 3 * x);
        }
    }
}

// Image row y holds data row rows - 1 - y; the first data row (the north
// edge's overlap with the next quad) is dropped. Rows [begin, end) are
// converted from their data rows, read in one call.
bool ConvertRows(int data, const BilHeader& header, int statisticsMaximum, int begin, int end, TGAFile& image)
{
    const size_t rowBytes = static_cast<size_t>(header.columns) * (header.bits / 8);
    const int count = end - begin;
    // One buffer per block: a buffer kept per thread would stay with the
    // calling thread, which converts blocks too, for the rest of the job.
    std::vector<uint8_t> block(rowBytes * count);
    // Data rows of image rows begin .. end - 1, lowest data row first.
    const long long lowestDataRow = header.rows - 1 - (end - 1);
    const size_t bytes = rowBytes * count;
    if (pread(data, block.data(), bytes, static_cast<off_t>(lowestDataRow * rowBytes)) != static_cast<ssize_t>(bytes))
        return false;
    for (int i = 0; i < count; ++i)
        ConvertRow(block.data() + rowBytes * i, image.GetWidth(), header, statisticsMaximum, image.Row(end - 1 - i));
    return true;
}

bool ReadStatisticsMaximum(std::FILE* file, int& maximum)
{
    std::string line;
    if (!ReadTextLine(file, line))
        return false;
    int band = 0;
    int minimum = 0;
    char mean[1024];
    char deviation[1024];
    return std::sscanf(line.c_str(), "%d %d %d %1023s %1023s", &band, &minimum, &maximum, mean, deviation) == 5;
}

long long FileSize(std::FILE* file)
{
    struct stat info {};
    return fstat(fileno(file), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
}

} // namespace

int BilToTga(const std::string& dataPath, const std::string& headerPath,
             const std::string& statisticsPath, const std::string& outputPath,
             LogSink& log, RasterSize& size, ImageCache* images)
{
    size = RasterSize{};
    log.AddToLog(StringPrintf("Converting \"%s\" to \"%s\".", dataPath.c_str(), outputPath.c_str()));
    auto fail = [&log](const std::string& line) {
        log.AddToLog("Error in BilToTga(): " + line);
        return 1;
    };
    auto couldNotOpen = [&fail](const std::string& path) {
        return fail(StringPrintf("Could not open \"%s\".", path.c_str()));
    };

    BilHeader header;
    {
        FileHandle headerFile = OpenFile(headerPath.c_str(), "rb");
        if (!headerFile)
            return couldNotOpen(headerPath);
        std::string line;
        while (ReadTextLine(headerFile.get(), line))
            ApplyHeaderLine(line, header);
    }

    int statisticsMaximum = 0;
    {
        FileHandle statisticsFile = OpenFile(statisticsPath.c_str(), "rb");
        if (!statisticsFile)
            return couldNotOpen(statisticsPath);
        if (!ReadStatisticsMaximum(statisticsFile.get(), statisticsMaximum))
            return fail(StringPrintf("Could not read data from \"%s\".", statisticsPath.c_str()));
    }

    FileHandle data = OpenFile(dataPath.c_str(), "rb");
    if (!data)
        return couldNotOpen(dataPath);
    const std::string problem = HeaderProblem(header);
    if (!problem.empty())
        return fail(StringPrintf("The header \"%s\" %s.", headerPath.c_str(), problem.c_str()));

    const int rows = static_cast<int>(header.rows);
    const int columns = static_cast<int>(header.columns);
    const size_t rowBytes = static_cast<size_t>(columns) * (header.bits / 8);
    if (FileSize(data.get()) < static_cast<long long>(rowBytes * rows))
        return fail(StringPrintf("\"%s\" holds fewer than %d rows of %d samples.", dataPath.c_str(), rows, columns));

    TGAFile image;
    if (image.CreateUnfilled(columns - 1, rows - 1) != 0)
        return fail(StringPrintf("Could not allocate space for \"%s\".", outputPath.c_str()));
    // The height map is written while its rows are being converted, unless
    // it is only handed on.
    const RowMaker convert = [&](int begin, int end) {
        return ConvertRows(fileno(data.get()), header, statisticsMaximum, begin, end, image);
    };
    const int converted = MakeRowsFor(images, image, outputPath, convert);
    data.reset();
    if (converted == kRowsNotMade)
        return fail(StringPrintf("Could not read data from \"%s\".", dataPath.c_str()));
    if (converted != 0)
        return fail(StringPrintf("Could not write \"%s\".", outputPath.c_str()));
    HandOn(images, outputPath, std::move(image));
    log.AddToLog(StringPrintf("BIL import successful: \"%s\" written.", outputPath.c_str()));
    size = RasterSize{rows - 1, columns - 1};
    return 0;
}
