#include "collection/EditBinderCommand.h"

#include "collection/Collection.h"

#include <QCoreApplication>

namespace pv {

EditBinderCommand::EditBinderCommand(Collection *collection, const Binder &before, const Binder &after,
                                     QUndoCommand *parent)
    : CollectionCommand(collection, nullptr, parent), m_before(before), m_after(after)
{
    setText(QCoreApplication::translate("pv::EditBinderCommand", "Edit binder \"%1\"").arg(m_after.name));
}

void EditBinderCommand::redo()
{
    if (m_collection && !m_after.id.isEmpty())
        m_collection->upsertBinder(m_after);
}

void EditBinderCommand::undo()
{
    if (m_collection && !m_before.id.isEmpty())
        m_collection->upsertBinder(m_before);
}

} // namespace pv
