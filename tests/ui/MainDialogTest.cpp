#include "tests/support/TempDir.h"
#include "tests/ui/DialogTestSupport.h"
#include "ui/CAboutDialog.h"
#include "ui/CActivityList.h"
#include "ui/CHelpWindow.h"
#include "ui/CSettingsDialog.h"
#include "ui/CterraFetchDialog.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <thread>

namespace {

class MainDialogTest : public ::testing::Test {
protected:
    void SetUp() override { hosts_ = TestServiceHosts(); }

    std::unique_ptr<CterraFetchDialog> MakeDialog(std::optional<ServiceHosts> hosts = std::nullopt)
    {
        auto dialog = std::make_unique<CterraFetchDialog>(hosts ? *hosts : hosts_);
        dialog->show();
        return dialog;
    }

    template <typename T>
    static T* Child(const CterraFetchDialog& dialog, const char* name)
    {
        T* child = dialog.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    static QPushButton* Button(const CterraFetchDialog& d, const char* name) { return Child<QPushButton>(d, name); }
    static QLineEdit* Edit(const CterraFetchDialog& d, const char* name) { return Child<QLineEdit>(d, name); }

    static QStringList Edges(const CterraFetchDialog& d)
    {
        return {Edit(d, "westEdit")->text(), Edit(d, "eastEdit")->text(), Edit(d, "northEdit")->text(),
                Edit(d, "southEdit")->text()};
    }

    static void Retype(QLineEdit* edit, const QString& text)
    {
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }

    static bool WaitUntilIdle(CterraFetchDialog& dialog, int milliseconds = 30000)
    {
        const bool idle = QTest::qWaitFor([&] { return !dialog.IsBusy(); }, milliseconds);
        QCoreApplication::processEvents();  // the threads' last queued calls
        return idle;
    }

    // The enable state of Close, Proceed, Cancel, west and north edits.
    static std::vector<bool> ControlStates(const CterraFetchDialog& d)
    {
        return {Button(d, "closeButton")->isEnabled(), Button(d, "proceedButton")->isEnabled(),
                Button(d, "cancelButton")->isEnabled(), Edit(d, "westEdit")->isEnabled(),
                Edit(d, "northEdit")->isEnabled()};
    }

    static void SelectLine(CterraFetchDialog& dialog, const QString& line)
    {
        const int row = dialog.ActivityList().Lines().indexOf(line);
        ASSERT_GE(row, 0) << line.toStdString();
        dialog.ActivityList().setCurrentRow(row);  // as a user's click does
    }

    ServiceHosts hosts_;
};

const QString kSingleMatch = QStringLiteral("<a href=\"/map?mapcenterlat=38.5,&amp;mapcenterlon=-121.5,\">");

TEST_F(MainDialogTest, OpensWithDefaultQuadAndJobButtonsDisabled)
{
    auto dialog = MakeDialog();
    EXPECT_EQ(dialog->windowTitle(), "terraFetch");
    EXPECT_EQ(Edges(*dialog), (QStringList{"-99", "-98", "40", "39"}));
    EXPECT_EQ(ControlStates(*dialog), (std::vector<bool>{true, false, false, true, true}));
    EXPECT_TRUE(Button(*dialog, "geocodeButton")->isDefault());
    EXPECT_EQ(dialog->CurrentStatus(), StatusIcon::Ok);
    EXPECT_TRUE(Edit(*dialog, "eastEdit")->isReadOnly());
    EXPECT_TRUE(Edit(*dialog, "southEdit")->isReadOnly());
    // Not resizable: the layout fixes the size.
    EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize());
    const QPixmap quad = Child<QLabel>(*dialog, "quadPicture")->pixmap();
    EXPECT_EQ(quad.size(), QSize(100, 50));
}

TEST_F(MainDialogTest, ScannerModeOpensWithItsQuadSize)
{
    ::setenv("tfcScanner", "Yes", 1);
    auto dialog = MakeDialog();
    ::unsetenv("tfcScanner");
    EXPECT_EQ(Edges(*dialog), (QStringList{"-99", "-98.75", "40", "39.75"}));
    EXPECT_FALSE(Button(*dialog, "proceedButton")->isEnabled());
}

TEST_F(MainDialogTest, TypingAnEdgeRecomputesTheDerivedEdgeAndEnablesProceed)
{
    auto dialog = MakeDialog();
    Retype(Edit(*dialog, "westEdit"), "-100.5");
    EXPECT_EQ(Edit(*dialog, "eastEdit")->text(), "-99.500000");
    EXPECT_DOUBLE_EQ(dialog->Job().quadRight, -99.5);
    EXPECT_TRUE(Button(*dialog, "proceedButton")->isEnabled());
    Retype(Edit(*dialog, "northEdit"), "35");
    EXPECT_EQ(Edit(*dialog, "southEdit")->text(), "34.000000");
    // Letters count as 0.
    Retype(Edit(*dialog, "westEdit"), "abc");
    EXPECT_DOUBLE_EQ(dialog->Job().quadLeft, 0.0);
    EXPECT_EQ(Edit(*dialog, "eastEdit")->text(), "1.000000");
    // While a network phase has the controls locked, an edit enables nothing.
    dialog->EnableControl(JobControl::Proceed, false);
    dialog->EnableControl(JobControl::Close, false);
    Retype(Edit(*dialog, "northEdit"), "36");
    EXPECT_EQ(Edit(*dialog, "southEdit")->text(), "35.000000");
    EXPECT_FALSE(Button(*dialog, "proceedButton")->isEnabled());
}

TEST_F(MainDialogTest, CancelWhileIdleChangesNothing)
{
    auto dialog = MakeDialog();
    const auto before = ControlStates(*dialog);
    dialog->OnCancel();
    EXPECT_EQ(ControlStates(*dialog), before);
    EXPECT_TRUE(dialog->ActivityList().Lines().isEmpty());
}

TEST_F(MainDialogTest, CopyLogPutsAHeaderAndCrLfLinesOnTheClipboard)
{
    auto dialog = MakeDialog();
    const QString header = "terraFetchDialog log file created Thursday, January 01, 1970 00:00:00 UTC\r\n";
    EXPECT_EQ(dialog->CopyLogText(0), header);
    dialog->AddToLog("first line.");
    dialog->AddToLog("  second line.");
    EXPECT_EQ(dialog->CopyLogText(86400 * 365 + 3661),
              "terraFetchDialog log file created Friday, January 01, 1971 01:01:01 UTC\r\n"
              "first line.\r\n  second line.\r\n");
    QTest::mouseClick(Button(*dialog, "copyLogButton"), Qt::LeftButton);
    const QString copied = QGuiApplication::clipboard()->text();
    EXPECT_TRUE(copied.startsWith("terraFetchDialog log file created ")) << copied.toStdString();
    EXPECT_TRUE(copied.endsWith(" UTC\r\nfirst line.\r\n  second line.\r\n")) << copied.toStdString();
    EXPECT_EQ(dialog->ActivityList().count(), 2);  // a successful copy logs nothing
    EXPECT_EQ(dialog->CurrentStatus(), StatusIcon::Ok);
}

TEST_F(MainDialogTest, SelectingLogLines)
{
    auto dialog = MakeDialog();
    dialog->AddToLog("        Multiple addresses found:");
    dialog->AddToLog("        \u00BB100 Main St, Salina, KS\u00AB");
    dialog->AddToLog("        \u00BBbroken line");
    dialog->AddToLog("  quad: -98.000000, -97.000000, 39.000000, 38.000000");
    // Appending selected the last line without acting on it.
    EXPECT_EQ(dialog->ActivityList().currentRow(), 3);
    EXPECT_FALSE(Button(*dialog, "proceedButton")->isEnabled());
    EXPECT_TRUE(Edit(*dialog, "addressEdit")->text().isEmpty());

    SelectLine(*dialog, "        \u00BB100 Main St, Salina, KS\u00AB");
    EXPECT_EQ(Edit(*dialog, "addressEdit")->text(), "100 Main St, Salina, KS");
    SelectLine(*dialog, "        \u00BBbroken line");
    EXPECT_EQ(Edit(*dialog, "addressEdit")->text(), "100 Main St, Salina, KS");

    // A quad line while idle unlocks Proceed and leaves the quad alone.
    SelectLine(*dialog, "  quad: -98.000000, -97.000000, 39.000000, 38.000000");
    EXPECT_TRUE(Button(*dialog, "proceedButton")->isEnabled());
    EXPECT_EQ(Edges(*dialog), (QStringList{"-99", "-98", "40", "39"}));
}

TEST_F(MainDialogTest, ClickingTheLineThatIsAlreadySelectedActsOnIt)
{
    auto dialog = MakeDialog();
    CActivityList& list = dialog->ActivityList();
    auto click = [&](int row) {
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(list.item(row)).center());
    };
    dialog->AddToLog("  quad: -98.000000, -97.000000, 39.000000, 38.000000");
    dialog->AddToLog("        Multiple addresses found:");
    dialog->AddToLog("        \u00BB100 Main St, Salina, KS\u00AB");
    ASSERT_EQ(list.currentRow(), 2);  // selected by the append
    click(2);
    EXPECT_EQ(Edit(*dialog, "addressEdit")->text(), "100 Main St, Salina, KS");

