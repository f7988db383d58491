#include "ui/widgets/StatusSummary.h"

#include <QFontMetrics>
#include <QRegularExpression>
#include <QStatusBar>

namespace pv {

namespace {

// The bar's message leaves this much of its width to its own frame, and
// each permanent widget shown this much beside its width.
constexpr int barFrame = 18;
constexpr int besideSpacing = 6;

QStringList sentencesOf(const QString &text)
{
    static const QRegularExpression sentenceEnd(QStringLiteral("(?<=[.!?]) (?=\\p{Lu})"));
    return text.split(sentenceEnd);
}

} // namespace

StatusSummary::StatusSummary(QStatusBar *bar, QObject *parent)
    : QObject(parent)
    , m_bar(bar)
{
    connect(m_bar, &QStatusBar::messageChanged, this, &StatusSummary::onMessageChanged);
}

StatusSummary::~StatusSummary() = default;

void StatusSummary::setBeside(const QList<QWidget *> &beside)
{
    m_beside.clear();
    for (QWidget *widget : beside)
        m_beside.append(widget);
}

QString StatusSummary::fitted(const QString &text, const QStringList &sentences, const QFontMetrics &metrics, int width)
{
    const QStringList order = sentences.isEmpty() ? sentencesOf(text) : sentences;
    const QString inOrder = order.join(QLatin1Char(' '));
    if (metrics.horizontalAdvance(inOrder) <= width || order.size() < 2)
        return inOrder;
    QString shown = order.first();
    for (qsizetype next = 1; next < order.size(); ++next) {
        const QString longer = shown + QLatin1Char(' ') + order.at(next);
        if (metrics.horizontalAdvance(longer) > width)
            break;
        shown = longer;
    }
    return shown;
}

void StatusSummary::show(const QString &text, int timeoutMs, const QStringList &shownFirst)
{
    if (text.isEmpty()) {
        if (!m_text.isEmpty())
            m_bar->clearMessage();
        return;
    }
    m_text = text;
    m_shownFirst = shownFirst;
    refit(timeoutMs);
}

void StatusSummary::refit(int timeoutMs)
{
    if (m_text.isEmpty())
        return;
    int room = m_bar->width() - barFrame;
    for (const QPointer<QWidget> &beside : std::as_const(m_beside)) {
        if (beside && !beside->isHidden())
            room -= beside->sizeHint().width() + besideSpacing;
    }
    // Known before it shows: the bar's word of it is no other message.
    m_shown = fitted(m_text, m_shownFirst, m_bar->fontMetrics(), room);
    m_bar->showMessage(m_shown, timeoutMs);
    m_bar->setToolTip(m_shown == m_text ? QString() : m_text);
}

void StatusSummary::onMessageChanged(const QString &message)
{
    if (!message.isEmpty() && message == m_shown)
        return;
    m_text.clear();
    m_shown.clear();
    m_bar->setToolTip(QString());
}

} // namespace pv
