// The label style's place in the settings file: the user's default sheet and
// the custom sheet they last set up, kept apart so selecting the preset does
// not lose the custom layout.
#include "collection/LabelStyle.h"

#include "core/AppSettings.h"

#include <QVariant>

#include <algorithm>
#include <cmath>

namespace pv {

namespace {

const QString templateKey = QStringLiteral("labels/template");
const QString customGroup = QStringLiteral("labels/custom/");

// A number that does not convert, or converts to NaN or an infinity, is
// unreadable and takes the default; anything else is clamped.
double readDouble(const QSettings &settings, const QString &key, double fallback, double low, double high)
{
    bool ok = false;
    const double value = settings.value(key).toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return fallback;
    return std::clamp(value, low, high);
}

int readInt(const QSettings &settings, const QString &key, int fallback, int low, int high)
{
    bool ok = false;
    const int value = settings.value(key).toInt(&ok);
    if (!ok)
        return fallback;
    return std::clamp(value, low, high);
}

bool isTrimmedEqual(const QVariant &value, const char *word)
{
    return value.toString().trimmed().compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

LabelSheetGeometry readCustom(const QSettings &s)
{
    const LabelSheetGeometry preset = defaultLabelSheetGeometry();
    LabelSheetGeometry g;
    g.pageSize = isTrimmedEqual(s.value(customGroup + QLatin1String("pageSize")), "a4") ? LabelSheetGeometry::A4
                                                                                        : LabelSheetGeometry::Letter;
    g.columns = readInt(s, customGroup + QLatin1String("columns"), preset.columns, 1, 20);
    g.rows = readInt(s, customGroup + QLatin1String("rows"), preset.rows, 1, 60);
    const auto length = [&s](const char *key, double fallback) {
        return readDouble(s, customGroup + QLatin1String(key), fallback, 0.1, 11.0);
    };
    g.labelWidthIn = length("labelWidthIn", preset.labelWidthIn);
    g.labelHeightIn = length("labelHeightIn", preset.labelHeightIn);
    g.marginLeftIn = length("marginLeftIn", preset.marginLeftIn);
    g.marginTopIn = length("marginTopIn", preset.marginTopIn);
    g.pitchXIn = length("pitchXIn", preset.pitchXIn);
    g.pitchYIn = length("pitchYIn", preset.pitchYIn);
    return g;
}

} // namespace

LabelStyle LabelStyle::fromSettings()
{
    const AppSettings s;
    LabelStyle style;
    if (isTrimmedEqual(s.value(templateKey), "custom")) {
        style.sheetTemplate = Custom;
        style.geometry = readCustom(s);
    } else {
        style.sheetTemplate = Avery8195;
        style.geometry = defaultLabelSheetGeometry();
    }
    style.showSet = s.value(QStringLiteral("labels/show/set"), true).toBool();
    style.showYear = s.value(QStringLiteral("labels/show/year"), true).toBool();
    style.showCardName = s.value(QStringLiteral("labels/show/cardName"), true).toBool();
    style.showNumber = s.value(QStringLiteral("labels/show/number"), true).toBool();
    style.showRarity = s.value(QStringLiteral("labels/show/rarity"), true).toBool();
    style.showCondition = s.value(QStringLiteral("labels/show/condition"), true).toBool();
    style.borderEnabled = s.value(QStringLiteral("labels/border/enabled"), true).toBool();
    const QColor color(s.value(QStringLiteral("labels/border/color")).toString().trimmed());
    style.borderColor = color.isValid() ? color : LabelStyle().borderColor;
    style.borderWidthIn = readDouble(s, QStringLiteral("labels/border/widthIn"), LabelStyle().borderWidthIn, 0.004, 0.06);
    style.textPointSize = readDouble(s, QStringLiteral("labels/text/pointSize"), LabelStyle().textPointSize, 3.0, 16.0);
    return style;
}

LabelSheetGeometry LabelStyle::readCustomGeometry()
{
    const AppSettings s;
    return readCustom(s);
}

void LabelStyle::toSettings(const LabelStyle &style, const LabelSheetGeometry &custom)
{
    AppSettings s;
    s.setValue(templateKey, style.sheetTemplate == Custom ? QStringLiteral("custom") : QStringLiteral("avery8195"));
    s.setValue(customGroup + QLatin1String("pageSize"),
               custom.pageSize == LabelSheetGeometry::A4 ? QStringLiteral("a4") : QStringLiteral("letter"));
    s.setValue(customGroup + QLatin1String("columns"), custom.columns);
    s.setValue(customGroup + QLatin1String("rows"), custom.rows);
    s.setValue(customGroup + QLatin1String("labelWidthIn"), custom.labelWidthIn);
    s.setValue(customGroup + QLatin1String("labelHeightIn"), custom.labelHeightIn);
    s.setValue(customGroup + QLatin1String("marginLeftIn"), custom.marginLeftIn);
    s.setValue(customGroup + QLatin1String("marginTopIn"), custom.marginTopIn);
    s.setValue(customGroup + QLatin1String("pitchXIn"), custom.pitchXIn);
    s.setValue(customGroup + QLatin1String("pitchYIn"), custom.pitchYIn);
    s.setValue(QStringLiteral("labels/show/set"), style.showSet);
    s.setValue(QStringLiteral("labels/show/year"), style.showYear);
    s.setValue(QStringLiteral("labels/show/cardName"), style.showCardName);
    s.setValue(QStringLiteral("labels/show/number"), style.showNumber);
    s.setValue(QStringLiteral("labels/show/rarity"), style.showRarity);
    s.setValue(QStringLiteral("labels/show/condition"), style.showCondition);
    s.setValue(QStringLiteral("labels/border/enabled"), style.borderEnabled);
    s.setValue(QStringLiteral("labels/border/color"), style.borderColor.name(QColor::HexRgb));
    s.setValue(QStringLiteral("labels/border/widthIn"), style.borderWidthIn);
    s.setValue(QStringLiteral("labels/text/pointSize"), style.textPointSize);
}

} // namespace pv
