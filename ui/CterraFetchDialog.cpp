#include "ui/CterraFetchDialog.h"
#include "ui/OpenExternally.h"

#include "ui/CAboutDialog.h"
#include "ui/CActivityList.h"
#include "ui/CHelpWindow.h"
#include "ui/CPasswordDialog.h"
#include "ui/CResultView.h"
#include "ui/CSettingsDialog.h"
#include "ui/CTimeoutDialog.h"
#include "ui/FieldExchange.h"
#include "ui/MessageBox.h"
#include "ui_CterraFetchDialog.h"

#include "core/StringPrintf.h"
#include "geocode/GeocodeThread.h"
#include "hosts/ResolveServiceHosts.h"
#include "http/TraceLog.h"
#include "job/JobWorker.h"
#include "route/WaypointFile.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QShortcut>
#include <QThread>
#include <QUrl>

#include <cstdlib>

namespace {

QString FromStd(const std::string& text)
{
    return QString::fromStdString(text);
}

// A number as the coordinate edits exchange it: shown with up to 15
// significant digits, read back only when the whole text is a number.
QString ExchangeText(double value)
{
    return FromStd(StringPrintf("%.15g", value));
}

} // namespace

CterraFetchDialog::CterraFetchDialog(std::optional<ServiceHosts> hosts, QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::CterraFetchDialog>())
    , hosts_(std::move(hosts))
    , hostsGiven_(hosts_.has_value())
    , jobWorker_(std::make_unique<JobWorker>(*this))
    , geocodeWorker_(std::make_unique<GeocodeWorker>(*this))
{
    ui->setupUi(this);
    if (!LiveSourceSettingsFromEnvironment(sources_, sourcesError_))
        sourcesError_ = "Error: " + sourcesError_ + ".";
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    const QIcon icon(QStringLiteral(":/res/terrafetch.png"));
    setWindowIcon(icon);
    statusPixmaps_[static_cast<int>(StatusIcon::Ok)] = QPixmap(QStringLiteral(":/res/status-ok.png"));
    statusPixmaps_[static_cast<int>(StatusIcon::Failure)] = QPixmap(QStringLiteral(":/res/status-failure.png"));
    statusPixmaps_[static_cast<int>(StatusIcon::Attention)] = QPixmap(QStringLiteral(":/res/status-attention.png"));
    ui->statusPicture->setPixmap(statusPixmaps_[0]);
    ArrangeQuadPanel();
    ConnectControls();

    UpdateData(false);
    ui->cancelButton->setEnabled(false);
    ui->proceedButton->setEnabled(false);
    ui->addressEdit->setFocus();
}