    Edit(*dialog, "addressEdit")->clear();
    click(2);  // a second click on it picks it again
    EXPECT_EQ(Edit(*dialog, "addressEdit")->text(), "100 Main St, Salina, KS");

    click(0);
    EXPECT_TRUE(Button(*dialog, "proceedButton")->isEnabled());
    dialog->EnableControl(JobControl::Proceed, false);
    click(0);
    EXPECT_TRUE(Button(*dialog, "proceedButton")->isEnabled());
}

TEST_F(MainDialogTest, ProceedPressedWhileAGeocodingRunBlinksStartsTheJob)
{
    HeldServer geocoder;
    HeldServer extract;
    auto dialog = MakeDialog(ServiceHosts{extract.Host(), extract.Host(), geocoder.Host()});
    QPushButton* proceed = Button(*dialog, "proceedButton");
    dialog->OnGeocode();
    geocoder.Release(200, "<html>no match</html>");
    // Proceed comes back before the run's half-second blink has ended.
    ASSERT_TRUE(QTest::qWaitFor([&] { return proceed->isEnabled(); }, 10000));
    ASSERT_TRUE(dialog->IsBusy());
    QTest::mouseClick(proceed, Qt::LeftButton);
    EXPECT_FALSE(proceed->isEnabled());
    EXPECT_TRUE(QTest::qWaitFor([&] { return extract.Requests() == 1; }, 10000));
    extract.Release(500, "");
    ASSERT_TRUE(WaitUntilIdle(*dialog));
    EXPECT_EQ(dialog->CurrentStatus(), StatusIcon::Failure);  // the job's, not the blink's OK
    EXPECT_TRUE(proceed->isEnabled());
}

