#pragma once

#include "collection/CardEntry.h"
#include "collection/CollectionCommand.h"
#include "core/SetRecord.h"

#include <QHash>
#include <QList>

namespace pv {

// Adds card lines (each merged into the holding of the same key, or appended)
// and merges the set records they came with. Undo restores the set table and
// what the add changed of each holding: its count, and the figures a line
// added with a price brought, unless a refresh has priced it since.
class AddCardsCommand : public CollectionCommand
{
public:
    AddCardsCommand(Collection *collection, QList<CardEntry> cards, QList<SetRecord> sets,
                    QString *focusKey = nullptr, QUndoCommand *parent = nullptr);

    void undo() override;
    void redo() override;

private:
    struct LineRecord
    {
        bool wasNew = true;
        int row = -1;
        CardEntry before;
        CardEntry after;
    };

    void firstRedo();

    QList<CardEntry> m_cards;
    QList<SetRecord> m_sets;
    QList<LineRecord> m_lines;
    QHash<QString, SetRecord> m_setsBefore;
    QHash<QString, SetRecord> m_setsAfter;
    bool m_applied = false;
};

} // namespace pv
