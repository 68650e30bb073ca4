#pragma once

#include "core/TextureKind.h"

#include <QDialog>

#include <memory>
#include <string>

namespace Ui {
class CSettingsDialog;
}
class JobWindow;
class QWidget;

// The job settings as the settings dialog edits them.
struct SettingsValues {
    double quadSize = 1.0;
    int lineThickness = 1;
    bool substituteZ0 = false;
    bool alignQuadToGrid = false;
    bool removeIntermediateFiles = true;
    double zScale = 0.02;
    int httpTimeout = 120;
    bool useWaypoints = false;
    std::string waypointFile;
    bool namesFromCoordinates = false;
    bool liveSources = false;  // the services the window starts answer from public sources
    TextureKind textureKind = TextureKind::Map;
    int textureHeight = kTextureHeights[0];
};

// Modal dialog for the job settings. The caller sets every value before
// exec() and takes them back only after OK; Cancel and Escape change
// nothing.
//
// Reading the controls validates in control order and stops at the first
// failure with a message and the focus on that control: the z scale must
// start with a number, the time-out must be an integer from 1 to 300. OK
// also refuses "Use waypoints" without a waypoint file.
class CSettingsDialog : public QDialog {
    Q_OBJECT

public:
    // `window` shows the messages of the waypoint file's test read.
    explicit CSettingsDialog(JobWindow& window, QWidget* parent = nullptr);
    ~CSettingsDialog() override;

    void SetValues(const SettingsValues& values);
    const SettingsValues& Values() const { return values_; }
    // Says in the title that a job is running and keeps what it started with.
    void NoteRunningJob();

    static constexpr int kMinimumTimeout = 1;
    static constexpr int kMaximumTimeout = 300;

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;
    // The file-open dialog; an empty text when the user cancels it.
    virtual QString ChooseWaypointFile();

private:
    void FillLists();
    void EnableWaypointControls();
    // Fills the controls from the values, or reads and validates them.
    bool UpdateData(bool saveAndValidate);
    void OnUseWaypoints();
    void OnBrowse();

    JobWindow& window_;
    std::unique_ptr<Ui::CSettingsDialog> ui;
    SettingsValues values_;
};
