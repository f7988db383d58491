#include "collection/SetLabelStyleCommand.h"

#include "collection/Collection.h"

#include <QCoreApplication>

namespace pv {

SetLabelStyleCommand::SetLabelStyleCommand(Collection *collection, const std::optional<LabelStyle> &before,
                                           const std::optional<LabelStyle> &after, QUndoCommand *parent)
    : CollectionCommand(collection, nullptr, parent), m_before(before), m_after(after)
{
    setText(QCoreApplication::translate("pv::SetLabelStyleCommand", "Set label defaults"));
}

void SetLabelStyleCommand::redo()
{
    if (m_collection)
        m_collection->setLabelStyle(m_after);
}

void SetLabelStyleCommand::undo()
{
    if (m_collection)
        m_collection->setLabelStyle(m_before);
}

} // namespace pv
