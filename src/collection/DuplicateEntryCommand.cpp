#include "collection/DuplicateEntryCommand.h"

#include "collection/Collection.h"
#include "collection/EntryKeys.h"

#include <QCoreApplication>

#include <algorithm>

namespace pv {

DuplicateEntryCommand::DuplicateEntryCommand(Collection *collection, const CardEntry &source,
                                             const CardEntry &copy, QString *focusKey,
                                             QUndoCommand *parent)
    : CollectionCommand(collection, focusKey, parent), m_sourceKey(entryKey(source)), m_copy(copy)
{
    m_copy.count = std::max(1, m_copy.count);
    setText(QCoreApplication::translate("pv::DuplicateEntryCommand", "Duplicate %1 (%2)")
                .arg(m_copy.name, conditionDisplayName(m_copy.condition)));
}

void DuplicateEntryCommand::redo()
{
    if (!m_collection || m_copy.cardId.isEmpty())
        return;
    const QString copyKey = entryKey(m_copy);
    m_inserted = m_collection->indexOfEntry(copyKey) < 0;
    if (!m_inserted)
        return;
    const int source = m_collection->indexOfEntry(m_sourceKey);
    const int position = source >= 0 ? source + 1 : int(m_collection->entries().size());
    setFocus(copyKey);
    m_collection->insertEntry(position, m_collection->withLatestFigures(m_copy));
}

void DuplicateEntryCommand::undo()
{
    if (!m_collection || !m_inserted)
        return;
    const QString copyKey = entryKey(m_copy);
    const int found = m_collection->indexOfEntry(copyKey);
    if (found < 0)
        return;
    // Redo brings the copy back as it is now, prices included.
    m_copy = m_collection->entries().at(found);
    if (focusIs(copyKey))
        setFocus(m_sourceKey);
    m_collection->removeEntryAt(found);
}

} // namespace pv
