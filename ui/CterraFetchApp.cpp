#include "ui/CterraFetchApp.h"

#include "ui/CterraFetchDialog.h"
#include "ui/MessageBox.h"

#include <curl/curl.h>

#include <QIcon>

#include <clocale>

CterraFetchApp::CterraFetchApp(int& argc, char** argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("terraFetch"));
    setApplicationVersion(QStringLiteral("1.04"));
    setDesktopFileName(QStringLiteral("terrafetch"));
    setWindowIcon(QIcon(QStringLiteral(":/res/terrafetch.png")));
    // Qt takes the user's locale for the C library too; numbers in log
    // lines, file names and parameter files must keep the decimal point.
    std::setlocale(LC_NUMERIC, "C");
}

CterraFetchApp::~CterraFetchApp()
{
    if (networkStarted_)
        curl_global_cleanup();
}

bool CterraFetchApp::StartNetwork()
{
    if (networkStarted_)
        return true;
    if (curl_global_init(CURL_GLOBAL_ALL) != CURLE_OK) {
        ShowMessageBox(nullptr, QMessageBox::Critical, QStringLiteral("terraFetch"),
                       QStringLiteral("Windows sockets initialization failed."));
        return false;
    }
    networkStarted_ = true;
    return true;
}

int CterraFetchApp::InitInstance()
{
    if (!StartNetwork())
        return 1;
    CterraFetchDialog dialog;
    dialog.exec();
    return 0;
}
