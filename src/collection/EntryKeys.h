#pragma once

#include "collection/CardEntry.h"
#include "core/CardKeys.h"

#include <QString>
#include <QStringView>

#include <optional>

namespace pv {

// The seven fields that make two holdings one holding, as their merge key
// holds them: the language, condition and grading company among those the
// vocabulary names (any other is keyed as English, NearMint and None), the
// edition "unlimited" when empty, the grade note trimmed; the card id and
// the finish unchanged, case and all. The texts are views into those the
// fields were taken from (or into the key text read), valid while those are.
struct EntryKeyFields
{
    Language language = Language::English;
    QStringView cardId;
    QStringView variant;
    QStringView edition;
    Condition condition = Condition::NearMint;
    GradingCompany company = GradingCompany::None;
    QStringView gradeNote;

    // Whether a text holds the key's separator: its key text then has more
    // than seven fields and could equal another holding's, and it cannot be
    // read back field by field.
    bool holdsSeparator() const;
};
// The language a key names: English for any the vocabulary does not name.
Language entryKeyLanguage(Language language);
EntryKeyFields entryKeyFields(Language language, QStringView cardId, QStringView variant, QStringView edition,
                              Condition condition, GradingCompany company, QStringView gradeNote);
EntryKeyFields entryKeyFields(const CardEntry &entry);
// The fields of a key text as formatEntryKey() makes it from fields that
// hold no separator; nothing for any other text.
std::optional<EntryKeyFields> readEntryKey(QStringView key);

// The merge key of a holding: language code, card id, finish, edition,
// condition, grading company and trimmed grade note joined by "|". Two
// holdings with the same key are one holding.
QString formatEntryKey(const EntryKeyFields &fields);
QString formatEntryKey(Language language, const QString &cardId, const QString &variant,
                       const QString &edition, Condition condition, GradingCompany company,
                       const QString &gradeNote);
QString entryKey(const CardEntry &entry);
// entryKey(a) compared with entryKey(b) (negative, 0, positive), without
// making either key.
int compareEntryKeys(const CardEntry &a, const CardEntry &b);

// The set key of the holding's set ("ja:SV3").
QString entrySetKey(const CardEntry &entry);

// "PSA 10", "PSA", or empty for an ungraded holding.
QString gradeLabel(const CardEntry &entry);

// The finish and edition as the user reads them ("Shadowless Holo").
QString entryPrintingLabel(const CardEntry &entry);

// What one card of the holding is worth: the custom price when set, else the
// fetched unit value.
double entryUnitPrice(const CardEntry &entry);

// count times the unit price above.
double entryLineValue(const CardEntry &entry);

} // namespace pv
