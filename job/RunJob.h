#pragma once

class JobWindow;
struct JobFields;
struct JobResult;
struct ServiceHosts;

// Turns the job's quad into a height map, a texture and two flight
// parameter files in the current folder: orders and unpacks the elevation,
// imports and (if asked) fills it, makes the texture and writes the
// parameter files, switching the window's controls as it goes. Returns 0,
// or the code of the first stage that failed (after showing the failure
// indication). On success `result`, when given, names the quad and the
// result files.
int RunJob(JobWindow& window, JobFields& job, const ServiceHosts& hosts, JobResult* result = nullptr);
