#pragma once

#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// One quad's job as a process of its own: the batch program run in the
// quad's folder, its standard output and error going to the folder's log,
// its standard input empty (so it never waits for an answer). It dies with
// the process that started it, so a killed region run leaves no job
// running behind it.
struct QuadLaunch {
    std::string program;
    std::vector<std::string> arguments;    // after the program name
    std::string folder;
    std::string logName;                   // in the folder
    std::vector<std::string> environment;  // "NAME=value", replacing or adding to ours
};

class QuadProcess {
public:
    // Starts the process; nullopt with `error` set when it cannot be.
    static std::optional<QuadProcess> Start(const QuadLaunch& launch, std::string& error);

    QuadProcess(QuadProcess&& other) noexcept;
    QuadProcess& operator=(QuadProcess&& other) noexcept;
    QuadProcess(const QuadProcess&) = delete;
    QuadProcess& operator=(const QuadProcess&) = delete;
    ~QuadProcess();

    // Whether it has ended; then ExitStatus() tells how.
    bool Ended();
    // The exit status, or minus the signal that ended it.
    int ExitStatus() const { return status_; }
    // Asks it to cancel its job (as Ctrl-C would).
    void Interrupt() const;

    // A descriptor that polls readable once the process has ended (-1 when
    // the system has none), for waiting on several at once.
    int EndDescriptor() const { return endDescriptor_; }

private:
    explicit QuadProcess(pid_t pid);
    pid_t pid_ = -1;
    int endDescriptor_ = -1;
    int status_ = 0;
    bool ended_ = false;
};

// Waits until one of `processes` may have ended, at most `milliseconds`, or
// until a signal comes.
void WaitForAnEnd(const std::vector<const QuadProcess*>& processes, int milliseconds);

// The environment `overrides` gives on top of this process's own.
std::vector<std::string> MergedEnvironment(const std::vector<std::string>& overrides);
