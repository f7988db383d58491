// Opens and saves a large collection file and sets each against the bare JSON
// work on the same bytes: QJsonDocument parsing them (open) and serialising
// them (save). Target: each within twice its bound and under 300 ms.

#include "collection/Collection.h"
#include "collection/CollectionSerializer.h"
#include "collection/EntryKeys.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

namespace {

constexpr int kHoldings = 50000;
constexpr int kSets = 300;
constexpr int kHistoryPoints = 200;
constexpr int kRuns = 7;

void fill(pv::Collection &collection)
{
    QList<pv::CardEntry> entries;
    entries.reserve(kHoldings);
    const QStringList finishes = pv::allFinishes();
    for (int i = 0; i < kHoldings; ++i) {
        pv::CardEntry entry;
        const int set = i % kSets;
        entry.setId = QStringLiteral("set%1").arg(set);
        entry.localId = QString::number(i / kSets + 1);
        entry.cardId = entry.setId + QLatin1Char('-') + entry.localId;
        entry.name = QStringLiteral("Card number %1").arg(i);
        entry.lang = i % 5 == 0 ? pv::Language::Japanese : pv::Language::English;
        entry.variant = finishes.at(i % finishes.size());
        entry.condition = static_cast<pv::Condition>(i % 7);
        entry.count = 1 + i % 4;
        entry.notes = i % 10 == 0 ? QStringLiteral("kept in the blue box") : QString();
        entry.customPriceEur = i % 50 == 0 ? 12.5 : 0.0;
        entry.printLabel = i % 3 == 0;
        entry.image = QStringLiteral("https://assets.example.test/en/sv/%1/%2").arg(entry.setId, entry.localId);
        entry.rarity = QStringLiteral("Rare");
        entry.dexId = 1 + i % 1000;
        entry.unitValueEur = 0.01 * (i % 5000);
        entry.unitValueUsd = 0.011 * (i % 5000);
        entry.priceUpdated = QDateTime(QDate(2026, 3, 1), QTime(12, 0), Qt::UTC);
        entries.append(entry);
    }

    QHash<QString, pv::SetRecord> sets;
    for (int s = 0; s < kSets; ++s) {
        pv::SetRecord record;
        record.id = QStringLiteral("set%1").arg(s);
        record.name = QStringLiteral("Set number %1").arg(s);
        record.serie = QStringLiteral("Series %1").arg(s / 20);
        record.releaseDate = QDate(2000, 1, 1).addDays(s * 30);
        record.order = s;
        record.logo = QStringLiteral("https://assets.example.test/logo/%1").arg(s);
        record.officialCardCount = 160;
        record.totalCardCount = 200;
        sets.insert(pv::setKey(record.language, record.id), record);
    }

    QList<pv::HistoryPoint> history;
    for (int p = 0; p < kHistoryPoints; ++p) {
        pv::HistoryPoint point;
        point.date = QDate(2022, 1, 3).addDays(7 * p);
        point.totalEur = 10000.0 + p;
        point.cards = kHoldings;
        for (int s = 0; s < 30; ++s)
            point.sets.insert(QStringLiteral("en:set%1").arg((p + s) % kSets), {100.0 + s, 50});
        history.append(point);
    }
    collection.replaceContents(entries, sets, history, {}, std::nullopt);
}

double medianMs(const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void report(QTextStream &out, const char *what, double ms, double boundMs)
{
    const double ratio = ms / boundMs;
    const bool met = ratio <= 2.0 && ms < 300.0;
    out << QStringLiteral("%1: %2 ms, QJsonDocument alone %3 ms, ratio %4 -> %5")
               .arg(QLatin1String(what))
               .arg(ms, 0, 'f', 1)
               .arg(boundMs, 0, 'f', 1)
               .arg(ratio, 0, 'f', 2)
               .arg(met ? QStringLiteral("within target") : QStringLiteral("OVER TARGET"))
        << '\n';
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(TALLOWK_VERSION));
    QTextStream out(stdout);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    const QString path = QDir(dir.path()).filePath(QStringLiteral("bench.tmk"));

    pv::Collection collection;
    fill(collection);
    if (!pv::CollectionSerializer::write(path, collection))
        return 1;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 1;
    const QByteArray bytes = file.readAll();
    file.close();
    out << QStringLiteral("%1 holdings, %2 sets, %3 history points, %4 MB, median of %5 runs")
               .arg(kHoldings)
               .arg(kSets)
               .arg(kHistoryPoints)
               .arg(bytes.size() / 1048576.0, 0, 'f', 1)
               .arg(kRuns)
        << '\n';

    const double parseMs = medianMs([&] { QJsonDocument::fromJson(bytes); });
    // Opening is reading plus handing the parts to the document; the document
    // opened in one run is closed outside the timed part.
    std::vector<std::unique_ptr<pv::Collection>> opened;
    const double openMs = medianMs([&] {
        pv::CollectionSerializer::ReadResult read = pv::CollectionSerializer::read(path);
        opened.push_back(std::make_unique<pv::Collection>());
        opened.back()->replaceContents(std::move(read.entries), std::move(read.sets), std::move(read.history),
                                       std::move(read.binders), std::move(read.labelStyle));
    });
    opened.clear();
    report(out, "open", openMs, parseMs);

    const QJsonDocument parsed = QJsonDocument::fromJson(bytes);
    const double serialiseMs = medianMs([&] { parsed.toJson(QJsonDocument::Indented); });
    const double saveMs = medianMs([&] { pv::CollectionSerializer::write(path, collection); });
    report(out, "save", saveMs, serialiseMs);
    return 0;
}
