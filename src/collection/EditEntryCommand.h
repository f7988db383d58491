#pragma once

#include "collection/CardEntry.h"
#include "collection/CollectionCommand.h"


namespace pv {

// Gives one holding the fields the user edited (count, condition, grade,
// finish, edition, notes, custom price, label flag); undo gives back the old
// ones, and the holding keeps the market figures a refresh gave it in
// between. An edit that gives the holding the key of another one folds it
// into that holding (counts added, edited row removed); undo brings both
// back, the other one with its own figures. Quick successive edits of one holding,
// each made within MergeWindowMs of the previous (by SteadyClock), become one
// undo step.
class EditEntryCommand : public CollectionCommand
{
public:
    static constexpr int CommandId = 1001;
    static constexpr qint64 MergeWindowMs = 1500;

    EditEntryCommand(Collection *collection, int row, const CardEntry &after,
                     QString *focusKey = nullptr, QUndoCommand *parent = nullptr);

    void undo() override;
    void redo() override;
    int id() const override { return CommandId; }
    bool mergeWith(const QUndoCommand *other) override;

private:
    bool hasMergeTarget() const { return !m_mergeTarget.cardId.isEmpty(); }

    CardEntry m_before;
    CardEntry m_after;
    int m_row;
    CardEntry m_mergeTarget;  // the holding an edit folds into; empty card id when none
    qint64 m_editedAtMs = 0;  // SteadyClock time of the latest edit this step holds
};

} // namespace pv
