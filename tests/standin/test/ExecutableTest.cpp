#include "StandInFetch.h"
#include "TestRegistry.h"
#include "standin/WebStandIn.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace pv::test;

// The tallowk-standin executable as a shell and the self-test script use it,
// and the per-process stand-in of the test suites.
class ExecutableTest : public QObject
{
    Q_OBJECT

    QNetworkAccessManager m_network;

    static QString program()
    {
        return QCoreApplication::applicationDirPath() + QStringLiteral("/tallowk-standin");
    }

    // Starts the executable and reads the lines it prints for the shell.
    static QStringList startAndReadLines(QProcess &process, const QStringList &arguments)
    {
        process.start(program(), arguments);
        QStringList lines;
        QByteArray pending;
        QElapsedTimer clock;
        clock.start();
        while (lines.size() < 4 && clock.elapsed() < 30000 && process.state() != QProcess::NotRunning) {
            process.waitForReadyRead(200);
            pending += process.readAllStandardOutput();
            qsizetype end;
            while ((end = pending.indexOf('\n')) >= 0) {
                lines.append(QString::fromUtf8(pending.left(end)));
                pending.remove(0, end + 1);
            }
        }
        return lines;
    }

    static void stop(QProcess &process)
    {
        process.terminate();
        if (!process.waitForFinished(10000))
            process.kill();
    }

private slots:
    void printsTheFourAddressesForTheShell()
    {
        QProcess process;
        const QStringList lines = startAndReadLines(process, {QStringLiteral("--port"), QStringLiteral("0")});
        QCOMPARE(lines.size(), 4);
        const QStringList names = {"TCGDEX", "ASSETS", "TCGCSV", "FX"};
        QString port;
        for (int i = 0; i < 4; ++i) {
            const QRegularExpressionMatch match =
                QRegularExpression(QStringLiteral("^export TALLOWK_%1_URL=http://127\\.0\\.0\\.1:(\\d+)$").arg(names.at(i))).match(lines.at(i));
            QVERIFY2(match.hasMatch(), qPrintable(lines.at(i)));
            if (i == 0)
                port = match.captured(1);
            QCOMPARE(match.captured(1), port);
        }
        QVERIFY(port.toInt() > 0);

        const QString base = lines.at(0).section(QLatin1Char('='), 1);
        QCOMPARE(fetch(m_network, base + QStringLiteral("/v2/en/rarities")).json().array().size(), 40);
        QCOMPARE(fetch(m_network, lines.at(1).section(QLatin1Char('='), 1) + QStringLiteral("/en/sv/sv03/001/low.jpg")).status, 200);
        // It keeps serving until it is stopped.
        QCOMPARE(process.state(), QProcess::Running);
        stop(process);
    }

    void faultOptions()
    {
        QProcess process;
        QTemporaryDir folder;
        const QByteArray empty(R"({"totalItems":0,"success":true,"errors":[],"results":[]})");
        QFile body(folder.filePath(QStringLiteral("empty.json")));
        QVERIFY(body.open(QIODevice::WriteOnly) && body.write(empty) == empty.size());
        body.close();
        const QString faults = QStringLiteral("--refuse tcgcsv --status fx=503 --drop-pricing sv03-001$ "
                                              "--drop-tcgplayer sv03-002$ --hold tcgdex=50 --card-delay 50 --verbose --body /85/groups$=")
            + body.fileName();
        const QStringList lines = startAndReadLines(process, faults.split(QLatin1Char(' ')));
        QCOMPARE(lines.size(), 4);
        const auto base = [&lines](int line) { return lines.at(line).section(QLatin1Char('='), 1); };
        QVERIFY(base(2) != base(0));
        QCOMPARE(fetch(m_network, base(2) + QStringLiteral("/tcgplayer/3/groups")).error,
                 QNetworkReply::ConnectionRefusedError);
        QCOMPARE(fetch(m_network, base(3) + QStringLiteral("/v1/latest?base=USD&symbols=EUR")).status, 503);
        const QJsonDocument card = fetch(m_network, base(0) + QStringLiteral("/v2/en/cards/sv03-001")).json();
        QCOMPARE(card[QStringLiteral("id")].toString(), QStringLiteral("sv03-001"));
        QVERIFY(!card.object().contains(QStringLiteral("pricing")));
        const QJsonDocument other = fetch(m_network, base(0) + QStringLiteral("/v2/en/cards/sv03-002")).json();
        QVERIFY(other[QStringLiteral("pricing")][QStringLiteral("cardmarket")].isObject());
        QVERIFY(!other[QStringLiteral("pricing")].toObject().contains(QStringLiteral("tcgplayer")));
        const auto served = fetch(m_network, base(0) + QStringLiteral("/tcgplayer/85/groups"));
        QCOMPARE(served.status, 200);
        QCOMPARE(served.body, empty);
        QVERIFY(served.contentType.startsWith("application/json"));
        stop(process);
        // Both holds, then the card without its prices.
        QVERIFY(process.readAllStandardError().contains("(hold+hold+no-pricing)"));
    }

