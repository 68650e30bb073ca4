#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

// What a region run tells while it works and when it ends. On a terminal,
// one line that is redrawn in place: quads done / failed / total, the rate
// and the time left. Elsewhere (a log file, a cluster's output), one line
// per quad that ends. At the end, a summary table.
class RegionProgress {
public:
    // `total` quads in this run's share, `skipped` of them finished before.
    RegionProgress(std::FILE* out, bool terminal, size_t total, size_t skipped);

    void QuadDone(const std::string& quad, double seconds, long long voids);
    void QuadFailed(const std::string& quad, double seconds, const std::string& cause);
    // Redraws the terminal line when it is due; call it often.
    void Tick();
    // Ends the progress and writes the summary; `voidsBefore` are those of the
    // quads finished before this run.
    void Summary(long long voidsBefore);

    size_t Failed() const { return failures_.size(); }

private:
    struct Failure {
        std::string quad;
        std::string cause;
    };
    std::string Counts() const;
    void Draw();
    double Elapsed() const;

    std::FILE* out_;
    bool terminal_;
    size_t total_;
    size_t skipped_;
    size_t done_ = 0;
    long long voids_ = 0;
    std::vector<Failure> failures_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point drawn_{};
};

// "45 s", "3 min 05 s", "2 h 07 min".
std::string DurationText(double seconds);
