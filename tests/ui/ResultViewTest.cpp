#include "core/LogSink.h"
#include "export/ExportFileNames.h"
#include "job/JobResult.h"
#include "raster/TGAFile.h"
#include "tests/support/TempDir.h"
#include "tests/ui/DialogTestSupport.h"
#include "ui/CActivityList.h"
#include "ui/CResultView.h"
#include "ui/CterraFetchDialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

class LineRecorder : public LogSink {
public:
    void AddToLog(const std::string& line) override { lines.push_back(line); }
    std::vector<std::string> lines;
};

template <typename T>
T* Child(const QWidget& parent, const char* name)
{
    T* child = parent.findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(child, nullptr) << name;
    return child;
}

QStringList FileNames(const CResultView& view)
{
    QStringList names;
    auto* list = Child<QTreeWidget>(view, "fileList");
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        names << list->topLevelItem(i)->text(0);
    return names;
}

// A height map of a quarter-degree quad named after its corner: heights 100
// to 300 m and one void.
std::string WriteQuarterDegreeHeightMap(const TempDir& folder)
{
    const std::string path = folder.File("39.250000N98.500000W_el.tga");
    TGAFile image;
    image.Create(900, 900);
    for (int y = 0; y < 900; ++y)
        for (int x = 0; x < 900; ++x)
            image.SetValue(x, y, 100 + (x * 200) / 899);
    image.SetValue(450, 450, 0);
    image.Write(path);
    return path;
}

TEST(ResultView, OpensAfterAJobWithItsPicturesRangeAndFiles)
{
    const ServiceHosts hosts = TestServiceHosts();
    TempDir folder;
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.Path());
    CterraFetchDialog dialog(hosts);
    dialog.show();
    auto* viewButton = Child<QPushButton>(dialog, "resultButton");
    EXPECT_FALSE(viewButton->isEnabled());  // nothing to show yet
    // A small quad keeps the job short.
    dialog.Job().quadSize = 0.1;
    dialog.Job().SetWestEdge(-99);
    dialog.Job().SetNorthEdge(40);
    dialog.OnProceed();
    EXPECT_FALSE(viewButton->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog.IsBusy(); }, 120000));
    QCoreApplication::processEvents();
    std::filesystem::current_path(previous);
    ASSERT_EQ(dialog.ActivityList().Lines().last(), "Download successfully finished.");
    ASSERT_TRUE(viewButton->isEnabled());

    QTest::mouseClick(viewButton, Qt::LeftButton);
    CResultView* view = dialog.ResultView();
    ASSERT_NE(view, nullptr);
    EXPECT_TRUE(view->isVisible());
    EXPECT_EQ(view->Preview().columns, 360);
    const QString range = Child<QLabel>(*view, "rangeLabel")->text();
    EXPECT_TRUE(range.startsWith(QStringLiteral("Heights %1 m to %2 m; ")
                                     .arg(view->Preview().range.minimum)
                                     .arg(view->Preview().range.maximum)))
        << range.toStdString();
    EXPECT_LT(view->Preview().range.minimum, view->Preview().range.maximum);
    EXPECT_FALSE(Child<QLabel>(*view, "reliefPicture")->pixmap().isNull());
    EXPECT_FALSE(Child<QLabel>(*view, "texturePicture")->pixmap().isNull());
    EXPECT_EQ(Child<QLabel>(*view, "northEdgeLabel")->text(), QString::fromUtf8("North 40.000000° N"));
    const QStringList files = FileNames(*view);
    ASSERT_EQ(files.size(), 4) << files.join(", ").toStdString();
    EXPECT_TRUE(files[0].endsWith("_el.tga"));
    EXPECT_TRUE(files[2].endsWith("_1.alp"));

    // Exporting from the view logs into the activity log and lists the files.
    view->OnExport();
    EXPECT_EQ(FileNames(*view).size(), 9);
    EXPECT_TRUE(dialog.ActivityList().Lines().last().startsWith("Export written: "));
}

TEST(ResultView, OpensAChosenHeightMapWithTheQuadFromItsName)
{
    TestServiceHosts();
    TempDir folder;
    const std::string heightMap = WriteQuarterDegreeHeightMap(folder);
    LineRecorder log;
    CResultView view(log);
    ASSERT_TRUE(view.OpenHeightMap(heightMap));
    EXPECT_EQ(Child<QLabel>(view, "rangeLabel")->text(), "Heights 100 m to 300 m; 1 void left.");
    EXPECT_EQ(Child<QLabel>(view, "northEdgeLabel")->text(), QString::fromUtf8("North 39.250000° N"));
    EXPECT_EQ(Child<QLabel>(view, "texturePicture")->text(), "No texture beside the height map.");
    EXPECT_FALSE(Child<QCheckBox>(view, "export_png")->isEnabled());
    EXPECT_EQ(FileNames(view), QStringList{"39.250000N98.500000W_el.tga"});

    Child<QCheckBox>(view, "export_r16")->setChecked(false);
    Child<QCheckBox>(view, "export_png16")->setChecked(false);
    QTest::mouseClick(Child<QPushButton>(view, "exportButton"), Qt::LeftButton);
    EXPECT_EQ(FileNames(view), (QStringList{"39.250000N98.500000W_el.tga", "39.250000N98.500000W_el.tif"}));
    EXPECT_EQ(log.lines, std::vector<std::string>{"Export written: \"" + ExportNamesFor(heightMap).geoTiff + "\"."});
}

TEST(ResultView, SaysWhereAJobsHeightsCameFromUntilAnotherFileIsOpened)
{
    TestServiceHosts();
    TempDir folder;
    const std::string heightMap = WriteQuarterDegreeHeightMap(folder);
    LineRecorder log;
    CResultView view(log);
    JobResult result;
    result.heightMap = heightMap;
    view.ShowJobResult(result, QStringLiteral("Synthetic terrain from the bundled services, not measured data."));
    EXPECT_EQ(Child<QLabel>(view, "rangeLabel")->text(),
              "Heights 100 m to 300 m; 1 void left.\nSynthetic terrain from the bundled services, not measured data.");
    ASSERT_TRUE(view.OpenHeightMap(heightMap));
    EXPECT_EQ(Child<QLabel>(view, "rangeLabel")->text(), "Heights 100 m to 300 m; 1 void left.");
}

TEST(ResultView, AFileThatIsNoHeightMapIsRefusedWithTheReason)
{
    TestServiceHosts();
    TempDir folder;
    WriteFileBytes(folder.File("broken_el.tga"), "not an image");
    LineRecorder log;
    CResultView view(log);
    EXPECT_FALSE(view.OpenHeightMap(folder.File("broken_el.tga")));
    EXPECT_TRUE(Child<QLabel>(view, "rangeLabel")->text().contains("cannot be read"));
    EXPECT_TRUE(view.HeightMap().empty());
}

} // namespace
