#pragma once

#include <string>
#include <vector>

// The mark of a finished quad: a small file in the quad's folder, written
// last and whole, that names the options the quad was made with and every
// file it holds with its size. A folder without a sound mark, or whose
// files no longer match it, is not finished, whatever a record says.
inline constexpr const char* kQuadMarkerName = "quad-finished.txt";

struct QuadMarker {
    std::string options;  // the job options' fingerprint, one line
    long long voids = 0;  // height-map posts left without a height
    struct File {
        std::string name;
        unsigned long long size = 0;
    };
    std::vector<File> files;
};

enum class QuadState {
    kNotStarted,    // no folder
    kUnfinished,    // a folder without a sound mark: interrupted, failed or damaged
    kFilesChanged,  // marked, but a file it names is gone or has another size
    kFinished,
};

struct QuadCheck {
    QuadState state = QuadState::kNotStarted;
    QuadMarker marker;  // read when the state is kFinished or kFilesChanged
    std::string detail; // what is wrong, for kUnfinished and kFilesChanged
};

QuadCheck CheckQuad(const std::string& folder);

// Lists the folder's files and writes the mark (through a temporary). False with `error` set when it cannot be written.
bool MarkQuadFinished(const std::string& folder, const std::string& options, long long voids,
                      std::string& error);

// The mark's text and its reading; false when the text is no sound mark.
std::string QuadMarkerText(const QuadMarker& marker);
bool ParseQuadMarker(const std::string& text, QuadMarker& marker);
