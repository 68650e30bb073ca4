#pragma once

#include <string>
#include <vector>

class LogSink;

// A record, in the job folder, of the files a running job makes: its
// intermediates (removed when it ends) and its results (written through
// temporary names). A job that ends, however it ends, removes its record; a
// job that was killed leaves it, and the next job in the folder removes what
// the killed one left: its intermediates and its results' temporaries.
// Each process keeps a record of its own, so two jobs running in one folder
// never remove each other's files.
class InterruptedJobFiles {
public:
    explicit InterruptedJobFiles(std::string folder);
    ~InterruptedJobFiles();
    InterruptedJobFiles(const InterruptedJobFiles&) = delete;
    InterruptedJobFiles& operator=(const InterruptedJobFiles&) = delete;

    // Removes what jobs no longer running left in `folder`; one log line
    // says how many files went. Only files and folders inside `folder`, and
    // never through a symbolic link.
    static void RemoveLeftovers(const std::string& folder, LogSink& log);

    // Replaces the record with these files (full paths inside the folder).
    void Record(const std::vector<std::string>& intermediates, const std::vector<std::string>& results);

private:
    std::string folder_;
    std::string recordPath_;
};
