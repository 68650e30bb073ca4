#include "core/JobWindow.h"

#include <chrono>
#include <thread>

void JobWindow::ShowFailureIndication()
{
    ShowStatus(StatusIcon::Failure);
    EnableControl(JobControl::Proceed, true);
}

void JobWindow::AttentionBlink()
{
    ShowStatus(StatusIcon::Failure);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    ShowStatus(StatusIcon::Ok);
}
