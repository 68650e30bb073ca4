// Fuzz target for the GIF reader. With clang it is a libFuzzer target; with
// other compilers main() below replays the files or folders named on the
// command line, or, given none, runs a fixed number of random mutations of
// a few small GIFs (a quick smoke run, good under the sanitizers).
#include "core/LogSink.h"
#include "raster/GifDecoder.h"
#include "raster/TGAFile.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

class NullLog : public LogSink {
public:
    void AddToLog(const std::string&) override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Screens of millions of pixels only cost time to clear; the reader's
    // handling of them does not depend on their size.
    if (size < 10 || static_cast<long>(data[6] | data[7] << 8) * (data[8] | data[9] << 8) > (1L << 22))
        return 0;
    std::FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!file)
        return 0;
    NullLog log;
    GifDecoder decoder(log, {.logComments = true, .logDetails = true});
    TGAFile image;
    decoder.ReadGIFStream(file, 1, image);
    std::fclose(file);
    return 0;
}

#ifndef TERRAFETCH_LIBFUZZER
namespace {

std::vector<uint8_t> ReadAll(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Run(const std::vector<uint8_t>& bytes)
{
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
}

// An LZW stream of literal codes, with a clear code before every pair so
// that the code width never grows; in 255-byte sub-blocks.
std::vector<uint8_t> LiteralImageData(const std::vector<uint8_t>& indices, int codeSize)
{
    const int width = codeSize + 1, clear = 1 << codeSize;
    std::vector<uint8_t> packed;
    uint32_t bits = 0;
    int count = 0;
    auto put = [&](int code) {
        bits |= static_cast<uint32_t>(code) << count;
        for (count += width; count >= 8; count -= 8, bits >>= 8)
            packed.push_back(static_cast<uint8_t>(bits));
    };
    for (size_t i = 0; i < indices.size(); ++i) {
        if (i % 2 == 0)
            put(clear);
        put(indices[i]);
    }
    put(clear + 1);
    if (count > 0)
        packed.push_back(static_cast<uint8_t>(bits));
    std::vector<uint8_t> out = {static_cast<uint8_t>(codeSize)};
    for (size_t i = 0; i < packed.size(); i += 255) {
        const size_t n = std::min<size_t>(255, packed.size() - i);
        out.push_back(static_cast<uint8_t>(n));
        out.insert(out.end(), packed.begin() + static_cast<long>(i), packed.begin() + static_cast<long>(i + n));
    }
    out.push_back(0);
    return out;
}

// A file of one or two images of w × h pixels with a global map of
// 2 << mapBits entries, optionally behind comment and control extensions.
std::vector<uint8_t> SeedGif(int w, int h, int mapBits, bool interlaced, bool extensions, bool twoImages)
{
    std::vector<uint8_t> gif = {'G', 'I', 'F', '8', '9', 'a', static_cast<uint8_t>(w), 0, static_cast<uint8_t>(h), 0,
                                static_cast<uint8_t>(0x80 | mapBits), 0, 0};
    for (int i = 0; i < (2 << mapBits); ++i)
        gif.insert(gif.end(), {static_cast<uint8_t>(i * 40), static_cast<uint8_t>(i * 7), static_cast<uint8_t>(255 - i)});
    if (extensions)
        gif.insert(gif.end(), {'!', 0xFE, 3, 'a', 'b', 'c', 0, '!', 0xF9, 4, 1, 0, 0, 2, 0});
    std::vector<uint8_t> indices;
    for (int i = 0; i < w * h; ++i)
        indices.push_back(static_cast<uint8_t>((i * 5 + i / w) % (2 << mapBits)));
    for (int image = 0; image < (twoImages ? 2 : 1); ++image) {
        gif.insert(gif.end(), {',', 0, 0, 0, 0, static_cast<uint8_t>(w), 0, static_cast<uint8_t>(h), 0,
                               static_cast<uint8_t>(interlaced ? 0x40 : 0)});
        const std::vector<uint8_t> data = LiteralImageData(indices, mapBits < 1 ? 2 : mapBits + 1);
        gif.insert(gif.end(), data.begin(), data.end());
    }
    gif.push_back(';');
    return gif;
}

std::vector<std::vector<uint8_t>> Seeds()
{
    return {SeedGif(4, 4, 1, false, false, false), SeedGif(5, 7, 2, true, true, false),
            SeedGif(9, 3, 7, false, true, true)};
}

bool SeedsDecode()
{
    for (const std::vector<uint8_t>& seed : Seeds()) {
        std::FILE* file = fmemopen(const_cast<uint8_t*>(seed.data()), seed.size(), "rb");
        NullLog log;
        GifDecoder decoder(log);
        TGAFile image;
        const int result = decoder.ReadGIFStream(file, 1, image);
        std::fclose(file);
        if (result != 0)
            return false;
    }
    return true;
}

void MutationRun(int rounds)
{
    std::mt19937 random(20240501u);
    const auto seeds = Seeds();
    for (int round = 0; round < rounds; ++round) {
        std::vector<uint8_t> bytes = seeds[round % seeds.size()];
        const int edits = 1 + static_cast<int>(random() % 8);
        for (int e = 0; e < edits && !bytes.empty(); ++e) {
            const size_t at = random() % bytes.size();
            switch (random() % 4) {
            case 0:
                bytes[at] = static_cast<uint8_t>(random());
                break;
            case 1:
                bytes[at] ^= static_cast<uint8_t>(1u << (random() % 8));
                break;
            case 2:
                bytes.erase(bytes.begin() + static_cast<long>(at));
                break;
            default:
                bytes.insert(bytes.begin() + static_cast<long>(at), static_cast<uint8_t>(random()));
                break;
            }
        }
        Run(bytes);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        if (!SeedsDecode()) {
            std::puts("A seed file does not decode.");
            return 1;
        }
        MutationRun(20000);
        std::puts("20000 mutated inputs decoded.");
        return 0;
    }
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path path(argv[i]);
        if (std::filesystem::is_directory(path)) {
            for (const auto& entry : std::filesystem::directory_iterator(path))
                Run(ReadAll(entry.path()));
        } else {
            Run(ReadAll(path));
        }
    }
    return 0;
}
#endif
