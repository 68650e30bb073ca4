#pragma once

// The cache lock tests' second process (helper/CacheLockHelper.cpp), run
// with its input and output on pipes. Its input is closed to let it go on.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

class CacheLockHelperProcess {
public:
    explicit CacheLockHelperProcess(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), TERRAFETCH_CACHE_LOCK_HELPER);
        std::vector<char*> argv;
        for (std::string& argument : arguments)
            argv.push_back(argument.data());
        argv.push_back(nullptr);
        int input[2], output[2];
        if (::pipe2(input, O_CLOEXEC) != 0 || ::pipe2(output, O_CLOEXEC) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(input[0], STDIN_FILENO);
            ::dup2(output[1], STDOUT_FILENO);
            ::close(input[1]);
            ::close(output[0]);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(input[0]);
        ::close(output[1]);
        input_ = input[1];
        output_ = output[0];
    }

    ~CacheLockHelperProcess()
    {
        LetGo();
        if (pid_ > 0 && !waited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (output_ >= 0)
            ::close(output_);
    }

    CacheLockHelperProcess(const CacheLockHelperProcess&) = delete;
    CacheLockHelperProcess& operator=(const CacheLockHelperProcess&) = delete;

    // The next line it writes, without its end; empty when none comes within 20 s.
    std::string ReadLine()
    {
        std::string line;
        char c = 0;
        pollfd ready{output_, POLLIN, 0};
        while (::poll(&ready, 1, 20000) == 1 && ::read(output_, &c, 1) == 1 && c != '\n')
            line += c;
        return line;
    }

    void LetGo()
    {
        if (input_ >= 0)
            ::close(input_);
        input_ = -1;
    }

    // Its exit status, once it has ended; -1 when it did not end normally.
    int Wait()
    {
        LetGo();
        int status = 0;
        waited_ = ::waitpid(pid_, &status, 0) == pid_;
        return waited_ && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    void Kill()
    {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        waited_ = true;
    }

private:
    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    bool waited_ = false;
};
