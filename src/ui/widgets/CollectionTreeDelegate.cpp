#include "ui/widgets/CollectionTreeDelegate.h"

#include "ui/models/CollectionTreeModel.h"
#include "ui/widgets/CellForms.h"

#include <QApplication>
#include <QAbstractItemView>
#include <QFontMetrics>
#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

#include <algorithm>

namespace pv {

namespace {

// Widths remembered per font at the most; past it they are measured anew.
constexpr qsizetype MostWidthsKept = 4096;

int runsWidth(const QList<CollectionTreeDelegate::Run> &runs)
{
    int width = 0;
    for (const CollectionTreeDelegate::Run &run : runs)
        width += QFontMetrics(run.font).horizontalAdvance(run.text);
    return width;
}

} // namespace

CollectionTreeDelegate::CollectionTreeDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{
}

CollectionTreeDelegate::~CollectionTreeDelegate() = default;

QFont CollectionTreeDelegate::runFont(const QFont &itemFont, bool highlighted)
{
    QFont font(itemFont);
    font.setItalic(true);
    font.setWeight(highlighted ? QFont::Bold : QFont::Normal);
    return font;
}

QColor CollectionTreeDelegate::progressColor(int percent)
{
    if (percent >= 100)
        return QColor(90, 214, 125);
    if (percent > 75)
        return QColor(95, 176, 255);
    if (percent > 50)
        return QColor(255, 165, 58);
    if (percent > 25)
        return QColor(255, 255, 255);
    return QColor();
}

QString CollectionTreeDelegate::suffixText(const QModelIndex &index)
{
    const QString suffix = index.data(CollectionTreeModel::NameSuffixRole).toString();
    return suffix.isEmpty() ? QString() : QStringLiteral("  ") + suffix;
}

QList<CollectionTreeDelegate::Run> CollectionTreeDelegate::layoutRuns(const QModelIndex &index,
                                                                      const QFont &itemFont)
{
    const QString suffix = suffixText(index);
    if (suffix.isEmpty())
        return {};
    const QFont normal = runFont(itemFont, false);
    const QString progress = index.data(CollectionTreeModel::NameProgressRole).toString();
    const qsizetype at = progress.isEmpty() ? -1 : suffix.indexOf(progress);
    if (at < 0)
        return {Run{suffix, normal, QColor()}};
    QList<Run> runs;
    if (at > 0)
        runs.append(Run{suffix.left(at), normal, QColor()});
    const int percent = index.data(CollectionTreeModel::NameProgressPercentRole).toInt();
    runs.append(Run{progress, runFont(itemFont, true), progressColor(percent)});
    const QString rest = suffix.mid(at + progress.size());
    if (!rest.isEmpty())
        runs.append(Run{rest, normal, QColor()});
    return runs;
}

void CollectionTreeDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                   const QModelIndex &index) const
{
    if (suffixText(index).isEmpty()) {
        const CellForms::Kind kind = CellForms::ofCollectionColumn(index.column());
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        // Where the room is short, a short form that still tells the copies apart.
        if (kind != CellForms::Kind::None)
            opt.text = CellForms::drawn(kind, opt.text, opt.rect.width(),
                                        [this, &opt](const QString &text) { return textWidth(opt, text); });
        m_texts.draw(painter, opt, styleOf(opt));
        return;
    }
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    QStyle *style = opt.widget ? opt.widget->style() : QApplication::style();

    const QList<Run> runs = layoutRuns(index, opt.font);
    const int suffixWidth = runsWidth(runs);

    QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, opt.widget);
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, opt.widget) + 1;
    textRect.adjust(margin, 0, -margin, 0);

    const QFontMetrics nameMetrics(opt.font);
    opt.text = nameMetrics.elidedText(opt.text, opt.textElideMode, qMax(0, textRect.width() - suffixWidth));
    m_texts.draw(painter, opt, styleOf(opt));

    QRect suffixRect = textRect;
    suffixRect.setLeft(textRect.left() + nameMetrics.horizontalAdvance(opt.text));
    if (suffixRect.width() < 1)
        return;

    const bool selected = opt.state & QStyle::State_Selected;
    QPalette::ColorGroup group = QPalette::Disabled;
    if (opt.state & QStyle::State_Enabled)
        group = (opt.state & QStyle::State_Active) ? QPalette::Active : QPalette::Inactive;
    QColor dimmed = opt.palette.color(group, selected ? QPalette::HighlightedText : QPalette::Text);
    dimmed.setAlphaF(0.65);

    painter->save();
    for (const Run &run : runs) {
        if (suffixRect.width() < 1)
            break;
        const QFontMetrics metrics(run.font);
        const QString text = metrics.elidedText(run.text, opt.textElideMode, suffixRect.width());
        painter->setPen(run.color.isValid() && !selected ? run.color : dimmed);
        painter->setFont(run.font);
        painter->drawText(suffixRect, Qt::AlignLeft | Qt::AlignVCenter, text);
        suffixRect.setLeft(suffixRect.left() + metrics.horizontalAdvance(text));
    }
    painter->restore();
}

