#include "collection/FallbackPrices.h"

#include "catalog/CardCatalog.h"
#include "collection/Collection.h"
#include "core/CardKeys.h"

namespace pv {

FallbackPrices::FallbackPrices(Collection *collection, PriceIndex *index, QObject *parent)
    : QObject(parent)
    , m_collection(collection)
    , m_index(index)
{
    connect(index, &PriceIndex::setIndexed, this, &FallbackPrices::settled);
}

FallbackPrices::~FallbackPrices() = default;

void FallbackPrices::setCatalog(CardCatalog *catalog)
{
    m_catalog = catalog;
}

SetRecord FallbackPrices::chooseRecord(Language language, const QString &setId) const
{
    // A record without a name gives the matcher nothing to go on: it counts
    // as none, as does the bare set id.
    if (m_collection && m_collection->hasSet(language, setId)) {
        const SetRecord record = m_collection->setInfo(language, setId);
        if (!record.name.isEmpty())
            return record;
    }
    if (m_catalog) {
        const SetRecord record = m_catalog->setSummary(language, setId);
        if (!record.id.isEmpty() && !record.name.isEmpty())
            return record;
    }
    return {};
}

SetRecord FallbackPrices::setRecord(Language language, const QString &setId) const
{
    if (setId.isEmpty())
        return {};
    const auto pinned = m_records.constFind(setKey(language, setId));
    return pinned != m_records.constEnd() ? pinned.value() : chooseRecord(language, setId);
}

bool FallbackPrices::lookUp(Language language, const QString &setId)
{
    const SetRecord record = setRecord(language, setId);
    if (record.id.isEmpty() || !m_index)
        return false;
    m_records.insert(setKey(language, setId), record);
    m_index->indexSet(record);
    return true;
}

bool FallbackPrices::lookUpAgain(Language language, const QString &setId)
{
    if (!m_index || state(language, setId) != PriceIndex::Failed)
        return lookUp(language, setId);
    // The record the set would be given now, else the one it failed with.
    SetRecord record = chooseRecord(language, setId);
    if (record.id.isEmpty())
        record = setRecord(language, setId);
    m_records.insert(setKey(language, setId), record);
    m_index->retrySet(record);
    return true;
}

PriceIndex::SetState FallbackPrices::state(Language language, const QString &setId) const
{
    return m_index ? m_index->setState(language, setId) : PriceIndex::NotIndexed;
}

QString FallbackPrices::statusText(Language language, const QString &setId) const
{
    return m_index ? m_index->statusText(language, setId) : QString();
}

ReplyFailure FallbackPrices::failure(Language language, const QString &setId) const
{
    return m_index ? m_index->failure(language, setId) : ReplyFailure::NotReached;
}

CardDetail FallbackPrices::withFallbackPrices(Language language, const CardDetail &card) const
{
    return m_index ? m_index->withFallbackPrices(language, card) : card;
}

QJsonObject FallbackPrices::cardPrices(Language language, const QString &setId, const QString &number) const
{
    return m_index ? m_index->cardPrices(language, setId, number) : QJsonObject();
}

} // namespace pv
