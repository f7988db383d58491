#include "collection/EditEntryCommand.h"

#include "collection/Collection.h"
#include "collection/EntryKeys.h"
#include "core/SteadyClock.h"

#include <QCoreApplication>

#include <algorithm>

namespace pv {

EditEntryCommand::EditEntryCommand(Collection *collection, int row, const CardEntry &after,
                                   QString *focusKey, QUndoCommand *parent)
    : CollectionCommand(collection, focusKey, parent), m_after(after), m_row(row)
{
    m_after.count = std::max(1, m_after.count);
    if (collection && row >= 0 && row < collection->entries().size()) {
        m_before = collection->entries().at(row);
        const int other = collection->indexOfEntry(entryKey(m_after));
        if (other >= 0 && other != row)
            m_mergeTarget = collection->entries().at(other);
    }
    setText(QCoreApplication::translate("pv::EditEntryCommand", "Edit %1").arg(m_before.name));
    m_editedAtMs = SteadyClock::nowMs();
}

void EditEntryCommand::redo()
{
    if (!m_collection || m_before.cardId.isEmpty())
        return;
    const int found = rowOfKey(m_row, entryKey(m_before));
    if (found < 0)
        return;
    Batch batch(m_collection);
    m_row = found;
    setFocus(entryKey(m_after));
    // Only what the user edited changes: the figures a refresh gave the
    // holding since the edit was made (or undone) stay.
    const CardEntry current = m_collection->entries().at(found);
    if (hasMergeTarget()) {
        // The edited holding leaves as it stands, and comes back so; the
        // holding it folds into keeps its figures too.
        m_before = current;
        const int target = m_collection->indexOfEntry(entryKey(m_mergeTarget));
        if (target >= 0)
            m_mergeTarget = m_collection->entries().at(target);
    }
    m_collection->updateEntry(m_row, m_collection->withLatestFigures(keepingRefreshed(current, m_after)));
}

void EditEntryCommand::undo()
{
    if (!m_collection || m_before.cardId.isEmpty())
        return;
    Batch batch(m_collection);
    setFocus(entryKey(m_before));
    if (!hasMergeTarget()) {
        const int found = rowOfKey(m_row, entryKey(m_after));
        if (found >= 0)
            m_collection->replaceEntry(found,
                                       m_collection->withLatestFigures(
                                           keepingRefreshed(m_collection->entries().at(found), m_before)));
        return;
    }
    const int target = m_collection->indexOfEntry(entryKey(m_mergeTarget));
    if (target >= 0)
        m_collection->replaceEntry(target, keepingRefreshed(m_collection->entries().at(target), m_mergeTarget));
    // The edited holding comes back with what a refresh since gave its
    // printing, as the holding it folded into keeps its own.
    m_collection->insertEntry(m_row, m_collection->withLatestFigures(m_before));
}

bool EditEntryCommand::mergeWith(const QUndoCommand *other)
{
    const auto *next = dynamic_cast<const EditEntryCommand *>(other);
    if (!next || next->m_collection != m_collection)
        return false;
    if (hasMergeTarget() || next->hasMergeTarget())
        return false;
    if (entryKey(next->m_before) != entryKey(m_after))
        return false;
    if (next->m_editedAtMs - m_editedAtMs > MergeWindowMs)
        return false;
    m_after = next->m_after;
    m_editedAtMs = next->m_editedAtMs;
    if (entryKey(m_after) == entryKey(m_before) && m_after.count == m_before.count
        && m_after.notes == m_before.notes && m_after.customPriceEur == m_before.customPriceEur)
        setObsolete(true);
    return true;
}

} // namespace pv
