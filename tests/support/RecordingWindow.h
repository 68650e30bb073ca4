#pragma once

#include "core/JobWindow.h"

#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// A JobWindow that remembers what it was told and answers questions from a
// script. Used by the tests; safe to call from several threads.
class RecordingWindow : public JobWindow {
public:
    struct TimeoutAnswer {
        bool retry = false;
        int seconds = 0;
    };
    struct PasswordAnswer {
        bool accepted = false;
        std::string userName;
        std::string password;
    };

    void AddToLog(const std::string& line) override;
    void EnableControl(JobControl control, bool enabled) override;
    void SetProgress(int percent) override;
    void ShowStatus(StatusIcon icon) override;
    bool AskRetryWithTimeout(int& seconds) override;
    bool AskPassword(std::string& userName, std::string& password) override;
    void ShowMessage(const std::string& caption, const std::string& text,
                     MessageIcon icon = MessageIcon::Information) override;
    void RefreshCoordinates() override;

    // Answers for the next questions, in order; an unscripted time-out
    // question is answered No with the value unchanged, an unscripted
    // password prompt is dismissed.
    void QueueTimeoutAnswer(TimeoutAnswer answer);
    void QueuePasswordAnswer(PasswordAnswer answer);

    std::vector<std::string> Lines() const;
    bool HasLine(const std::string& line) const;
    std::optional<bool> ControlEnabled(JobControl control) const;
    std::vector<StatusIcon> StatusHistory() const;
    std::vector<int> ProgressHistory() const;
    std::vector<int> TimeoutQuestions() const;  // the value shown with each question
    int PasswordQuestions() const;
    std::vector<std::string> Messages() const;  // "caption: text"
    std::vector<MessageIcon> MessageIcons() const;  // one per message, in order
    int CoordinateRefreshes() const;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    std::map<JobControl, bool> controls_;
    std::vector<StatusIcon> statuses_;
    std::vector<int> progress_;
    std::deque<TimeoutAnswer> timeoutAnswers_;
    std::deque<PasswordAnswer> passwordAnswers_;
    std::vector<int> timeoutQuestions_;
    int passwordQuestions_ = 0;
    std::vector<std::string> messages_;
    std::vector<MessageIcon> messageIcons_;
    int coordinateRefreshes_ = 0;
};
