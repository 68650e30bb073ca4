#include "tests/support/RecordingWindow.h"
#include "tests/support/TempDir.h"
#include "tests/ui/DialogTestSupport.h"
#include "ui/CSettingsDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// The file-open dialog answers with a scripted path.
class TestedSettingsDialog : public CSettingsDialog {
public:
    using CSettingsDialog::CSettingsDialog;
    QString chosenFile;
    void Browse() { findChild<QPushButton*>("browseButton")->click(); }

protected:
    QString ChooseWaypointFile() override { return chosenFile; }
};

class SettingsDialogTest : public ::testing::Test {
protected:
    SettingsDialogTest()
    {
        dialog.SetValues(SettingsValues{});
        dialog.show();
    }

    template <typename T>
    T* Child(const char* name)
    {
        T* child = dialog.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }
    QLineEdit* Edit(const char* name) { return Child<QLineEdit>(name); }
    QCheckBox* Check(const char* name) { return Child<QCheckBox>(name); }
    QComboBox* List(const char* name) { return Child<QComboBox>(name); }

    std::vector<bool> WaypointControlsEnabled()
    {
        return {Child<QPushButton>("browseButton")->isEnabled(), Edit("waypointFileEdit")->isEnabled(),
                List("lineThicknessCombo")->isEnabled()};
    }

    // Presses OK; true when the dialog closed with OK.
    bool PressOk()
    {
        dialog.setResult(QDialog::Rejected);
        Child<QPushButton>("okButton")->click();
        return dialog.result() == QDialog::Accepted;
    }

    QApplication& application = EnsureQApplication();  // before any widget
    RecordingWindow window;
    MessageRecorder recorder;
    TestedSettingsDialog dialog{window};
};

TEST_F(SettingsDialogTest, ShowsTheDefaults)
{
    EXPECT_EQ(dialog.windowTitle(), "terraFetch Settings");
    EXPECT_EQ(List("quadSizeCombo")->currentText(), "1.000");
    QStringList sizes;
    for (int i = 0; i < List("quadSizeCombo")->count(); ++i)
        sizes << List("quadSizeCombo")->itemText(i);
    EXPECT_EQ(sizes, (QStringList{"1.000", "0.500", "0.250", "0.100", "0.050", "0.025"}));
    EXPECT_EQ(List("lineThicknessCombo")->currentText(), "1");
    EXPECT_EQ(List("lineThicknessCombo")->count(), 5);
    EXPECT_EQ(Edit("zScaleEdit")->text(), "0.02");
    EXPECT_EQ(Edit("timeoutEdit")->text(), "120");
    EXPECT_TRUE(Check("removeIntermediatesCheck")->isChecked());
    for (const char* name : {"substituteZ0Check", "alignToGridCheck", "useWaypointsCheck", "namesFromCoordinatesCheck"})
        EXPECT_FALSE(Check(name)->isChecked()) << name;
    EXPECT_EQ(WaypointControlsEnabled(), (std::vector<bool>{false, false, false}));
}

TEST_F(SettingsDialogTest, ShowsScannerModeValues)
{
    SettingsValues scanner;
    scanner.quadSize = 0.25;
    scanner.alignQuadToGrid = true;
    scanner.namesFromCoordinates = true;
    scanner.lineThickness = 16;
    dialog.SetValues(scanner);
    EXPECT_EQ(List("quadSizeCombo")->currentText(), "0.250");
    EXPECT_EQ(List("lineThicknessCombo")->currentText(), "16");
    EXPECT_TRUE(Check("alignToGridCheck")->isChecked());
    EXPECT_TRUE(Check("namesFromCoordinatesCheck")->isChecked());
}

TEST_F(SettingsDialogTest, UseWaypointsEnablesItsControls)
{
    Check("useWaypointsCheck")->click();
    EXPECT_EQ(WaypointControlsEnabled(), (std::vector<bool>{true, true, true}));
    Check("useWaypointsCheck")->click();
    EXPECT_EQ(WaypointControlsEnabled(), (std::vector<bool>{false, false, false}));
}

