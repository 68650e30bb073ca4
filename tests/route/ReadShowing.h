#pragma once

#include "core/JobWindow.h"
#include "route/WaypointFile.h"

#include <string>

// Reads a route the way the programs do: a refusal is shown in a message
// box of `window`. True on failure.
inline bool ReadShowing(const std::string& path, WaypointList& list, JobWindow& window,
                        const WaypointLimits& limits = {})
{
    const std::string why = ReadWaypoints(path, list, limits);
    if (!why.empty())
        window.ShowMessage(kWaypointMessageCaption, why, MessageIcon::Error);
    return !why.empty();
}

inline bool CheckShowing(const std::string& path, JobWindow& window)
{
    WaypointList discarded;
    return ReadShowing(path, discarded, window);
}
