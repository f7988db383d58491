#include "catalog/TextBlocks.h"

#include <algorithm>

namespace pv {

namespace {

constexpr qsizetype BlockSize = 4096;

} // namespace

QString TextBlocks::fromUtf8(const char *data, qsizetype size)
{
    char16_t *to = room(size);
    if (!to)
        return QString::fromUtf8(data, size);
    for (qsizetype i = 0; i < size; ++i) {
        // ASCII is copied here; anything else is fromUtf8's to convert.
        if (quint8(data[i]) >= 0x80)
            return QString::fromUtf8(data, size);
        to[i] = char16_t(quint8(data[i]));
    }
    return take(size);
}

QString TextBlocks::joined(QStringView first, QChar separator, QStringView second)
{
    const qsizetype size = first.size() + 1 + second.size();
    char16_t *to = room(size);
    if (!to) {
        QString text;
        text.reserve(size);
        text.append(first).append(separator).append(second);
        return text;
    }
    to = std::copy(first.utf16(), first.utf16() + first.size(), to);
    *to++ = separator.unicode();
    std::copy(second.utf16(), second.utf16() + second.size(), to);
    return take(size);
}

// Where a text of the given size goes, a new block started when the current
// one is full; null for an empty text and for one long enough to be worth a
// string of its own.
char16_t *TextBlocks::room(qsizetype size)
{
    if (size == 0 || size > BlockSize / 8)
        return nullptr;
    if (m_end - m_free < size + 1) {
        m_block = QString(BlockSize, Qt::Uninitialized);
        // The block is not shared yet: its data is written through this
        // pointer, only ever past the texts already handed out.
        m_free = m_block.data_ptr().data();
        m_end = m_free + BlockSize;
    }
    return m_free;
}

QString TextBlocks::take(qsizetype size)
{
    m_free[size] = u'\0';
    QString::DataPointer text = m_block.data_ptr(); // one more reference to the block
    text.ptr = m_free;
    text.size = size;
    m_free += size + 1;
    return QString(std::move(text));
}

} // namespace pv
