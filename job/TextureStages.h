#pragma once

#include <atomic>
#include <string>

class ImageCache;
class JobFileNames;
class JobWindow;
struct JobParameters;

// Makes the job's texture: fetches the street map of the quad, converts and
// reprojects it onto the texture size, colours the height map by elevation,
// lays the map over the colouring and draws the waypoint route when there
// is one. The stages hand their images on through `images`. Returns 0 and
// the final texture's name, or the failing stage's code.
int RunTextureStages(JobWindow& window, const JobParameters& job, const std::atomic<bool>& cancelRequested,
                     const JobFileNames& names, const std::string& heightMap, ImageCache& images,
                     std::string& finalTexture);
