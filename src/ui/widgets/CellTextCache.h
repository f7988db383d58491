#pragma once

#include <QColor>
#include <QFont>
#include <QHash>
#include <QList>
#include <QPointF>
#include <QSize>
#include <QStaticText>
#include <QString>

class QPainter;
class QStyle;
class QStyleOptionViewItem;
class QWidget;

namespace pv {

// Draws item view cells as their style draws them, but for the text, which
// is drawn from what the style drew the last time for a cell alike (text,
// font, size, state, palette, alignment, eliding, picture): where and in
// what colour it put each run, and each run's glyphs laid out once. Laying
// out a cell's text (eliding it, placing it, shaping it) is most of what a
// style spends on a cell, and a view paints the same cells again and again.
// A cell is alike when everything that places or colours its text is the
// same; its place in the view may differ. The style draws the cell's
// background, picture, check box and focus frame each time, without the
// text: only cells whose frame does not depend on their text (shown with
// the decoration selected, not wrapped, not edited) take that way, the rest
// are drawn by the style whole. GUI thread only.
class CellTextCache
{
public:
    CellTextCache();
    ~CellTextCache();

    void draw(QPainter *painter, const QStyleOptionViewItem &option, const QStyle *style);
    // What was drawn before is forgotten (another style, style sheet or
    // palette).
    void clear();
    // Whether a cell would be drawn with its text from the cache.
    static bool takesCache(const QStyleOptionViewItem &option);

private:
    struct Key
    {
        const QWidget *widget = nullptr;
        QString text;
        QFont font;
        QSize size;
        QSize decorationSize;
        qint64 palette = 0;
        int state = 0;
        int features = 0;
        int alignment = 0;
        int elide = 0;
        int direction = 0;
        int decoration = 0; // position, alignment and whether there is a picture
        int checkState = 0;
        int position = 0;
        // The screen's: the same font is laid out anew on another.
        int dpi = 0;
        int ratio = 0;
        bool operator==(const Key &other) const;
    };
    friend size_t qHash(const Key &key, size_t seed);

    // One run of text the style drew, placed from the cell's top left.
    struct Run
    {
        QPointF topLeft;
        QColor color;
        QFont font;
        QStaticText text;
        // The run reaches past the cell, which the style clips it to.
        bool clipped = false;
    };

    static Key keyOf(const QStyleOptionViewItem &option);
    // The runs the style draws for the cell, drawn at the origin.
    static QList<Run> record(const QStyleOptionViewItem &option, const QStyle *style);

    QHash<Key, QList<Run>> m_runs;
};

} // namespace pv
