#include "collection/CardIdTable.h"

#include <functional>
#include <string_view>

namespace pv {

size_t CardIdTable::hashOf(Language language, QStringView cardId)
{
    const std::u16string_view text(reinterpret_cast<const char16_t *>(cardId.utf16()), size_t(cardId.size()));
    return std::hash<std::u16string_view>()(text) ^ (size_t(language) * 0x9E3779B97F4A7C15ull);
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
