#pragma once

#include "core/QuadGeometry.h"
#include "export/GreyScale.h"
#include "export/HeightMapPlacement.h"

#include <string>

// The sidecar "X_el.json" of the 16-bit PNG and raw heightmaps: how a grey
// value turns into metres, the quad's edges, where the first post lies and
// how far apart the posts are, so that an engine or a script can place and
// scale the heightmap without the job that made it.
std::string SidecarText(const HeightMapPlacement& placement, const GreyScale& grey, const std::string& heightMap);

// The quad recorded in a sidecar; false when the file is missing or does not
// hold one.
bool ReadSidecarQuad(const std::string& path, Quad& quad);
