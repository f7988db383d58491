// The collection document alone, without views, at 50,000 and 500,000
// holdings drawn from both catalogs in random order, none with a rarity (a
// file from an earlier version): what opening costs it (the contents
// replaced, with the key index, the card holdings and the totals), the first
// look-ups after that, a card added through its command and undone, the
// rarities a pass names filled in and a pass that names nothing new, and a
// batch of many lines added. Wall clock, medians of a few
// runs; targets beside each line. Sizes on the command line run only those.

#include "CatalogBenchSupport.h"
#include "collection/AddCardsCommand.h"
#include "collection/EntryKeys.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QUndoStack>

#include <functional>
#include <memory>

using namespace pv;

namespace {

constexpr int Runs = 5;

double wallMs(const std::function<void()> &action)
{
    QElapsedTimer clock;
    clock.start();
    action();
    return double(clock.nsecsElapsed()) / 1.0e6;
}

bool report(const char *line, double ms, double target)
{
    const bool met = ms <= target;
    std::printf("  %-58s %8.1f ms (target %.0f ms)%s\n", line, ms, target, met ? "" : "  MISSED");
    std::fflush(stdout);
    return met;
}

bool measure(const CardCatalog &catalog, int holdings)
{
    const bool large = holdings > 100000;
    Collection source;
    bench::fillFromCatalog(source, catalog, holdings, bench::HoldingOrder::Random);
    QList<CardEntry> entries = source.entries();
    for (CardEntry &entry : entries)
        entry.rarity.clear();
    const QHash<QString, SetRecord> sets = source.sets();
    std::printf("%d holdings in random order, none with a rarity:\n", holdings);
    bool ok = true;

    Collection collection;
    QRandomGenerator random(5);
    std::vector<double> built;
    std::vector<double> opened;
    std::vector<double> first;
    for (int run = 0; run < Runs; ++run) {
        built.push_back(wallMs([&] { HoldingIndex index(entries); }));
        opened.push_back(wallMs([&] { collection.replaceContents(entries, sets, {}, {}, std::nullopt); }));
        const CardEntry &probe = entries.at(int(random.bounded(int(entries.size()))));
        first.push_back(wallMs([&] {
            collection.indexOfEntry(entryKey(probe));
            collection.rowsOfCard(probe.lang, probe.cardId);
            collection.cardHoldings(probe.lang);
            collection.summary();
        }));
    }
    ok &= report("key index built (on any thread)", bench::median(built), large ? 250 : 25);
    ok &= report("contents replaced, the index built with them", bench::median(opened), large ? 350 : 50);
    ok &= report("first look-ups after that", bench::median(first), 5);

    // A card added as a new row (graded, so that it is one) and undone.
    QUndoStack undo;
    QString focus;
    std::vector<double> adds;
    std::vector<double> undos;
    for (int run = 0; run < 4 * Runs; ++run) {
        CardEntry card = entries.at(int(random.bounded(int(entries.size()))));
        card.gradeCompany = GradingCompany::PSA;
        card.gradeNote = QStringLiteral("9.5 bench");
        adds.push_back(wallMs([&] { undo.push(new AddCardsCommand(&collection, {card}, {}, &focus)); }));
        undos.push_back(wallMs([&] { undo.undo(); }));
    }
    ok &= report("card added through its command", bench::median(adds), 5);
    ok &= report("that add undone", bench::median(undos), 5);

    const auto rarityOf = [&catalog](Language language, const QString &cardId) {
        const CatalogCard *card = catalog.cardById(language, cardId);
        return card ? card->rarity : QString();
    };
    std::vector<double> filled;
    std::vector<double> again;
    for (int run = 0; run < Runs; ++run) {
        // Rows of the collection's own, as a file read gives them.
        QList<CardEntry> own = entries;
        own.detach();
        collection.replaceContents(std::move(own), sets, {}, {}, std::nullopt);
        filled.push_back(wallMs([&] { collection.fillMissingRarities(rarityOf); }));
        again.push_back(wallMs([&] { collection.fillMissingRarities(rarityOf); }));
    }
    ok &= report("rarities filled for every holding", bench::median(filled), large ? 250 : 50);
    ok &= report("a rarity pass that names nothing new", bench::median(again), large ? 10 : 2);

    // Many lines added at the end in one batch (one add of a long list),
    // then a look-up.
    QList<CardEntry> lines;
    for (int at = 0; at < 5000; ++at) {
        CardEntry line = entries.at(at);
        line.gradeCompany = GradingCompany::CGC;
        lines.append(line);
    }
    const double batch = wallMs([&] {
        undo.push(new AddCardsCommand(&collection, lines, {}, &focus));
        collection.indexOfEntry(entryKey(entries.constFirst()));
    });
    ok &= report("5,000 lines added in one batch, then a look-up", batch, large ? 100 : 50);
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    std::unique_ptr<QTemporaryDir> home(bench::usePrivateHome());
    QApplication app(argc, argv);
    bench::nameApplication();
    if (!bench::prepareCaches({Language::English, Language::Japanese}))
        return 1;
    std::printf("load average at the start: %s\n", bench::loadAverage().constData());
    CardCatalog catalog(nullptr);
    for (Language language : allLanguages())
        catalog.ensureLoaded(language);
    QList<int> sizes;
    for (const QString &argument : QCoreApplication::arguments().mid(1))
        if (argument.toInt() > 0)
            sizes.append(argument.toInt());
    if (sizes.isEmpty())
        sizes = {50000, 500000};
    bool ok = true;
    for (const int size : std::as_const(sizes))
        ok &= measure(catalog, size);
    std::printf("load average at the end: %s\n", bench::loadAverage().constData());
    return ok ? 0 : 1;
}
