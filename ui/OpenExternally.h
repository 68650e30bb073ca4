#pragma once

#include <QString>
#include <QUrl>

#include <functional>

class QWidget;

// Hands a folder or web address to the desktop (file manager, browser).
// Where nothing on the machine takes it, a message box shows the address as
// selectable text instead, so the user can copy it. `open` is the desktop's
// opener; tests hand in their own.
using ExternalOpener = std::function<bool(const QUrl& url)>;
void OpenExternally(QWidget* parent, const QUrl& url, const ExternalOpener& open = {});
