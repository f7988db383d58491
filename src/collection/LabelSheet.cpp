#include "collection/LabelSheet.h"

#include "collection/Collection.h"
#include "core/CardVocabulary.h"
#include "core/Log.h"
#include "core/NameTranslator.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPen>
#include <QPrinter>

#include <algorithm>

namespace pv {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("pv", text);
}

// Room between a label's edge (or border) and its text, in inches.
constexpr double textInsetXIn = 0.05;
constexpr double textInsetYIn = 0.035;
// The card name line is set larger than the body lines.
constexpr double titleScale = 14.0 / 11.0;

QString inches(double value)
{
    return QString::number(value, 'f', 2);
}

} // namespace

QList<LabelRecord> labelRecordsForCollection(const Collection &collection)
{
    QList<LabelRecord> records;
    qint64 wanted = 0;
    for (const CardEntry &entry : collection.entries()) {
        if (!entry.printLabel || entry.count < 1)
            continue;
        wanted += entry.count;
        if (records.size() >= maxLabelRecords)
            continue;
        LabelRecord record;
        if (collection.hasSet(entry.lang, entry.setId)) {
            const SetRecord set = collection.setInfo(entry.lang, entry.setId);
            record.set = NameTranslator::translateSetName(set.language, set.id, set.name);
            if (set.releaseDate.isValid())
                record.year = QString::number(set.releaseDate.year());
        } else {
            record.set = entry.setId.toUpper();
        }
        record.cardName = NameTranslator::displayName(entry.lang, entry.cardId, entry.name);
        record.number = entry.localId;
        record.rarity = entry.rarity;
        record.condition = conditionShortCode(entry.condition);
        const qsizetype copies = std::min<qint64>(entry.count, maxLabelRecords - records.size());
        for (qsizetype i = 0; i < copies; ++i)
            records.append(record);
    }
    if (wanted > maxLabelRecords) {
        Log::warn(QStringLiteral("labels"),
                  QStringLiteral("%1 labels were asked for; only the first %2 are printed.")
                      .arg(wanted)
                      .arg(maxLabelRecords));
    }
    return records;
}

QString validateLabelStyle(const LabelSheetGeometry &geometry)
{
    if (geometry.columns < 1 || geometry.rows < 1)
        return tr(QT_TRANSLATE_NOOP("pv", "A sheet needs at least one row and one column."));
    const QSizeF page = labelPageSizeInches(geometry.pageSize);
    const double across = (geometry.columns - 1) * geometry.pitchXIn + geometry.marginLeftIn + geometry.labelWidthIn;
    if (across > page.width() + 0.001)
        return tr(QT_TRANSLATE_NOOP("pv", "The columns span %1in, which is wider than the %2in page."))
            .arg(inches(across), inches(page.width()));
    const double down = (geometry.rows - 1) * geometry.pitchYIn + geometry.marginTopIn + geometry.labelHeightIn;
    if (down > page.height() + 0.001)
        return tr(QT_TRANSLATE_NOOP("pv", "The rows span %1in, which is taller than the %2in page."))
            .arg(inches(down), inches(page.height()));
    if (geometry.labelWidthIn > geometry.pitchXIn + 0.001 || geometry.labelHeightIn > geometry.pitchYIn + 0.001)
        return tr(QT_TRANSLATE_NOOP("pv", "The labels overlap: a pitch is smaller than the label it steps over."));
    return QString();
}

int labelPageCount(int count, const LabelSheetGeometry &geometry)
{
    const qint64 perPage = qint64(geometry.columns) * qint64(geometry.rows);
    if (count < 1 || perPage < 1)
        return 0;
    return int((qint64(count) - 1 + perPage) / perPage);
}

void configurePrinterForLabels(QPrinter &printer, const LabelSheetGeometry &geometry)
{
    printer.setPageSize(QPageSize(geometry.pageSize == LabelSheetGeometry::A4 ? QPageSize::A4
                                                                               : QPageSize::Letter));
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setFullPage(true);
}

bool paintLabelSheet(QPagedPaintDevice &device, const QList<LabelRecord> &records, const LabelStyle &style,
                     bool drawGuides)
{
    const LabelSheetGeometry &geometry = style.geometry;
    if (records.isEmpty())
        return true;
    const int pages = labelPageCount(int(records.size()), geometry);
    if (pages < 1)
        return false;
    QPainter painter(&device);
    if (!painter.isActive())
        return false;
    painter.setPen(Qt::black);
    for (int page = 0; page < pages; ++page) {
        if (page > 0 && !device.newPage()) {
            painter.end();
            return false;
        }
        paintLabelPage(painter, device, records, page, style, drawGuides);
    }
    return painter.end();
}

