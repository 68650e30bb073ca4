#pragma once

#include "core/Waypoint.h"

#include <atomic>
#include <mutex>
#include <string>

// The fields of a job: the quad, the user's settings and the few values that
// stages write while a job runs. The window owns one record and hands it to
// the worker and geocoding threads.
//
// Threads: the GUI thread writes settings and edges while a worker reads
// them, so every scalar is an atomic and the two strings/lists sit behind a
// mutex. Each value is still read exactly when a stage needs it, as before;
// only the tearing is gone.
struct JobFields {
    JobFields();

    std::atomic<bool> cancelRequested{false};
    std::atomic<int> rasterRows{0};
    std::atomic<int> rasterColumns{0};
    std::atomic<bool> controlsUnlocked{true};
    std::atomic<double> quadSize{1.0};
    std::atomic<bool> substituteZ0{false};
    std::atomic<bool> alignQuadToGrid{false};
    std::atomic<bool> removeIntermediateFiles{true};
    std::atomic<int> lineThickness{1};
    std::atomic<double> zScale{0.02};
    std::atomic<int> httpTimeout{120};
    std::atomic<int> useWaypoints{0};
    std::atomic<int> namesFromCoordinates{0};
    std::atomic<double> quadLeft{-99.0};
    std::atomic<double> quadRight{-98.0};
    std::atomic<double> quadTop{40.0};
    std::atomic<double> quadBottom{39.0};

    // Set from "tfcScanner" when the record is made: after every successful
    // job the quad moves east by a quarter degree.
    std::atomic<bool> scannerMode{false};
    // True from the start of a job until its worker has ended, so a second
    // job can never run on the same record.
    std::atomic<bool> jobRunning{false};

    WaypointList Waypoints() const;
    void SetWaypoints(WaypointList list);
    std::string WaypointFile() const;
    void SetWaypointFile(std::string path);

    // Scanner mode: a smaller, grid-aligned quad named after its corner.
    // `environmentValue` is the value of "tfcScanner" or null when unset.
    void ApplyScannerMode(const char* environmentValue);

    // East edge from the west edge, south edge from the north edge.
    void SetWestEdge(double west);
    void SetNorthEdge(double north);

private:
    mutable std::mutex mutex_;
    WaypointList waypoints_;
    std::string waypointFile_;
};

// Whether the value of "tfcScanner" asks for scanner mode ("yes", any case).
bool IsScannerModeValue(const char* environmentValue);
