#include "ui/CActivityList.h"

#include <QFontMetrics>
#include <QScrollBar>

#include <algorithm>

CActivityList::CActivityList(QWidget* parent)
    : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSortingEnabled(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setUniformItemSizes(true);
    connect(this, &QListWidget::itemSelectionChanged, this, [this] {
        if (!selectingLastLine_)
            emit userSelectionChanged();
    });
}

void CActivityList::AddLine(const QString& line)
{
    const int width = QFontMetrics(font()).horizontalAdvance(line);
    if (width > widestLine_)
        widestLine_ = width;
    addItem(line);
    selectingLastLine_ = true;
    setCurrentRow(count() - 1);
    selectingLastLine_ = false;
    scrollToItem(item(count() - 1));
    updateGeometries();
}

QStringList CActivityList::Lines() const
{
    QStringList lines;
    lines.reserve(count());
    for (int row = 0; row < count(); ++row)
        lines << item(row)->text();
    return lines;
}

void CActivityList::updateGeometries()
{
    QListWidget::updateGeometries();
    // The range covers the widest line + 6 pixels, like a list box's
    // horizontal extent, however wide the items themselves are laid out.
    QScrollBar* bar = horizontalScrollBar();
    bar->setRange(0, std::max(0, HorizontalExtent() - viewport()->width()));
    bar->setPageStep(viewport()->width());
}
