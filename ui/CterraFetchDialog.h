#pragma once

#include "core/JobFields.h"
#include "core/JobWindow.h"
#include "job/JobParameters.h"
#include "job/ServiceHosts.h"
#include "live/LiveSourceSettings.h"

#include <QDialog>
#include <QPixmap>

#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace Ui {
class CterraFetchDialog;
}
class CActivityList;
class CHelpWindow;
class CResultView;
class GeocodeWorker;
class JobWorker;
class QLineEdit;
class QPushButton;
struct SettingsValues;

// The main window: the quad, the address, the activity log and the buttons
// that start, cancel and follow jobs and geocoding runs. It owns the job
// record and is the JobWindow of every job and geocoding run.
//
// Threads: the worker and geocoding threads call the JobWindow operations
// from their own thread; each call is carried out on the GUI thread, queued
// for log lines, control states, progress and the status picture (so lines
// stay in order and appends never interleave) and blocking for the
// questions and message boxes that return an answer. The GUI thread never
// waits for a background thread: a thread reports its end with a queued
// call. Closing while a thread runs requests cancel, keeps the window (and
// so the job record) alive, and closes once every thread has ended.
class CterraFetchDialog : public QDialog, public JobWindow {
    Q_OBJECT

public:
    // Without `hosts`, the services are found by ResolveServiceHosts() when
    // first needed.
    explicit CterraFetchDialog(std::optional<ServiceHosts> hosts = std::nullopt, QWidget* parent = nullptr);
    ~CterraFetchDialog() override;

    JobFields& Job() { return job_; }
    // False while a job or geocoding run keeps the coordinates to itself.
    bool ControlsUnlocked() const;
    CActivityList& ActivityList() const;

    // JobWindow, callable from any thread.
    void AddToLog(const std::string& line) override;
    void EnableControl(JobControl control, bool enabled) override;
    void SetProgress(int percent) override;
    void ShowStatus(StatusIcon icon) override;
    bool AskRetryWithTimeout(int& seconds) override;
    bool AskPassword(std::string& userName, std::string& password) override;
    void ShowMessage(const std::string& caption, const std::string& text,
                     MessageIcon icon = MessageIcon::Information) override;
    void RefreshCoordinates() override;

    StatusIcon CurrentStatus() const { return status_; }
    CHelpWindow* HelpWindow() const { return helpWindow_; }
    CResultView* ResultView() const { return resultView_; }
    bool IsBusy() const;
    bool IsClosePending() const { return closePending_; }

    // The settings as the settings dialog shows them, and taking them back
    // after its OK: the job fields, the waypoint file read, the derived edges.
    SettingsValues CurrentSettings() const;
    void ApplySettings(const SettingsValues& values);

    // The text that Copy Log puts on the clipboard for the time `now`.
    QString CopyLogText(std::time_t now) const;

    // Handlers, public so that tests can drive them like button presses.
    void OnGeocode();
    void OnProceed();
    void OnCancel();
    void OnCopyLog();
    void OnSettings();
    void OnHelp();
    void OnAbout();
    void OnLogSelChange();
    // Shows the last successful job's result.
    void OnViewResult();

    void reject() override;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void ArrangeQuadPanel();
    void ConnectControls();
    // Fills the controls from the fields, or reads (and validates) them.
    bool UpdateData(bool saveAndValidate);
    void OnWestEdgeChanged();
    void OnNorthEdgeChanged();
    void UnlockCoordinateControls();
    bool EnsureServiceHosts();
    void StartJob();
    void OnThreadFinished();
    void CancelThreads();
    // Takes on a quad found by geocoding or the next quad of scanner mode.
    void PlaceQuad(const Quad& quad);
    QPushButton* ControlButton(JobControl control) const;
    QLineEdit* ControlEdit(JobControl control) const;
    // Runs `call` on the GUI thread: at once when already there, else queued
    // or, with `wait`, blocking until it has run.
    void OnGuiThread(std::function<void()> call, bool wait = false);

    std::unique_ptr<Ui::CterraFetchDialog> ui;
    JobFields job_;
    bool syncCoordinates_ = true;
    std::string addressText_;
    std::optional<ServiceHosts> hosts_;
    bool hostsGiven_ = false;  // hosts_ came with the constructor and stay
    QString lastJobTerrainNote_;  // where the last job's heights came from, for the result view
    // The sources of the services the window starts: TERRAFETCH_SOURCES and
    // its URLs at start, then the Settings check box, for the next run.
    LiveSourceSettings sources_;
    std::string sourcesError_;  // a bad TERRAFETCH_SOURCES, until the check box is set
    StatusIcon status_ = StatusIcon::Ok;
    QPixmap statusPixmaps_[3];
    bool closePending_ = false;
    bool proceedPending_ = false;  // Proceed pressed while a thread was ending
    CHelpWindow* helpWindow_ = nullptr;
    CResultView* resultView_ = nullptr;
    std::unique_ptr<JobWorker> jobWorker_;
    std::unique_ptr<GeocodeWorker> geocodeWorker_;
};
