#include "selftest/SelfTestHarness.h"
#include "selftest/SelfTests.h"

#include "core/CardArtwork.h"
#include "core/Pricing.h"
#include "core/ServiceUrls.h"

#include <QStringList>

namespace pv::selftest {

namespace {

constexpr int shortWait = 30000;
constexpr int longWait = 60000;

bool everyNameContains(const QList<CardBrief> &cards, const QString &fragment)
{
    if (cards.isEmpty())
        return false;
    for (const CardBrief &card : cards) {
        if (!card.name.contains(fragment, Qt::CaseInsensitive))
            return false;
    }
    return true;
}

// One request step: the capture is connected to the step's own loop, the
// request sent, the wait run, and the capture removed again.
template <typename Capture, typename Send>
void awaitReply(TcgdexClient &client, int timeoutMs, Capture capture, Send send)
{
    QEventLoop loop;
    const QMetaObject::Connection connection = capture(loop);
    send();
    waitForClient(client, loop, timeoutMs);
    QObject::disconnect(connection);
}

} // namespace

void testEnglishEndpoints(TcgdexClient &client)
{

    QList<SetBrief> sets;
    awaitReply(client, shortWait, [&](QEventLoop &loop) { return captureSetIndex(client, sets, loop); },
               [&] { client.fetchSetIndex(Language::English); });
    check(sets.size() > 100, QStringLiteral("/en/sets returned %1 sets").arg(sets.size()));
    if (!sets.isEmpty()) {
        QStringList names;
        for (int i = 0; i < sets.size() && i < 3; ++i)
            names.append(sets.at(i).name);
        out() << "  first in release order: " << names.join(QStringLiteral(", ")) << '\n';
        check(sets.first().order == 0, QStringLiteral("the release order index starts at 0"));
    }

    pv::SetDetail set;
    awaitReply(client, shortWait, [&](QEventLoop &loop) { return captureSetDetail(client, set, loop); },
               [&] { client.fetchSet(Language::English, QStringLiteral("sv03")); });
    check(set.name == QLatin1String("Obsidian Flames"),
          QStringLiteral("/en/sets/sv03 is named \"%1\"").arg(set.name));
    check(set.releaseDate.isValid(),
          QStringLiteral("release date parsed as %1").arg(set.releaseDate.toString(Qt::ISODate)));
    check(set.serieName == QLatin1String("Scarlet & Violet"),
          QStringLiteral("series is \"%1\"").arg(set.serieName));
    check(set.cards.size() > 200, QStringLiteral("the set holds %1 cards").arg(set.cards.size()));

    CardDetail card;
    awaitReply(client, shortWait, [&](QEventLoop &loop) { return captureCard(client, card, loop); },
               [&] { client.fetchCard(Language::English, QStringLiteral("sv03-001")); });
    check(card.name == QLatin1String("Oddish"),
          QStringLiteral("/en/cards/sv03-001 is \"%1\"").arg(card.name));
    check(card.image.endsWith(QLatin1String("/sv03/001")),
          QStringLiteral("image base URL is %1").arg(card.image));

    const QString unlimited = QStringLiteral("unlimited");
    const double normalEur = Pricing::priceValue(card, QStringLiteral("normal"), unlimited);
    const double reverseEur = Pricing::priceValue(card, QStringLiteral("reverse"), unlimited);
    const double normalUsd = Pricing::tcgplayerPrice(card, QStringLiteral("normal"), unlimited);
    out() << "  normal EUR " << normalEur << "  |  reverse EUR " << reverseEur << "  |  normal USD " << normalUsd
          << '\n';
    check(normalEur > 0, QStringLiteral("a Cardmarket EUR price was resolved"));
    check(normalUsd > 0, QStringLiteral("a TCGplayer USD price was resolved"));
}

void testBinderEndpoints(TcgdexClient &client)
{
    const CardsByRaritySignal byRarity = &TcgdexClient::cardsByRarityReady;
    const CardsByDexIdSignal byDexId = &TcgdexClient::cardsByDexIdReady;

    QStringList rarities;
    awaitReply(client, shortWait, [&](QEventLoop &loop) { return captureRarityList(client, rarities, loop); },
               [&] { client.fetchRarityList(Language::English); });
    check(rarities.size() > 20,
          QStringLiteral("/en/rarities lists the rarity vocabulary (%1 entries)").arg(rarities.size()));
    check(rarities.contains(QStringLiteral("Amazing Rare")), QStringLiteral("\"Amazing Rare\" is one of them"));
    check(rarities.contains(QStringLiteral("Rare Holo LV.X")),
          QStringLiteral("\"Rare Holo LV.X\" survives its dot and space"));

    QList<CardBrief> amazing;
    awaitReply(client, shortWait,
               [&](QEventLoop &loop) { return captureCardList(client, byRarity, amazing, loop); },
               [&] { client.fetchCardsByRarity(Language::English, QStringLiteral("Amazing Rare")); });
    check(amazing.size() == 9,
          QStringLiteral("?rarity=Amazing Rare returns the nine Amazing Rares (got %1)").arg(amazing.size()));
    bool complete = !amazing.isEmpty();
    for (const CardBrief &card : std::as_const(amazing)) {
        if (card.id.isEmpty() || card.setId.isEmpty() || card.name.isEmpty())
            complete = false;
    }
    check(complete, QStringLiteral("each filtered row carries an id, set and name"));

    int levelX = 0;
    awaitReply(client, shortWait, [&](QEventLoop &loop) { return captureCardCount(client, levelX, loop); },
               [&] { client.fetchCardsByRarity(Language::English, QStringLiteral("Rare Holo LV.X")); });
    check(levelX > 0,
          QStringLiteral("a rarity with a space and a dot still filters (%1 Level X cards)").arg(levelX));

    QList<CardBrief> eevees;
    awaitReply(client, shortWait,
               [&](QEventLoop &loop) { return captureCardList(client, byDexId, eevees, loop); },
               [&] { client.fetchCardsByDexId(Language::English, 133); });
    check(eevees.size() > 50, QStringLiteral("?dexId=133 returns the Eevee cards (%1)").arg(eevees.size()));
    check(everyNameContains(eevees, QStringLiteral("Eevee")),
          QStringLiteral("every card returned for dex 133 is an Eevee"));

    int plainRares = 0;
    awaitReply(client, longWait, [&](QEventLoop &loop) { return captureCardCount(client, plainRares, loop); },
               [&] { client.fetchCardsByRarity(Language::English, QStringLiteral("Rare")); });
    check(plainRares >= 1 && plainRares <= 5999,
          QStringLiteral("\"Rare\" matches only the plain Rares, not every ...Rare (%1)").arg(plainRares));

    QList<CardBrief> bulbasaurs;
    awaitReply(client, longWait,
               [&](QEventLoop &loop) { return captureCardList(client, byDexId, bulbasaurs, loop); },
               [&] { client.fetchCardsByDexId(Language::English, 1); });
    check(everyNameContains(bulbasaurs, QStringLiteral("Bulbasaur")),
          QStringLiteral("dex 1 is Bulbasaur alone, not every dex starting with a 1 (%1 cards)")
              .arg(bulbasaurs.size()));
}

void testJapaneseEndpoints(TcgdexClient &client)
{

    pv::SetDetail set;
    awaitReply(client, shortWait, [&](QEventLoop &loop) { return captureSetDetail(client, set, loop); },
               [&] { client.fetchSet(Language::Japanese, QStringLiteral("SV3")); });
    check(!set.cards.isEmpty(), QStringLiteral("/ja/sets/SV3 holds %1 cards").arg(set.cards.size()));

    CardDetail card;
    awaitReply(client, shortWait, [&](QEventLoop &loop) { return captureCard(client, card, loop); },
               [&] { client.fetchCard(Language::Japanese, QStringLiteral("SV3-001")); });
    check(!card.name.isEmpty(), QStringLiteral("/ja/cards/SV3-001 is \"%1\"").arg(card.name));

    const QString unlimited = QStringLiteral("unlimited");
    const double eur = Pricing::priceValue(card, QStringLiteral("normal"), unlimited);
    const double usd = Pricing::tcgplayerPrice(card, QStringLiteral("normal"), unlimited);
    out() << "  EUR " << eur << "  |  USD " << usd << '\n';
    check(eur > 0, QStringLiteral("Cardmarket prices Japanese cards"));
    check(usd == 0, QStringLiteral("a null TCGplayer block reads as 0.00"));
}

void testImages(TcgdexClient &client)
{
    const QString host = ServiceUrls::defaultAssetsBase();

    QPixmap thumbnail;
    awaitReply(client, shortWait, [&](QEventLoop &loop) { return captureImage(client, thumbnail, loop); },
               [&] { client.fetchCardImage(host + QStringLiteral("/en/sv/sv03/001"), 0); });
    check(!thumbnail.isNull(),
          QStringLiteral("low.jpg thumbnail decoded (%1x%2)").arg(thumbnail.width()).arg(thumbnail.height()));

    const QString symbolBase = host + QStringLiteral("/univ/sv/sv03/symbol");
    check(setArtworkUrl(symbolBase) == host + QStringLiteral("/en/sv/sv03/symbol.png"),
          QStringLiteral("a /univ/ symbol URL is rewritten to the language folder"));

    QPixmap symbol;
    {
        QEventLoop loop;
        const auto captured = captureImage(client, symbol, loop);
        const auto failed = quitLoop(&client, &TcgdexClient::imageFailed, loop);
        client.fetchSetArtwork(symbolBase);
        waitForClient(client, loop, shortWait);
        QObject::disconnect(captured);
        QObject::disconnect(failed);
    }
    check(!symbol.isNull(), QStringLiteral("the set symbol downloaded and decoded (%1x%2)")
                                .arg(symbol.width())
                                .arg(symbol.height()));
}

} // namespace pv::selftest
