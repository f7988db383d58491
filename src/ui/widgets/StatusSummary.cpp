#include "ui/widgets/StatusSummary.h"

#include <QEvent>
#include <QFontMetrics>
#include <QMetaObject>
#include <QRegularExpression>
#include <QSizeGrip>
#include <QStatusBar>

#include <algorithm>

namespace pv {

namespace {

// The bar's message leaves this much of its width to its own frame, and
// each permanent widget shown this much beside its width.
constexpr int barFrame = 18;
constexpr int besideSpacing = 6;
// Kept free at the message's end, for the rounding of glyph widths.
constexpr int messageSlack = 2;

QStringList sentencesOf(const QString &text)
{
    static const QRegularExpression sentenceEnd(QStringLiteral("(?<=[.!?]) (?=\\p{Lu})"));
    return text.split(sentenceEnd);
}

// The words of the text before the space at the end given, without what
// would dangle before an ellipsis (a comma, a colon, a dash, an equals
// sign).
QString wordsBefore(const QString &text, qsizetype end)
{
    static const QString dangling = QStringLiteral(" ,;:(=-\u2013\u2014");
    while (end > 0 && dangling.contains(text.at(end - 1)))
        --end;
    return text.left(end);
}

// Whether the text's last word is a figure, with no letter.
bool endsInFigure(const QString &text)
{
    const QString word = text.mid(text.lastIndexOf(QLatin1Char(' ')) + 1);
    return std::any_of(word.cbegin(), word.cend(), [](QChar c) { return c.isDigit(); })
        && std::none_of(word.cbegin(), word.cend(), [](QChar c) { return c.isLetter(); });
}

} // namespace

StatusSummary::StatusSummary(QStatusBar *bar, QObject *parent)
    : QObject(parent)
    , m_bar(bar)
{
    m_timeout.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, this, &StatusSummary::clear);
    connect(m_bar, &QStatusBar::messageChanged, this, &StatusSummary::onMessageChanged);
    // The room beside the permanent widgets changes with the bar's width and
    // as they show, hide or change their text.
    m_bar->installEventFilter(this);
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
    const QString inOrder = (sentences.isEmpty() ? sentencesOf(text) : sentences).join(QLatin1Char(' '));
    if (metrics.horizontalAdvance(inOrder) <= width)
        return inOrder;
    const QString ellipsis(QChar(0x2026));
    QString shown;
    for (qsizetype space = inOrder.indexOf(QLatin1Char(' ')); space > 0;
         space = inOrder.indexOf(QLatin1Char(' '), space + 1)) {
        const QString words = wordsBefore(inOrder, space);
        // After a whole sentence, the ellipsis stands apart: "cards. …".
        const bool sentenceEnds = !words.isEmpty() && QStringLiteral(".!?").contains(words.back());
        const QString cut = words + (sentenceEnds ? QLatin1Char(' ') + ellipsis : ellipsis);
        if (metrics.horizontalAdvance(cut) > width)
            break;
        // Nor does it end inside brackets, half a figure's "(1 USD =", nor
        // on a bare figure ("4 of" cut to "4").
        if (!words.isEmpty() && words.count(QLatin1Char('(')) <= words.count(QLatin1Char(')'))
            && (sentenceEnds || !endsInFigure(words)))
            shown = cut;
    }
    // A first word too long for the room is cut where the room ends.
    return shown.isEmpty() ? metrics.elidedText(inOrder, Qt::ElideRight, width) : shown;
}

void StatusSummary::show(const QString &text, int timeoutMs, const QStringList &shownFirst)
{
    if (text.isEmpty()) {
        clear();
        return;
    }
    m_text = text;
    m_shownFirst = shownFirst;
    m_shown.clear();
    refit(timeoutMs);
}

void StatusSummary::clear()
{
    m_timeout.stop();
    m_text.clear();
    m_shown.clear();
    m_bar->clearMessage();
    m_bar->setToolTip(QString());
}

void StatusSummary::refit(int timeoutMs)
{
    if (m_text.isEmpty())
        return;
    fit();
    if (timeoutMs > 0)
        m_timeout.start(timeoutMs);
    else
        m_timeout.stop();
}

int StatusSummary::room() const
{
    // A bar not laid out yet has no room to measure: the text is fitted
    // once the bar shows.
    if (!m_bar->isVisible())
        return QWIDGETSIZE_MAX;
    // The bar draws its message from 6 pixels in to 2 before the first
    // permanent widget (12 before its right edge, or its size grip). The
    // widgets may be about to grow: the room their sizes leave counts too.
    int right = m_bar->width() - 12;
    if (const auto *grip = m_bar->findChild<QSizeGrip *>(); grip && grip->isVisible())
        right = std::min(right, grip->x());
    int room = m_bar->width() - barFrame;
    for (const QPointer<QWidget> &beside : std::as_const(m_beside)) {
        if (beside && !beside->isHidden()) {
            room -= beside->sizeHint().width() + besideSpacing;
            right = std::min(right, beside->x() - 2);
        }
    }
    return std::min(room, right - 6 - messageSlack);
}

void StatusSummary::fit()
{
    const QString shown = fitted(m_text, m_shownFirst, m_bar->fontMetrics(), room());
    m_bar->setToolTip(shown == m_text ? QString() : m_text);
    if (shown == m_shown && m_bar->currentMessage() == shown)
        return;
    // Known before it shows: the bar's word of it is no other message.
    m_shown = shown;
    m_bar->showMessage(shown);
}

bool StatusSummary::eventFilter(QObject *watched, QEvent *event)
{
    // Fitted once the bar has laid its widgets out anew.
    if (watched == m_bar && isShowing() && !m_fitQueued
        && (event->type() == QEvent::Resize || event->type() == QEvent::Show
            || event->type() == QEvent::LayoutRequest)) {
        m_fitQueued = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_fitQueued = false;
                if (isShowing())
                    fit();
            },
            Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

void StatusSummary::onMessageChanged(const QString &message)
{
    if (!message.isEmpty() && message == m_shown)
        return;
    // Another message took the bar, or the bar's own time-out cleared it.
    m_timeout.stop();
    m_text.clear();
    m_shown.clear();
    m_bar->setToolTip(QString());
}

} // namespace pv
