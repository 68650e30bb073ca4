#pragma once

#include <QDialog>

class QTextBrowser;

// The program's help page in a window of its own, beside the main window.
// Links to other pages of the help stay inside; web addresses open in the
// user's browser.
class CHelpWindow : public QDialog {
    Q_OBJECT

public:
    explicit CHelpWindow(QWidget* parent = nullptr);

    QTextBrowser* Browser() const { return browser_; }

private:
    QTextBrowser* browser_;
};

// Where the help page is read from: the installed copy when there is one,
// else the page built into the program.
QString HelpPageSource();
