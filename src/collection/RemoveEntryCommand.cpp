#include "collection/RemoveEntryCommand.h"

#include "collection/Collection.h"
#include "collection/EntryKeys.h"

#include <QCoreApplication>

namespace pv {

RemoveEntryCommand::RemoveEntryCommand(Collection *collection, int row, QString *focusKey,
                                       QUndoCommand *parent)
    : CollectionCommand(collection, focusKey, parent), m_row(row)
{
    if (collection && row >= 0 && row < collection->entries().size())
        m_entry = collection->entries().at(row);
    setText(QCoreApplication::translate("pv::RemoveEntryCommand", "Remove %1 (%2)")
                .arg(m_entry.name, conditionDisplayName(m_entry.condition)));
}

void RemoveEntryCommand::redo()
{
    if (!m_collection || m_entry.cardId.isEmpty())
        return;
    const int found = rowOfKey(m_row, entryKey(m_entry));
    if (found < 0)
        return;
    m_row = found;
    // Undo brings the holding back as it is now, prices included.
    m_entry = m_collection->entries().at(found);
    setFocus(QString());
    m_collection->removeEntryAt(m_row);
}

void RemoveEntryCommand::undo()
{
    if (!m_collection || m_entry.cardId.isEmpty())
        return;
    setFocus(entryKey(m_entry));
    m_collection->insertEntry(m_row, m_collection->withLatestFigures(m_entry));
}

} // namespace pv
