#pragma once

#include "collection/CardEntry.h"
#include "collection/CollectionCommand.h"

namespace pv {

// Removes one holding; undo puts it back at its old row.
class RemoveEntryCommand : public CollectionCommand
{
public:
    RemoveEntryCommand(Collection *collection, int row, QString *focusKey = nullptr,
                       QUndoCommand *parent = nullptr);

    void undo() override;
    void redo() override;

private:
    CardEntry m_entry;  // empty card id when the row was not valid
    int m_row;
};

} // namespace pv
