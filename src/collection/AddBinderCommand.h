#pragma once

#include "collection/Binder.h"
#include "collection/CollectionCommand.h"

namespace pv {

// Adds a binder, or replaces the one with the same id; undo removes it.
class AddBinderCommand : public CollectionCommand
{
public:
    AddBinderCommand(Collection *collection, const Binder &binder, QUndoCommand *parent = nullptr);

    void undo() override;
    void redo() override;

private:
    Binder m_binder;
};

} // namespace pv
