#pragma once

#include <QDialog>

#include <memory>
#include <string>

namespace Ui {
class CTimeoutDialog;
}

// Asks whether to retry a request that timed out and lets the user change
// the receive time-out for the retry. exec() ends with Yes, No, or Cancel
// (Escape or the close box).
//
// Yes (also Enter) reads the field back: it must be an integer, which is
// stored in the time-out at once, and lie in 1..300; otherwise a message
// says so and the dialog stays open with the focus in the field. No ends the
// dialog at once without reading the field.
class CTimeoutDialog : public QDialog {
    Q_OBJECT

public:
    enum Answer { Cancel = 2, Yes = 6, No = 7 };
    static constexpr int kMinimumTimeout = 1;
    static constexpr int kMaximumTimeout = 300;

    explicit CTimeoutDialog(QWidget* parent = nullptr, int timeoutSeconds = 120);
    ~CTimeoutDialog() override;

    int getTimeout() const { return timeout; }
    void setTimeout(int seconds);

    void reject() override;

protected:
    // Shows a validation message; a message box unless overridden.
    virtual void showValidationMessage(const QString& text);

private:
    void onYes();
    bool readTimeoutField();

    std::unique_ptr<Ui::CTimeoutDialog> ui;
    int timeout;
};

// The time-out question of the window interface: shows the dialog modally
// over `parent` with `seconds`, and puts the dialog's value back into
// `seconds` whichever way it ended. True only for Yes. GUI thread only: the
// window's implementation of the question marshals the call there.
bool AskRetryWithTimeout(QWidget* parent, int& seconds);
