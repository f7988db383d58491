#include "collection/SetPrintLabelsCommand.h"

#include "collection/Collection.h"
#include "collection/EntryKeys.h"

#include <QHash>

namespace pv {

SetPrintLabelsCommand::SetPrintLabelsCommand(Collection *collection, const QStringList &keys, bool flag,
                                             const QString &text, QString *focusKey, QUndoCommand *parent)
    : CollectionCommand(collection, focusKey, parent), m_keys(keys), m_flag(flag),
      m_oldFlags(keys.size(), !flag)
{
    setText(text);
}

void SetPrintLabelsCommand::redo()
{
    apply(true);
}

void SetPrintLabelsCommand::undo()
{
    apply(false);
}

void SetPrintLabelsCommand::apply(bool redoing)
{
    if (!m_collection || m_keys.isEmpty())
        return;
    Batch batch(m_collection);
    if (m_keys.size() == 1)
        setFocus(m_keys.first());
    // One pass over the holdings instead of a search per key: marking a whole
    // set in a large collection would otherwise take seconds. The first row
    // with a key wins, as with indexOfEntry; changing the label flag changes
    // no key, so the rows stay valid throughout.
    QHash<QString, int> rows;
    const QList<CardEntry> &entries = m_collection->entries();
    rows.reserve(entries.size());
    for (int row = int(entries.size()) - 1; row >= 0; --row)
        rows.insert(entryKey(entries.at(row)), row);
    for (qsizetype i = 0; i < m_keys.size(); ++i) {
        const int row = rows.value(m_keys.at(i), -1);
        if (row < 0)
            continue;
        CardEntry entry = m_collection->entries().at(row);
        if (redoing && !m_captured)
            m_oldFlags[i] = entry.printLabel;
        const bool target = redoing ? m_flag : m_oldFlags.at(i);
        if (entry.printLabel != target) {
            entry.printLabel = target;
            m_collection->replaceEntry(row, entry);
        }
    }
    if (redoing)
        m_captured = true;
}

} // namespace pv
