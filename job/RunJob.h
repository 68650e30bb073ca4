#pragma once

#include <atomic>

class JobWindow;
struct JobResult;
struct JobParameters;

// Turns the job's quad into a height map, a texture and two flight
// parameter files in the current folder: orders and unpacks the elevation,
// imports and (if asked) fills it, makes the texture and writes the
// parameter files, switching the window's controls as it goes. The job
// reads only `job` and stops soon after `cancelRequested` is set. Returns
// 0, or the code of the first stage that failed (after showing the failure
// indication). On success `result`, when given, holds what the job made.
int RunJob(JobWindow& window, const JobParameters& job, const std::atomic<bool>& cancelRequested,
           JobResult* result = nullptr);