TEST_F(SettingsDialogTest, ValidatesTheTimeoutAndZScale)
{
    struct Case {
        QString zScale;
        QString timeout;
        QString message;  // empty: accepted
    };
    const Case cases[] = {
        {"0.02", "0", "Please enter an integer between 1 and 300."},
        {"0.02", "301", "Please enter an integer between 1 and 300."},
        {"0.02", "12x", "Please enter an integer."},
        {"x", "120", "Please enter a number."},
        {"-3abc", "300", ""},  // leading number taken, no range on the z scale
        {"0", " 1 ", ""},
    };
    for (const Case& c : cases) {
        recorder.messages.clear();
        dialog.SetValues(SettingsValues{});
        Edit("zScaleEdit")->setText(c.zScale);
        Edit("timeoutEdit")->setText(c.timeout);
        const bool accepted = PressOk();
        EXPECT_EQ(accepted, c.message.isEmpty()) << c.timeout.toStdString();
        EXPECT_EQ(recorder.messages, c.message.isEmpty() ? QStringList{} : QStringList{c.message})
            << c.timeout.toStdString();
    }
    EXPECT_DOUBLE_EQ(dialog.Values().zScale, 0.0);
    EXPECT_EQ(dialog.Values().httpTimeout, 1);
}

TEST_F(SettingsDialogTest, WaypointsNeedAFile)
{
    Check("useWaypointsCheck")->click();
    EXPECT_FALSE(PressOk());
    EXPECT_EQ(recorder.messages, QStringList{"Error: The waypoint file name is empty."});
}

TEST_F(SettingsDialogTest, OkTakesTheListsText)
{
    List("quadSizeCombo")->setCurrentIndex(5);
    Check("useWaypointsCheck")->click();
    List("lineThicknessCombo")->setCurrentIndex(3);
    Check("useWaypointsCheck")->click();  // off again; the thickness stays
    ASSERT_TRUE(PressOk());
    EXPECT_DOUBLE_EQ(dialog.Values().quadSize, 0.025);
    EXPECT_EQ(dialog.Values().lineThickness, 8);
    EXPECT_FALSE(dialog.Values().useWaypoints);
}

TEST_F(SettingsDialogTest, BrowseTakesOnlyAFileThatHoldsWaypoints)
{
    TempDir folder;
    const std::string empty = folder.File("empty.txt");
    WriteFileBytes(empty, "\n");
    const std::string good = folder.File("route.txt");
    WriteFileBytes(good, "39.5 -98.5\n");
    Check("useWaypointsCheck")->click();
    Edit("zScaleEdit")->setText("0.7");  // typed, not confirmed yet

    dialog.chosenFile = QString::fromStdString(empty);
    dialog.Browse();
    EXPECT_EQ(window.Messages().size(), 1u);
    EXPECT_TRUE(Edit("waypointFileEdit")->text().isEmpty());

    dialog.chosenFile = QString::fromStdString(good);
    dialog.Browse();
    EXPECT_EQ(Edit("waypointFileEdit")->text().toStdString(), good);
    EXPECT_EQ(Edit("zScaleEdit")->text(), "0.7");
    ASSERT_TRUE(PressOk());
    EXPECT_EQ(dialog.Values().waypointFile, good);
    EXPECT_TRUE(dialog.Values().useWaypoints);
}

} // namespace

namespace {

TEST_F(SettingsDialogTest, TheLiveSourcesCheckBoxCarriesItsValueBothWays)
{
    QCheckBox* live = Check("liveSourcesCheck");
    EXPECT_EQ(live->text(), "Live public data sources (needs internet)");
    EXPECT_FALSE(live->isChecked());
    SettingsValues values;
    values.liveSources = true;
    dialog.SetValues(values);
    EXPECT_TRUE(live->isChecked());
    live->click();
    ASSERT_TRUE(PressOk());
    EXPECT_FALSE(dialog.Values().liveSources);
}

}  // namespace

namespace {

TEST_F(SettingsDialogTest, TheTextureChoicesCarryTheirValuesBothWays)
{
    QComboBox* kind = List("textureKindCombo");
    QComboBox* height = List("textureHeightCombo");
    ASSERT_EQ(kind->count(), 3);
    EXPECT_EQ(kind->itemText(0), "Street map");
    EXPECT_EQ(kind->itemText(1), "Aerial imagery");
    EXPECT_EQ(kind->itemText(2), "Imagery with streets");
    EXPECT_EQ(kind->currentText(), "Street map");
    ASSERT_EQ(height->count(), 4);
    EXPECT_EQ(height->currentText(), "1200");

    SettingsValues values;
    values.textureKind = TextureKind::ImageryWithMap;
    values.textureHeight = 4800;
    dialog.SetValues(values);
    EXPECT_EQ(kind->currentText(), "Imagery with streets");
    EXPECT_EQ(height->currentText(), "4800");
    kind->setCurrentIndex(1);
    height->setCurrentIndex(3);
    ASSERT_TRUE(PressOk());
    EXPECT_EQ(dialog.Values().textureKind, TextureKind::Imagery);
    EXPECT_EQ(dialog.Values().textureHeight, 9600);
}

}  // namespace
