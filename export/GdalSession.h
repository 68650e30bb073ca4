#pragma once

#include <string>

// Registers GDAL's drivers once per process; any thread may call it.
void EnsureGdalDrivers();

// GDAL's last error message, or `fallback` when it left none.
std::string LastGdalError(const std::string& fallback);