TEST_F(MainDialogTest, GeocodingLocksTheControlsWhileItRunsAndPlacesTheQuad)
{
    HeldServer server;
    auto dialog = MakeDialog(ServiceHosts{hosts_.extract, hosts_.map, server.Host()});
    dialog->AddToLog("  quad: 1, 2, 3, 4");
    Edit(*dialog, "addressEdit")->setText("Somewhere");
    QTest::mouseClick(Button(*dialog, "geocodeButton"), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.Requests() == 1; }, 10000));
    QCoreApplication::processEvents();
    EXPECT_EQ(ControlStates(*dialog), (std::vector<bool>{false, false, true, false, false}));
    EXPECT_FALSE(dialog->ControlsUnlocked());
    EXPECT_TRUE(Button(*dialog, "geocodeButton")->isEnabled());
    // Nothing starts a second run or a job meanwhile, and a quad line unlocks nothing.
    dialog->OnGeocode();
    dialog->OnProceed();
    SelectLine(*dialog, "  quad: 1, 2, 3, 4");
    EXPECT_EQ(ControlStates(*dialog), (std::vector<bool>{false, false, true, false, false}));

    server.Release(200, kSingleMatch.toStdString());
    ASSERT_TRUE(WaitUntilIdle(*dialog));
    EXPECT_EQ(server.Requests(), 1);
    EXPECT_EQ(ControlStates(*dialog), (std::vector<bool>{true, true, false, true, true}));
    EXPECT_EQ(Edges(*dialog), (QStringList{"-122.000000", "-121.000000", "39.000000", "38.000000"}));
    EXPECT_TRUE(dialog->ActivityList().Lines().contains("  quad: -122.000000, -121.000000, 39.000000, 38.000000"));
}