    void refusesWhatItCannotServe()
    {
        for (const QStringList &bad : {QStringList{QStringLiteral("--status"), QStringLiteral("fx")},
                                       QStringList{QStringLiteral("--status"), QStringLiteral("fx=99")},
                                       QStringList{QStringLiteral("--hold"), QStringLiteral("(=5")},
                                       QStringList{QStringLiteral("--body"), QStringLiteral("tcgcsv=/nowhere.json")}}) {
            QProcess refused;
            refused.start(program(), bad);
            QVERIFY(refused.waitForFinished(30000));
            QCOMPARE(refused.exitCode(), 2);
        }

        QProcess badPort;
        badPort.start(program(), {QStringLiteral("--port"), QStringLiteral("70000")});
        QVERIFY(badPort.waitForFinished(30000));
        QCOMPARE(badPort.exitCode(), 2);
        QVERIFY(badPort.readAllStandardOutput().isEmpty());

        QTemporaryDir empty;
        QProcess noData;
        noData.start(program(), {QStringLiteral("--data"), empty.path()});
        QVERIFY(noData.waitForFinished(30000));
        QCOMPARE(noData.exitCode(), 1);
        QVERIFY(noData.readAllStandardOutput().isEmpty());
        QVERIFY(QString::fromUtf8(noData.readAllStandardError()).contains(empty.path()));

        WebStandIn taken;
        QVERIFY(taken.start());
        QProcess busyPort;
        busyPort.start(program(), {QStringLiteral("--port"), QString::number(taken.port())});
        QVERIFY(busyPort.waitForFinished(30000));
        QCOMPARE(busyPort.exitCode(), 1);
        QVERIFY(busyPort.readAllStandardError().contains("cannot listen"));
    }

    void sharedStandInExportsItsAddresses()
    {
        for (const char *name : {"TALLOWK_TCGDEX_URL", "TALLOWK_ASSETS_URL", "TALLOWK_TCGCSV_URL", "TALLOWK_FX_URL"}) {
            if (qEnvironmentVariableIsSet(name))
                QSKIP("the service addresses are already set in this environment");
        }
        // A test that fixed one address before main keeps it.
        qputenv("TALLOWK_FX_URL", "http://127.0.0.1:1");
        WebStandIn *standIn = WebStandIn::shared();
        QVERIFY(standIn && standIn->isListening());
        QCOMPARE(WebStandIn::shared(), standIn);
        QCOMPARE(qEnvironmentVariable("TALLOWK_TCGDEX_URL"), standIn->origin());
        QCOMPARE(qEnvironmentVariable("TALLOWK_ASSETS_URL"), standIn->assetsUrl());
        QCOMPARE(qEnvironmentVariable("TALLOWK_TCGCSV_URL"), standIn->tcgcsvUrl());
        QCOMPARE(qEnvironmentVariable("TALLOWK_FX_URL"), QStringLiteral("http://127.0.0.1:1"));
    }
};

PV_REGISTER_TEST(ExecutableTest)
#include "ExecutableTest.moc"
