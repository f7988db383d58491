#include "ui/widgets/CellTextCache.h"

#include <QHashFunctions>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTextItem>
#include <QWidget>

namespace pv {

namespace {

// Cells remembered at the most; past it they are drawn and remembered anew.
constexpr qsizetype MostCellsKept = 8192;

// Paints nothing: notes each run of text drawn on it, where and in what
// colour and font, as the device it stands in for (its resolution) would
// have it laid out.
class TextRecorder : public QPaintDevice, public QPaintEngine
{
public:
    struct Drawn
    {
        QPointF baseline;
        QColor color;
        QFont font;
        QString text;
        qreal ascent = 0;
        qreal descent = 0;
        qreal width = 0;
    };

    TextRecorder(const QWidget *like, QSize size)
        : QPaintEngine(QPaintEngine::AllFeatures)
        , m_like(like)
        , m_size(size)
    {
    }

    QList<Drawn> drawn;
    // The text was drawn transformed or see-through: only the style draws it
    // so.
    bool plain = true;

    QPaintEngine *paintEngine() const override { return const_cast<TextRecorder *>(this); }

    bool begin(QPaintDevice *) override { return true; }
    bool end() override { return true; }
    Type type() const override { return QPaintEngine::User; }
    void updateState(const QPaintEngineState &state) override
    {
        const QPaintEngine::DirtyFlags dirty = state.state();
        if (dirty & QPaintEngine::DirtyPen)
            m_color = state.pen().color();
        if (dirty & QPaintEngine::DirtyTransform)
            m_transformed = !state.transform().isIdentity();
        if (dirty & QPaintEngine::DirtyOpacity)
            m_seeThrough = state.opacity() < 1;
    }
    void drawTextItem(const QPointF &p, const QTextItem &item) override
    {
        plain = plain && !m_transformed && !m_seeThrough;
        drawn.append({p, m_color, item.font(), item.text(), item.ascent(), item.descent(), item.width()});
    }
    void drawRects(const QRect *, int) override { }
    void drawRects(const QRectF *, int) override { }
    void drawLines(const QLine *, int) override { }
    void drawLines(const QLineF *, int) override { }
    void drawEllipse(const QRectF &) override { }
    void drawEllipse(const QRect &) override { }
    void drawPath(const QPainterPath &) override { }
    void drawPoints(const QPointF *, int) override { }
    void drawPoints(const QPoint *, int) override { }
    void drawPolygon(const QPointF *, int, PolygonDrawMode) override { }
    void drawPolygon(const QPoint *, int, PolygonDrawMode) override { }
    void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override { }
    void drawTiledPixmap(const QRectF &, const QPixmap &, const QPointF &) override { }
    void drawImage(const QRectF &, const QImage &, const QRectF &, Qt::ImageConversionFlags) override { }

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth:
            return m_size.width();
        case PdmHeight:
            return m_size.height();
        case PdmWidthMM:
            return m_size.width() * 254 / (10 * dpiX());
        case PdmHeightMM:
            return m_size.height() * 254 / (10 * dpiY());
        case PdmNumColors:
            return 0;
        case PdmDepth:
            return 32;
        case PdmDpiX:
        case PdmPhysicalDpiX:
            return dpiX();
        case PdmDpiY:
        case PdmPhysicalDpiY:
            return dpiY();
        case PdmDevicePixelRatio:
            return qRound(ratio());
        case PdmDevicePixelRatioScaled:
            return qRound(ratio() * devicePixelRatioFScale());
        }
        return QPaintDevice::metric(metric);
    }

private:
    int dpiX() const { return m_like ? m_like->logicalDpiX() : 96; }
    int dpiY() const { return m_like ? m_like->logicalDpiY() : 96; }
    qreal ratio() const { return m_like ? m_like->devicePixelRatio() : 1.0; }

    const QWidget *m_like = nullptr;
    QSize m_size;
    QColor m_color;
    bool m_transformed = false;
    bool m_seeThrough = false;
};

} // namespace

bool CellTextCache::Key::operator==(const Key &other) const
{
    return widget == other.widget && size == other.size && state == other.state && features == other.features
        && alignment == other.alignment && elide == other.elide && direction == other.direction
        && decoration == other.decoration && decorationSize == other.decorationSize && checkState == other.checkState
        && position == other.position && dpi == other.dpi && ratio == other.ratio && palette == other.palette
        && text == other.text && font == other.font;
}

size_t qHash(const CellTextCache::Key &key, size_t seed)
{
    return qHashMulti(seed, key.text, key.font, key.size.width(), key.size.height(), key.state, key.features,
                      key.alignment, key.decoration, key.palette);
}

