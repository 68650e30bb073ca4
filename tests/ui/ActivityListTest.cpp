#include "tests/ui/QtTestApp.h"
#include "ui/CActivityList.h"

#include <QFontMetrics>
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
