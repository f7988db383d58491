#pragma once

#include "collection/LabelStyle.h"

#include <QList>
#include <QRectF>
#include <QString>
#include <QStringList>

class QPagedPaintDevice;
class QPaintDevice;
class QPainter;
class QPrinter;

namespace pv {

class Collection;

// The texts of one label.
struct LabelRecord
{
    QString set;
    QString year;
    QString cardName;
    QString number;
    QString rarity;
    QString condition;
};

// No sheet run holds more labels than this; a collection asking for more is
// cut here with a warning in the log.
constexpr int maxLabelRecords = 100000;

// One record per physical card of every holding on the label sheet, in
// collection order.
QList<LabelRecord> labelRecordsForCollection(const Collection &collection);

// Empty when the sheet fits its page; else one message saying what does not.
QString validateLabelStyle(const LabelSheetGeometry &geometry);

// Sheets needed for count labels: 0 for no labels or an empty grid.
int labelPageCount(int count, const LabelSheetGeometry &geometry);

// Letter or A4 paper, portrait, full-page so the sheet's margins are measured
// from the paper's edge.
void configurePrinterForLabels(QPrinter &printer, const LabelSheetGeometry &geometry);

// Paints every record, one sheet per page. Returns false when the device
// could not be painted on (no painter, a failed new page or end), so callers
// can report a failed print or export; painting no records succeeds.
bool paintLabelSheet(QPagedPaintDevice &device, const QList<LabelRecord> &records, const LabelStyle &style,
                     bool drawGuides);
void paintLabelPage(QPainter &painter, QPaintDevice &device, const QList<LabelRecord> &records,
                    int pageIndex, const LabelStyle &style, bool drawGuides);
void paintLabel(QPainter &painter, QPaintDevice &device, const QRectF &cell, const LabelRecord &record,
                const LabelStyle &style);

// The non-empty strings joined with " · ".
QString joinNonEmpty(const QStringList &parts);

} // namespace pv
