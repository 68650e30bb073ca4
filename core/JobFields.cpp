#include "core/JobFields.h"

#include <strings.h>

#include <cstdlib>

JobFields::JobFields()
{
    ApplyScannerMode(std::getenv("tfcScanner"));
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
