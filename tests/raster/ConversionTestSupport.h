#pragma once

#include "raster/TGAFile.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace conversiontest {

// A fresh temporary folder, removed with everything in it.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string Path(const std::string& name) const { return (folder_ / name).string(); }
    const std::filesystem::path& Folder() const { return folder_; }

private:
    std::filesystem::path folder_;
};

// Makes the folder the current one for the object's lifetime.
class CurrentFolder {
public:
    explicit CurrentFolder(const std::filesystem::path& folder);
    ~CurrentFolder();

private:
    std::filesystem::path previous_;
};

struct Rgb {
    int red = 0, green = 0, blue = 0;
    bool operator==(const Rgb&) const = default;
};

// Pixel (x, y) of an image, rows counted from the bottom.
Rgb PixelOf(const TGAFile& image, int x, int y);
void SetRgb(TGAFile& image, int x, int y, Rgb color);

// Writes a 24-bit image whose pixel (x, y) is color(x, y).
template <typename ColorAt>
void WriteImage(const std::string& path, int width, int height, ColorAt color)
{
    TGAFile image;
    image.Create(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            SetRgb(image, x, y, color(x, y));
    image.Write(path);
}

// Writes a 24-bit height map whose pixel (x, y) holds height(x, y).
template <typename HeightAt>
void WriteHeights(const std::string& path, int width, int height, HeightAt heightAt)
{
    TGAFile image;
    image.Create(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.SetValue(x, y, heightAt(x, y));
    image.Write(path);
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

} // namespace conversiontest
