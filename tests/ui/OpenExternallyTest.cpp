#include "tests/ui/DialogTestSupport.h"
#include "ui/OpenExternally.h"

#include <gtest/gtest.h>

namespace {

TEST(OpenExternally, ShowsTheAddressWhenNothingOpensIt)
{
    EnsureQApplication();
    MessageRecorder recorder;
    QList<QUrl> asked;
    const ExternalOpener refusing = [&](const QUrl& url) {
        asked << url;
        return false;
    };
    OpenExternally(nullptr, QUrl::fromLocalFile(QStringLiteral("/tmp/job folder")), refusing);
    OpenExternally(nullptr, QUrl(QStringLiteral("https://example.invalid/data")), refusing);
    ASSERT_EQ(asked.size(), 2);
    ASSERT_EQ(recorder.messages.size(), 2);
    EXPECT_TRUE(recorder.messages[0].contains(QStringLiteral("\n/tmp/job folder\n"))) << recorder.messages[0].toStdString();
    EXPECT_TRUE(recorder.messages[0].contains(QStringLiteral("folder"))) << recorder.messages[0].toStdString();
    EXPECT_TRUE(recorder.messages[1].contains(QStringLiteral("\nhttps://example.invalid/data\n")))
        << recorder.messages[1].toStdString();

    OpenExternally(nullptr, QUrl::fromLocalFile(QStringLiteral("/tmp")), [](const QUrl&) { return true; });
    EXPECT_EQ(recorder.messages.size(), 2) << "an opened address needs no message";
}

}  // namespace
