#include "export/GreyScale.h"

#include <algorithm>
#include <cmath>

GreyScale GreyScaleFor(const HeightRange& range)
{
    GreyScale grey;
    grey.range = range;
    if (range.Empty())
        return grey;
    const double span = static_cast<double>(range.maximum) - range.minimum;
    // A flat map gets grey 1 everywhere it has data.
    grey.scale = span > 0 ? span / 65534.0 : 1.0;
    grey.offset = range.minimum - grey.scale;
    return grey;
}

uint16_t GreyScale::Grey(int height) const
{
    if (height == 0)
        return kVoidGrey;
    const double grey = std::floor((height - offset) / scale + 0.5);
    return static_cast<uint16_t>(std::clamp(grey, 1.0, 65535.0));
}
