#include "ui/CHelpWindow.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

CHelpWindow::CHelpWindow(QWidget* parent)
    : QDialog(parent)
    , browser_(new QTextBrowser(this))
{
    setWindowTitle(QStringLiteral("terraFetch Help"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    browser_->setOpenExternalLinks(true);
    browser_->setSource(QUrl(HelpPageSource()));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(browser_);
    layout->addWidget(buttons);
    resize(640, 560);
}

QString HelpPageSource()
{
    // bin/terrafetch next to share/doc/terrafetch/help.html after installation.
    const QString installed =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../share/doc/terrafetch/help.html");
    if (QFileInfo::exists(installed))
        return QUrl::fromLocalFile(QFileInfo(installed).canonicalFilePath()).toString();
    return QStringLiteral("qrc:/res/help.html");
}
