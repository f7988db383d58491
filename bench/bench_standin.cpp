// Measures the web stand-in: start-up of the tallowk-standin executable with
// the full English and Japanese data (target: under a second), and the
// answer to the full English card list (target: a few milliseconds).
// Exits with 1 when a target is missed.
#include "standin/WebStandIn.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>

#include <algorithm>
#include <cstdio>

namespace {

struct Stats
{
    qint64 min = 0, median = 0, max = 0;
};

Stats statsOf(QList<qint64> samples)
{
    std::sort(samples.begin(), samples.end());
    return {samples.first(), samples.at(samples.size() / 2), samples.last()};
}

// Milliseconds from starting the executable to its four address lines; the
// origin it printed goes to *origin.
qint64 startExecutable(QProcess &process, QString *origin)
{
    QElapsedTimer clock;
    clock.start();
    process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/tallowk-standin"), {QStringLiteral("--port"), QStringLiteral("0")});
    QByteArray output;
    while (output.count('\n') < 4 && process.state() != QProcess::NotRunning && clock.elapsed() < 30000) {
        process.waitForReadyRead(5);
        output += process.readAllStandardOutput();
    }
    const qint64 ms = clock.elapsed();
    if (output.count('\n') < 4)
        return -1;
    *origin = QString::fromUtf8(output.left(output.indexOf('\n'))).section(QLatin1Char('='), 1);
    return ms;
}

bool report(const char *what, const Stats &stats, qint64 target, qint64 measured)
{
    const bool ok = measured < target;
    std::printf("%-52s min %5lld ms  median %5lld ms  max %5lld ms  (target < %lld ms) %s\n", what,
                static_cast<long long>(stats.min), static_cast<long long>(stats.median), static_cast<long long>(stats.max),
                static_cast<long long>(target), ok ? "ok" : "MISSED");
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(TALLOWK_VERSION));
    bool allOk = true;

    // In-process start, for reference: the first loads the data, later ones reuse it.
    {
        QElapsedTimer clock;
        clock.start();
        pv::test::WebStandIn first;
        if (!first.start()) {
            std::fprintf(stderr, "stand-in did not start: %s\n", qPrintable(first.errorString()));
            return 1;
        }
        const qint64 cold = clock.elapsed();
        clock.restart();
        pv::test::WebStandIn second;
        second.start();
        std::printf("in-process start: %lld ms with loading, %lld ms with the data loaded\n",
                    static_cast<long long>(cold), static_cast<long long>(clock.elapsed()));
    }

    QList<qint64> startups;
    QString origin;
    for (int run = 0; run < 5; ++run) {
        QProcess process;
        const qint64 ms = startExecutable(process, &origin);
        if (ms < 0) {
            std::fprintf(stderr, "tallowk-standin did not print its addresses\n%s\n", process.readAllStandardError().constData());
            return 1;
        }
        startups.append(ms);
        process.terminate();
        process.waitForFinished(10000);
    }
    const Stats startup = statsOf(startups);
    allOk = report("executable start-up with the full en and ja data:", startup, 1000, startup.max) && allOk;

    QProcess server;
    if (startExecutable(server, &origin) < 0)
        return 1;
    QNetworkAccessManager network;
    QList<qint64> answers;
    qint64 bytes = 0;
    for (int run = 0; run < 31; ++run) {
        QElapsedTimer clock;
        clock.start();
        QNetworkReply *reply = network.get(QNetworkRequest(QUrl(origin + QStringLiteral("/v2/en/cards"))));
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        bytes = reply->readAll().size();
        if (reply->error() != QNetworkReply::NoError) {
            std::fprintf(stderr, "card list failed: %s\n", qPrintable(reply->errorString()));
            return 1;
        }
        delete reply;
        if (run > 0) // the first opens the connection
            answers.append(clock.nsecsElapsed() / 1000);
    }
    server.terminate();
    server.waitForFinished(10000);
    const Stats cards = statsOf(answers);
    const bool fast = cards.median < 50000;
    std::printf("%-52s min %5.2f ms  median %5.2f ms  max %5.2f ms  (%lld bytes; target < 50 ms) %s\n",
                "full English card list over a kept-alive connection:", cards.min / 1000.0, cards.median / 1000.0,
                cards.max / 1000.0, static_cast<long long>(bytes), fast ? "ok" : "MISSED");
    allOk = fast && allOk;
    return allOk ? 0 : 1;
}