CellTextCache::CellTextCache() = default;

CellTextCache::~CellTextCache() = default;

void CellTextCache::clear()
{
    m_runs.clear();
}

bool CellTextCache::takesCache(const QStyleOptionViewItem &option)
{
    // Elsewhere the style frames the cell's text, and what is drawn around
    // it, by the text's own size.
    const QFont &font = option.font;
    return option.showDecorationSelected && (option.features & QStyleOptionViewItem::HasDisplay)
        && !(option.features & QStyleOptionViewItem::WrapText) && !(option.state & QStyle::State_Editing)
        && !option.text.isEmpty() && !font.underline() && !font.strikeOut() && !font.overline();
}

CellTextCache::Key CellTextCache::keyOf(const QStyleOptionViewItem &option)
{
    Key key;
    key.widget = option.widget;
    key.text = option.text;
    key.font = option.font;
    key.size = option.rect.size();
    key.decorationSize = option.decorationSize;
    key.palette = option.palette.cacheKey();
    key.state = int(option.state);
    key.features = int(option.features);
    key.alignment = int(option.displayAlignment);
    key.elide = int(option.textElideMode);
    key.direction = int(option.direction);
    key.decoration =
        int(option.decorationPosition) | int(option.decorationAlignment) << 2 | (option.icon.isNull() ? 0 : 1) << 20;
    key.checkState = int(option.checkState);
    key.position = int(option.viewItemPosition);
    if (option.widget) {
        key.dpi = option.widget->logicalDpiY();
        key.ratio = qRound(option.widget->devicePixelRatio() * 100);
    }
    return key;
}

QList<CellTextCache::Run> CellTextCache::record(const QStyleOptionViewItem &option, const QStyle *style)
{
    QStyleOptionViewItem cell(option);
    cell.rect.moveTopLeft(QPoint(0, 0));
    TextRecorder recorder(option.widget, cell.rect.size());
    {
        QPainter painter(&recorder);
        style->drawControl(QStyle::CE_ItemViewItem, &cell, &painter, option.widget);
    }
    if (!recorder.plain || recorder.drawn.isEmpty())
        return {};
    QList<Run> runs;
    runs.reserve(recorder.drawn.size());
    const QRectF bounds(cell.rect);
    for (const TextRecorder::Drawn &drawn : std::as_const(recorder.drawn)) {
        Run run;
        run.topLeft = drawn.baseline - QPointF(0, drawn.ascent);
        run.color = drawn.color;
        run.font = drawn.font;
        run.text.setTextFormat(Qt::PlainText);
        run.text.setText(drawn.text);
        run.text.prepare(QTransform(), drawn.font);
        const QRectF extent(run.topLeft, QSizeF(drawn.width, drawn.ascent + drawn.descent));
        run.clipped = !bounds.contains(extent);
        runs.append(run);
    }
    return runs;
}

void CellTextCache::draw(QPainter *painter, const QStyleOptionViewItem &option, const QStyle *style)
{
    if (!takesCache(option)) {
        style->drawControl(QStyle::CE_ItemViewItem, &option, painter, option.widget);
        return;
    }
    const Key key = keyOf(option);
    auto known = m_runs.constFind(key);
    if (known == m_runs.constEnd()) {
        if (m_runs.size() >= MostCellsKept)
            m_runs.clear();
        known = m_runs.insert(key, record(option, style));
    }
    // No run noted: the style draws the cell whole (its text transformed,
    // or none drawn at all).
    const QList<Run> &runs = known.value();
    if (runs.isEmpty()) {
        style->drawControl(QStyle::CE_ItemViewItem, &option, painter, option.widget);
        return;
    }
    QStyleOptionViewItem bare(option);
    bare.text.clear();
    bare.features &= ~QStyleOptionViewItem::HasDisplay;
    style->drawControl(QStyle::CE_ItemViewItem, &bare, painter, option.widget);

    const QPen pen = painter->pen();
    const QFont font = painter->font();
    const QPointF at = option.rect.topLeft();
    for (const Run &run : runs) {
        painter->setPen(run.color);
        painter->setFont(run.font);
        if (run.clipped) {
            painter->save();
            painter->setClipRect(option.rect, Qt::IntersectClip);
        }
        painter->drawStaticText(at + run.topLeft, run.text);
        if (run.clipped)
            painter->restore();
    }
    painter->setPen(pen);
    painter->setFont(font);
}

} // namespace pv