CterraFetchDialog::~CterraFetchDialog()
{
    // Normally the window closes only once every thread has ended. Should it
    // go while one runs all the same, cancel and keep serving the thread's
    // calls until it has ended, so that nothing it uses goes away under it.
    if (IsBusy()) {
        closePending_ = true;
        CancelThreads();
        while (IsBusy())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    jobWorker_.reset();
    geocodeWorker_.reset();
}

CActivityList& CterraFetchDialog::ActivityList() const
{
    return *ui->activityList;
}

void CterraFetchDialog::ArrangeQuadPanel()
{
    // The edits stand around the 100 x 50 picture: west and east above its
    // box's left and right lines (x 1 and 98), north and south right of the
    // top and bottom lines (y 1 and 48).
    const QFontMetrics metrics(ui->westEdit->font());
    const int editWidth = metrics.horizontalAdvance(QStringLiteral("-000.0000000")) + 12;
    const int editHeight = ui->westEdit->sizeHint().height();
    const int degreeWidth = ui->westDegree->sizeHint().width() + 2;
    const int lineInEdit = 16;  // how far a box line lies inside its edit
    const int pictureX = editWidth - lineInEdit - 1;
    const int pictureY = editHeight + editHeight / 2 + 2;
    const int eastX = pictureX + 98 - lineInEdit;
    const int northX = pictureX + 100 + 6;

    auto place = [&](QLineEdit* edit, QLabel* degree, int x, int y) {
        edit->setGeometry(x, y, editWidth, editHeight);
        degree->setGeometry(x + editWidth + 1, y, degreeWidth, editHeight);
    };
    place(ui->westEdit, ui->westDegree, 0, 0);
    place(ui->eastEdit, ui->eastDegree, eastX, 0);
    place(ui->northEdit, ui->northDegree, northX, pictureY + 1 - editHeight / 2);
    place(ui->southEdit, ui->southDegree, northX, pictureY + 48 - editHeight / 2);
    ui->quadPicture->setGeometry(pictureX, pictureY, 100, 50);
    ui->quadPanel->setFixedSize(northX + editWidth + 1 + degreeWidth,
                                pictureY + 48 + editHeight - editHeight / 2);
}

void CterraFetchDialog::ConnectControls()
{
    connect(ui->geocodeButton, &QPushButton::clicked, this, &CterraFetchDialog::OnGeocode);
    connect(ui->proceedButton, &QPushButton::clicked, this, &CterraFetchDialog::OnProceed);
    connect(ui->cancelButton, &QPushButton::clicked, this, &CterraFetchDialog::OnCancel);
    connect(ui->closeButton, &QPushButton::clicked, this, &CterraFetchDialog::reject);
    connect(ui->copyLogButton, &QPushButton::clicked, this, &CterraFetchDialog::OnCopyLog);
    connect(ui->settingsButton, &QPushButton::clicked, this, &CterraFetchDialog::OnSettings);
    connect(ui->helpButton, &QPushButton::clicked, this, &CterraFetchDialog::OnHelp);
    connect(ui->resultButton, &QPushButton::clicked, this, &CterraFetchDialog::OnViewResult);
    connect(ui->westEdit, &QLineEdit::textChanged, this, &CterraFetchDialog::OnWestEdgeChanged);
    connect(ui->northEdit, &QLineEdit::textChanged, this, &CterraFetchDialog::OnNorthEdgeChanged);
    connect(ui->activityList, &CActivityList::userSelectionChanged, this, &CterraFetchDialog::OnLogSelChange);
    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, &CterraFetchDialog::OnHelp);
    for (QPushButton* link : {ui->geocodingLink, ui->elevationLink, ui->textureLink})
        connect(link, &QPushButton::clicked, this, [this, link] { OpenExternally(this, QUrl(link->text())); });
}

bool CterraFetchDialog::UpdateData(bool saveAndValidate)
{
    if (!saveAndValidate) {
        ui->addressEdit->setText(FromStd(addressText_));
        // Filling the west and north edits runs their edge recomputation
        // before the derived edits are filled in turn.
        ui->westEdit->setText(ExchangeText(job_.quadLeft));
        ui->eastEdit->setText(ExchangeText(job_.quadRight));
        ui->northEdit->setText(ExchangeText(job_.quadTop));
        ui->southEdit->setText(ExchangeText(job_.quadBottom));
        return true;
    }
    addressText_ = ui->addressEdit->text().toStdString();
    const std::pair<QLineEdit*, double*> edges[] = {
        {ui->westEdit, &job_.quadLeft},
        {ui->eastEdit, &job_.quadRight},
        {ui->northEdit, &job_.quadTop},
        {ui->southEdit, &job_.quadBottom},
    };
    for (const auto& [edit, field] : edges) {
        double value = 0.0;
        if (!ParseFieldNumber(edit->text(), value)) {
            ShowValidationMessage(this, QStringLiteral("Please enter a number."));
            edit->setFocus();
            edit->selectAll();
            return false;
        }
        *field = value;
    }
    return true;
}

void CterraFetchDialog::OnWestEdgeChanged()
{
    if (!syncCoordinates_)
        return;
    job_.SetWestEdge(std::atof(ui->westEdit->text().toUtf8().constData()));
    ui->eastEdit->setText(FromStd(StringPrintf("%f", job_.quadRight)));
    if (ControlsUnlocked())
        UnlockCoordinateControls();
}

void CterraFetchDialog::OnNorthEdgeChanged()
{
    if (!syncCoordinates_)
        return;
    job_.SetNorthEdge(std::atof(ui->northEdit->text().toUtf8().constData()));
    ui->southEdit->setText(FromStd(StringPrintf("%f", job_.quadBottom)));
    if (ControlsUnlocked())
        UnlockCoordinateControls();
}

bool CterraFetchDialog::ControlsUnlocked() const
{
    // A job or geocoding thread disables Close exactly while it keeps the
    // coordinates to itself.
    return ui->closeButton->isEnabled();
}