TEST_F(MainDialogTest, GeocodingAgainstTheBundledGeocoder)
{
    auto dialog = MakeDialog();
    // A coordinate that is no number is reported, and geocoding still runs.
    MessageRecorder recorder;
    Edit(*dialog, "westEdit")->setText("west");
    Edit(*dialog, "addressEdit")->setText("Springfield");
    QTest::keyClick(Edit(*dialog, "addressEdit"), Qt::Key_Return);  // Enter presses Geocode...
    EXPECT_EQ(recorder.messages, QStringList{"Please enter a number."});
    ASSERT_TRUE(WaitUntilIdle(*dialog));
    const QStringList lines = dialog->ActivityList().Lines();
    ASSERT_TRUE(lines.contains("        Multiple addresses found:"));
    EXPECT_EQ(dialog->CurrentStatus(), StatusIcon::Ok);  // the blink has ended

    // Picking a candidate and geocoding it gives a single match.
    const QString candidate = lines.filter("\u00BBSpringfield, Springfield, IL").value(0);
    ASSERT_FALSE(candidate.isEmpty());
    SelectLine(*dialog, candidate);
    EXPECT_EQ(Edit(*dialog, "addressEdit")->text(), "Springfield, Springfield, IL");
    Edit(*dialog, "westEdit")->setText("-99");
    dialog->OnGeocode();
    ASSERT_TRUE(WaitUntilIdle(*dialog));
    EXPECT_TRUE(dialog->ActivityList().Lines().last().startsWith("  quad: -90."));
    EXPECT_TRUE(Button(*dialog, "proceedButton")->isEnabled());
}

TEST_F(MainDialogTest, GeocodingFailureShowsTheFailureIcon)
{
    HeldServer server;
    server.Release(500, "no");
    auto dialog = MakeDialog(ServiceHosts{hosts_.extract, hosts_.map, server.Host()});
    dialog->OnCancel();  // a cancel from before does not carry over
    dialog->OnGeocode();
    ASSERT_TRUE(WaitUntilIdle(*dialog));
    for (const QString& line : dialog->ActivityList().Lines())
        EXPECT_FALSE(line.contains("canceled")) << line.toStdString();
    EXPECT_EQ(dialog->CurrentStatus(), StatusIcon::Failure);
    EXPECT_EQ(Edges(*dialog), (QStringList{"-99", "-98", "40", "39"}));
    EXPECT_EQ(ControlStates(*dialog), (std::vector<bool>{true, true, false, true, true}));
}

