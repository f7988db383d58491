#pragma once

#include <QString>
#include <QStringView>

namespace pv {

// Short texts written one after another into shared blocks, so that texts
// that every record has of its own (a card's id, its image address) do not
// cost an allocation each. Each text is an ordinary QString holding a
// reference to its block and pointing into it, as a string does after its
// front was removed; a text that is changed is first copied out, as any
// shared string is, and a block is freed with the last text in it. Like
// every string's data, each text is followed by a null.
class TextBlocks
{
public:
    // UTF-8 bytes as a text, exactly as QString::fromUtf8 converts them.
    QString fromUtf8(const char *data, qsizetype size);
    // first, the separator and second, joined.
    QString joined(QStringView first, QChar separator, QStringView second);

private:
    char16_t *room(qsizetype size);
    QString take(qsizetype size);

    QString m_block;
    char16_t *m_free = nullptr;
    char16_t *m_end = nullptr;
};

} // namespace pv
