#include "catalog/CardCatalog.h"
#include "catalog/DexIndex.h"
#include "collection/Binders.h"
#include "collection/Collection.h"
#include "collection/EntryKeys.h"
#include "selftest/SelfTestHarness.h"
#include "selftest/SelfTests.h"
#include "ui/dialogs/NewBinderDialog.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

namespace pv::selftest {

namespace {

constexpr int CardsToRank = 6;

void addEntry(Collection &collection, const CatalogCard &card, double price, int count)
{
    CardEntry entry;
    entry.cardId = card.id;
    entry.setId = card.setId;
    entry.localId = card.localId;
    entry.name = card.name;
    entry.lang = Language::English;
    entry.unitValueEur = price;
    entry.count = count;
    collection.addEntry(entry);
}

// The first six cards of "ecard1", else of the first set offering six.
QList<CatalogCard> cardsToRank(const CardCatalog &catalog)
{
    QList<CatalogCard> cards = catalog.cardsInSet(Language::English, QStringLiteral("ecard1"));
    if (cards.size() < CardsToRank) {
        cards.clear();
        for (const CatalogSet &set : catalog.setsOfSeries(Language::English, QString())) {
            const QList<CatalogCard> inSet = catalog.cardsInSet(Language::English, set.id);
            if (inSet.size() >= CardsToRank) {
                cards = inSet;
                break;
            }
        }
    }
    if (cards.size() > CardsToRank)
        cards = cards.mid(0, CardsToRank);
    return cards;
}

bool isCard(const BinderCard &item, const CatalogCard &card)
{
    return item.id == card.id;
}

QStringList cardIds(const BinderResolution &resolution)
{
    QStringList ids;
    for (const BinderCard &card : resolution.cards)
        ids.append(card.id);
    return ids;
}

void checkValueTemplate(CardCatalog &catalog, DexIndex &dexIndex, Collection &collection)
{
    NewBinderDialog dialog(&catalog, &dexIndex, &collection, nullptr);
    auto *templateCombo = dialog.findChild<QComboBox *>(QStringLiteral("templateCombo"));
    auto *criteriaPanel = dialog.findChild<QWidget *>(QStringLiteral("criteriaPanel"));
    auto *templateHint = dialog.findChild<QLabel *>(QStringLiteral("templateHint"));
    auto *nameEdit = dialog.findChild<QLineEdit *>(QStringLiteral("nameEdit"));
    if (!templateCombo || !criteriaPanel || !templateHint || !nameEdit) {
        check(false, QStringLiteral("every widget the dialog logic drives exists in the form"));
        return;
    }

    const QList<Binder> templates = builtinBinderTemplates();
    int valueItem = -1;
    for (int i = 0; i < templateCombo->count(); ++i) {
        const int index = templateCombo->itemData(i, Qt::UserRole).toInt();
        if (index >= 0 && index < templates.size() && templates.at(index).topValue >= 1)
            valueItem = i;
    }
    check(valueItem > 0, QStringLiteral("the value-ranked template is offered in the combo"));
    if (valueItem <= 0)
        return;

    templateCombo->setCurrentIndex(valueItem);
    check(!criteriaPanel->isEnabled(), QStringLiteral("choosing it greys out the criteria there are none of"));
    check(!templateHint->text().isEmpty(), QStringLiteral("and explains why the panel is grey"));
    check(!nameEdit->text().trimmed().isEmpty(), QStringLiteral("the binder is named for it"));

    const Binder capped = dialog.binder();
    check(capped.topValue == 360 && capped.rules.isEmpty(),
          QStringLiteral("the dialog produces a capped binder with no rules"));
    check(capped.columns * capped.rows == 9 && capped.topValue % 9 == 0,
          QStringLiteral("carrying the template's grid, so 360 is exactly forty pages"));

    templateCombo->setCurrentIndex(0);
    check(criteriaPanel->isEnabled() && dialog.binder().topValue == 0,
          QStringLiteral("switching back to a custom binder clears the cap"));
}

} // namespace

void testValueRankedBinders(TcgdexClient &client)
{
    CardCatalog catalog(&client, nullptr);
    catalog.ensureLoaded(Language::English);
    if (catalog.state(Language::English) != CatalogState::Ready) {
        check(false, QStringLiteral("the catalog is available to the resolver"));
        return;
    }
    DexIndex dexIndex(&client, nullptr);
    const QList<CatalogCard> cards = cardsToRank(catalog);
    if (cards.size() < CardsToRank) {
        check(false, QStringLiteral("a cached set offers enough cards to rank"));
        return;
    }

    Collection ladder;
    for (int i = 0; i < CardsToRank; ++i)
        addEntry(ladder, cards.at(i), i + 1.0, 1);
    Collection copies;
    addEntry(copies, cards.at(0), 2.0, 6);
    addEntry(copies, cards.at(1), 4.0, 1);
    Collection custom;
    addEntry(custom, cards.at(0), 2.0, 1);
    addEntry(custom, cards.at(1), 4.0, 1);
    Collection unpriced;
    for (const CatalogCard &card : cards)
        addEntry(unpriced, card, 0.0, 1);

    Binder top = newBinder(QStringLiteral("Top"), Language::English);
    top.topValue = 3;
    BinderResolution result = resolveBinder(top, &catalog, &dexIndex, &ladder);
    check(result.cards.size() == 3, QStringLiteral("the cap decides how many pockets there are"));
    if (result.cards.size() == 3) {
        check(isCard(result.cards.at(0), cards.at(3)) && isCard(result.cards.at(1), cards.at(4))
                  && isCard(result.cards.at(2), cards.at(5)),
              QStringLiteral("it keeps the dearest cards, cheapest of them first"));
        check(result.cards.at(2).value > result.cards.at(0).value,
              QStringLiteral("each pocket carries the value it was ranked on"));
        check(result.ownedCount == result.cards.size(),
              QStringLiteral("every pocket of a value binder is owned by construction"));
    }

    top.topValue = 1;
    result = resolveBinder(top, &catalog, &dexIndex, &copies);
    check(result.cards.size() == 1 && isCard(result.cards.at(0), cards.at(1)),
          QStringLiteral("a card ranks on its dearest copy, not on six cheap ones"));

    const int row = custom.indexOfEntry(entryKey(custom.entries().constFirst()));
    if (row >= 0) {
        CardEntry entry = custom.entries().at(row);
        entry.customPriceEur = 50.0;
        custom.updateEntry(row, entry);
        result = resolveBinder(top, &catalog, &dexIndex, &custom);
        check(result.cards.size() == 1 && result.cards.at(0).id == entry.cardId,
              QStringLiteral("a custom price is what the ranking sees"));
    }

    top.topValue = 360;
    result = resolveBinder(top, &catalog, &dexIndex, &ladder);
    check(result.cards.size() == cards.size(), QStringLiteral("a cap larger than the collection is not padded out"));

    top.topValue = 3;
    const QStringList firstCut = cardIds(resolveBinder(top, &catalog, &dexIndex, &unpriced));
    const QStringList secondCut = cardIds(resolveBinder(top, &catalog, &dexIndex, &unpriced));
    check(firstCut.size() == 3 && firstCut == secondCut,
          QStringLiteral("an unpriced collection still cuts in the same place twice"));

    Binder set = newBinder(QStringLiteral("Set"), Language::English);
    BinderRule rule;
    rule.setId = cards.at(0).setId;
    set.rules = {rule};
    result = resolveBinder(set, &catalog, &dexIndex, &ladder);
    check(result.cards.size() > cards.size(), QStringLiteral("a rules binder still resolves the whole set, uncapped"));
    bool unranked = true;
    for (const BinderCard &card : std::as_const(result.cards))
        unranked = unranked && card.value == 0.0;
    check(unranked, QStringLiteral("and its pockets carry no ranking value"));

    checkValueTemplate(catalog, dexIndex, ladder);
}

} // namespace pv::selftest
