#pragma once

#include "collection/Binder.h"
#include "collection/CollectionCommand.h"

namespace pv {

// Replaces a binder's definition; undo puts the previous one back.
class EditBinderCommand : public CollectionCommand
{
public:
    EditBinderCommand(Collection *collection, const Binder &before, const Binder &after,
                      QUndoCommand *parent = nullptr);

    void undo() override;
    void redo() override;

private:
    Binder m_before;
    Binder m_after;
};

} // namespace pv
