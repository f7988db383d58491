#pragma once

#include "collection/CollectionCommand.h"

#include <QList>
#include <QStringList>

namespace pv {

// Sets the label flag of the listed holdings in one step; undo gives each the
// flag it had at the first redo. Keys no holding has are skipped.
class SetPrintLabelsCommand : public CollectionCommand
{
public:
    SetPrintLabelsCommand(Collection *collection, const QStringList &keys, bool flag, const QString &text,
                          QString *focusKey = nullptr, QUndoCommand *parent = nullptr);

    void undo() override;
    void redo() override;

private:
    void apply(bool redoing);

    QStringList m_keys;
    bool m_flag;
    QList<bool> m_oldFlags;
    bool m_captured = false;
};

} // namespace pv
