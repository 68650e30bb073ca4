#pragma once

#include <string>

// The activity log as the stages see it: one line appended per call. The
// window's list widget, the batch runner's terminal and the tests' recorder
// implement it. Implementations must accept calls from any thread and keep
// the lines in the order of the calls.
class LogSink {
public:
    virtual ~LogSink() = default;
    virtual void AddToLog(const std::string& line) = 0;
};
