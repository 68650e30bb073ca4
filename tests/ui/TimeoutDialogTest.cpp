#include "tests/ui/QtTestApp.h"
#include "ui/CPasswordDialog.h"
#include "ui/CTimeoutDialog.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// Keeps validation messages instead of showing message boxes.
class TestedTimeoutDialog : public CTimeoutDialog {
public:
    using CTimeoutDialog::CTimeoutDialog;
    QStringList messages;

    QLineEdit* Field() const { return findChild<QLineEdit*>("timeoutEdit"); }
    QPushButton* YesButton() const { return findChild<QPushButton*>("yesButton"); }
    QPushButton* NoButton() const { return findChild<QPushButton*>("noButton"); }
    void Type(const QString& text)
    {
        Field()->clear();
        QTest::keyClicks(Field(), text);
    }

protected:
    void showValidationMessage(const QString& text) override { messages << text; }
};

class TimeoutDialog : public ::testing::Test {
protected:
    void SetUp() override { EnsureQApplication(); }
};

TEST_F(TimeoutDialog, ShowsItsTextsAndTheTimeout)
{
    TestedTimeoutDialog dialog(nullptr, 120);
    EXPECT_EQ(dialog.windowTitle(), "Dialog");
    EXPECT_EQ(dialog.Field()->text(), "120");
    EXPECT_TRUE(dialog.YesButton()->isDefault());
    EXPECT_EQ(dialog.YesButton()->text(), "&Yes");
    EXPECT_EQ(dialog.NoButton()->text(), "&No");
    dialog.setTimeout(45);
    EXPECT_EQ(dialog.Field()->text(), "45");
    EXPECT_EQ(dialog.getTimeout(), 45);
}

TEST_F(TimeoutDialog, YesAcceptsOnlyIntegersInRange)
{
    struct Case {
        const char* typed;
        bool closes;
        int timeoutAfter;
        const char* message;
    };
    const Case cases[] = {
        {"30", true, 30, nullptr},
        {" 1 ", true, 1, nullptr},
        {"300", true, 300, nullptr},
        {"0", false, 0, "Please enter an integer between 1 and 300."},
        {"301", false, 301, "Please enter an integer between 1 and 300."},
        {"-5", false, -5, "Please enter an integer between 1 and 300."},
        {"abc", false, 120, "Please enter an integer."},
        {"12x", false, 120, "Please enter an integer."},
        {"", false, 120, "Please enter an integer."},
        {"99999999999", false, 120, "Please enter an integer."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        TestedTimeoutDialog dialog(nullptr, 120);
        dialog.show();
        dialog.Type(c.typed);
        QTest::mouseClick(dialog.YesButton(), Qt::LeftButton);
        EXPECT_EQ(dialog.isVisible(), !c.closes);
        EXPECT_EQ(dialog.getTimeout(), c.timeoutAfter);
        if (c.closes) {
            EXPECT_EQ(dialog.result(), CTimeoutDialog::Yes);
            EXPECT_TRUE(dialog.messages.isEmpty());
        } else {
            EXPECT_EQ(dialog.messages, QStringList{c.message});
        }
    }
}

TEST_F(TimeoutDialog, NoAndEscapeEndWithoutReadingTheField)
{
    {
        TestedTimeoutDialog dialog(nullptr, 120);
        dialog.show();
        dialog.Type("45");
        QTest::mouseClick(dialog.NoButton(), Qt::LeftButton);
        EXPECT_EQ(dialog.result(), CTimeoutDialog::No);
        EXPECT_EQ(dialog.getTimeout(), 120);
    }
    {
        // A rejected value stays after the range message, also when No follows.
        TestedTimeoutDialog dialog(nullptr, 120);
        dialog.show();
        dialog.Type("0");
        QTest::mouseClick(dialog.YesButton(), Qt::LeftButton);
        QTest::mouseClick(dialog.NoButton(), Qt::LeftButton);
        EXPECT_EQ(dialog.result(), CTimeoutDialog::No);
        EXPECT_EQ(dialog.getTimeout(), 0);
    }
    {
        TestedTimeoutDialog dialog(nullptr, 120);
        dialog.show();
        QTest::keyClick(&dialog, Qt::Key_Escape);
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.result(), CTimeoutDialog::Cancel);
    }
}

TEST_F(TimeoutDialog, EnterInTheFieldMeansYes)
{
    TestedTimeoutDialog dialog(nullptr, 120);
    dialog.show();
    dialog.Type("30");
    QTest::keyClick(dialog.Field(), Qt::Key_Return);
    EXPECT_EQ(dialog.result(), CTimeoutDialog::Yes);
    EXPECT_EQ(dialog.getTimeout(), 30);

    // Enter on a button that has the focus presses that button.
    TestedTimeoutDialog focusedNo(nullptr, 120);
    focusedNo.show();
    QTest::keyClick(focusedNo.NoButton(), Qt::Key_Return);
    EXPECT_EQ(focusedNo.result(), CTimeoutDialog::No);
}

// Answers the next modal dialog from inside its event loop.
template <typename Dialog, typename Answer>
void AnswerNextDialog(Answer answer)
{
    QTimer::singleShot(0, [answer] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<Dialog*>(widget); dialog && dialog->isVisible()) {
                answer(*dialog);
                return;
            }
    });
}

TEST_F(TimeoutDialog, QuestionHandsBackTheValueWhicheverWayItEnded)
{
    int seconds = 120;
    AnswerNextDialog<CTimeoutDialog>([](CTimeoutDialog& dialog) {
        auto* field = dialog.findChild<QLineEdit*>("timeoutEdit");
        field->setText("60");
        dialog.findChild<QPushButton*>("yesButton")->click();
    });
    EXPECT_TRUE(AskRetryWithTimeout(nullptr, seconds));
    EXPECT_EQ(seconds, 60);

    AnswerNextDialog<CTimeoutDialog>([](CTimeoutDialog& dialog) { dialog.reject(); });
    EXPECT_FALSE(AskRetryWithTimeout(nullptr, seconds));
    EXPECT_EQ(seconds, 60);
}

TEST_F(TimeoutDialog, PasswordPromptReturnsWhatWasTyped)
{
    std::string user = "pilot";
    std::string password;
    AnswerNextDialog<CPasswordDialog>([](CPasswordDialog& dialog) {
        EXPECT_EQ(dialog.userNameEdit()->text(), "pilot");
        EXPECT_EQ(dialog.passwordEdit()->echoMode(), QLineEdit::Password);
        dialog.userNameEdit()->setText("navigator");
        dialog.passwordEdit()->setText("s\u00e9cret");
        dialog.accept();
    });
    EXPECT_TRUE(AskPassword(nullptr, user, password));
    EXPECT_EQ(user, "navigator");
    EXPECT_EQ(password, "s\xC3\xA9" "cret");

    AnswerNextDialog<CPasswordDialog>([](CPasswordDialog& dialog) {
        dialog.passwordEdit()->setText("typed but cancelled");
        dialog.reject();
    });
    EXPECT_FALSE(AskPassword(nullptr, user, password));
    EXPECT_EQ(user, "navigator");
    EXPECT_EQ(password, "s\xC3\xA9" "cret");
}

}  // namespace
