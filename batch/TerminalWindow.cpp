#include "batch/TerminalWindow.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

TerminalWindow::TerminalWindow()
    : interactive_(isatty(STDIN_FILENO) && isatty(STDERR_FILENO))
{
}

void TerminalWindow::ClearProgressLine()
{
    if (progressShown_) {
        std::fputs("\r\033[K", stderr);
        progressShown_ = false;
    }
}

void TerminalWindow::AddToLog(const std::string& line)
{
    std::lock_guard lock(mutex_);
    ClearProgressLine();
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void TerminalWindow::EnableControl(JobControl, bool) {}

void TerminalWindow::SetProgress(int percent)
{
    if (!isatty(STDERR_FILENO))
        return;
    std::lock_guard lock(mutex_);
    const int filled = percent * 30 / 100;
    std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(filled, '#').c_str(), std::string(30 - filled, ' ').c_str(),
                 percent);
    std::fflush(stderr);
    progressShown_ = true;
}

void TerminalWindow::ShowStatus(StatusIcon) {}

bool TerminalWindow::AskLine(const std::string& prompt, std::string& answer)
{
    ClearProgressLine();
    std::fputs(prompt.c_str(), stderr);
    std::fflush(stderr);
    return static_cast<bool>(std::getline(std::cin, answer));
}

bool TerminalWindow::AskRetryWithTimeout(int& seconds)
{
    std::lock_guard lock(mutex_);
    if (!interactive_) {
        ClearProgressLine();
        std::fprintf(stderr, "The connection failed; not retrying without a terminal.\n");
        return false;
    }
    std::string answer;
    const std::string prompt = "The connection failed or timed out. Retry? Enter y or n, optionally followed by a "
                               "new time-out in seconds (1 to 300) [n " + std::to_string(seconds) + "]: ";
    if (!AskLine(prompt, answer))
        return false;
    const bool retry = !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
    const size_t digits = answer.find_first_of("0123456789");
    if (digits != std::string::npos) {
        const long value = std::strtol(answer.c_str() + digits, nullptr, 10);
        if (value >= 1 && value <= 300)
            seconds = static_cast<int>(value);
    }
    return retry;
}

bool TerminalWindow::AskPassword(std::string& userName, std::string& password)
{
    std::lock_guard lock(mutex_);
    if (!interactive_)
        return false;
    if (!AskLine("The server asks for a user name: ", userName))
        return false;
    const char* typed = getpass("Password: ");
    if (!typed)
        return false;
    password = typed;
    return true;
}

// Every message goes to standard error, whatever its icon: the texts of
// error messages say "Error" themselves, in their caption or their text.
void TerminalWindow::ShowMessage(const std::string& caption, const std::string& text, MessageIcon)
{
    std::lock_guard lock(mutex_);
    ClearProgressLine();
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

void TerminalWindow::RefreshCoordinates() {}
