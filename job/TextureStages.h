#pragma once

#include <string>

class JobFileNames;
class JobWindow;
struct JobFields;
struct Quad;

// Makes the job's texture: fetches the street map of the quad, converts and
// reprojects it onto the texture size, colours the height map by elevation,
// lays the map over the colouring and draws the waypoint route when there
// is one. Returns 0 and the final texture's name, or the failing stage's code.
int RunTextureStages(JobWindow& window, JobFields& job, const Quad& quad, const JobFileNames& names,
                     const std::string& heightMap, const std::string& mapHost, std::string& finalTexture);
