#include "tests/support/RecordingWindow.h"

#include <algorithm>

void RecordingWindow::AddToLog(const std::string& line)
{
    std::lock_guard lock(mutex_);
    lines_.push_back(line);
}

void RecordingWindow::EnableControl(JobControl control, bool enabled)
{
    std::lock_guard lock(mutex_);
    controls_[control] = enabled;
}

void RecordingWindow::SetProgress(int percent)
{
    std::lock_guard lock(mutex_);
    progress_.push_back(percent);
}

void RecordingWindow::ShowStatus(StatusIcon icon)
{
    std::lock_guard lock(mutex_);
    statuses_.push_back(icon);
}

bool RecordingWindow::AskRetryWithTimeout(int& seconds)
{
    std::lock_guard lock(mutex_);
    timeoutQuestions_.push_back(seconds);
    if (timeoutAnswers_.empty())
        return false;
    const TimeoutAnswer answer = timeoutAnswers_.front();
    timeoutAnswers_.pop_front();
    seconds = answer.seconds;
    return answer.retry;
}

bool RecordingWindow::AskPassword(std::string& userName, std::string& password)
{
    std::lock_guard lock(mutex_);
    ++passwordQuestions_;
    if (passwordAnswers_.empty())
        return false;
    const PasswordAnswer answer = passwordAnswers_.front();
    passwordAnswers_.pop_front();
    if (!answer.accepted)
        return false;
    userName = answer.userName;
    password = answer.password;
    return true;
}

void RecordingWindow::ShowMessage(const std::string& caption, const std::string& text, MessageIcon icon)
{
    std::lock_guard lock(mutex_);
    messages_.push_back(caption + ": " + text);
    messageIcons_.push_back(icon);
}

void RecordingWindow::RefreshCoordinates()
{
    std::lock_guard lock(mutex_);
    ++coordinateRefreshes_;
}

void RecordingWindow::QueueTimeoutAnswer(TimeoutAnswer answer)
{
    std::lock_guard lock(mutex_);
    timeoutAnswers_.push_back(answer);
}

void RecordingWindow::QueuePasswordAnswer(PasswordAnswer answer)
{
    std::lock_guard lock(mutex_);
    passwordAnswers_.push_back(std::move(answer));
}

std::vector<std::string> RecordingWindow::Lines() const
{
    std::lock_guard lock(mutex_);
    return lines_;
}

bool RecordingWindow::HasLine(const std::string& line) const
{
    std::lock_guard lock(mutex_);
    return std::find(lines_.begin(), lines_.end(), line) != lines_.end();
}

std::optional<bool> RecordingWindow::ControlEnabled(JobControl control) const
{
    std::lock_guard lock(mutex_);
    const auto found = controls_.find(control);
    if (found == controls_.end())
        return std::nullopt;
    return found->second;
}

std::vector<StatusIcon> RecordingWindow::StatusHistory() const
{
    std::lock_guard lock(mutex_);
    return statuses_;
}

std::vector<int> RecordingWindow::ProgressHistory() const
{
    std::lock_guard lock(mutex_);
    return progress_;
}

std::vector<int> RecordingWindow::TimeoutQuestions() const
{
    std::lock_guard lock(mutex_);
    return timeoutQuestions_;
}

int RecordingWindow::PasswordQuestions() const
{
    std::lock_guard lock(mutex_);
    return passwordQuestions_;
}

std::vector<std::string> RecordingWindow::Messages() const
{
    std::lock_guard lock(mutex_);
    return messages_;
}

std::vector<MessageIcon> RecordingWindow::MessageIcons() const
{
    std::lock_guard lock(mutex_);
    return messageIcons_;
}

int RecordingWindow::CoordinateRefreshes() const
{
    std::lock_guard lock(mutex_);
    return coordinateRefreshes_;
}
