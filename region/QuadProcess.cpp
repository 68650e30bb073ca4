#include "region/QuadProcess.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

std::vector<char*> Pointers(std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    for (std::string& text : texts)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

// Runs in the child between fork and exec, where only async-signal-safe
// calls may be made: no allocation, no locks.
[[noreturn]] void BecomeJob(const char* folder, const char* log, char** argv, char** envp, pid_t parent)
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent)  // the parent died before the line above
        ::_exit(127);
    const int input = ::open("/dev/null", O_RDONLY);
    const int output = ::open(log, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (::chdir(folder) != 0 || input < 0 || output < 0 || ::dup2(input, 0) < 0 || ::dup2(output, 1) < 0 ||
        ::dup2(output, 2) < 0)
        ::_exit(126);
    ::execve(argv[0], argv, envp);
    ::_exit(127);
}

} // namespace

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& overrides)
{
    std::vector<std::string> merged;
    const auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        bool replaced = false;
        for (const std::string& override : overrides)
            replaced = replaced || nameOf(override) == nameOf(text);
        if (!replaced)
            merged.push_back(text);
    }
    merged.insert(merged.end(), overrides.begin(), overrides.end());
    return merged;
}

std::optional<QuadProcess> QuadProcess::Start(const QuadLaunch& launch, std::string& error)
{
    std::vector<std::string> arguments{launch.program};
    arguments.insert(arguments.end(), launch.arguments.begin(), launch.arguments.end());
    std::vector<std::string> environment = MergedEnvironment(launch.environment);
    std::vector<char*> argv = Pointers(arguments);
    std::vector<char*> envp = Pointers(environment);
    const std::string log = launch.folder + "/" + launch.logName;
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        error = std::string("a job process cannot be started: ") + std::strerror(errno);
        return std::nullopt;
    }
    if (pid == 0)
        BecomeJob(launch.folder.c_str(), log.c_str(), argv.data(), envp.data(), parent);
    return QuadProcess(pid);
}

QuadProcess::QuadProcess(pid_t pid)
    : pid_(pid), endDescriptor_(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)))
{
}

QuadProcess::QuadProcess(QuadProcess&& other) noexcept
    : pid_(other.pid_), endDescriptor_(other.endDescriptor_), status_(other.status_), ended_(other.ended_)
{
    other.endDescriptor_ = -1;
    other.ended_ = true;
}

QuadProcess& QuadProcess::operator=(QuadProcess&& other) noexcept
{
    if (this != &other) {
        if (endDescriptor_ >= 0)
            ::close(endDescriptor_);
        pid_ = other.pid_;
        endDescriptor_ = other.endDescriptor_;
        status_ = other.status_;
        ended_ = other.ended_;
        other.endDescriptor_ = -1;
        other.ended_ = true;
    }
    return *this;
}

QuadProcess::~QuadProcess()
{
    if (endDescriptor_ >= 0)
        ::close(endDescriptor_);
}

void WaitForAnEnd(const std::vector<const QuadProcess*>& processes, int milliseconds)
{
    std::vector<pollfd> ends;
    for (const QuadProcess* process : processes) {
        if (process->EndDescriptor() < 0) {
            // Without descriptors to wait on, look again soon.
            ::poll(nullptr, 0, std::min(milliseconds, 20));
            return;
        }
        ends.push_back({process->EndDescriptor(), POLLIN, 0});
    }
    ::poll(ends.data(), ends.size(), milliseconds);
}

bool QuadProcess::Ended()
{
    if (ended_)
        return true;
    int status = 0;
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == 0 || (done < 0 && errno == EINTR))
        return false;
    ended_ = true;
    if (done < 0)
        status_ = -SIGKILL;  // not ours to wait for any more: count it as lost
    else if (WIFEXITED(status))
        status_ = WEXITSTATUS(status);
    else
        status_ = WIFSIGNALED(status) ? -WTERMSIG(status) : -1;
    return true;
}

void QuadProcess::Interrupt() const
{
    if (!ended_)
        ::kill(pid_, SIGINT);
}
