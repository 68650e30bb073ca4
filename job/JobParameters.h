#pragma once

#include "core/QuadGeometry.h"
#include "core/TextureKind.h"
#include "core/Waypoint.h"
#include "job/ServiceHosts.h"

#include <string>

struct JobFields;

// Everything a job needs, taken as a value when it starts: the quad, the
// settings that shape its files, the route and where the services are. The
// worker keeps its own copy, so whatever the window changes meanwhile applies
// to the next job only.
struct JobParameters {
    Quad quad{-99.0, -98.0, 40.0, 39.0};
    bool substituteZ0 = false;
    bool removeIntermediateFiles = true;
    bool namesFromCoordinates = false;
    // After a successful job the next quad lies a quarter degree east.
    bool scannerMode = false;
    int lineThickness = 1;
    double zScale = 0.02;
    int httpTimeout = 120;
    TextureKind textureKind = TextureKind::Map;
    int textureHeight = kTextureHeight;
    // The route to draw; empty when none is drawn.
    WaypointList waypoints;
    ServiceHosts hosts;
};

// The job the window's (or the batch runner's) fields describe right now. The
// route is taken only while it is switched on.
JobParameters JobParametersFrom(const JobFields& fields, const ServiceHosts& hosts);
