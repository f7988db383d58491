#pragma once

#include "catalog/TcgdexClient.h"
#include "core/CardDetail.h"

#include <QJsonObject>
#include <QList>
#include <QString>

namespace pv::test {

// A card database client whose card requests are only written down; the
// test answers them itself.
class RecordingClient : public TcgdexClient
{
public:
    struct Sent
    {
        int id;
        Language language;
        QString cardId;
        CacheUse cacheUse;
    };
    QList<Sent> sent;
    QList<int> cancelled;
    int nextId = 500;

    int fetchCard(Language language, const QString &cardId, CacheUse cacheUse) override
    {
        sent.append({nextId, language, cardId, cacheUse});
        return nextId++;
    }
    void cancel(int requestId) override { cancelled.append(requestId); }

    int idOf(const QString &cardId, Language language = Language::English) const
    {
        for (const Sent &request : sent) {
            if (request.cardId == cardId && request.language == language)
                return request.id;
        }
        return -1;
    }

    // Answers the request for the card with a Cardmarket trend (0: no price).
    void answer(const QString &cardId, double trend = 0.0, const QString &rarity = QString(),
                Language language = Language::English, int requestId = 0)
    {
        CardDetail card = cardOf(cardId);
        card.rarity = rarity;
        if (trend > 0.0)
            card.pricing.insert(QStringLiteral("cardmarket"), QJsonObject{{QStringLiteral("trend"), trend}});
        Q_EMIT cardReady(requestId ? requestId : idOf(cardId, language), language, card);
    }
    // Answers with a TCGplayer market price in dollars for every finish.
    void answerInDollars(const QString &cardId, double marketPrice)
    {
        CardDetail card = cardOf(cardId);
        const QJsonObject price{{QStringLiteral("marketPrice"), marketPrice}};
        card.pricing.insert(QStringLiteral("tcgplayer"),
                            QJsonObject{{QStringLiteral("normal"), price}, {QStringLiteral("holofoil"), price}});
        Q_EMIT cardReady(idOf(cardId), Language::English, card);
    }
    static CardDetail cardOf(const QString &cardId)
    {
        CardDetail card;
        card.id = cardId;
        card.localId = cardId.section(QLatin1Char('-'), 1);
        card.setId = cardId.section(QLatin1Char('-'), 0, 0);
        return card;
    }
    void fail(const QString &cardId, const QString &message, ReplyFailure kind = ReplyFailure::NotReached)
    {
        Q_EMIT requestFailed(idOf(cardId), QStringLiteral("card %1").arg(cardId), message, kind);
    }
};

} // namespace pv::test
