#include "collection/AddCardsCommand.h"

#include "collection/Collection.h"
#include "collection/EntryKeys.h"

#include <QCoreApplication>

namespace pv {

namespace {

// The market figures of a holding: both unit values and their date, which
// a refresh, or a line added with a price, gives together.
bool sameFigures(const CardEntry &a, const CardEntry &b)
{
    return a.unitValueEur == b.unitValueEur && a.unitValueUsd == b.unitValueUsd && a.priceUpdated == b.priceUpdated;
}

// The holding as it stands, taken from the state `from` to the state `to`:
// as in `to`, with the card facts as they stand, and with the figures of
// `to` while they are still those of `from`. Figures a refresh gave it
// since stay, and from then on both states hold them, so no later undo or
// redo takes them back.
CardEntry carried(const CardEntry &current, CardEntry &from, CardEntry &to)
{
    CardEntry result = CollectionCommand::keepingRefreshed(current, to);
    if (sameFigures(current, from)) {
        result.takeFigures(to);
    } else {
        from.takeFigures(current);
        to.takeFigures(current);
    }
    return result;
}

} // namespace

AddCardsCommand::AddCardsCommand(Collection *collection, QList<CardEntry> cards, QList<SetRecord> sets,
                                 QString *focusKey, QUndoCommand *parent)
    : CollectionCommand(collection, focusKey, parent), m_cards(std::move(cards)), m_sets(std::move(sets))
{
    setText(QCoreApplication::translate("pv::AddCardsCommand", "Add %n card line(s)", nullptr,
                                        int(m_cards.size())));
}

void AddCardsCommand::firstRedo()
{
    m_setsBefore = m_collection->sets();
    for (const SetRecord &record : std::as_const(m_sets))
        m_collection->mergeSetInfo(record);
    m_lines.clear();
    m_lines.reserve(m_cards.size());
    for (const CardEntry &card : std::as_const(m_cards)) {
        LineRecord line;
        const int existing = m_collection->indexOfEntry(entryKey(card));
        line.wasNew = existing < 0;
        if (!line.wasNew)
            line.before = m_collection->entries().at(existing);
        line.row = m_collection->addEntry(card);
        if (line.row >= 0 && line.row < m_collection->entries().size())
            line.after = m_collection->entries().at(line.row);
        m_lines.append(line);
    }
    m_setsAfter = m_collection->sets();
    m_applied = true;
}

void AddCardsCommand::redo()
{
    if (!m_collection)
        return;
    Batch batch(m_collection);
    if (!m_applied) {
        firstRedo();
        return;
    }
    m_collection->setSets(m_setsAfter);
    for (LineRecord &line : m_lines) {
        const int found = rowOfKey(line.row, entryKey(line.after));
        if (found < 0)
            m_collection->insertEntry(line.row, m_collection->withLatestFigures(line.after));
        else
            m_collection->replaceEntry(found,
                                       m_collection->withLatestFigures(
                                           carried(m_collection->entries().at(found), line.before, line.after)));
    }
}

void AddCardsCommand::undo()
{
    if (!m_collection)
        return;
    Batch batch(m_collection);
    // A redo brings back the sets as they are now, and the holdings it
    // adds again as they left, with the prices and card facts that arrived
    // since they were added.
    m_setsAfter = m_collection->sets();
    // Last line first: a card that occurs twice in one add comes out right,
    // its second record restoring the state after the first.
    for (auto it = m_lines.rbegin(); it != m_lines.rend(); ++it) {
        const QString key = entryKey(it->after);
        const int found = rowOfKey(it->row, key);
        if (found < 0)
            continue;
        const CardEntry &current = m_collection->entries().at(found);
        if (it->wasNew) {
            it->after = current;
            if (focusIs(key))
                setFocus(QString());
            m_collection->removeEntryAt(found);
        } else {
            // A holding that stays keeps the figures a refresh gave it.
            m_collection->replaceEntry(found, m_collection->withLatestFigures(carried(current, it->after, it->before)));
        }
    }
    m_collection->setSets(m_setsBefore);
}

} // namespace pv
