#include "export/GdalSession.h"

#include <cpl_error.h>
#include <gdal.h>

#include <mutex>

void EnsureGdalDrivers()
{
    static std::once_flag once;
    std::call_once(once, [] { GDALAllRegister(); });
}

std::string LastGdalError(const std::string& fallback)
{
    const char* message = CPLGetLastErrorMsg();
    return message && *message ? message : fallback;
}
