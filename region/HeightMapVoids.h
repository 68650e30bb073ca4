#pragma once

#include <string>

// How many posts of a height map have no height (z = 0, the holes hole
// filling fills); -1 when the file cannot be read as a height map.
long long CountHeightMapVoids(const std::string& heightMap);

// The height map ("..._el.tga") a job left in `folder`; empty when none.
std::string FindHeightMap(const std::string& folder);
