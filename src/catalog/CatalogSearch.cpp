#include "catalog/CatalogSearch.h"

#include "catalog/LanguageCatalog.h"

#include <QSet>

#include <algorithm>

namespace pv {

namespace {

// Text with a character beyond ASCII. Kana, CJK ideographs and full-width
// forms are only case folded, so that the voicing marks of kana stay part of
// the key; other text loses its accents first.
QString foldGeneral(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() >= 0x3000)
            return text.toCaseFolded();
    }
    const QString decomposed = text.normalized(QString::NormalizationForm_D);
    QString stripped;
    stripped.reserve(decomposed.size());
    for (const QChar c : decomposed) {
        if (c.category() != QChar::Mark_NonSpacing)
            stripped.append(c);
    }
    return stripped.toCaseFolded();
}

} // namespace

QString searchKey(const QString &text)
{
    // Case folding of plain ASCII is lower-casing A to Z. Text without
    // capitals is handed back shared; otherwise the folded copy is written in
    // the same pass that makes sure the text is ASCII.
    const qsizetype size = text.size();
    const char16_t *units = reinterpret_cast<const char16_t *>(text.constData());
    qsizetype i = 0;
    while (i < size && units[i] < 0x80 && !(units[i] >= u'A' && units[i] <= u'Z'))
        ++i;
    if (i == size)
        return text;
    if (units[i] < 0x80) {
        QString folded(size, Qt::Uninitialized);
        char16_t *to = reinterpret_cast<char16_t *>(folded.data());
        std::copy(units, units + i, to);
        for (; i < size; ++i) {
            const char16_t c = units[i];
            if (c >= 0x80)
                break;
            to[i] = (c >= u'A' && c <= u'Z') ? char16_t(c + (u'a' - u'A')) : c;
        }
        if (i == size)
            return folded;
    }
    return foldGeneral(text);
}

void splitPrintedNumber(const QString &text, QString *number, int *total)
{
    const QString t = text.trimmed();
    const qsizetype slash = t.indexOf(QLatin1Char('/'));
    if (slash < 0) {
        if (number)
            *number = t;
        return;
    }
    if (number)
        *number = t.left(slash).trimmed();
    bool ok = false;
    const int value = t.mid(slash + 1).trimmed().toInt(&ok, 10);
    if (ok && value > 0 && total)
        *total = value;
}

CatalogSearchResult searchCatalog(const LanguageCatalog &catalog, const CatalogQuery &query, int limit)
{
    CatalogSearchResult result;
    // Blank text is tested before trimming: a query of blanks is not empty and
    // lists every card.
    if (query.isEmpty())
        return result;

    const QString key = searchKey(query.text.trimmed());
    const QString numberText = query.number.trimmed();
    const CardNumber parsed = parseCardNumber(numberText);

    QSet<QString> seriesSetIds;
    if (!query.seriesId.isEmpty()) {
        for (const CatalogSet &set : catalog.sets) {
            if (set.serieId == query.seriesId)
                seriesSetIds.insert(set.id);
        }
    }

    const qsizetype count = catalog.cards.size();
    // Indexing keeps the search lists parallel to the cards; a catalog that
    // was never indexed simply has nothing to match by name or number.
    const bool namesIndexed = catalog.foldedNames.size() == count && catalog.alternateNames.size() == count;
    const bool numbersIndexed = catalog.numbers.size() == count;

    for (qsizetype i = 0; i < count; ++i) {
        const CatalogCard &card = catalog.cards.at(i);
        if (query.printedTotal > 0 && card.official != query.printedTotal)
            continue;
        if (!query.setId.isEmpty() && card.setId != query.setId)
            continue;
        if (!query.seriesId.isEmpty() && !seriesSetIds.contains(card.setId))
            continue;
        if (!query.rarities.isEmpty() && !query.rarities.contains(card.rarity))
            continue;
        if (!numberText.isEmpty()) {
            if (parsed.number != -1) {
                if (!numbersIndexed)
                    continue;
                const CardNumber &n = catalog.numbers.at(i);
                // Compared as an integer, so leading zeros do not count.
                if (n.number != parsed.number || n.prefix != parsed.prefix || n.suffix != parsed.suffix)
                    continue;
            } else if (card.localId.compare(numberText, Qt::CaseInsensitive) != 0) {
                continue;
            }
        }
        if (!key.isEmpty()) {
            if (!namesIndexed)
                continue;
            if (!catalog.foldedNames.at(i).contains(key)) {
                const QString &alternate = catalog.alternateNames.at(i);
                if (alternate.isEmpty() || !alternate.contains(key))
                    continue;
            }
        }
        ++result.total;
        if (result.cards.size() < limit)
            result.cards.append(card);
    }
    result.truncated = result.total > result.cards.size();
    return result;
}

} // namespace pv
