#include "ui/CSettingsDialog.h"

#include "ui/FieldExchange.h"
#include "ui/MessageBox.h"
#include "ui_CSettingsDialog.h"

#include "core/JobWindow.h"
#include "core/StringPrintf.h"
#include "route/WaypointFile.h"

#include <algorithm>

#include <QFileDialog>
#include <QFileInfo>
#include <QShowEvent>

#include <cstdlib>

namespace {

constexpr double kQuadSizes[] = {1.0, 0.5, 0.25, 0.1, 0.05, 0.025};
constexpr int kLineThicknesses[] = {1, 2, 4, 8, 16};

// The leading number of a text, as a double; false when it has none.
bool ParseLeadingNumber(const QString& text, double& value)
{
    const QByteArray bytes = text.toUtf8();
    char* end = nullptr;
    const double parsed = std::strtod(bytes.constData(), &end);
    if (end == bytes.constData())
        return false;
    value = parsed;
    return true;
}

// Selects the first entry that begins with `text`; none when no entry does.
void SelectPrefix(QComboBox* list, const QString& text)
{
    list->setCurrentIndex(-1);
    for (int index = 0; index < list->count(); ++index) {
        if (list->itemText(index).startsWith(text)) {
            list->setCurrentIndex(index);
            return;
        }
    }
}

} // namespace

CSettingsDialog::CSettingsDialog(JobWindow& window, QWidget* parent)
    : QDialog(parent)
    , window_(window)
    , ui(std::make_unique<Ui::CSettingsDialog>())
{
    ui->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    connect(ui->okButton, &QPushButton::clicked, this, &CSettingsDialog::accept);
    connect(ui->cancelButton, &QPushButton::clicked, this, &CSettingsDialog::reject);
    connect(ui->useWaypointsCheck, &QCheckBox::clicked, this, &CSettingsDialog::OnUseWaypoints);
    connect(ui->browseButton, &QPushButton::clicked, this, &CSettingsDialog::OnBrowse);
    for (const double size : kQuadSizes)
        ui->quadSizeCombo->addItem(QString::fromStdString(StringPrintf("%0.3f", size)));
    for (const int thickness : kLineThicknesses)
        ui->lineThicknessCombo->addItem(QString::fromStdString(StringPrintf("%d", thickness)));
    for (const TextureKind kind : kTextureKinds)
        ui->textureKindCombo->addItem(QString::fromUtf8(TextureKindLabel(kind)));
    for (const int height : kTextureHeights)
        ui->textureHeightCombo->addItem(QString::number(height));
    SetValues(values_);
}

CSettingsDialog::~CSettingsDialog() = default;

void CSettingsDialog::NoteRunningJob()
{
    setWindowTitle(windowTitle() + QStringLiteral(" \u2014 changes apply to the next job"));
}

void CSettingsDialog::SetValues(const SettingsValues& values)
{
    values_ = values;
    UpdateData(false);
    FillLists();
    EnableWaypointControls();
}

void CSettingsDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        ui->quadSizeCombo->setFocus();
}

void CSettingsDialog::FillLists()
{
    SelectPrefix(ui->quadSizeCombo, QString::fromStdString(StringPrintf("%0.3f", values_.quadSize)));
    SelectPrefix(ui->lineThicknessCombo, QString::fromStdString(StringPrintf("%d", values_.lineThickness)));
    const auto kind = std::find(kTextureKinds.begin(), kTextureKinds.end(), values_.textureKind);
    ui->textureKindCombo->setCurrentIndex(static_cast<int>(kind - kTextureKinds.begin()));
    SelectPrefix(ui->textureHeightCombo, QString::number(values_.textureHeight));
}

void CSettingsDialog::EnableWaypointControls()
{
    const bool enabled = ui->useWaypointsCheck->isChecked();
    ui->browseButton->setEnabled(enabled);
    ui->waypointFileEdit->setEnabled(enabled);
    ui->lineThicknessCombo->setEnabled(enabled);
}

