#pragma once

#include <QApplication>

// The program: starts what the window needs, shows the main window and
// ends when it closes.
class CterraFetchApp : public QApplication {
    Q_OBJECT

public:
    CterraFetchApp(int& argc, char** argv);
    ~CterraFetchApp() override;

    // Runs the main window to its end; the program's exit code.
    int InitInstance();

    // Starts the network layer; on failure tells the user and returns false.
    bool StartNetwork();

private:
    bool networkStarted_ = false;
};
