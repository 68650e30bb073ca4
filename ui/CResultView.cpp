#include "ui/CResultView.h"
#include "ui/OpenExternally.h"

#include "core/LogSink.h"
#include "core/StringPrintf.h"
#include "export/ExportFileNames.h"
#include "export/ExportResult.h"
#include "export/HeightMapPlacement.h"
#include "job/JobResult.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <cmath>
#include <filesystem>
#include <mutex>

namespace fs = std::filesystem;

namespace {

constexpr int kPictureSide = 360;

QString FromStd(const std::string& text)
{
    return QString::fromStdString(text);
}

QString Degrees(double value, char positive, char negative)
{
    return FromStd(StringPrintf("%.6f° %c", std::fabs(value), value < 0 ? negative : positive));
}

// Collects the export's log lines for the view while passing them on.
class ForwardingLog : public LogSink {
public:
    explicit ForwardingLog(LogSink& next)
        : next_(next)
    {
    }
    void AddToLog(const std::string& line) override
    {
        {
            std::lock_guard lock(mutex_);
            lines_.push_back(line);
        }
        next_.AddToLog(line);
    }
    std::vector<std::string> Lines()
    {
        std::lock_guard lock(mutex_);
        return lines_;
    }

private:
    LogSink& next_;
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

QLabel* Picture(const char* name)
{
    auto* label = new QLabel;
    label->setObjectName(QString::fromLatin1(name));
    label->setFixedSize(kPictureSide, kPictureSide);
    label->setAlignment(Qt::AlignCenter);
    label->setFrameShape(QFrame::StyledPanel);
    return label;
}

// The result files of a job named after the height map "X_el.tga".
std::vector<std::string> FilesBeside(const std::string& heightMap, const std::string& texture)
{
    std::vector<std::string> files{heightMap};
    if (!texture.empty())
        files.push_back(texture);
    const std::string name = heightMap;
    if (name.size() > 7 && name.ends_with("_el.tga")) {
        const std::string prefix = name.substr(0, name.size() - 7);
        files.push_back(prefix + "_1.alp");
        files.push_back(prefix + "_2.alp");
    }
    return files;
}

} // namespace

CResultView::CResultView(LogSink& log, QWidget* parent)
    : QDialog(parent)
    , log_(log)
{
    setWindowTitle(QStringLiteral("terraFetch result"));
    setObjectName(QStringLiteral("resultView"));
    auto* layout = new QVBoxLayout(this);

    title_ = new QLabel;
    title_->setObjectName(QStringLiteral("titleLabel"));
    title_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    range_ = new QLabel;
    range_->setObjectName(QStringLiteral("rangeLabel"));
    layout->addWidget(title_);
    layout->addWidget(range_);

    // The two pictures with the quad's edges around them.
    auto* pictures = new QGridLayout;
    north_ = new QLabel;
    south_ = new QLabel;
    west_ = new QLabel;
    east_ = new QLabel;
    north_->setObjectName(QStringLiteral("northEdgeLabel"));
    for (QLabel* edge : {north_, south_})
        edge->setAlignment(Qt::AlignCenter);
    texturePicture_ = Picture("texturePicture");
    reliefPicture_ = Picture("reliefPicture");
    auto* pair = new QHBoxLayout;
    pair->addWidget(texturePicture_);
    pair->addWidget(reliefPicture_);
    pictures->addWidget(north_, 0, 1);
    pictures->addWidget(west_, 1, 0);
    pictures->addLayout(pair, 1, 1);
    pictures->addWidget(east_, 1, 2);
    pictures->addWidget(south_, 2, 1);
    auto* captions = new QHBoxLayout;
    for (const char* caption : {"Texture", "Shaded relief (voids in red)"}) {
        auto* label = new QLabel(QString::fromUtf8(caption));
        label->setAlignment(Qt::AlignCenter);
        captions->addWidget(label);
    }
    pictures->addLayout(captions, 3, 1);
    layout->addLayout(pictures);

    files_ = new QTreeWidget;
    files_->setObjectName(QStringLiteral("fileList"));
    files_->setHeaderLabels({QStringLiteral("File"), QStringLiteral("Size")});
    files_->setRootIsDecorated(false);
    files_->setMinimumHeight(110);
    files_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    files_->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    files_->header()->setStretchLastSection(false);
    layout->addWidget(files_);

    auto* exports = new QHBoxLayout;
    exports->addWidget(new QLabel(QStringLiteral("Export:")));
    const char* captionsOfFormats[] = {"16-bit PNG", "GeoTIFF", "16-bit raw", "PNG texture"};
    for (size_t i = 0; i < std::size(kAllExportFormats); ++i) {
        auto* box = new QCheckBox(QString::fromUtf8(captionsOfFormats[i]));
        box->setObjectName(QStringLiteral("export_") + QString::fromLatin1(ExportFormatName(kAllExportFormats[i])));
        box->setChecked(true);
        formats_.push_back(box);
        exports->addWidget(box);
    }
    exportButton_ = new QPushButton(QStringLiteral("&Export"));
    exportButton_->setObjectName(QStringLiteral("exportButton"));
    exports->addWidget(exportButton_);
    exports->addStretch();
    layout->addLayout(exports);
    exportStatus_ = new QLabel;
    exportStatus_->setObjectName(QStringLiteral("exportStatus"));
    exportStatus_->setWordWrap(true);
    layout->addWidget(exportStatus_);

    auto* buttons = new QHBoxLayout;
    auto* openFolder = new QPushButton(QStringLiteral("Open &Folder"));
    auto* choose = new QPushButton(QStringLiteral("&Open Height Map..."));
    auto* close = new QPushButton(QStringLiteral("Close"));
    openFolder->setObjectName(QStringLiteral("openFolderButton"));
    choose->setObjectName(QStringLiteral("openHeightMapButton"));
    buttons->addWidget(openFolder);
    buttons->addWidget(choose);
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addLayout(buttons);

    connect(exportButton_, &QPushButton::clicked, this, &CResultView::OnExport);
    connect(openFolder, &QPushButton::clicked, this, &CResultView::OnOpenFolder);
    connect(choose, &QPushButton::clicked, this, &CResultView::OnChooseHeightMap);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
}

void CResultView::ShowJobResult(const JobResult& result, const QString& terrainNote)
{
    terrainNote_ = terrainNote;
    Load(result.heightMap, result.texture, result.quad,
         {result.heightMap, result.texture, result.firstParameterFile, result.secondParameterFile});
}

bool CResultView::OpenHeightMap(const std::string& heightMap)
{
    const std::string texture = TextureBesideHeightMap(heightMap);
    terrainNote_.clear();  // where another file's heights came from is not known
    // The quad needs the width, which only the file tells; Load reads it.
    return Load(heightMap, texture, std::nullopt, FilesBeside(heightMap, texture));
}

bool CResultView::Load(const std::string& heightMap, const std::string& texture, const std::optional<Quad>& quad,
                       std::vector<std::string> files)
{
    std::string error;
    ResultPreview preview;
    if (!MakeResultPreview(heightMap, texture, quad, kPictureSide, preview, error)) {
        range_->setText(FromStd(error));
        return false;
    }
    heightMap_ = heightMap;
    texture_ = texture;
    quad_ = quad ? quad : FindQuadOfHeightMap(heightMap, preview.columns);
    preview_ = std::move(preview);
    resultFiles_ = std::move(files);

    title_->setText(QStringLiteral("<b>%1</b> — %2 × %3 posts")
                        .arg(FromStd(heightMap).toHtmlEscaped())
                        .arg(preview_.columns)
                        .arg(preview_.rows));
    const QLocale locale(QLocale::English);
    const HeightRange& range = preview_.range;
    range_->setText(range.Empty() ? QStringLiteral("No heights: every post is a void.")
                                  : QStringLiteral("Heights %1 m to %2 m; %3 %4 left.")
                                        .arg(range.minimum)
                                        .arg(range.maximum)
                                        .arg(locale.toString(range.voids))
                                        .arg(QString::fromLatin1(range.voids == 1 ? "void" : "voids")) +
                                        (terrainNote_.isEmpty() ? QString() : QStringLiteral("\n") + terrainNote_));
    reliefPicture_->setPixmap(QPixmap::fromImage(preview_.relief.scaled(kPictureSide, kPictureSide, Qt::KeepAspectRatio)));
    if (preview_.texture.isNull())
        texturePicture_->setText(QStringLiteral("No texture beside the height map."));
    else
        texturePicture_->setPixmap(QPixmap::fromImage(preview_.texture));
    formats_.back()->setEnabled(!texture_.empty());
    ShowQuad();
    ShowFiles();
    exportStatus_->clear();
    return true;
}

void CResultView::ShowQuad()
{
    if (!quad_) {
        north_->setText(QStringLiteral("Quad unknown: no sidecar and no coordinate name"));
        for (QLabel* edge : {south_, west_, east_})
            edge->clear();
        return;
    }
    north_->setText(QStringLiteral("North ") + Degrees(quad_->top, 'N', 'S'));
    south_->setText(QStringLiteral("South ") + Degrees(quad_->bottom, 'N', 'S'));
    west_->setText(QStringLiteral("West\n") + Degrees(quad_->left, 'E', 'W'));
    east_->setText(QStringLiteral("East\n") + Degrees(quad_->right, 'E', 'W'));
}

void CResultView::ShowFiles()
{
    std::vector<std::string> files = resultFiles_;
    const ExportFileNames exports = ExportNamesFor(heightMap_);
    for (const std::string& file : {exports.png16, exports.geoTiff, exports.raw16, exports.sidecar, exports.texturePng})
        files.push_back(file);
    files_->clear();
    const QLocale locale(QLocale::English);
    for (const std::string& file : files) {
        std::error_code error;
        const auto size = fs::file_size(file, error);
        if (error)
            continue;
        auto* item = new QTreeWidgetItem(files_, {FromStd(fs::path(file).filename().string()),
                                                  locale.toString(static_cast<qulonglong>(size)) + " bytes"});
        item->setToolTip(0, FromStd(file));
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    }
}

void CResultView::OnExport()
{
    if (heightMap_.empty())
        return;
    ExportRequest request;
    request.heightMap = heightMap_;
    request.texture = texture_;
    request.quad = quad_;
    for (size_t i = 0; i < formats_.size(); ++i)
        if (formats_[i]->isChecked() && formats_[i]->isEnabled())
            request.formats.push_back(kAllExportFormats[i]);
    if (request.formats.empty()) {
        exportStatus_->setText(QStringLiteral("Choose at least one format."));
        return;
    }
    ForwardingLog log(log_);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const int result = ExportResult(request, log);
    QApplication::restoreOverrideCursor();
    QStringList lines;
    for (const std::string& line : log.Lines())
        lines << FromStd(line);
    exportStatus_->setText(result == 0 ? QStringLiteral("Exported %1 files.").arg(lines.size()) : lines.join('\n'));
    ShowFiles();
}

void CResultView::OnOpenFolder()
{
    if (!heightMap_.empty())
        OpenExternally(this, QUrl::fromLocalFile(FromStd(fs::path(heightMap_).parent_path().string())));
}

void CResultView::OnChooseHeightMap()
{
    const QString start = heightMap_.empty() ? QString() : FromStd(fs::path(heightMap_).parent_path().string());
    const QString chosen = QFileDialog::getOpenFileName(this, QStringLiteral("Open height map"), start,
                                                        QStringLiteral("Height maps (*_el.tga);;TGA files (*.tga)"));
    if (!chosen.isEmpty())
        OpenHeightMap(chosen.toStdString());
}
