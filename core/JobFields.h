#pragma once

#include "core/TextureKind.h"
#include "core/Waypoint.h"

#include <string>

// What the window (or the batch runner) shows and edits: the quad and the
// user's settings. Only the thread that owns the window touches it; a job
// takes a copy of it when it starts (job/JobParameters.h) and geocoding hands its
// quad back as a value.
struct JobFields {
    JobFields();

    double quadSize = 1.0;
    bool substituteZ0 = false;
    bool alignQuadToGrid = false;
    bool removeIntermediateFiles = true;
    int lineThickness = 1;
    double zScale = 0.02;
    int httpTimeout = 120;
    int useWaypoints = 0;
    int namesFromCoordinates = 0;
    double quadLeft = -99.0;
    double quadRight = -98.0;
    double quadTop = 40.0;
    double quadBottom = 39.0;
    TextureKind textureKind = TextureKind::Map;
    int textureHeight = kTextureHeights[0];

    // Set from "tfcScanner" when the record is made: after every successful
    // job the quad moves east by a quarter degree.
    bool scannerMode = false;

    // The route read last, kept while it is switched off, and its file.
    WaypointList waypoints;
    std::string waypointFile;

    // Scanner mode: a smaller, grid-aligned quad named after its corner.
    // `environmentValue` is the value of "tfcScanner" or null when unset.
    void ApplyScannerMode(const char* environmentValue);

    // East edge from the west edge, south edge from the north edge.
    void SetWestEdge(double west);
    void SetNorthEdge(double north);
};

// Whether the value of "tfcScanner" asks for scanner mode ("yes", any case).
bool IsScannerModeValue(const char* environmentValue);
