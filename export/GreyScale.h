#pragma once

#include "export/HeightSamples.h"

#include <cstdint>

// How heights become the grey values of a 16-bit heightmap: the range of the
// heights is stretched over 1 to 65535, and grey 0 marks a void. A grey g
// other than 0 stands for offset + scale × g metres; while the heights span
// less than 65535 m, that value rounded gives the height back exactly.
struct GreyScale {
    double offset = 0.0;
    double scale = 1.0;
    HeightRange range;

    uint16_t Grey(int height) const;
};

inline constexpr uint16_t kVoidGrey = 0;

GreyScale GreyScaleFor(const HeightRange& range);
