#include "ui/CTimeoutDialog.h"

#include "ui_CTimeoutDialog.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

// An integer as the field accepts it: optional blanks, an optional sign,
// decimal digits, optional blanks; nothing else, and within int range.
bool ParseInteger(const QString& text, int& value)
{
    const QByteArray bytes = text.toUtf8();
    const char* start = bytes.constData();
    while (*start == ' ' || *start == '\t')
        ++start;
    if (*start == '\0')
        return false;
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(start, &end, 10);
    if (end == start || errno == ERANGE || parsed < INT_MIN || parsed > INT_MAX)
        return false;
    while (*end == ' ' || *end == '\t')
        ++end;
    if (*end != '\0')
        return false;
    value = static_cast<int>(parsed);
    return true;
}

}  // namespace

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
    if (!ParseInteger(ui->timeoutEdit->text(), value)) {
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
