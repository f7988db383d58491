// tallowk-standin: serves the card database, its image host, TCGCSV and the
// exchange rates from the recorded data on 127.0.0.1, prints the four
// TALLOWK_*_URL lines for a shell and runs until it is stopped.
#include "standin/StandInData.h"
#include "standin/WebStandIn.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>

#include <cstdio>

namespace {

using pv::test::WebStandIn;

// A fault option's WHERE, and the number or file after its last "=" when it
// takes one.
struct FaultPlace
{
    QString where;
    int value = 0;
    QByteArray body;
};

bool parsePlace(const QString &text, bool withValue, int lowest, int highest, FaultPlace *place)
{
    const qsizetype mark = withValue ? text.lastIndexOf(QLatin1Char('=')) : text.size();
    if (mark <= 0)
        return false;
    place->where = text.left(mark);
    bool ok = true;
    if (withValue && highest < lowest) { // no range: the value names a file to serve
        QFile file(text.mid(mark + 1));
        ok = file.open(QIODevice::ReadOnly);
        place->body = file.readAll();
        ok = ok && file.error() == QFileDevice::NoError;
    } else if (withValue) {
        place->value = text.mid(mark + 1).toInt(&ok);
        ok = ok && place->value >= lowest && place->value <= highest;
    }
    return ok && (WebStandIn::serviceNames().contains(place->where) || QRegularExpression(place->where).isValid());
}

void addFault(WebStandIn &standIn, const QString &where, const WebStandIn::Fault &fault)
{
    if (WebStandIn::serviceNames().contains(where))
        standIn.addServiceFault(where, fault, -1);
    else
        standIn.addFault(where, fault, -1);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tallowk-standin"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Local stand-in for the web services of Tallowmerick. Start it, then run\n"
                       "  eval \"$(...the four lines it prints...)\"\n"
                       "before starting the program.\n"
                       "\n"
                       "Faults: WHERE is a service (tcgdex, images, tcgcsv, fx) or a regular\n"
                       "expression searched in a request's path and query (/tcgplayer/3/groups).\n"
                       "Each fault option may be given more than once and applies to every\n"
                       "request it matches. Holds add up and are followed by the other faults;\n"
                       "of those, the first that matches applies, in the order --refuse,\n"
                       "--status, --body, --drop-pricing, --drop-tcgplayer, each in the order given."));
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
    QCommandLineOption refuseOption(
        QStringLiteral("refuse"),
        QStringLiteral("Refuse connections: a service's printed address is that of a local port that refuses them; "
                       "requests matching a pattern are redirected to that port."),
        QStringLiteral("WHERE"));
    QCommandLineOption statusOption(QStringLiteral("status"),
                                    QStringLiteral("Answer with the HTTP status CODE (100 to 599)."),
                                    QStringLiteral("WHERE=CODE"));
    QCommandLineOption bodyOption(QStringLiteral("body"),
                                  QStringLiteral("Answer with status 200 and the JSON in FILE."),
                                  QStringLiteral("WHERE=FILE"));
    QCommandLineOption noPricingOption(QStringLiteral("drop-pricing"),
                                       QStringLiteral("Serve card answers without their \"pricing\" object."),
                                       QStringLiteral("WHERE"));
    QCommandLineOption noTcgplayerOption(
        QStringLiteral("drop-tcgplayer"),
        QStringLiteral("Serve card answers without the \"tcgplayer\" block of their \"pricing\" object."),
        QStringLiteral("WHERE"));
    QCommandLineOption holdOption(QStringLiteral("hold"), QStringLiteral("Hold answers back MS milliseconds."),
                                  QStringLiteral("WHERE=MS"));
    parser.addOption(portOption);
    parser.addOption(delayOption);
    parser.addOption(dataOption);
    parser.addOption(verboseOption);
    parser.addOption(refuseOption);
    parser.addOption(statusOption);
    parser.addOption(bodyOption);
    parser.addOption(noPricingOption);
    parser.addOption(noTcgplayerOption);
    parser.addOption(holdOption);
    parser.process(app);

    bool portOk = false;
    const uint port = parser.value(portOption).toUInt(&portOk);
    if (!portOk || port > 65535) {
        std::fprintf(stderr, "tallowk-standin: --port wants a number from 0 to 65535\n");
        return 2;
    }

    // Holds go first, as they add up; the other faults in the order of --help.
    struct FaultOption
    {
        const QCommandLineOption *option;
        bool withValue;
        int lowest, highest;
    };
    const FaultOption faultOptions[] = {{&holdOption, true, 0, 24 * 3600 * 1000},
                                        {&refuseOption, false, 0, 0},
                                        {&statusOption, true, 100, 599},
                                        {&bodyOption, true, 1, 0}, // a file, not a number
                                        {&noPricingOption, false, 0, 0},
                                        {&noTcgplayerOption, false, 0, 0}};
    QList<QPair<FaultPlace, const QCommandLineOption *>> faults;
    for (const FaultOption &kind : faultOptions) {
        for (const QString &text : parser.values(*kind.option)) {
            FaultPlace place;
            if (!parsePlace(text, kind.withValue, kind.lowest, kind.highest, &place)) {
                std::fprintf(stderr, "tallowk-standin: --%s wants %s, not \"%s\" (see --help)\n",
                             qPrintable(kind.option->names().constFirst()), qPrintable(kind.option->valueName()),
                             qPrintable(text));
                return 2;
            }
            faults.append({place, kind.option});
        }
    }

    QElapsedTimer clock;
    clock.start();
    WebStandIn standIn;
    for (const auto &[place, option] : std::as_const(faults)) {
        if (option == &refuseOption)
            standIn.refuseService(place.where); // a pattern is redirected below
    }
    if (!standIn.start(quint16(port), parser.value(dataOption))) {
        std::fprintf(stderr, "tallowk-standin: %s\n", qPrintable(standIn.errorString()));
        return 1;
    }
    const int cardDelayMs = parser.value(delayOption).toInt();
    if (cardDelayMs > 0)
        standIn.addFault(QStringLiteral("^/v2/[a-z-]+/cards/[^/?]+$"), WebStandIn::Fault::hold(cardDelayMs), -1);
    for (const auto &[place, option] : std::as_const(faults)) {
        if (option == &holdOption)
            addFault(standIn, place.where, WebStandIn::Fault::hold(place.value));
        else if (option == &statusOption)
            addFault(standIn, place.where, WebStandIn::Fault::httpStatus(place.value));
        else if (option == &bodyOption)
            addFault(standIn, place.where,
                     WebStandIn::Fault::custom(200, "application/json; charset=utf-8", place.body));
        else if (option == &noPricingOption)
            addFault(standIn, place.where, WebStandIn::Fault::noPricing());
        else if (option == &noTcgplayerOption)
            addFault(standIn, place.where, WebStandIn::Fault::noTcgplayer());
        else if (!WebStandIn::serviceNames().contains(place.where))
            standIn.addFault(place.where, WebStandIn::Fault::refuse(), -1);
    }
    for (const QString &line : standIn.exportLines())
        std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
    std::fprintf(stderr, "tallowk-standin: serving on %s (ready in %lld ms)\n", qPrintable(standIn.origin()),
                 static_cast<long long>(clock.elapsed()));

    const bool verbose = parser.isSet(verboseOption);
    QObject::connect(&standIn, &WebStandIn::requestFinished, &standIn, [&standIn, verbose](int serial) {
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
