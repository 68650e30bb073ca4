#pragma once

#include "core/QuadGeometry.h"
#include "export/ResultPreview.h"

#include <QDialog>
#include <QString>

#include <optional>
#include <string>
#include <vector>

class LogSink;
class QCheckBox;
class QLabel;
class QPushButton;
class QTreeWidget;
struct JobResult;

// The result of a job at a glance: its texture beside a shaded relief of its
// height map, the height range and the voids left, the quad's edges, the
// files written with their sizes, the job folder, and the exports for other
// programs. Opens a finished job, or any height map "X_el.tga" with the
// texture beside it. Export lines go to `log` (the activity log).
class CResultView : public QDialog {
    Q_OBJECT

public:
    explicit CResultView(LogSink& log, QWidget* parent = nullptr);

    // `terrainNote`, when not empty, says where the heights came from (made-up
    // terrain is labelled as such) and stands beside the height range.
    void ShowJobResult(const JobResult& result, const QString& terrainNote = {});
    // False, with the reason shown in the view, when the file cannot be read.
    bool OpenHeightMap(const std::string& heightMap);

    const std::string& HeightMap() const { return heightMap_; }
    const ResultPreview& Preview() const { return preview_; }

    // Handlers, public so that tests can press them.
    void OnExport();
    void OnOpenFolder();
    void OnChooseHeightMap();

private:
    bool Load(const std::string& heightMap, const std::string& texture, const std::optional<Quad>& quad,
              std::vector<std::string> files);
    void ShowQuad();
    void ShowFiles();

    LogSink& log_;
    std::string heightMap_;
    std::string texture_;
    std::optional<Quad> quad_;
    std::vector<std::string> resultFiles_;
    ResultPreview preview_;

    QLabel* title_;
    QLabel* range_;
    QString terrainNote_;  // of the job result shown; empty for other height maps
    QLabel* texturePicture_;
    QLabel* reliefPicture_;
    QLabel* north_;
    QLabel* south_;
    QLabel* west_;
    QLabel* east_;
    QTreeWidget* files_;
    std::vector<QCheckBox*> formats_;
    QPushButton* exportButton_;
    QLabel* exportStatus_;
};
