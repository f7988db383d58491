#pragma once

#include "collection/Binder.h"
#include "collection/CollectionCommand.h"

namespace pv {

// Removes a binder; undo puts it back at its old position. A command made for
// an id that no binder has does nothing either way.
class RemoveBinderCommand : public CollectionCommand
{
public:
    RemoveBinderCommand(Collection *collection, const QString &binderId, QUndoCommand *parent = nullptr);

    void undo() override;
    void redo() override;

private:
    Binder m_binder;  // empty id when no binder had the id
    int m_index = -1;
};

} // namespace pv
