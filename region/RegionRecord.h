#pragma once

#include "region/RegionQuads.h"

#include <string>
#include <vector>

// The record of a region run, kept in the region's folder: one line for
// each event of a quad, appended as it happens, so that a run killed at any
// moment loses at most the line it was writing. Tab-separated fields:
//
//   quad  state  exit  seconds  time  voids  cause
//
// state is "started", "done", "failed" or "skipped"; exit is the job's exit
// status (or -SIGNAL); time is UTC. The record says what happened; which
// quads are finished is decided by their folders' marks, so a damaged or
// lost record costs nothing but its history.
struct RecordEntry {
    std::string quad;
    std::string state;
    int exitStatus = 0;
    double seconds = 0;
    std::string time;
    long long voids = 0;
    std::string cause;
};

// The record's file: "region-record.tsv", or one of its own per shard so that
// shards writing into one folder never share a file.
std::string RegionRecordName(const Shard& shard);

class RegionRecord {
public:
    explicit RegionRecord(std::string path) : path_(std::move(path)) {}

    // Reads what the record holds; lines that are no entry are counted and
    // dropped. False when the file is there but cannot be read.
    bool Load(std::vector<RecordEntry>& entries, int& damagedLines) const;
    // Writes these entries as the whole record (to drop damaged lines).
    bool Rewrite(const std::vector<RecordEntry>& entries, std::string& error) const;
    // Appends one line in one write. False with `error` set when it fails.
    bool Append(const RecordEntry& entry, std::string& error) const;

    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

std::string RecordLine(const RecordEntry& entry);
bool ParseRecordLine(const std::string& line, RecordEntry& entry);
// Now, as the record writes times: "2026-12-10T09:30:00Z".
std::string RecordTimeNow();
