#include "collection/CardIdTable.h"

#include <cstring>

namespace pv {

size_t CardIdTable::hashOf(Language language, QStringView cardId)
{
    // Ids are short: four characters a step, each step mixed in.
    constexpr quint64 Multiplier = 0x9E3779B97F4A7C15ull;
    const qsizetype size = cardId.size();
    quint64 hash = (quint64(language) + 1) * Multiplier ^ quint64(size);
    qsizetype at = 0;
    for (; at + 4 <= size; at += 4) {
        quint64 word = 0;
        std::memcpy(&word, cardId.utf16() + at, sizeof word);
        hash = (hash ^ word) * Multiplier;
        hash ^= hash >> 29;
    }
    if (at < size) {
        quint64 word = 0;
        std::memcpy(&word, cardId.utf16() + at, size_t(size - at) * sizeof(char16_t));
        hash = (hash ^ word) * Multiplier;
    }
    // The table's mask keeps the low bits: every bit reaches them.
    hash ^= hash >> 32;
    hash *= 0xD6E8FEB86659FD93ull;
    hash ^= hash >> 32;
    return size_t(hash);
}

void CardIdTable::reserve(int cards)
{
    while (size_t(cards) * 2 > m_slots.size())
        grow();
}

bool CardIdTable::holds(const Slot &slot, size_t hash, Language language, QStringView cardId)
{
    // Holdings of one card often share its id's text: that is not read.
    return slot.hash == hash && slot.language == language && slot.length == cardId.size()
        && (slot.text == cardId.data() || QStringView(slot.text, slot.length) == cardId);
}

void CardIdTable::prefetch(size_t hash) const
{
#if defined(__GNUC__)
    __builtin_prefetch(&m_slots[hash & (m_slots.size() - 1)]);
#else
    Q_UNUSED(hash);
#endif
}

std::pair<int, bool> CardIdTable::number(Language language, const QString &cardId, size_t hash)
{
    // Kept at most half full, so that a probe ends soon on an empty slot.
    if (size_t(m_count + 1) * 2 > m_slots.size())
        grow();
    const size_t mask = m_slots.size() - 1;
    for (size_t at = hash & mask;; at = (at + 1) & mask) {
        Slot &slot = m_slots[at];
        if (slot.number < 0) {
            slot = Slot{hash, cardId.constData(), cardId.size(), language, m_count};
            return {m_count++, true};
        }
        if (holds(slot, hash, language, cardId))
            return {slot.number, false};
    }
}

int CardIdTable::find(Language language, QStringView cardId, size_t hash) const
{
    const size_t mask = m_slots.size() - 1;
    for (size_t at = hash & mask;; at = (at + 1) & mask) {
        const Slot &slot = m_slots[at];
        if (slot.number < 0)
            return -1;
        if (holds(slot, hash, language, cardId))
            return slot.number;
    }
}

void CardIdTable::grow()
{
    std::vector<Slot> old(m_slots.size() * 2);
    old.swap(m_slots);
    const size_t mask = m_slots.size() - 1;
    for (const Slot &slot : old) {
        if (slot.number < 0)
            continue;
        size_t at = slot.hash & mask;
        while (m_slots[at].number >= 0)
            at = (at + 1) & mask;
        m_slots[at] = slot;
    }
}

} // namespace pv
