#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

// The program's modal message boxes with an OK button. Tests replace the box
// with a hook that records the text, so that dialogs run unattended.
void ShowMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text);

// Messages of data exchange ("Please enter a number."): caption "terraFetch",
// warning icon.
void ShowValidationMessage(QWidget* parent, const QString& text);

using MessageBoxHook = std::function<void(QMessageBox::Icon icon, const QString& caption, const QString& text)>;
// Installs `hook` (an empty one restores the real boxes); GUI thread only.
void SetMessageBoxHook(MessageBoxHook hook);
