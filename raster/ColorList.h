#pragma once

#include <cstdint>
#include <vector>

// A list of colours compared by their three pixel bytes (blue, green, red).
// New colours go to the front, so walking the list starts with the most
// recently added colour.
class ColorList {
public:
    static uint32_t Key(const uint8_t* pixel) { return pixel[0] | (pixel[1] << 8) | (pixel[2] << 16); }
    static uint32_t FromRgb(int red, int green, int blue) { return blue | (green << 8) | (red << 16); }
    static int Red(uint32_t key) { return (key >> 16) & 0xFF; }
    static int Green(uint32_t key) { return (key >> 8) & 0xFF; }
    static int Blue(uint32_t key) { return key & 0xFF; }

    // Adds the colour at the front unless it is in the list already.
    void AddUnique(uint32_t key);
    void AddFront(uint32_t key);
    bool Contains(uint32_t key) const;
    int Count() const { return static_cast<int>(newestLast_.size()); }
    // Entry i in list order (0 = most recently added).
    uint32_t At(int i) const { return newestLast_[newestLast_.size() - 1 - i]; }

private:
    std::vector<uint32_t> newestLast_;
};
