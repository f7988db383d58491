#pragma once

#include "collection/CardEntry.h"

#include <QString>
#include <QUndoCommand>

namespace pv {

class Collection;

// Base of every undo command that changes the collection. Commands reach the
// document through its public operations only and find holdings again by
// their merge key, so they stay right when other commands have moved rows.
//
// focusKey, when given, is the caller's string that receives the key of the
// holding to select after a redo or undo.
class CollectionCommand : public QUndoCommand
{
public:
    explicit CollectionCommand(Collection *collection, QString *focusKey = nullptr,
                               QUndoCommand *parent = nullptr);

    Collection *collection() const { return m_collection; }

    // The holding `changed` as a command gives it, with what a price refresh
    // gives a holding taken from the holding as it stands: the rarity and the
    // Pokedex number, and the market figures and their date while the
    // printing and the grade's multiplier stay (figures are a printing's at
    // a grade). So a command changes what the user edits (count, condition,
    // grade, finish, edition, notes, custom price, label flag) and never
    // takes back what a refresh brought since it was made or undone. Another
    // card altogether takes nothing of the holding it replaces.
    static CardEntry keepingRefreshed(const CardEntry &current, CardEntry changed);

protected:
    void setFocus(const QString &key);
    bool focusIs(const QString &key) const;

    // The row of the holding with this key: the remembered row when it still
    // holds the key (so a command never mistakes another holding with the
    // same key for its own), else the first row with the key, else -1.
    int rowOfKey(int rememberedRow, const QString &key) const;

    // Opens one batch of the collection for the guard's lifetime, so that a
    // command touching many holdings announces one change.
    class Batch
    {
    public:
        explicit Batch(Collection *collection);
        ~Batch();
        Batch(const Batch &) = delete;
        Batch &operator=(const Batch &) = delete;

    private:
        Collection *m_collection;
    };

    Collection *m_collection;
    QString *m_focusKey;
};

} // namespace pv
