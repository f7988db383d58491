#include "collection/CollectionCommand.h"

#include "collection/Collection.h"
#include "collection/EntryKeys.h"
#include "core/Pricing.h"

namespace pv {

CollectionCommand::CollectionCommand(Collection *collection, QString *focusKey, QUndoCommand *parent)
    : QUndoCommand(parent), m_collection(collection), m_focusKey(focusKey)
{
}

CardEntry CollectionCommand::keepingRefreshed(const CardEntry &current, CardEntry changed)
{
    if (changed.lang != current.lang || changed.cardId != current.cardId)
        return changed;
    changed.rarity = current.rarity;
    changed.dexId = current.dexId;
    if (printingKey(changed.variant, changed.edition) == printingKey(current.variant, current.edition)
        && Pricing::gradeMultiplier(changed.gradeCompany, changed.gradeNote)
            == Pricing::gradeMultiplier(current.gradeCompany, current.gradeNote))
        changed.takeFigures(current);
    return changed;
}

void CollectionCommand::setFocus(const QString &key)
{
    if (m_focusKey)
        *m_focusKey = key;
}

bool CollectionCommand::focusIs(const QString &key) const
{
    return m_focusKey && *m_focusKey == key;
}

int CollectionCommand::rowOfKey(int rememberedRow, const QString &key) const
{
    if (!m_collection)
        return -1;
    const QList<CardEntry> &entries = m_collection->entries();
    if (rememberedRow >= 0 && rememberedRow < entries.size()
        && entryKey(entries.at(rememberedRow)) == key)
        return rememberedRow;
    return m_collection->indexOfEntry(key);
}

CollectionCommand::Batch::Batch(Collection *collection) : m_collection(collection)
{
    if (m_collection)
        m_collection->beginBatch();
}

CollectionCommand::Batch::~Batch()
{
    if (m_collection)
        m_collection->endBatch();
}

} // namespace pv
