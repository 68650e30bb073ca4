#include "raster/ColorList.h"

#include <algorithm>

void ColorList::AddUnique(uint32_t key)
{
    if (!Contains(key))
        AddFront(key);
}

void ColorList::AddFront(uint32_t key)
{
    newestLast_.push_back(key);
}

bool ColorList::Contains(uint32_t key) const
{
    return std::find(newestLast_.begin(), newestLast_.end(), key) != newestLast_.end();
}