void CterraFetchDialog::UnlockCoordinateControls()
{
    // While a job or geocoding runs, its thread owns these controls.
    if (IsBusy())
        return;
    ui->proceedButton->setEnabled(true);
    ui->westEdit->setEnabled(true);
    ui->northEdit->setEnabled(true);
}

bool CterraFetchDialog::IsBusy() const
{
    return jobWorker_->IsRunning() || geocodeWorker_->IsRunning();
}

bool CterraFetchDialog::EnsureServiceHosts()
{
    if (hostsGiven_)
        return true;
    ServiceHosts hosts;
    std::string error = sourcesError_;
    if (!error.empty() || !ResolveServiceHosts(hosts, sources_, error)) {
        AddToLog(error);
        ShowFailureIndication();
        return false;
    }
    hosts_ = hosts;
    return true;
}

void CterraFetchDialog::OnGeocode()
{
    // One activity at a time: a geocoding run during a job would unlock the
    // job's controls when it ends.
    if (IsBusy())
        return;
    // The address is read first, so a coordinate that is no number stops
    // nothing here.
    UpdateData(true);
    ShowStatus(StatusIcon::Ok);
    if (!EnsureServiceHosts())
        return;
    if (sources_.live && !hostsGiven_ && ServedByBundledServices("TERRAFETCH_GEOCODE_HOST"))
        AddToLog("Addresses: U.S. Census Bureau Geocoder (public domain); cities and ZIP codes: the bundled "
                 "Census gazetteer.");
    const GeocodeRequest request{hosts_->geocode, addressText_, job_.quadSize, job_.alignQuadToGrid,
                                 job_.httpTimeout};
    geocodeWorker_->Start(request, [this](const GeocodeOutcome& outcome) {
        QMetaObject::invokeMethod(this, [this, outcome] {
            if (outcome.quad)
                PlaceQuad(*outcome.quad);
            OnThreadFinished();
        }, Qt::QueuedConnection);
    });
}

void CterraFetchDialog::OnProceed()
{
    if (IsBusy()) {
        // A thread enables Proceed shortly before it ends (a geocoding run
        // still blinks, a worker still disables Cancel). A press meanwhile
        // starts the job as soon as the thread has ended.
        if (ui->proceedButton->isEnabled()) {
            ui->proceedButton->setEnabled(false);
            proceedPending_ = true;
        }
        return;
    }
    StartJob();
}

void CterraFetchDialog::StartJob()
{
    // Disabled here already, so that a second press cannot start a second job.
    ui->proceedButton->setEnabled(false);
    if (!EnsureServiceHosts())
        return;
    // The job rewrites the files the view would show.
    ui->resultButton->setEnabled(false);
    lastJobTerrainNote_ = !sources_.live && !hostsGiven_ && ServedByBundledServices("TERRAFETCH_EXTRACT_HOST")
                              ? QStringLiteral("Synthetic terrain from the bundled services, not measured data.")
                              : QString();
    // The job runs on a copy: settings changed from now on apply to the next one.
    jobWorker_->Start(JobParametersFrom(job_, *hosts_), [this](int code) {
        QMetaObject::invokeMethod(this, [this, code] {
            const JobResult result = jobWorker_->LastResult();
            ui->resultButton->setEnabled(!result.heightMap.empty());
            if (code == 0 && result.nextQuad)
                PlaceQuad(*result.nextQuad);
            OnThreadFinished();
        }, Qt::QueuedConnection);
    });
}

void CterraFetchDialog::OnViewResult()
{
    const JobResult result = jobWorker_->LastResult();
    if (result.heightMap.empty())
        return;
    if (!resultView_)
        resultView_ = new CResultView(*this, this);
    resultView_->ShowJobResult(result, lastJobTerrainNote_);
    resultView_->show();
    resultView_->raise();
}

void CterraFetchDialog::OnCancel()
{
    CancelThreads();
}

void CterraFetchDialog::CancelThreads()
{
    jobWorker_->Cancel();
    geocodeWorker_->Cancel();
}

void CterraFetchDialog::PlaceQuad(const Quad& quad)
{
    job_.quadLeft = quad.left;
    job_.quadRight = quad.right;
    job_.quadTop = quad.top;
    job_.quadBottom = quad.bottom;
    RefreshCoordinates();
}

