#pragma once

#include "ui/widgets/CellTextCache.h"

#include <QColor>
#include <QFont>
#include <QHash>
#include <QList>
#include <QStyledItemDelegate>

#include <utility>

namespace pv {

// Paints the name column of the collection tree: after a group row's name it
// draws the row's suffix (release date, card count, progress, value) in a
// dimmed italic, the set's completion progress in bold italic, coloured by
// how complete the set is. Rows without a suffix are painted as a plain
// styled delegate paints them, but that a card row's printing and condition
// take a short form where their column is narrow (CellForms). A cell's size
// hint is that of what it draws: in the option's rectangle when it has one,
// else in its column as the view has it.
// A row's height never depends on its text or picture: it is that of one
// line in the row's font, measured once per font (and again when the view's
// style or the application's style sheet changes), and a set logo is scaled
// into that line. So every row of the tree can have one height, and the view
// never lays out the text of rows it does not show to place the ones it does.
class CollectionTreeDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    // One piece of the suffix; an invalid colour stands for the dimmed text
    // colour.
    struct Run
    {
        QString text;
        QFont font;
        QColor color;
    };

    explicit CollectionTreeDelegate(QObject *parent = nullptr);
    ~CollectionTreeDelegate() override;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    // A cell cut short shows its whole text in its tool tip, above the
    // row's own.
    bool helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                   const QModelIndex &index) override;

    static QFont runFont(const QFont &itemFont, bool highlighted);
    static QColor progressColor(int percent);
    // Two spaces and the row's suffix, or empty.
    static QString suffixText(const QModelIndex &index);
    static QList<Run> layoutRuns(const QModelIndex &index, const QFont &itemFont);
    // The tool tip of the cell in that rectangle: its whole text when the
    // cell cuts it short, followed by the row's tool tip.
    QString toolTip(const QStyleOptionViewItem &option, const QModelIndex &index) const;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;

private:
    // The option's style; what was measured in another style, or under
    // another application style sheet, is forgotten.
    const QStyle *styleOf(const QStyleOptionViewItem &option) const;
    // The width a cell needs for a text, as the option's style frames it:
    // measured once per view, font and text, as the cells in view are painted
    // and their columns fitted again and again.
    int textWidth(const QStyleOptionViewItem &option, const QString &text) const;
    // The height of a row in the option's font and style.
    int rowHeight(const QStyleOptionViewItem &option) const;

    mutable QList<std::pair<QFont, int>> m_rowHeights;
    struct Widths
    {
        const QWidget *view = nullptr;
        QFont font;
        QHash<QString, int> widths;
    };
    mutable QList<Widths> m_widths;
    // The cells' texts as the style last laid them out.
    mutable CellTextCache m_texts;
    mutable const QStyle *m_style = nullptr;
    mutable QString m_styleSheet;
};

} // namespace pv
