#include "core/CardKeys.h"

namespace pv {

namespace {

KeyParts parseKey(const QString &key, QChar separator, Language fallback)
{
    KeyParts parts;
    parts.language = fallback;
    const qsizetype at = key.indexOf(separator);
    if (at < 1) {
        parts.id = key;
        return parts;
    }
    parts.hasLanguage = true;
    parts.language = languageFromCode(key.left(at), fallback);
    parts.id = key.mid(at + 1);
    return parts;
}

} // namespace

QString setKey(Language language, const QString &setId)
{
    return languageCode(language) + QLatin1Char(':') + setId;
}

QString ownedCardKey(Language language, const QString &cardId)
{
    return languageCode(language) + QLatin1Char('|') + cardId;
}

QString foldedSetKey(const QString &setKey)
{
    return setKey.toLower();
}

QString foldedSetKey(Language language, const QString &setId)
{
    return foldedSetKey(setKey(language, setId));
}

bool isSameSet(Language language, const QString &setId, Language otherLanguage, const QString &otherSetId)
{
    return foldedSetKey(language, setId) == foldedSetKey(otherLanguage, otherSetId);
}

KeyParts parseSetKey(const QString &key, Language fallback)
{
    return parseKey(key, QLatin1Char(':'), fallback);
}

KeyParts parseOwnedCardKey(const QString &key, Language fallback)
{
    return parseKey(key, QLatin1Char('|'), fallback);
}

} // namespace pv