QSize CollectionTreeDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyleOptionViewItem opt(option);
    initStyleOption(&opt, index);
    const auto width = [this, &opt](const QString &text) { return textWidth(opt, text); };
    const CellForms::Kind kind = CellForms::ofCollectionColumn(index.column());
    if (kind != CellForms::Kind::None && suffixText(index).isEmpty())
        return QSize(width(CellForms::drawn(kind, opt.text, CellForms::room(option, index), width)), rowHeight(opt));
    const int suffixWidth = suffixText(index).isEmpty() ? 0 : runsWidth(layoutRuns(index, opt.font));
    return QSize(width(opt.text) + suffixWidth, rowHeight(opt));
}

QString CollectionTreeDelegate::toolTip(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QString own = index.data(Qt::ToolTipRole).toString();
    const QString text = index.data(Qt::DisplayRole).toString();
    // A row with a suffix cuts its name short for the suffix, which says
    // what the tool tip would. A cell in a short form is not whole.
    QStyleOptionViewItem whole(option);
    whole.rect = QRect(0, 0, QWIDGETSIZE_MAX, 1);
    if (text.isEmpty() || !suffixText(index).isEmpty() || sizeHint(whole, index).width() <= option.rect.width())
        return own;
    return own.isEmpty() ? text : text + QLatin1Char('\n') + own;
}

bool CollectionTreeDelegate::helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                                       const QModelIndex &index)
{
    if (!event || !view || event->type() != QEvent::ToolTip || !index.isValid())
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const QString tip = toolTip(option, index);
    if (tip.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(event->globalPos(), tip, view->viewport(), option.rect);
    return true;
}

void CollectionTreeDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    // A picture taller than the line (a set's logo) is scaled into it.
    const int line = option->fontMetrics.height();
    if ((option->features & QStyleOptionViewItem::HasDecoration) && option->decorationSize.height() > line)
        option->decorationSize = option->decorationSize.scaled(QSize(QWIDGETSIZE_MAX, line), Qt::KeepAspectRatio);
}

const QStyle *CollectionTreeDelegate::styleOf(const QStyleOptionViewItem &option) const
{
    const QStyle *style = option.widget ? option.widget->style() : QApplication::style();
    const QString sheet = qApp->styleSheet();
    if (style != m_style || (sheet.constData() != m_styleSheet.constData() && sheet != m_styleSheet)) {
        m_rowHeights.clear();
        m_widths.clear();
        m_texts.clear();
        m_style = style;
        m_styleSheet = sheet;
    }
    return style;
}

int CollectionTreeDelegate::textWidth(const QStyleOptionViewItem &option, const QString &text) const
{
    const QStyle *style = styleOf(option);
    QStyleOptionViewItem cell(option);
    cell.text = text;
    const auto measure = [&] {
        return style->sizeFromContents(QStyle::CT_ItemViewItem, &cell, QSize(), option.widget).width();
    };
    // A picture, a check box or wrapping take more than the font and the
    // text into the width: such cells are measured each time.
    constexpr auto framed =
        QStyleOptionViewItem::HasDecoration | QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::WrapText;
    if (option.features & framed)
        return measure();
    // The view's own rules may frame its cells apart from another's.
    auto known = std::find_if(m_widths.begin(), m_widths.end(), [&option](const Widths &widths) {
        return widths.view == option.widget && widths.font == option.font;
    });
    if (known == m_widths.end())
        known = m_widths.insert(m_widths.end(), Widths{option.widget, option.font, {}});
    QHash<QString, int> &widths = known->widths;
    if (const auto width = widths.constFind(text); width != widths.constEnd())
        return width.value();
    if (widths.size() >= MostWidthsKept)
        widths.clear();
    const int width = measure();
    widths.insert(text, width);
    return width;
}

int CollectionTreeDelegate::rowHeight(const QStyleOptionViewItem &option) const
{
    const QStyle *style = styleOf(option);
    for (const auto &[font, height] : std::as_const(m_rowHeights))
        if (font == option.font)
            return height;
    // One line of text in the font, without a picture, as the style frames it.
    QStyleOptionViewItem line(option);
    line.features = QStyleOptionViewItem::HasDisplay;
    line.text = QStringLiteral("Xg");
    line.icon = QIcon();
    line.rect = QRect();
    const int height = style->sizeFromContents(QStyle::CT_ItemViewItem, &line, QSize(), option.widget).height();
    m_rowHeights.append({option.font, height});
    return height;
}

} // namespace pv
