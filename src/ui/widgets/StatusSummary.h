#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

class QFontMetrics;
class QStatusBar;
class QWidget;

namespace pv {

// Shows texts too long for the status bar, such as a price refresh's
// summary: as many of their sentences as fit beside the bar's permanent
// widgets, in the order given (what failed first), the first at least, and
// the whole text in the bar's tool tip for as long as it shows.
class StatusSummary : public QObject
{
    Q_OBJECT

public:
    explicit StatusSummary(QStatusBar *bar, QObject *parent = nullptr);
    ~StatusSummary() override;

    // The bar's permanent widgets, which take their room beside the
    // message while shown.
    void setBeside(const QList<QWidget *> &beside);

    // Shows the text for the time given (0: until replaced). The sentences
    // to show first, when given, are the text's own in another order. An
    // empty text takes away the last one shown, if it still shows.
    void show(const QString &text, int timeoutMs, const QStringList &shownFirst = QStringList());
    // Whether the bar still shows the last text given.
    bool isShowing() const { return !m_text.isEmpty(); }
    // Fits the text shown again, as the room beside it changed, for the
    // time given.
    void refit(int timeoutMs);

    // As many of the sentences (the text's own when none are given) as fit
    // the width, in their order, the first at least.
    static QString fitted(const QString &text, const QStringList &sentences, const QFontMetrics &metrics, int width);

private:
    void onMessageChanged(const QString &message);

    QStatusBar *m_bar;
    QList<QPointer<QWidget>> m_beside;
    QString m_text;
    QStringList m_shownFirst;
    QString m_shown;
};

} // namespace pv
