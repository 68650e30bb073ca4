#pragma once

#include "core/LogSink.h"

#include <string>

// Everything the pipeline, the HTTP requests and geocoding ask of the main
// window, collected in one interface so that every stage runs headless.
//
// Threads: these operations are called from background threads. The Qt
// window marshals them to the GUI thread (queued for log lines, control
// states and progress; blocking for the questions that return an answer).
// The GUI thread never waits for a background thread.
enum class JobControl { Close, Proceed, Cancel, WestEdge, NorthEdge };

enum class StatusIcon { Ok, Failure, Attention };

// The icon of a message box: what kind of message it is.
enum class MessageIcon { Information, Error };

class JobWindow : public LogSink {
public:
    virtual void EnableControl(JobControl control, bool enabled) = 0;
    virtual void SetProgress(int percent) = 0;
    virtual void ShowStatus(StatusIcon icon) = 0;

    // Asks whether to retry a connection that failed; `seconds` holds the
    // time-out on entry and the user's value on return, whichever way the
    // question ended. Returns true for Yes.
    virtual bool AskRetryWithTimeout(int& seconds) = 0;

    // Asks for credentials after a 401. Returns false when dismissed.
    virtual bool AskPassword(std::string& userName, std::string& password) = 0;

    // A modal message box with an OK button. Overrides repeat the default.
    virtual void ShowMessage(const std::string& caption, const std::string& text,
                             MessageIcon icon = MessageIcon::Information) = 0;

    // Shows the job's quad edges in the coordinate fields again.
    virtual void RefreshCoordinates() = 0;

    // Failure icon and Proceed enabled.
    void ShowFailureIndication();
    // Failure icon for half a second on the calling thread, then the OK icon.
    void AttentionBlink();
};
