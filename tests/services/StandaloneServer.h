#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

// Runs terrafetch-services on a free port, with any further options, and
// reads the port from the line it prints first; stops it with SIGTERM, and
// kills it when it has not ended within ten seconds of that.
class StandaloneServer {
public:
    explicit StandaloneServer(const std::vector<std::string>& options = {})
    {
        std::vector<std::string> arguments{TERRAFETCH_SERVICES_PROGRAM, "--port", "0", "--wait", "0"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        int pipeEnds[2];
        if (::pipe(pipeEnds) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(pipeEnds[1], STDOUT_FILENO);
            ::close(pipeEnds[0]);
            ::close(pipeEnds[1]);
            ::execv(TERRAFETCH_SERVICES_PROGRAM, argv.data());
            ::_exit(127);
        }
        ::close(pipeEnds[1]);
        output_ = ::fdopen(pipeEnds[0], "r");
        char line[512];
        if (output_ && std::fgets(line, sizeof line, output_)) {
            firstLine_ = line;
            const size_t colon = firstLine_.find("127.0.0.1:");
            if (colon != std::string::npos)
                port_ = std::atoi(firstLine_.c_str() + colon + 10);
        }
    }
    ~StandaloneServer()
    {
        Stop();
        if (output_)
            std::fclose(output_);
    }

    // The exit status after SIGTERM, or -1 (also when it had to be killed).
    int Stop()
    {
        if (pid_ <= 0)
            return -1;
        ::kill(pid_, SIGTERM);
        int status = 0;
        const auto killAt = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > killAt) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                pid_ = -1;
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    int Port() const { return port_; }
    const std::string& FirstLine() const { return firstLine_; }

private:
    pid_t pid_ = -1;
    FILE* output_ = nullptr;
    int port_ = 0;
    std::string firstLine_;
};