TEST_F(MainDialogTest, ProceedRunsAJobOnTheBundledServices)
{
    TempDir folder;
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.Path());
    auto dialog = MakeDialog();
    dialog->Job().quadSize = 0.1;  // the whole degree is no part of what this test checks
    Retype(Edit(*dialog, "westEdit"), "-99");
    QPushButton* proceed = Button(*dialog, "proceedButton");
    QTest::mouseClick(proceed, Qt::LeftButton);
    EXPECT_FALSE(proceed->isEnabled());  // at once: a second press starts nothing
    QTest::mouseClick(proceed, Qt::LeftButton);
    EXPECT_TRUE(dialog->IsBusy());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Button(*dialog, "cancelButton")->isEnabled() || !dialog->IsBusy(); },
                                10000));
    ASSERT_TRUE(WaitUntilIdle(*dialog, 120000));
    std::filesystem::current_path(previous);
    const QStringList lines = dialog->ActivityList().Lines();
    EXPECT_EQ(lines.last(), "Download successfully finished.") << lines.join('\n').toStdString();
    int parameterFiles = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
        parameterFiles += entry.path().extension() == ".alp";
    EXPECT_EQ(parameterFiles, 2);  // one job, not two
    EXPECT_EQ(ControlStates(*dialog), (std::vector<bool>{true, true, false, true, true}));
    EXPECT_EQ(dialog->CurrentStatus(), StatusIcon::Ok);
    EXPECT_GT(dialog->ActivityList().HorizontalExtent(), 6);
}

TEST_F(MainDialogTest, SettingsChangedWhileAJobRunsApplyToTheNextJob)
{
    TempDir folder;
    const std::string route = folder.File("route.txt");
    WriteFileBytes(route, "39.95 -98.99 start\n39.92 -98.91 end\n");
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.Path());
    auto dialog = MakeDialog();
    dialog->Job().quadSize = 0.1;
    Retype(Edit(*dialog, "westEdit"), "-99");
    const SettingsValues started = dialog->CurrentSettings();
    SettingsValues changed = started;
    changed.quadSize = 0.05;
    changed.lineThickness = 8;
    changed.substituteZ0 = true;
    changed.alignQuadToGrid = true;
    changed.removeIntermediateFiles = false;
    changed.zScale = 0.5;
    changed.httpTimeout = 30;
    changed.useWaypoints = true;
    changed.waypointFile = route;
    changed.namesFromCoordinates = true;

    dialog->OnProceed();
    ASSERT_TRUE(dialog->IsBusy());
    dialog->ApplySettings(changed);
    // Once more while the texture is being made, after the height map was named.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog->ActivityList().Lines().filter("BIL import successful").isEmpty()
                                             || !dialog->IsBusy(); }, 60000));
    changed.lineThickness = 16;
    dialog->ApplySettings(changed);
    ASSERT_TRUE(WaitUntilIdle(*dialog, 120000));
    std::filesystem::current_path(previous);

    const QStringList lines = dialog->ActivityList().Lines();
    ASSERT_EQ(lines.last(), "Download successfully finished.") << lines.join('\n').toStdString();
    EXPECT_TRUE(lines.filter("Substituting NODATA").isEmpty());
    EXPECT_TRUE(lines.filter("Adding Waypoints").isEmpty());
    // The four results of the settings the job started with: order-numbered
    // names, no route, no intermediates kept.
    std::set<std::string> files;
    std::string firstParameterFile;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
        const std::string name = entry.path().filename().string();
        if (name == "route.txt" || name == "terraFetch.log")
            continue;
        const size_t suffix = name.find('_');
        ASSERT_NE(suffix, std::string::npos) << name;
        files.insert(name.substr(suffix));
        if (name.ends_with("_1.alp"))
            firstParameterFile = ReadFileBytes(entry.path().string());
        EXPECT_EQ(name.find("N99"), std::string::npos) << name;
    }
    EXPECT_EQ(files, (std::set<std::string>{"_el.tga", "_tx_c.tga", "_1.alp", "_2.alp"}));
    EXPECT_NE(firstParameterFile.find("\r\nHDateiSkalaZA=0.200000\r\n"), std::string::npos)
        << "z scale 0.02 over a raster of 360 columns";
    EXPECT_NE(firstParameterFile.find("_tx_c.tga\r\n"), std::string::npos);
    // The window keeps the new settings for the next job.
    const SettingsValues now = dialog->CurrentSettings();
    EXPECT_EQ(now.lineThickness, 16);
    EXPECT_TRUE(now.namesFromCoordinates);
    EXPECT_DOUBLE_EQ(now.zScale, 0.5);
    EXPECT_EQ(dialog->Job().waypoints.size(), 2u);
}

