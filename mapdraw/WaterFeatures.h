#pragma once

// The bundled street map's water, a function of the place alone (longitude
// and latitude in degrees), so every picture of a place agrees on it: lakes
// wherever the lake field lies above kLakeLevel, rivers along the line where
// the river field crosses kRiverLevel.
inline constexpr double kLakeLevel = 0.84;
inline constexpr double kRiverLevel = 0.5;

double LakeField(double longitude, double latitude);
double RiverField(double longitude, double latitude);

inline bool IsLake(double longitude, double latitude) { return LakeField(longitude, latitude) > kLakeLevel; }
