// tallowk-standin: serves the card database, its image host, TCGCSV and the
// exchange rates from the recorded data on 127.0.0.1, prints the four
// TALLOWK_*_URL lines for a shell and runs until it is stopped.
#include "standin/StandInData.h"
#include "standin/WebStandIn.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tallowk-standin"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Local stand-in for the web services of Tallowmerick. Start it, then run\n"
        "  eval \"$(...the four lines it prints...)\"\n"
        "before starting the program."));
    parser.addHelpOption();
    QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Port on 127.0.0.1 (0: any free port)."),
                                  QStringLiteral("N"), QStringLiteral("0"));
    QCommandLineOption dataOption(QStringLiteral("data"),
                                  QStringLiteral("Folder of the recorded answers (default: %1).")
                                      .arg(pv::test::StandInData::defaultDirectory()),
                                  QStringLiteral("DIR"));
    QCommandLineOption verboseOption(QStringLiteral("verbose"), QStringLiteral("Log every request on stderr."));
    QCommandLineOption delayOption(QStringLiteral("card-delay"),
                                   QStringLiteral("Hold every single-card answer back this many milliseconds."),
                                   QStringLiteral("MS"), QStringLiteral("0"));
    parser.addOption(portOption);
    parser.addOption(delayOption);
    parser.addOption(dataOption);
    parser.addOption(verboseOption);
    parser.process(app);

    bool portOk = false;
    const uint port = parser.value(portOption).toUInt(&portOk);
    if (!portOk || port > 65535) {
        std::fprintf(stderr, "tallowk-standin: --port wants a number from 0 to 65535\n");
        return 2;
    }

    QElapsedTimer clock;
    clock.start();
    pv::test::WebStandIn standIn;
    if (!standIn.start(quint16(port), parser.value(dataOption))) {
        std::fprintf(stderr, "tallowk-standin: %s\n", qPrintable(standIn.errorString()));
        return 1;
    }
    const int cardDelayMs = parser.value(delayOption).toInt();
    if (cardDelayMs > 0)
        standIn.addFault(QStringLiteral("^/v2/[a-z-]+/cards/[^/?]+$"), pv::test::WebStandIn::Fault::delay(cardDelayMs), -1);
    for (const QString &line : standIn.exportLines())
        std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
    std::fprintf(stderr, "tallowk-standin: serving on %s (ready in %lld ms)\n", qPrintable(standIn.origin()),
                 static_cast<long long>(clock.elapsed()));

    const bool verbose = parser.isSet(verboseOption);
    QObject::connect(&standIn, &pv::test::WebStandIn::requestFinished, &standIn, [&standIn, verbose](int serial) {
        const auto records = standIn.requests();
        if (verbose) {
            for (auto it = records.crbegin(); it != records.crend(); ++it) {
                if (it->serial != serial)
                    continue;
                std::fprintf(stderr, "%s %s -> %d, %lld bytes, %lld ms%s\n", it->method.constData(),
                             qPrintable(it->target), it->status, static_cast<long long>(it->bodyBytes),
                             static_cast<long long>(it->finishedMs - it->arrivedMs),
                             it->fault.isEmpty() ? "" : qPrintable(QStringLiteral(" (") + it->fault + QLatin1Char(')')));
                break;
            }
        }
        // A long session keeps only a recent log.
        if (records.size() > 10000 && standIn.inFlight() == 0)
            standIn.clearLog();
    });
    return app.exec();
}
