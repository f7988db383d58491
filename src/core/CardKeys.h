#pragma once

#include "core/CardVocabulary.h"

#include <QString>

namespace pv {

// The two short keys that name a set or a card of one language in maps,
// files and settings:
// - a set key: language code, ":" and set id ("en:sv03");
// - an owned-card key: language code, "|" and card id ("en|swsh1-1").
QString setKey(Language language, const QString &setId);
QString ownedCardKey(Language language, const QString &cardId);

// Sets are told apart without regard to case: a file, its holdings, the
// card database and the fallback prices may spell one set otherwise ("sv2a",
// "SV2a"). The folded key is one text for every spelling of the set key.
QString foldedSetKey(const QString &setKey);
QString foldedSetKey(Language language, const QString &setId);
bool isSameSet(Language language, const QString &setId, Language otherLanguage, const QString &otherSetId);

// A key taken apart. hasLanguage is false when nothing stands before the
// separator (or there is none); the language is then the fallback and the id
// the whole key. An unknown language code also gives the fallback.
struct KeyParts
{
    bool hasLanguage = false;
    Language language = Language::English;
    QString id;
};
KeyParts parseSetKey(const QString &key, Language fallback = Language::English);
KeyParts parseOwnedCardKey(const QString &key, Language fallback = Language::English);

} // namespace pv