void CterraFetchDialog::OnThreadFinished()
{
    if (IsBusy())
        return;
    const bool startJob = proceedPending_ && !closePending_;
    proceedPending_ = false;
    if (closePending_)
        QDialog::reject();
    else if (startJob)
        StartJob();
}

void CterraFetchDialog::reject()
{
    if (IsBusy()) {
        // Ask the thread to stop and close when it has ended.
        closePending_ = true;
        CancelThreads();
        return;
    }
    QDialog::reject();
}

void CterraFetchDialog::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu menu(this);
    menu.addAction(QStringLiteral("&About terraFetch..."), this, &CterraFetchDialog::OnAbout);
    menu.exec(event->globalPos());
}

void CterraFetchDialog::OnAbout()
{
    CAboutDialog about(this);
    about.exec();
}

void CterraFetchDialog::OnHelp()
{
    if (!helpWindow_)
        helpWindow_ = new CHelpWindow(this);
    helpWindow_->show();
    helpWindow_->raise();
    helpWindow_->activateWindow();
}

void CterraFetchDialog::OnLogSelChange()
{
    const QList<QListWidgetItem*> selected = ui->activityList->selectedItems();
    if (selected.isEmpty())
        return;
    const QString line = selected.front()->text();
    static const QString kQuadLine = QStringLiteral("  quad: ");
    static const QString kCandidateLine = QStringLiteral("        \u00BB");
    if (line.startsWith(kQuadLine)) {
        if (ControlsUnlocked())
            UnlockCoordinateControls();
    } else if (line.startsWith(kCandidateLine)) {
        const qsizetype end = line.indexOf(QChar(0x00AB), kCandidateLine.size());
        if (end >= 0) {
            addressText_ = line.mid(kCandidateLine.size(), end - kCandidateLine.size()).toStdString();
            ui->addressEdit->setText(FromStd(addressText_));
        }
    }
}

QString CterraFetchDialog::CopyLogText(std::time_t now) const
{
    std::string text = TraceHeaderLine(now);
    for (const QString& line : ui->activityList->Lines())
        text += line.toStdString() + "\r\n";
    return FromStd(text);
}

void CterraFetchDialog::OnCopyLog()
{
    const QString text = CopyLogText(std::time(nullptr));
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard) {
        AddToLog("Cannot open the Clipboard");
        ShowStatus(StatusIcon::Failure);
        return;
    }
    clipboard->setText(text);
    if (clipboard->text() != text) {
        AddToLog("Unable to set Clipboard data");
        ShowFailureIndication();
    }
}

SettingsValues CterraFetchDialog::CurrentSettings() const
{
    SettingsValues values;
    values.quadSize = job_.quadSize;
    values.liveSources = sources_.live;
    values.lineThickness = job_.lineThickness;
    values.substituteZ0 = job_.substituteZ0;
    values.alignQuadToGrid = job_.alignQuadToGrid;
    values.removeIntermediateFiles = job_.removeIntermediateFiles;
    values.zScale = job_.zScale;
    values.httpTimeout = job_.httpTimeout;
    values.useWaypoints = job_.useWaypoints != 0;
    values.waypointFile = job_.waypointFile;
    values.namesFromCoordinates = job_.namesFromCoordinates != 0;
    values.textureKind = job_.textureKind;
    values.textureHeight = job_.textureHeight;
    return values;
}

void CterraFetchDialog::ApplySettings(const SettingsValues& values)
{
    // A running job keeps the settings it started with; these are the next job's.
    job_.quadSize = values.quadSize;
    job_.lineThickness = values.lineThickness;
    job_.substituteZ0 = values.substituteZ0;
    job_.alignQuadToGrid = values.alignQuadToGrid;
    job_.removeIntermediateFiles = values.removeIntermediateFiles;
    job_.zScale = values.zScale;
    job_.httpTimeout = values.httpTimeout;
    job_.useWaypoints = values.useWaypoints ? 1 : 0;
    job_.namesFromCoordinates = values.namesFromCoordinates ? 1 : 0;
    job_.textureKind = values.textureKind;
    job_.textureHeight = values.textureHeight;
    // Taken up by the next job or geocoding run; a running one keeps its services.
    sources_.live = values.liveSources;
    sourcesError_.clear();
    if (values.useWaypoints) {
        job_.waypointFile = values.waypointFile;
        // A file that cannot be read switches the route off, so the box
        // shows what the next job does.
        if (const std::string why = ReadWaypoints(values.waypointFile, job_.waypoints); !why.empty()) {
            ShowMessage(kWaypointMessageCaption, why, MessageIcon::Error);
            job_.waypointFile.clear();
            job_.useWaypoints = 0;
        }
    }
    OnWestEdgeChanged();
    OnNorthEdgeChanged();
}

