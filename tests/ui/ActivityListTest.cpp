#include "tests/ui/QtTestApp.h"
#include "ui/CActivityList.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QImage>
#include <QScrollBar>
#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

TEST(ActivityList, HorizontalExtentFollowsTheWidestLine)
{
    EnsureQApplication();
    CActivityList list;
    list.resize(200, 100);
    list.show();
    const QFontMetrics metrics(list.font());
    const QString wide(80, QChar('W'));
    list.AddLine(QStringLiteral("short"));
    EXPECT_EQ(list.HorizontalExtent(), metrics.horizontalAdvance("short") + 6);
    list.AddLine(wide);
    const int extent = metrics.horizontalAdvance(wide) + 6;
    EXPECT_EQ(list.HorizontalExtent(), extent);
    list.AddLine(QStringLiteral("narrow again"));
    EXPECT_EQ(list.HorizontalExtent(), extent);
    EXPECT_EQ(list.horizontalScrollBar()->maximum(), extent - list.viewport()->width());
    EXPECT_EQ(list.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

// Pixels of `row` in the right half of the viewport that differ from the
// row's background, as the list draws them now.
int InkInRightHalf(CActivityList& list, int row)
{
    QCoreApplication::processEvents();
    const QImage image = list.viewport()->grab().toImage();
    const QRect rect = list.visualItemRect(list.item(row)) & image.rect();
    const int right = image.width() - 1;
    const QRgb background = image.pixel(right, rect.center().y());
    int ink = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = image.width() / 2; x < right; ++x)
            ink += image.pixel(x, y) != background;
    return ink;
}

TEST(ActivityList, ALongLineIsDrawnWholeAndScrollsIntoView)
{
    EnsureQApplication();
    CActivityList list;
    list.resize(200, 100);
    list.show();
    list.AddLine(QStringLiteral("short"));
    list.AddLine(QString(80, QChar('W')));
    list.AddLine(QStringLiteral("last"));  // the long line is not the selected one
    QScrollBar* bar = list.horizontalScrollBar();
    ASSERT_GT(bar->maximum(), list.viewport()->width());
    bar->setValue(bar->maximum());
    EXPECT_GT(InkInRightHalf(list, 1), 0);  // its end, not blank space
    EXPECT_EQ(InkInRightHalf(list, 0), 0);
    bar->setValue(bar->maximum() / 2);
    EXPECT_GT(InkInRightHalf(list, 1), 0);
}

TEST(ActivityList, AppendSelectsTheLastLineWithoutReportingIt)
{
    EnsureQApplication();
    CActivityList list;
    QSignalSpy userChanges(&list, &CActivityList::userSelectionChanged);
    list.AddLine(QStringLiteral("one"));
    list.AddLine(QStringLiteral("two"));
    EXPECT_EQ(list.currentRow(), 1);
    EXPECT_EQ(userChanges.count(), 0);

    list.setCurrentRow(0);  // the user picks an earlier line
    EXPECT_EQ(userChanges.count(), 1);
    list.AddLine(QStringLiteral("line with\na break"));
    EXPECT_EQ(list.currentRow(), 2);
    EXPECT_EQ(userChanges.count(), 1);
    EXPECT_EQ(list.count(), 3);  // one entry, not split
    EXPECT_EQ(list.Lines().last(), "line with\na break");
}

} // namespace
