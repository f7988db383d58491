#include "collection/AddBinderCommand.h"

#include "collection/Collection.h"

#include <QCoreApplication>

namespace pv {

AddBinderCommand::AddBinderCommand(Collection *collection, const Binder &binder, QUndoCommand *parent)
    : CollectionCommand(collection, nullptr, parent), m_binder(binder)
{
    setText(QCoreApplication::translate("pv::AddBinderCommand", "Add binder \"%1\"").arg(m_binder.name));
}

void AddBinderCommand::redo()
{
    if (m_collection && !m_binder.id.isEmpty())
        m_collection->upsertBinder(m_binder);
}

void AddBinderCommand::undo()
{
    if (!m_collection || m_binder.id.isEmpty())
        return;
    // Redo brings the binder back as it is now.
    if (const Binder *current = m_collection->binder(m_binder.id))
        m_binder = *current;
    m_collection->removeBinder(m_binder.id);
}

} // namespace pv