void paintLabelPage(QPainter &painter, QPaintDevice &device, const QList<LabelRecord> &records,
                    int pageIndex, const LabelStyle &style, bool drawGuides)
{
    const LabelSheetGeometry &g = style.geometry;
    const qint64 perPage = qint64(g.columns) * qint64(g.rows);
    if (perPage < 1 || pageIndex < 0)
        return;
    const qint64 first = qint64(pageIndex) * perPage;
    if (first >= records.size())
        return;
    const qint64 last = std::min<qint64>(first + perPage, records.size());
    const double dpiX = device.logicalDpiX();
    const double dpiY = device.logicalDpiY();
    for (qint64 i = first; i < last; ++i) {
        const qint64 slot = i - first;
        const qint64 row = slot / g.columns;
        const qint64 column = slot % g.columns;
        const QRectF cell(dpiX * (g.marginLeftIn + column * g.pitchXIn), dpiY * (g.marginTopIn + row * g.pitchYIn),
                          dpiX * g.labelWidthIn, dpiY * g.labelHeightIn);
        painter.save();
        painter.setClipRect(cell, Qt::ReplaceClip);
        if (drawGuides) {
            painter.save();
            painter.setPen(QPen(QColor(0, 0, 0, 60), 0));
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(cell);
            painter.restore();
        }
        paintLabel(painter, device, cell, records.at(i), style);
        painter.restore();
    }
}

void paintLabel(QPainter &painter, QPaintDevice &device, const QRectF &cell, const LabelRecord &record,
                const LabelStyle &style)
{
    const double dpiX = device.logicalDpiX();
    const double dpiY = device.logicalDpiY();

    double inset = 0.0;
    if (style.borderEnabled && style.borderWidthIn > 0) {
        const double bx = dpiX * style.borderWidthIn;
        const double by = dpiY * style.borderWidthIn;
        const QRectF border = cell.adjusted(bx / 2, by / 2, -bx / 2, -by / 2);
        if (border.width() > 0 && border.height() > 0) {
            const double radius = std::min(std::min(style.geometry.labelHeightIn, style.geometry.labelWidthIn) * 0.25,
                                           style.cornerRadiusIn);
            painter.save();
            painter.setRenderHint(QPainter::Antialiasing, true);
            QPen pen(style.borderColor, bx);
            pen.setJoinStyle(Qt::RoundJoin);
            painter.setPen(pen);
            painter.setBrush(Qt::NoBrush);
            painter.drawRoundedRect(border, dpiX * radius, dpiY * radius, Qt::AbsoluteSize);
            painter.restore();
            inset = style.borderWidthIn;
        }
    }

    const double dx = dpiX * (inset + textInsetXIn);
    const double dy = dpiY * (inset + textInsetYIn);
    const QRectF area = cell.adjusted(dx, dy, -dx, -dy);
    if (!(area.width() > 0) || !(area.height() > 0))
        return;

    QFont body = painter.font();
    body.setPointSizeF(style.textPointSize);
    body.setWeight(QFont::Normal);
    QFont title = painter.font();
    title.setPointSizeF(style.textPointSize * titleScale);
    title.setWeight(QFont::Bold);

    struct Line
    {
        QString text;
        const QFont *font;
    };
    QList<Line> lines;
    const QString first = joinNonEmpty({style.showSet ? record.set : QString(),
                                        style.showYear ? record.year : QString()});
    if (!first.isEmpty())
        lines.append({first, &body});
    if (style.showCardName && !record.cardName.isEmpty())
        lines.append({record.cardName, &title});
    const QString third = joinNonEmpty(
        {style.showNumber && !record.number.isEmpty() ? QStringLiteral("#") + record.number : QString(),
         style.showRarity ? record.rarity : QString(), style.showCondition ? record.condition : QString()});
    if (!third.isEmpty())
        lines.append({third, &body});
    if (lines.isEmpty())
        return;

    QList<double> heights;
    double total = 0.0;
    for (const Line &line : std::as_const(lines)) {
        const double height = QFontMetricsF(*line.font, &device).height();
        heights.append(height);
        total += height;
    }
    double top = area.top() + std::max(0.0, (area.height() - total) / 2);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QFontMetricsF metrics(*lines.at(i).font, &device);
        const QRectF box(area.left(), top, area.width(), heights.at(i));
        painter.setFont(*lines.at(i).font);
        painter.drawText(box, Qt::AlignLeft | Qt::AlignVCenter,
                         metrics.elidedText(lines.at(i).text, Qt::ElideRight, area.width()));
        top += heights.at(i);
    }
}

QString joinNonEmpty(const QStringList &parts)
{
    QStringList kept;
    for (const QString &part : parts) {
        if (!part.isEmpty())
            kept.append(part);
    }
    return kept.join(QStringLiteral(" \u00b7 "));
}

} // namespace pv
