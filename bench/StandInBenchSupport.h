#pragma once

// The web stand-in on a thread of its own, for benchmarks that measure the
// GUI thread's work apart from the server's.

#include "CatalogBenchSupport.h"
#include "standin/WebStandIn.h"

#include <QMetaObject>
#include <QObject>
#include <QString>
#include <QThread>

#include <ctime>

namespace pv::bench {

// Every call runs on the stand-in's thread and waits for it.
class StandInThread
{
public:
    StandInThread()
    {
        m_thread.start();
        m_anchor.moveToThread(&m_thread);
        run([this] {
            m_standIn = new test::WebStandIn;
            m_started = m_standIn->start();
        });
    }
    ~StandInThread()
    {
        run([this] { delete m_standIn; });
        m_thread.quit();
        m_thread.wait();
    }
    StandInThread(const StandInThread &) = delete;
    StandInThread &operator=(const StandInThread &) = delete;

    bool started() const { return m_started; }
    QString origin() const { return m_standIn->origin(); }
    // CPU time the stand-in's thread has used so far.
    double cpuMs()
    {
        double ms = 0;
        run([&ms] { ms = threadCpuMs(); });
        return ms;
    }
    // Holds back every answer to a path matching the pattern by ms (none: 0),
    // after clearing earlier faults.
    void delayAnswers(const QString &pathPattern, int ms)
    {
        run([this, pathPattern, ms] {
            m_standIn->reset();
            if (ms > 0)
                m_standIn->addFault(pathPattern, test::WebStandIn::Fault::delay(ms), -1);
        });
    }

    // Adds a fault to the answers of paths matching the pattern (count < 0:
    // every one).
    void addFault(const QString &pathPattern, const test::WebStandIn::Fault &fault, int count = -1)
    {
        run([this, pathPattern, fault, count] { m_standIn->addFault(pathPattern, fault, count); });
    }

private:
    template <typename Function>
    void run(Function function)
    {
        QMetaObject::invokeMethod(&m_anchor, function, Qt::BlockingQueuedConnection);
    }

    QThread m_thread;
    QObject m_anchor;
    test::WebStandIn *m_standIn = nullptr;
    bool m_started = false;
};

} // namespace pv::bench
