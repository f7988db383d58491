#pragma once

#include "core/ClockTimer.h"
#include "ui/widgets/ColumnWidths.h"

#include <QList>
#include <QObject>
#include <QString>

class QAbstractItemView;
class QHeaderView;

namespace pv {

// Fits the columns of a tree or table view to the view's width, the one
// fitting of the collection tree, the search dock's results and Add cards.
// Each column follows its rule: one that shows whole gives way only in its
// title, down to the width of its cells (the title then elided, whole in its
// tool tip); one with short forms takes the width that shows them whole;
// one that may be cut keeps a least width. Where room runs short the columns
// give way in the order of their rules' ranks; what is left over once all
// are whole widens the `rest` column.
//
// Widths come from the titles and the rows without children (a tree's card
// rows) in view, never from all rows: a view may hold half a million. The
// columns are fitted again, once the events in hand are done but before the
// window paints them, whenever the view's width, its rows in view or their
// texts change: a change and the widths it asks for show in one paint.
// While the view scrolls, a step or a page at a time (or its rows change in
// place), the columns only widen, for rows coming into view, so that they hold still (no
// column narrows but the one that takes what is left); once the view has
// rested a moment, jumped to an end, been sorted or reset, they are fitted to
// the rows in view alone, narrower too, and the order in which the columns
// give way holds for those rows. GUI thread only.
class ColumnFitter : public QObject
{
    Q_OBJECT

public:
    enum class Give {
        Title,  // the cells show whole, the title may be elided
        Forms,  // the cells may show their short forms (the delegate's)
        Cut,    // the cells may be cut short, down to the least text
        Narrow, // the cells may be cut short, down to the title's least
        Fixed,  // the column keeps `least` pixels
    };

    struct Rule
    {
        Give give = Give::Title;
        int rank = 0;
        int weight = 1;
        // Cut: the text (and the picture's width beside it) a column keeps
        // whole however narrow it is. Fixed: `least` alone, in pixels.
        QString leastText = QStringLiteral("Mm\u2026");
        int leastPicture = 0;
        int least = 0;
    };

    // Gives the view a header that elides its titles (ElidingHeaderView),
    // watches the view (which owns the fitting) and fits it once its events
    // are done. A tree's first column takes the depth of its rows as well.
    // The view has its model.
    ColumnFitter(QAbstractItemView *view, const QList<Rule> &rules, int rest);
    ~ColumnFitter() override;

    // Fits the columns now; true when a column's width changed.
    bool fit();

    // The fitter of a view, when it has one.
    static ColumnFitter *of(const QAbstractItemView *view);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // What the rows in view ask of each column.
    struct Needs
    {
        QList<int> widest;   // by column: the widest cell, whole
        QList<int> shortest; // by column: the widest cell in its shortest form
        int deepest = 0;     // the depth of the deepest row
    };

    Needs measureInView() const;
    QList<ColumnWidths::Column> columns(const Needs &needs) const;
    // Fits the columns to what `needs` asks; true when a width changed.
    bool apply(const Needs &needs);
    // Fits the columns to the rows in view alone.
    void settle();
    void fitLater();
    void forget();
    void watchModel();
    int titleWidth(const QString &text) const;

    QAbstractItemView *m_view = nullptr;
    QHeaderView *m_header = nullptr;
    QList<Rule> m_rules;
    int m_rest = -1;
    // A fit is posted and not yet done.
    bool m_fitDue = false;
    // The fitted widths are being given to the header.
    bool m_applying = false;
    // Runs once the view has rested from scrolling.
    ClockTimer *m_resting = nullptr;
    // What the columns are fitted to: the rows in view at the last full
    // fit, and any row seen in view since while the view scrolled a little.
    Needs m_fitted;
    bool m_fittedAnew = true; // the next fit starts from the rows in view
    int m_fittedAt = 0;       // the vertical scroll position then
    bool m_scrolling = false; // scrolled since the view last rested
};

} // namespace pv
