#pragma once

#include <QDialog>

#include <string>

class QLineEdit;

// Asks for the user name and password that a server's 401 challenge wants.
class CPasswordDialog : public QDialog {
    Q_OBJECT

public:
    explicit CPasswordDialog(QWidget* parent = nullptr, const QString& userName = QString());

    QString userName() const;
    QString password() const;

    QLineEdit* userNameEdit() const { return userNameEdit_; }
    QLineEdit* passwordEdit() const { return passwordEdit_; }

private:
    QLineEdit* userNameEdit_;
    QLineEdit* passwordEdit_;
};

// The password prompt of the window interface: shows the dialog modally over
// `parent`, with `userName` filled in. On OK both texts take what was typed
// and the result is true; otherwise they are left as they were. GUI thread
// only, like every widget.
bool AskPassword(QWidget* parent, std::string& userName, std::string& password);
