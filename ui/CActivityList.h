#pragma once

#include <QListWidget>

// The activity log's list: unsorted lines, scroll bars (the horizontal one
// always shown), single selection.
//
// The horizontal scroll range follows the widest line added so far, measured
// in pixels with the list's font, plus 6; it never shrinks. Every line is
// laid out that wide and drawn whole, so scrolling right shows the ends of
// long lines. Each append selects the last line and scrolls it into view
// without emitting userSelectionChanged(), which reports only the user's
// own picks: selection changes by mouse or keyboard, and a click on the
// line that is selected already. GUI thread only: the window marshals lines
// from other threads here, which also keeps appends from interleaving.
class CActivityList : public QListWidget {
    Q_OBJECT

public:
    explicit CActivityList(QWidget* parent = nullptr);

    void AddLine(const QString& line);
    QStringList Lines() const;

    int WidestLine() const { return widestLine_; }
    int HorizontalExtent() const { return widestLine_ + 6; }

signals:
    void userSelectionChanged();

protected:
    void updateGeometries() override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    int widestLine_ = 0;
    bool selectingLastLine_ = false;
};