TEST_F(MainDialogTest, ClosingDuringAJobWaitsForItsEnd)
{
    HeldServer server;
    auto dialog = MakeDialog(ServiceHosts{server.Host(), server.Host(), server.Host()});
    Retype(Edit(*dialog, "westEdit"), "-99");
    dialog->OnProceed();
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.Requests() == 1; }, 10000));
    dialog->reject();  // Close, Escape and the close box all end here
    EXPECT_TRUE(dialog->IsClosePending());
    EXPECT_TRUE(dialog->isVisible());
    server.Release(500, "");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !dialog->isVisible(); }, 30000));
    EXPECT_FALSE(dialog->IsBusy());
}

TEST_F(MainDialogTest, EscapeClosesTheIdleWindow)
{
    auto dialog = MakeDialog();
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(MainDialogTest, SettingsTakeEffectOnOkOnly)
{
    auto dialog = MakeDialog();
    auto change = [](bool ok) {
        return [ok] {
            auto* settings = qobject_cast<CSettingsDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(settings, nullptr);
            settings->findChild<QComboBox*>("quadSizeCombo")->setCurrentIndex(2);  // 0.250
            settings->findChild<QLineEdit*>("timeoutEdit")->setText("30");
            settings->findChild<QLineEdit*>("zScaleEdit")->setText("0.5");
            if (ok)
                settings->findChild<QPushButton*>("okButton")->click();
            else
                settings->findChild<QPushButton*>("cancelButton")->click();
        };
    };
    QTimer::singleShot(0, change(false));
    dialog->OnSettings();
    EXPECT_DOUBLE_EQ(dialog->Job().quadSize, 1.0);
    EXPECT_EQ(dialog->Job().httpTimeout, 120);
    EXPECT_EQ(Edges(*dialog), (QStringList{"-99", "-98", "40", "39"}));
    EXPECT_FALSE(Button(*dialog, "proceedButton")->isEnabled());

    QTimer::singleShot(0, change(true));
    dialog->OnSettings();
    EXPECT_DOUBLE_EQ(dialog->Job().quadSize, 0.25);
    EXPECT_EQ(dialog->Job().httpTimeout, 30);
    EXPECT_DOUBLE_EQ(dialog->Job().zScale, 0.5);
    EXPECT_EQ(Edges(*dialog), (QStringList{"-99", "-98.750000", "40", "39.750000"}));
    EXPECT_TRUE(Button(*dialog, "proceedButton")->isEnabled());
}

TEST_F(MainDialogTest, AWaypointFileThatFailsIsForgotten)
{
    TempDir folder;
    const std::string empty = folder.File("empty.txt");
    WriteFileBytes(empty, "# nothing\n");
    const std::string good = folder.File("route.txt");
    WriteFileBytes(good, "39.5 -98.5 start\n39.6 -98.4\n");
    auto dialog = MakeDialog();
    MessageRecorder recorder;

    SettingsValues values = dialog->CurrentSettings();
    values.useWaypoints = true;
    values.waypointFile = good;
    dialog->ApplySettings(values);
    EXPECT_EQ(dialog->Job().waypointFile, good);
    EXPECT_EQ(dialog->Job().waypoints.size(), 2u);
    EXPECT_TRUE(recorder.messages.isEmpty());

    values.waypointFile = empty;
    dialog->ApplySettings(values);
    EXPECT_EQ(recorder.messages.size(), 1);
    EXPECT_EQ(recorder.icons, QList<QMessageBox::Icon>{QMessageBox::Critical});
    EXPECT_TRUE(dialog->Job().waypointFile.empty());
    EXPECT_EQ(dialog->Job().useWaypoints, 0) << "a route that cannot be read is switched off";
    EXPECT_FALSE(dialog->CurrentSettings().useWaypoints) << "and the box shows it";
    EXPECT_TRUE(dialog->Job().waypoints.empty());

    // Switched off and on again, a good route keeps its list in between.
    values.waypointFile = good;
    dialog->ApplySettings(values);
    values.useWaypoints = false;
    dialog->ApplySettings(values);
    EXPECT_EQ(dialog->Job().useWaypoints, 0);
    EXPECT_EQ(dialog->Job().waypoints.size(), 2u);
    values.useWaypoints = true;
    dialog->ApplySettings(values);
    EXPECT_EQ(dialog->Job().useWaypoints, 1);
}

TEST_F(MainDialogTest, CallsFromAnotherThreadRunOnTheGuiThreadInOrder)
{
    auto dialog = MakeDialog();
    MessageRecorder recorder;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 0; i < 200; ++i)
            dialog->AddToLog("line " + std::to_string(i));
        dialog->EnableControl(JobControl::Cancel, true);
        dialog->ShowStatus(StatusIcon::Failure);
        dialog->ShowMessage("Error", "shown on the GUI thread");  // blocks until shown
        done = true;
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 10000));
    worker.join();
    QCoreApplication::processEvents();
    const QStringList lines = dialog->ActivityList().Lines();
    ASSERT_EQ(lines.size(), 200);
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(lines[i], QString("line %1").arg(i));
    EXPECT_EQ(dialog->ActivityList().currentRow(), 199);
    EXPECT_TRUE(Button(*dialog, "cancelButton")->isEnabled());
    EXPECT_EQ(dialog->CurrentStatus(), StatusIcon::Failure);
    EXPECT_EQ(recorder.messages, QStringList{"shown on the GUI thread"});
}

