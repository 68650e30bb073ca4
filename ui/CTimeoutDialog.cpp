#include "ui/CTimeoutDialog.h"

#include "ui/FieldExchange.h"
#include "ui_CTimeoutDialog.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

CTimeoutDialog::CTimeoutDialog(QWidget* parent, int timeoutSeconds)
    : QDialog(parent), ui(std::make_unique<Ui::CTimeoutDialog>()), timeout(timeoutSeconds)
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    ui->timeoutEdit->setText(QString::number(timeout));
    connect(ui->yesButton, &QPushButton::clicked, this, &CTimeoutDialog::onYes);
    connect(ui->noButton, &QPushButton::clicked, this, [this] { done(No); });
}

CTimeoutDialog::~CTimeoutDialog() = default;

void CTimeoutDialog::setTimeout(int seconds)
{
    timeout = seconds;
    ui->timeoutEdit->setText(QString::number(timeout));
}

void CTimeoutDialog::reject() { done(Cancel); }

void CTimeoutDialog::onYes()
{
    if (readTimeoutField())
        done(Yes);
}

bool CTimeoutDialog::readTimeoutField()
{
    int value = 0;
    if (!ParseFieldInteger(ui->timeoutEdit->text(), value)) {
        showValidationMessage(QStringLiteral("Please enter an integer."));
        ui->timeoutEdit->setFocus();
        ui->timeoutEdit->selectAll();
        return false;
    }
    // The value is kept even when it fails the range test below.
    timeout = value;
    if (value < kMinimumTimeout || value > kMaximumTimeout) {
        showValidationMessage(QStringLiteral("Please enter an integer between %1 and %2.")
                                  .arg(kMinimumTimeout)
                                  .arg(kMaximumTimeout));
        ui->timeoutEdit->setFocus();
        ui->timeoutEdit->selectAll();
        return false;
    }
    return true;
}

void CTimeoutDialog::showValidationMessage(const QString& text)
{
    QString caption = QApplication::applicationDisplayName();
    if (caption.isEmpty())
        caption = QStringLiteral("terraFetch");
    QMessageBox::warning(this, caption, text);
}

bool AskRetryWithTimeout(QWidget* parent, int& seconds)
{
    CTimeoutDialog dialog(parent, seconds);
    const int answer = dialog.exec();
    seconds = dialog.getTimeout();
    return answer == CTimeoutDialog::Yes;
}
