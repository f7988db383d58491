#pragma once

#include <QObject>
#include <QTimer>

namespace pv {

// A single-shot timer for pauses and batches, measured on SteadyClock: it
// fires once the interval has passed on that clock. With real time it acts
// like a QTimer; with manual time it fires only after a test has advanced the
// clock past its interval, however slowly the machine runs.
class ClockTimer : public QObject
{
    Q_OBJECT

public:
    explicit ClockTimer(int intervalMs, QObject *parent = nullptr);

    int interval() const { return m_intervalMs; }
    void setInterval(int milliseconds) { m_intervalMs = milliseconds; }
    bool isActive() const { return m_timer.isActive(); }

public Q_SLOTS:
    // (Re)starts the interval from now.
    void start();
    void stop();

Q_SIGNALS:
    void timeout();

private:
    static constexpr int ManualPollMs = 10;

    void onWake();

    QTimer m_timer;
    int m_intervalMs = 0;
    qint64 m_dueMs = 0;
};

} // namespace pv
