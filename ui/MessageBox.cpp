#include "ui/MessageBox.h"

namespace {

MessageBoxHook& Hook()
{
    static MessageBoxHook hook;
    return hook;
}

} // namespace

void ShowMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text)
{
    if (Hook()) {
        Hook()(icon, caption, text);
        return;
    }
    QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
    // Paths and addresses in a message can be copied from it.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    box.exec();
}

void ShowValidationMessage(QWidget* parent, const QString& text)
{
    ShowMessageBox(parent, QMessageBox::Warning, QStringLiteral("terraFetch"), text);
}

void SetMessageBoxHook(MessageBoxHook hook)
{
    Hook() = std::move(hook);
}
