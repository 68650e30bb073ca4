#include "core/JobFields.h"

#include <strings.h>

#include <cstdlib>

JobFields::JobFields()
{
    ApplyScannerMode(std::getenv("tfcScanner"));
}

WaypointList JobFields::Waypoints() const
{
    std::lock_guard lock(mutex_);
    return waypoints_;
}

void JobFields::SetWaypoints(WaypointList list)
{
    std::lock_guard lock(mutex_);
    waypoints_ = std::move(list);
}

std::string JobFields::WaypointFile() const
{
    std::lock_guard lock(mutex_);
    return waypointFile_;
}

void JobFields::SetWaypointFile(std::string path)
{
    std::lock_guard lock(mutex_);
    waypointFile_ = std::move(path);
}

bool IsScannerModeValue(const char* environmentValue)
{
    return environmentValue != nullptr && strcasecmp(environmentValue, "yes") == 0;
}

void JobFields::ApplyScannerMode(const char* environmentValue)
{
    if (!IsScannerModeValue(environmentValue))
        return;
    scannerMode = true;
    quadSize = 0.25;
    alignQuadToGrid = true;
    namesFromCoordinates = 1;
}

void JobFields::SetWestEdge(double west)
{
    quadLeft = west;
    quadRight = west + quadSize;
}

void JobFields::SetNorthEdge(double north)
{
    quadTop = north;
    quadBottom = north - quadSize;
}
