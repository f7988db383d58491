#pragma once

#include "core/CardDetail.h"
#include "core/CardVocabulary.h"
#include "core/SetRecord.h"
#include "prices/PriceIndex.h"

#include <optional>

#include <QHash>
#include <QSet>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QString>

namespace pv {

class CardCatalog;
class Collection;

// The one door to the fallback prices of sets for the price refresh and for
// every view. It owns the choice of the record a set is matched through:
// the collection's record when it holds one with a name, else the catalog's.
// A name that is empty or the set id itself is none: the bare id would be
// matched to another expansion. The collection's record is the one the
// holdings were valued from and does not change as the views visit sets,
// while the catalog learns a set's release date only when the set is
// visited.
//
// Once a set has been looked up, the record it was matched through stays its
// record, whoever asks later and whatever the collection or the catalog come
// to hold: a view can never make the index match a set again under a
// running refresh. lookUpAgain, which a refresh calls before it prices
// anything, chooses the record anew. What the document chose is dropped when
// its contents are replaced: until the next document asks for a set, the set
// is not looked up for it and answers nothing, whatever the index kept.
class FallbackPrices : public QObject
{
    Q_OBJECT

public:
    // The collection and the index are borrowed and outlive this object.
    FallbackPrices(Collection *collection, PriceIndex *index, QObject *parent = nullptr);
    ~FallbackPrices() override;

    // Records of the sets the collection holds none of; may stay unset.
    void setCatalog(CardCatalog *catalog);

    // The record the set is (or would be) matched through; empty when there
    // is none, and then the set has no fallback prices.
    SetRecord setRecord(Language language, const QString &setId) const;
    // Asks for the set's fallback prices for a view, which waits for them
    // however the price refresh ends; false when it has no record.
    bool lookUp(Language language, const QString &setId);
    // As lookUp, for the price refresh alone (as is lookUpAgain).
    bool lookUpForRun(Language language, const QString &setId);
    // The price refresh no longer waits for the set: a look-up still running
    // that no view asked for is dropped, as if the set had not been asked
    // about.
    void dropLookUpForRun(Language language, const QString &setId);
    // As lookUp, through the record the set would be given now; a set whose
    // look-up failed, ended without a group or products, or whose data is
    // older than a day is asked again.
    bool lookUpAgain(Language language, const QString &setId);

    // NotIndexed for a set this document has not looked up.
    PriceIndex::SetState state(Language language, const QString &setId) const;
    bool isPending(Language language, const QString &setId) const;
    // Whether a TCGCSV group the set is priced from, its own or another, is
    // still being looked up: the figures it would give are not known yet.
    bool isLookingUp(Language language, const QString &setId) const;
    QString statusText(Language language, const QString &setId) const;
    // How the look-up of a group of the set failed (its own or one it is
    // also priced from); nothing when none failed.
    std::optional<ReplyFailure> groupFailure(Language language, const QString &setId) const;
    CardDetail withFallbackPrices(Language language, const CardDetail &card) const;
    QJsonObject cardPrices(Language language, const QString &setId, const QString &number) const;

Q_SIGNALS:
    // The set's fallback prices settled, well or not (the index's setIndexed).
    // The set id is spelt as its record is, perhaps otherwise than asked:
    // sets are told apart without regard to case.
    void settled(pv::Language language, const QString &setId, bool ok);

private:
    SetRecord chooseRecord(Language language, const QString &setId) const;
    bool isLookedUp(Language language, const QString &setId) const;
    // The set id as the index was given it, however the caller spells it.
    QString indexedId(Language language, const QString &setId) const;
    void forgetDocument();

    Collection *m_collection = nullptr;
    QPointer<PriceIndex> m_index;
    QPointer<CardCatalog> m_catalog;
    // By set key in lower case: the record each set was handed to the index
    // with, for the document the collection holds now.
    QHash<QString, SetRecord> m_records;
    // Set keys as above: the sets a view of this document asked about.
    QSet<QString> m_askedByViews;
};

} // namespace pv
