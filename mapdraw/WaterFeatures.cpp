#include "mapdraw/WaterFeatures.h"

#include "terrain/Noise.h"

double LakeField(double longitude, double latitude) { return ValueNoise(longitude, latitude, 0.08, 21); }

double RiverField(double longitude, double latitude)
{
    return 0.7 * ValueNoise(longitude, latitude, 0.35, 22) + 0.3 * ValueNoise(longitude, latitude, 0.09, 23);
}
