#pragma once

#include <cstdint>

// Deterministic hashing and value noise on absolute coordinates. Everything
// synthetic the services draw or model is a function of the place alone, so
// two requests that overlap agree where they overlap.

inline uint64_t MixBits(uint64_t value)
{
    value += 0x9e3779b97f4a7c15ULL;
    value = (value ^ (value >> 30)) * 0xbf58476d1ce4e5b9ULL;
    value = (value ^ (value >> 27)) * 0x94d049bb133111ebULL;
    return value ^ (value >> 31);
}

inline uint64_t HashCell(int64_t x, int64_t y, uint64_t seed)
{
    return MixBits(MixBits(static_cast<uint64_t>(x) ^ (seed * 0x632be59bd9b4e019ULL)) ^
                   static_cast<uint64_t>(y));
}

// A uniform number in [0, 1) for a lattice cell.
inline double CellRandom(int64_t x, int64_t y, uint64_t seed)
{
    return static_cast<double>(HashCell(x, y, seed) >> 11) * (1.0 / 9007199254740992.0);
}

inline double SmoothStep(double t) { return t * t * (3.0 - 2.0 * t); }

// Smoothly interpolated value noise in [0, 1) with one lattice cell per
// `cell` units of x and y.
double ValueNoise(double x, double y, double cell, uint64_t seed);
