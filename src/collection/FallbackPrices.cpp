#include "collection/FallbackPrices.h"

#include "catalog/CardCatalog.h"
#include "collection/Collection.h"
#include "core/CardKeys.h"

namespace pv {

namespace {

// A name to match by: neither empty nor the set id, which would match
// another expansion whose name holds it.
bool hasMatchableName(const SetRecord &record)
{
    const QString name = record.name.trimmed();
    return !name.isEmpty() && name.compare(record.id.trimmed(), Qt::CaseInsensitive) != 0;
}

} // namespace

FallbackPrices::FallbackPrices(Collection *collection, PriceIndex *index, QObject *parent)
    : QObject(parent)
    , m_collection(collection)
    , m_index(index)
{
    connect(index, &PriceIndex::setIndexed, this, &FallbackPrices::settled);
    // Another document: the records the last one chose are none of its own.
    if (collection)
        connect(collection, &Collection::changed, this, [this](const Collection::Change &change) {
            if (change.contentsReplaced())
                forgetDocument();
        });
}

FallbackPrices::~FallbackPrices() = default;

void FallbackPrices::setCatalog(CardCatalog *catalog)
{
    m_catalog = catalog;
}

SetRecord FallbackPrices::chooseRecord(Language language, const QString &setId) const
{
    if (m_collection && m_collection->hasSet(language, setId)) {
        const SetRecord record = m_collection->setInfo(language, setId);
        if (hasMatchableName(record))
            return record;
    }
    if (m_catalog) {
        const SetRecord record = m_catalog->setSummary(language, setId);
        if (!record.id.isEmpty() && hasMatchableName(record))
            return record;
    }
    return {};
}

void FallbackPrices::forgetDocument()
{
    m_records.clear();
    m_askedByViews.clear();
}

bool FallbackPrices::isLookedUp(Language language, const QString &setId) const
{
    return m_index && m_records.contains(foldedSetKey(language, setId));
}

QString FallbackPrices::indexedId(Language language, const QString &setId) const
{
    const auto pinned = m_records.constFind(foldedSetKey(language, setId));
    return pinned != m_records.constEnd() ? pinned->id : setId;
}

SetRecord FallbackPrices::setRecord(Language language, const QString &setId) const
{
    if (setId.isEmpty())
        return {};
    const auto pinned = m_records.constFind(foldedSetKey(language, setId));
    return pinned != m_records.constEnd() ? pinned.value() : chooseRecord(language, setId);
}

bool FallbackPrices::lookUp(Language language, const QString &setId)
{
    if (!lookUpForRun(language, setId))
        return false;
    m_askedByViews.insert(foldedSetKey(language, setId));
    return true;
}

void FallbackPrices::dropLookUpForRun(Language language, const QString &setId)
{
    const QString key = foldedSetKey(language, setId);
    if (!m_index || m_askedByViews.contains(key) || !isPending(language, setId))
        return;
    m_index->dropPendingSet(language, indexedId(language, setId));
    m_records.remove(key);
}

bool FallbackPrices::lookUpForRun(Language language, const QString &setId)
{
    const SetRecord record = setRecord(language, setId);
    if (record.id.isEmpty() || !m_index)
        return false;
    m_records.insert(foldedSetKey(language, setId), record);
    m_index->indexSet(record);
    return true;
}

bool FallbackPrices::lookUpAgain(Language language, const QString &setId)
{
    // The record the set would be given now, else the one it was looked up with.
    SetRecord record = chooseRecord(language, setId);
    if (record.id.isEmpty())
        record = setRecord(language, setId);
    if (record.id.isEmpty() || !m_index)
        return false;
    m_records.insert(foldedSetKey(language, setId), record);
    m_index->retrySet(record);
    return true;
}

PriceIndex::SetState FallbackPrices::state(Language language, const QString &setId) const
{
    return isLookedUp(language, setId) ? m_index->setState(language, indexedId(language, setId))
                                       : PriceIndex::NotIndexed;
}

bool FallbackPrices::isPending(Language language, const QString &setId) const
{
    return state(language, setId) == PriceIndex::Pending;
}

bool FallbackPrices::isLookingUp(Language language, const QString &setId) const
{
    return isLookedUp(language, setId) && m_index->isSetPending(language, indexedId(language, setId));
}

QString FallbackPrices::statusText(Language language, const QString &setId) const
{
    return isLookedUp(language, setId) ? m_index->statusText(language, indexedId(language, setId)) : QString();
}

std::optional<ReplyFailure> FallbackPrices::groupFailure(Language language, const QString &setId) const
{
    return isLookedUp(language, setId) ? m_index->groupFailure(language, indexedId(language, setId)) : std::nullopt;
}

CardDetail FallbackPrices::withFallbackPrices(Language language, const CardDetail &card) const
{
    if (!isLookedUp(language, card.setId))
        return card;
    CardDetail asked = card;
    asked.setId = indexedId(language, card.setId);
    CardDetail priced = m_index->withFallbackPrices(language, asked);
    priced.setId = card.setId;
    return priced;
}

QJsonObject FallbackPrices::cardPrices(Language language, const QString &setId, const QString &number) const
{
    return isLookedUp(language, setId) ? m_index->cardPrices(language, indexedId(language, setId), number)
                                       : QJsonObject();
}

} // namespace pv