bool CSettingsDialog::UpdateData(bool saveAndValidate)
{
    if (!saveAndValidate) {
        ui->substituteZ0Check->setChecked(values_.substituteZ0);
        ui->alignToGridCheck->setChecked(values_.alignQuadToGrid);
        ui->removeIntermediatesCheck->setChecked(values_.removeIntermediateFiles);
        ui->zScaleEdit->setText(QString::fromStdString(StringPrintf("%.15g", values_.zScale)));
        ui->timeoutEdit->setText(QString::number(values_.httpTimeout));
        ui->useWaypointsCheck->setChecked(values_.useWaypoints);
        ui->waypointFileEdit->setText(QString::fromStdString(values_.waypointFile));
        ui->namesFromCoordinatesCheck->setChecked(values_.namesFromCoordinates);
        ui->liveSourcesCheck->setChecked(values_.liveSources);
        return true;
    }
    auto fail = [this](QLineEdit* edit, const QString& message) {
        ShowValidationMessage(this, message);
        edit->setFocus();
        edit->selectAll();
        return false;
    };
    values_.substituteZ0 = ui->substituteZ0Check->isChecked();
    values_.alignQuadToGrid = ui->alignToGridCheck->isChecked();
    values_.removeIntermediateFiles = ui->removeIntermediatesCheck->isChecked();
    if (!ParseLeadingNumber(ui->zScaleEdit->text(), values_.zScale))
        return fail(ui->zScaleEdit, QStringLiteral("Please enter a number."));
    if (!ParseFieldInteger(ui->timeoutEdit->text(), values_.httpTimeout))
        return fail(ui->timeoutEdit, QStringLiteral("Please enter an integer."));
    if (values_.httpTimeout < kMinimumTimeout || values_.httpTimeout > kMaximumTimeout)
        return fail(ui->timeoutEdit, QStringLiteral("Please enter an integer between %1 and %2.")
                                         .arg(kMinimumTimeout)
                                         .arg(kMaximumTimeout));
    values_.useWaypoints = ui->useWaypointsCheck->isChecked();
    values_.waypointFile = ui->waypointFileEdit->text().toStdString();
    values_.namesFromCoordinates = ui->namesFromCoordinatesCheck->isChecked();
    values_.liveSources = ui->liveSourcesCheck->isChecked();
    return true;
}

void CSettingsDialog::OnUseWaypoints()
{
    UpdateData(true);
    EnableWaypointControls();
}

QString CSettingsDialog::ChooseWaypointFile()
{
    return QFileDialog::getOpenFileName(this, QStringLiteral("Open"), QString(),
                                        QStringLiteral("Waypoint Files (*.txt *.gpx);;All Files (*)"));
}

void CSettingsDialog::OnBrowse()
{
    const QString chosen = ChooseWaypointFile();
    if (chosen.isEmpty())
        return;
    const std::string path = QFileInfo(chosen).absoluteFilePath().toStdString();
    if (const std::string why = CheckWaypointFile(path); !why.empty()) {
        window_.ShowMessage(kWaypointMessageCaption, why, MessageIcon::Error);
        return;
    }
    // Only the file field changes; what the user typed in the other
    // controls and has not confirmed yet stays.
    values_.waypointFile = path;
    ui->waypointFileEdit->setText(QString::fromStdString(path));
}

void CSettingsDialog::accept()
{
    // One message for a value that does not validate, not a second one from
    // the final read.
    if (!UpdateData(true))
        return;
    if (values_.useWaypoints && values_.waypointFile.empty()) {
        ShowMessageBox(this, QMessageBox::Critical, QStringLiteral("terraFetch"),
                       QStringLiteral("Error: The waypoint file name is empty."));
        return;
    }
    // A list without a selection keeps its value rather than turning it into 0.
    if (ui->quadSizeCombo->currentIndex() >= 0)
        values_.quadSize = std::atof(ui->quadSizeCombo->currentText().toUtf8().constData());
    if (ui->lineThicknessCombo->currentIndex() >= 0)
        values_.lineThickness = std::atoi(ui->lineThicknessCombo->currentText().toUtf8().constData());
    if (const int kind = ui->textureKindCombo->currentIndex(); kind >= 0)
        values_.textureKind = kTextureKinds[static_cast<size_t>(kind)];
    if (const int height = ui->textureHeightCombo->currentIndex(); height >= 0)
        values_.textureHeight = kTextureHeights[static_cast<size_t>(height)];
    QDialog::accept();
}
