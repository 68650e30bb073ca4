#include "ui/CActivityList.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyledItemDelegate>

#include <algorithm>

namespace {

// Lays every line out as wide as the list's horizontal extent. The list
// takes one size for all its lines, that of the first; left to itself it
// would make later, longer lines only as wide as the viewport and cut them.
class WholeLineDelegate : public QStyledItemDelegate {
public:
    explicit WholeLineDelegate(CActivityList& list)
        : QStyledItemDelegate(&list)
        , list_(list)
    {
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setWidth(std::max(size.width(), list_.HorizontalExtent()));
        return size;
    }

private:
    CActivityList& list_;
};

} // namespace

CActivityList::CActivityList(QWidget* parent)
    : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSortingEnabled(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setUniformItemSizes(true);
    setTextElideMode(Qt::ElideNone);
    setItemDelegate(new WholeLineDelegate(*this));
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

void CActivityList::mousePressEvent(QMouseEvent* event)
{
    QListWidgetItem* pressed = itemAt(event->position().toPoint());
    const bool wasSelected = pressed && pressed->isSelected();
    QListWidget::mousePressEvent(event);
    // Clicking the selected line changes no selection, yet it is the user's
    // pick all the same: the only way to pick a line that is selected
    // already, like a single candidate that its append selected.
    if (wasSelected && pressed->isSelected() && event->button() == Qt::LeftButton)
        emit userSelectionChanged();
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