TEST_F(MainDialogTest, HelpAndAboutShowTheirTexts)
{
    auto dialog = MakeDialog();
    QTest::mouseClick(Button(*dialog, "helpButton"), Qt::LeftButton);
    ASSERT_NE(dialog->HelpWindow(), nullptr);
    EXPECT_TRUE(dialog->HelpWindow()->isVisible());
    const QString page = dialog->HelpWindow()->Browser()->toPlainText();
    for (const char* topic : {"What a quad is", "latitude longitude [comment]", "tfcScanner=yes",
                              "TERRAFETCH_GEOCODE_HOST", "N39W099.hgt"})
        EXPECT_TRUE(page.contains(QString::fromLatin1(topic))) << topic;

    CAboutDialog about(dialog.get());
    EXPECT_EQ(about.windowTitle(), "About terraFetch");
    const QLabel* version = about.findChild<QLabel*>("versionLabel");
    ASSERT_NE(version, nullptr);
    EXPECT_TRUE(version->text().contains("Version 1.04"));
}

} // namespace

namespace {

TEST_F(MainDialogTest, TheLiveSourcesSettingStartsFromTheEnvironment)
{
    ::setenv("TERRAFETCH_SOURCES", "live", 1);
    auto live = MakeDialog();
    ::setenv("TERRAFETCH_SOURCES", "online", 1);
    // Without hosts of its own the window starts the services itself, and a
    // bad setting stops the run with a line that says what is wrong.
    auto bad = std::make_unique<CterraFetchDialog>();
    ::unsetenv("TERRAFETCH_SOURCES");
    EXPECT_TRUE(live->CurrentSettings().liveSources);
    EXPECT_FALSE(bad->CurrentSettings().liveSources);
    bad->OnGeocode();
    EXPECT_FALSE(bad->IsBusy());
    EXPECT_TRUE(bad->ActivityList().Lines().contains(
        "Error: TERRAFETCH_SOURCES must be \"live\" or \"bundled\", not \"online\"."));
    EXPECT_EQ(bad->CurrentStatus(), StatusIcon::Failure);
}

}  // namespace
