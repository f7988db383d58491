#include "ui/widgets/CollectionTreeColumns.h"

#include "ui/models/CollectionTreeModel.h"
#include "ui/widgets/CollectionTreeView.h"

#include <QEvent>
#include <QHeaderView>
#include <QScrollBar>
#include <QTimer>
#include <QTreeView>

#include <algorithm>

namespace pv {

namespace {

// Rows looked at for the widths: those in view, and never more than these.
constexpr int maxRowsMeasured = 200;

bool mayBeCutShort(int column)
{
    switch (column) {
    case CollectionTreeModel::NameColumn:
    case CollectionTreeModel::RarityColumn:
    case CollectionTreeModel::PrintingColumn:
    case CollectionTreeModel::ConditionColumn:
        return true;
    default:
        return false;
    }
}

int depthOf(QModelIndex index)
{
    int depth = 0;
    while ((index = index.parent()).isValid())
        ++depth;
    return depth;
}

} // namespace

CollectionTreeColumns::CollectionTreeColumns(QTreeView *view)
    : QObject(view)
    , m_view(view)
    , m_pending(new QTimer(this))
{
    m_pending->setSingleShot(true);
    m_pending->setInterval(0);
    connect(m_pending, &QTimer::timeout, this, &CollectionTreeColumns::fit);

    QHeaderView *header = view->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::Fixed);
    view->installEventFilter(this);
    view->viewport()->installEventFilter(this);
    const auto later = [this] { fitLater(); };
    const auto anew = [this] {
        m_widest.clear();
        fitLater();
    };
    connect(view, &QTreeView::expanded, this, later);
    connect(view, &QTreeView::collapsed, this, later);
    connect(view->verticalScrollBar(), &QScrollBar::valueChanged, this, later);
    if (QAbstractItemModel *model = view->model()) {
        connect(model, &QAbstractItemModel::modelReset, this, anew);
        connect(model, &QAbstractItemModel::layoutChanged, this, later);
        connect(model, &QAbstractItemModel::rowsInserted, this, later);
        connect(model, &QAbstractItemModel::rowsRemoved, this, later);
        connect(model, &QAbstractItemModel::dataChanged, this, later);
        connect(model, &QAbstractItemModel::headerDataChanged, this, anew);
    }
    fitLater();
}

CollectionTreeColumns::~CollectionTreeColumns() = default;

QList<ColumnWidths::Column> CollectionTreeColumns::measure()
{
    const QHeaderView *header = m_view->header();
    const int count = header->count();
    // What rows in view asked for stays asked for until the rows are made
    // anew, so that the columns hold still while the view scrolls.
    QList<int> &widest = m_widest;
    widest.resize(count, 0);
    for (int column = 0; column < count; ++column)
        widest[column] = std::max(widest.at(column), header->sectionSizeHint(column));

    // Card rows in view; the group rows are drawn across the whole row.
    const int indentation = m_view->indentation();
    const int bottom = m_view->viewport()->height();
    QModelIndex row = m_view->indexAt(QPoint(0, 0)).siblingAtColumn(0);
    for (int seen = 0; row.isValid() && seen < maxRowsMeasured; ++seen, row = m_view->indexBelow(row)) {
        if (m_view->visualRect(row).top() >= bottom)
            break;
        if (CollectionTreeView::isGroupRow(row))
            continue;
        for (int column = 0; column < count; ++column) {
            int width = m_view->sizeHintForIndex(row.siblingAtColumn(column)).width();
            if (column == 0)
                width += (depthOf(row) + (m_view->rootIsDecorated() ? 1 : 0)) * indentation;
            widest[column] = std::max(widest[column], width);
        }
    }

    // Two letters and an ellipsis; a card name sits three levels deep,
    // below the root's branch marks.
    const int textLeast = ColumnWidths::cellWidth(m_view, QStringLiteral("Mm\u2026"));
    const int nameLeast = textLeast + 4 * indentation;
    QList<ColumnWidths::Column> columns;
    for (int column = 0; column < count; ++column) {
        const int wanted = widest.at(column);
        if (column == CollectionTreeModel::NameColumn) // it tells the cards apart: two shares
            columns.append({wanted, std::min(wanted, nameLeast), 2, 4 * indentation});
        else
            columns.append({wanted, mayBeCutShort(column) ? std::min(wanted, textLeast) : wanted});
    }
    return columns;
}

void CollectionTreeColumns::fit()
{
    m_pending->stop();
    QHeaderView *header = m_view->header();
    if (header->count() == 0)
        return;
    const QList<int> widths =
        ColumnWidths::share(measure(), m_view->viewport()->width(), CollectionTreeModel::NameColumn);
    for (int column = 0; column < widths.size(); ++column) {
        if (header->sectionSize(column) != widths.at(column))
            header->resizeSection(column, widths.at(column));
    }
}

void CollectionTreeColumns::fitLater()
{
    if (!m_pending->isActive())
        m_pending->start();
}

bool CollectionTreeColumns::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::Resize:
        if (watched == m_view->viewport())
            fitLater();
        break;
    case QEvent::FontChange:
    case QEvent::StyleChange:
        m_widest.clear();
        fitLater();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace pv
