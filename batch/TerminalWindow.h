#pragma once

#include "core/JobWindow.h"

#include <mutex>

// The window interface on a terminal: log lines go to standard output
// exactly as the activity log shows them; progress, questions and messages
// use standard error, and questions are asked only when standard input is
// a terminal (otherwise the time-out question is answered No and the
// password prompt is dismissed).
class TerminalWindow : public JobWindow {
public:
    TerminalWindow();

    void AddToLog(const std::string& line) override;
    void EnableControl(JobControl control, bool enabled) override;
    void SetProgress(int percent) override;
    void ShowStatus(StatusIcon icon) override;
    bool AskRetryWithTimeout(int& seconds) override;
    bool AskPassword(std::string& userName, std::string& password) override;
    void ShowMessage(const std::string& caption, const std::string& text,
                     MessageIcon icon = MessageIcon::Information) override;
    void RefreshCoordinates() override;

private:
    void ClearProgressLine();
    bool AskLine(const std::string& prompt, std::string& answer);

    std::mutex mutex_;
    bool interactive_ = false;
    bool progressShown_ = false;
};
