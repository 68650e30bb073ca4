#include "ui/OpenExternally.h"

#include "ui/MessageBox.h"

#include <QDesktopServices>

void OpenExternally(QWidget* parent, const QUrl& url, const ExternalOpener& open)
{
    const bool opened = open ? open(url) : QDesktopServices::openUrl(url);
    if (opened)
        return;
    const bool folder = url.isLocalFile();
    const QString address = folder ? url.toLocalFile() : url.toString();
    ShowMessageBox(parent, QMessageBox::Information, QStringLiteral("terraFetch"),
                   (folder ? QStringLiteral("No file manager could open the folder:")
                           : QStringLiteral("No web browser could open the page:")) +
                       QStringLiteral("\n\n") + address + QStringLiteral("\n\nSelect the text to copy it."));
}
