#pragma once

#include "core/CardVocabulary.h"

#include <QString>
#include <QStringView>

#include <utility>
#include <vector>

namespace pv {

// Numbers the cards met in one pass over the holdings, by language and card
// id, 0, 1, 2 ... in the order first met. The table keeps no copy of an id:
// it points at the text of the QString it was first given, which must stay
// as it is while the table is used (the rows of a pass keep their card ids).
// One slot a card in one open table, so that a pass over half a million
// holdings costs a look-up a row and no allocation per card.
class CardIdTable
{
public:
    // The number of the card, and whether it was met for the first time.
    std::pair<int, bool> number(Language language, const QString &cardId)
    {
        return number(language, cardId, hashOf(language, cardId));
    }
    // The number of a card met before, or -1.
    int find(Language language, QStringView cardId) const { return find(language, cardId, hashOf(language, cardId)); }
    int size() const { return m_count; }
    // Room for so many cards without growing.
    void reserve(int cards);

    // The same with the card's hashOf() worked out ahead, and the slot its
    // look-up starts at asked for ahead of it: a pass over many holdings
    // then waits for one slot after another no longer.
    static size_t hashOf(Language language, QStringView cardId);
    std::pair<int, bool> number(Language language, const QString &cardId, size_t hash);
    int find(Language language, QStringView cardId, size_t hash) const;
    void prefetch(size_t hash) const;

private:
    struct Slot
    {
        size_t hash = 0;
        const QChar *text = nullptr;
        qsizetype length = 0;
        Language language = Language::English;
        int number = -1;
    };
    static bool holds(const Slot &slot, size_t hash, Language language, QStringView cardId);
    // Twice the slots, each card placed again by its hash.
    void grow();

    std::vector<Slot> m_slots = std::vector<Slot>(256);
    int m_count = 0;
};

} // namespace pv
