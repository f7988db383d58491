#pragma once

#include "collection/CollectionCommand.h"
#include "collection/LabelStyle.h"

#include <optional>

namespace pv {

// Sets or clears the collection's own label style; undo restores the one it
// had (which may be none).
class SetLabelStyleCommand : public CollectionCommand
{
public:
    SetLabelStyleCommand(Collection *collection, const std::optional<LabelStyle> &before,
                         const std::optional<LabelStyle> &after, QUndoCommand *parent = nullptr);

    void undo() override;
    void redo() override;

private:
    std::optional<LabelStyle> m_before;
    std::optional<LabelStyle> m_after;
};

} // namespace pv
