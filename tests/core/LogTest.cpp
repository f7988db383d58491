#include "TestRegistry.h"

#include "core/Log.h"

#include <QLoggingCategory>
#include <QSignalSpy>
#include <QSet>
#include <QTest>
#include <QThread>

#include <atomic>
#include <memory>
#include <vector>

using namespace pv;

namespace {
Q_LOGGING_CATEGORY(pricesCategory, "prices")

// Installs the log as Qt's message handler for one test and puts the test
// framework's handler back afterwards.
struct HandlerScope
{
    QtMessageHandler before = qInstallMessageHandler(nullptr);
    HandlerScope()
    {
        qInstallMessageHandler(before);
        Log::installMessageHandler();
    }
    ~HandlerScope() { qInstallMessageHandler(before); }
};

// Runs work on count threads at once and waits for all of them.
template<typename Work>
void runThreads(int count, Work work)
{
    std::vector<std::unique_ptr<QThread>> threads;
    for (int t = 0; t < count; ++t)
        threads.emplace_back(QThread::create(work, t));
    for (auto &thread : threads)
        thread->start();
    for (auto &thread : threads)
        QVERIFY(thread->wait(120000));
}
} // namespace

class LogTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init() { Log::instance().clear(); }

    void trimsInOneBlock()
    {
        Log &log = Log::instance();
        for (int i = 0; i < 20000; ++i)
            log.append(Log::Info, QStringLiteral("test"), QString::number(i));
        QCOMPARE(log.count(), 20000);
        log.append(Log::Info, QStringLiteral("test"), QStringLiteral("20000"));
        QCOMPARE(log.count(), 18000);
        const QList<LogEntry> entries = log.entries();
        QCOMPARE(entries.first().message, QStringLiteral("2001"));
        QCOMPARE(entries.last().message, QStringLiteral("20000"));
        // The next trim comes only after another 2001 appends.
        for (int i = 0; i < 2000; ++i)
            log.append(Log::Info, QStringLiteral("test"), QString());
        QCOMPARE(log.count(), 20000);
    }

    void formatsDisplayLines()
    {
        LogEntry entry;
        entry.time = QDateTime(QDate(2024, 5, 1), QTime(14, 3, 7, 125));
        entry.level = Log::Info;
        entry.category = QStringLiteral("fx");
        entry.message = QStringLiteral("Rates fetched.");
        QCOMPARE(entry.format(), QStringLiteral("14:03:07.125  INFO   fx          Rates fetched."));
        entry.level = 7;
        entry.category = QStringLiteral("averylongcategory");
        QCOMPARE(entry.format(), QStringLiteral("14:03:07.125  INFO   averylongcategory  Rates fetched."));
        QCOMPARE(Log::levelName(-1), QStringLiteral("INFO"));
        QCOMPARE(Log::levelName(3), QStringLiteral("ERROR"));
    }

    void signalsEntriesAndClear()
    {
        QSignalSpy appended(&Log::instance(), &Log::entryAppended);
        QSignalSpy cleared(&Log::instance(), &Log::cleared);
        Log::warn(QStringLiteral("file"), QStringLiteral("Could not open."));
        QCOMPARE(appended.count(), 1);
        const LogEntry entry = appended.first().first().value<LogEntry>();
        QCOMPARE(entry.level, int(Log::Warn));
        QCOMPARE(entry.category, QStringLiteral("file"));
        QVERIFY(qAbs(entry.time.msecsTo(QDateTime::currentDateTime())) < 60000);
        Log::instance().clear();
        Log::instance().clear();  // an empty log still announces it
        QCOMPARE(cleared.count(), 2);
        QCOMPARE(Log::instance().count(), 0);
    }

    void takesQtMessages()
    {
        HandlerScope scope;
        QTest::ignoreMessage(QtWarningMsg, "plain warning");
        qWarning("plain warning");
        QTest::ignoreMessage(QtCriticalMsg, "no rates");
        qCCritical(pricesCategory, "no rates");
        QTest::ignoreMessage(QtInfoMsg, "informed");
        qInfo("informed");
        // A message without any category, as some Qt internals send.
        Log::qtMessageHandler(QtDebugMsg, QMessageLogContext(), QStringLiteral("bare"));

        const QList<LogEntry> entries = Log::instance().entries();
        QCOMPARE(entries.size(), 4);
        QCOMPARE(entries[0].category, QStringLiteral("qt"));
        QCOMPARE(entries[0].level, int(Log::Warn));
        QCOMPARE(entries[0].message, QStringLiteral("plain warning"));
        QCOMPARE(entries[1].category, QStringLiteral("prices"));
        QCOMPARE(entries[1].level, int(Log::Error));
        QCOMPARE(entries[2].level, int(Log::Info));
        QCOMPARE(entries[3].category, QStringLiteral("qt"));
        QCOMPARE(entries[3].level, int(Log::Debug));
    }

    void appendsFromManyThreads()
    {
        constexpr int threads = 8;
        constexpr int perThread = 2000;
        std::atomic_int signalled{0};
        auto connection = connect(&Log::instance(), &Log::entryAppended, &Log::instance(),
                                  [&signalled](const LogEntry &) { ++signalled; }, Qt::DirectConnection);
        runThreads(threads, [](int t) {
            for (int i = 0; i < perThread; ++i) {
                Log::info(QStringLiteral("t%1").arg(t), QString::number(i));
                if (i % 100 == 0)
                    (void)Log::instance().entries();  // readers race the writers
            }
        });
        disconnect(connection);
        QCOMPARE(signalled.load(), threads * perThread);

        const QList<LogEntry> entries = Log::instance().entries();
        QCOMPARE(entries.size(), threads * perThread);
        QSet<QString> seen;
        QList<int> last(threads, -1);
        for (const LogEntry &e : entries) {
            QVERIFY(!seen.contains(e.category + e.message));
            seen.insert(e.category + e.message);
            const int t = e.category.mid(1).toInt();
            QVERIFY(e.message.toInt() > last[t]);  // each thread's entries keep their order
            last[t] = e.message.toInt();
        }
    }

    void trimsUnderConcurrentAppends()
    {
        runThreads(8, [](int) {
            for (int i = 0; i < 6000; ++i) {
                Log::debug(QStringLiteral("load"), QString());
                if (i % 500 == 0)
                    Log::instance().count();
            }
        });
        // 48000 appends: the trims left between 18000 and 20000 entries.
        const int count = Log::instance().count();
        QVERIFY2(count >= 18000 && count <= 20000, qPrintable(QString::number(count)));
    }
};

PV_REGISTER_TEST(LogTest)
#include "LogTest.moc"
