#pragma once

#include "catalog/CatalogCard.h"
#include "core/CardVocabulary.h"

#include <QDateTime>
#include <QMetaType>
#include <QString>

namespace pv {

// The most copies one holding can count, as the quantity editor allows.
inline constexpr int MaxEntryCount = 99999;

// One holding of the collection: a printing of one card in one condition and
// grade, with how many the user owns and what one of them is worth.
struct CardEntry
{
    QString cardId;
    QString setId;
    QString localId; // the number printed on the card
    QString name;
    Language lang = Language::English;
    QString variant = QStringLiteral("normal"); // finish key; empty when never stated
    QString edition = QStringLiteral("unlimited"); // empty counts as "unlimited"
    Condition condition = Condition::NearMint;
    GradingCompany gradeCompany = GradingCompany::None;
    QString gradeNote;
    int count = 1;
    QString notes;
    double customPriceEur = 0.0; // 0 or less: no custom price
    bool printLabel = false;
    QString image;
    QString rarity;
    int dexId = 0;
    double unitValueEur = 0.0; // grade multiplier included
    double unitValueUsd = 0.0;
    QDateTime priceUpdated; // UTC; null when never priced

    friend bool operator==(const CardEntry &a, const CardEntry &b)
    {
        return a.cardId == b.cardId && a.setId == b.setId && a.localId == b.localId && a.name == b.name
            && a.lang == b.lang && a.variant == b.variant && a.edition == b.edition
            && a.condition == b.condition && a.gradeCompany == b.gradeCompany
            && a.gradeNote == b.gradeNote && a.count == b.count && a.notes == b.notes
            && a.customPriceEur == b.customPriceEur && a.printLabel == b.printLabel
            && a.image == b.image && a.rarity == b.rarity && a.dexId == b.dexId
            && a.unitValueEur == b.unitValueEur && a.unitValueUsd == b.unitValueUsd
            && a.priceUpdated == b.priceUpdated;
    }
    friend bool operator!=(const CardEntry &a, const CardEntry &b) { return !(a == b); }

    // The market figures of `from`, both unit values and their date, which
    // a refresh (or a line added with a price) gives together.
    void takeFigures(const CardEntry &from)
    {
        unitValueEur = from.unitValueEur;
        unitValueUsd = from.unitValueUsd;
        priceUpdated = from.priceUpdated;
    }

    // A holding of the catalog's card, with its names, picture and rarity and
    // every other field at its default.
    static CardEntry ofCatalogCard(const CatalogCard &card)
    {
        CardEntry entry;
        entry.cardId = card.id;
        entry.setId = card.setId;
        entry.localId = card.localId;
        entry.name = card.name;
        entry.lang = card.language;
        entry.image = card.image;
        entry.rarity = card.rarity;
        return entry;
    }
};

} // namespace pv

// Every field moves as its bytes do: a list of holdings moves the holdings
// after an inserted or removed one as one block, not one by one.
Q_DECLARE_TYPEINFO(pv::CardEntry, Q_RELOCATABLE_TYPE);
Q_DECLARE_METATYPE(pv::CardEntry)
