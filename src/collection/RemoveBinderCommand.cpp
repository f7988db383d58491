#include "collection/RemoveBinderCommand.h"

#include "collection/Collection.h"

#include <QCoreApplication>

namespace pv {

RemoveBinderCommand::RemoveBinderCommand(Collection *collection, const QString &binderId,
                                         QUndoCommand *parent)
    : CollectionCommand(collection, nullptr, parent)
{
    if (collection) {
        if (const Binder *found = collection->binder(binderId)) {
            m_binder = *found;
            m_index = collection->indexOfBinder(binderId);
        }
    }
    setText(QCoreApplication::translate("pv::RemoveBinderCommand", "Remove binder \"%1\"").arg(m_binder.name));
}

void RemoveBinderCommand::redo()
{
    if (!m_collection || m_binder.id.isEmpty())
        return;
    // Undo brings the binder back as it is now, where it is now.
    if (const Binder *current = m_collection->binder(m_binder.id)) {
        m_binder = *current;
        m_index = m_collection->indexOfBinder(m_binder.id);
    }
    m_collection->removeBinder(m_binder.id);
}

void RemoveBinderCommand::undo()
{
    if (m_collection && !m_binder.id.isEmpty())
        m_collection->insertBinder(m_index, m_binder);
}

} // namespace pv
