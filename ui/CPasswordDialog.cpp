#include "ui/CPasswordDialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CPasswordDialog::CPasswordDialog(QWidget* parent, const QString& userName)
    : QDialog(parent), userNameEdit_(new QLineEdit(userName, this)), passwordEdit_(new QLineEdit(this))
{
    setWindowTitle(QStringLiteral("Enter Password"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    passwordEdit_->setEchoMode(QLineEdit::Password);

    auto* fields = new QFormLayout;
    fields->addRow(QStringLiteral("&User name:"), userNameEdit_);
    fields->addRow(QStringLiteral("&Password:"), passwordEdit_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("The server asks for a user name and password."), this));
    layout->addLayout(fields);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    (userName.isEmpty() ? userNameEdit_ : passwordEdit_)->setFocus();
}

QString CPasswordDialog::userName() const { return userNameEdit_->text(); }

QString CPasswordDialog::password() const { return passwordEdit_->text(); }

bool AskPassword(QWidget* parent, std::string& userName, std::string& password)
{
    CPasswordDialog dialog(parent, QString::fromStdString(userName));
    if (dialog.exec() != QDialog::Accepted)
        return false;
    userName = dialog.userName().toStdString();
    password = dialog.password().toStdString();
    return true;
}
