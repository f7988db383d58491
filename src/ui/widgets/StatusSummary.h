#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

class QFontMetrics;
class QStatusBar;
class QWidget;

namespace pv {

// Every message of the window's status bar goes through here. One too long
// for the room beside the bar's permanent widgets, such as a price
// refresh's summary, shows what fits, cut where a word ends and closed by
// an ellipsis, fitted again as that room changes; the whole text is the
// bar's tool tip for as long as the message shows.
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
    // empty text takes away the message shown.
    void show(const QString &text, int timeoutMs, const QStringList &shownFirst = QStringList());
    void clear();
    // Whether the bar still shows a text given here; that text, when given.
    bool isShowing() const { return !m_text.isEmpty(); }
    bool isShowing(const QString &text) const { return !m_text.isEmpty() && m_text == text; }
    // Fits the text shown again and shows it for the time given from now.
    void refit(int timeoutMs);

    // The sentences (the text's own when none are given) in their order,
    // whole when they fit the width, else as many words as fit followed by
    // an ellipsis.
    static QString fitted(const QString &text, const QStringList &sentences, const QFontMetrics &metrics, int width);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    int room() const;
    // Fits the text shown to the room it has now; the time left stays.
    void fit();
    void onMessageChanged(const QString &message);

    QStatusBar *m_bar;
    QList<QPointer<QWidget>> m_beside;
    QString m_text;
    QStringList m_shownFirst;
    QString m_shown;
    QTimer m_timeout;
    bool m_fitQueued = false;
};

} // namespace pv
