#pragma once

#include "collection/CardEntry.h"
#include "collection/CollectionCommand.h"

namespace pv {

// Inserts a copy of a holding (in another condition, grade or printing)
// right after its source. A copy whose key is held already is refused: the
// command then changes nothing, and neither does its undo.
class DuplicateEntryCommand : public CollectionCommand
{
public:
    DuplicateEntryCommand(Collection *collection, const CardEntry &source, const CardEntry &copy,
                          QString *focusKey = nullptr, QUndoCommand *parent = nullptr);

    void undo() override;
    void redo() override;

private:
    QString m_sourceKey;
    CardEntry m_copy;
    bool m_inserted = false;
};

} // namespace pv