void CterraFetchDialog::OnSettings()
{
    CSettingsDialog dialog(*this, this);
    dialog.SetValues(CurrentSettings());
    if (jobWorker_->IsRunning())
        dialog.NoteRunningJob();
    if (dialog.exec() == QDialog::Accepted)
        ApplySettings(dialog.Values());
}

// --- JobWindow ---------------------------------------------------------------

void CterraFetchDialog::OnGuiThread(std::function<void()> call, bool wait)
{
    if (QThread::currentThread() == thread()) {
        call();
        return;
    }
    QMetaObject::invokeMethod(this, std::move(call), wait ? Qt::BlockingQueuedConnection : Qt::QueuedConnection);
}

void CterraFetchDialog::AddToLog(const std::string& line)
{
    OnGuiThread([this, text = FromStd(line)] { ui->activityList->AddLine(text); });
}

QPushButton* CterraFetchDialog::ControlButton(JobControl control) const
{
    switch (control) {
    case JobControl::Close:
        return ui->closeButton;
    case JobControl::Proceed:
        return ui->proceedButton;
    case JobControl::Cancel:
        return ui->cancelButton;
    default:
        return nullptr;
    }
}

QLineEdit* CterraFetchDialog::ControlEdit(JobControl control) const
{
    if (control == JobControl::WestEdge)
        return ui->westEdit;
    if (control == JobControl::NorthEdge)
        return ui->northEdit;
    return nullptr;
}

void CterraFetchDialog::EnableControl(JobControl control, bool enabled)
{
    OnGuiThread([this, control, enabled] {
        if (QPushButton* button = ControlButton(control))
            button->setEnabled(enabled);
        else if (QLineEdit* edit = ControlEdit(control))
            edit->setEnabled(enabled);
    });
}

void CterraFetchDialog::SetProgress(int percent)
{
    OnGuiThread([this, percent] { ui->progressBar->setValue(percent); });
}

void CterraFetchDialog::ShowStatus(StatusIcon icon)
{
    OnGuiThread([this, icon] {
        status_ = icon;
        ui->statusPicture->setPixmap(statusPixmaps_[static_cast<int>(icon)]);
    });
}

bool CterraFetchDialog::AskRetryWithTimeout(int& seconds)
{
    bool retry = false;
    OnGuiThread(
        [&] {
            // A window that is closing asks nothing: the thread is to end.
            if (!closePending_)
                retry = ::AskRetryWithTimeout(this, seconds);
        },
        true);
    return retry;
}

bool CterraFetchDialog::AskPassword(std::string& userName, std::string& password)
{
    bool accepted = false;
    OnGuiThread(
        [&] {
            if (!closePending_)
                accepted = ::AskPassword(this, userName, password);
        },
        true);
    return accepted;
}

void CterraFetchDialog::ShowMessage(const std::string& caption, const std::string& text, MessageIcon icon)
{
    const QMessageBox::Icon boxIcon = icon == MessageIcon::Error ? QMessageBox::Critical : QMessageBox::Information;
    OnGuiThread(
        [&] {
            if (!closePending_)
                ShowMessageBox(this, boxIcon, FromStd(caption), FromStd(text));
        },
        true);
}

void CterraFetchDialog::RefreshCoordinates()
{
    OnGuiThread([this] {
        // The program writes all four edges itself: no recomputation meanwhile.
        syncCoordinates_ = false;
        ui->westEdit->setText(FromStd(StringPrintf("%f", job_.quadLeft)));
        ui->eastEdit->setText(FromStd(StringPrintf("%f", job_.quadRight)));
        ui->northEdit->setText(FromStd(StringPrintf("%f", job_.quadTop)));
        ui->southEdit->setText(FromStd(StringPrintf("%f", job_.quadBottom)));
        syncCoordinates_ = true;
    });
}
