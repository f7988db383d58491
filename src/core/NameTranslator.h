#pragma once

#include "core/CardVocabulary.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>

namespace pv {

// Turns the Japanese names of cards, sets and series into English for
// display, from the table "names/ja-en.json" beside the executable (format
// "tallowk-translations"). Card names are composed from table entries: a
// species, a form prefix, an owner, a trailing mechanic suffix, or the two
// halves of a tag team. A name the table cannot compose is shown as given.
class NameTranslator
{
public:
    static NameTranslator &instance();

    // Replaces the whole table from the file beside the executable.
    static void load();
    // Replaces the whole table from the given file (load() reads tablePath()).
    static void loadFile(const QString &path);
    static QString tablePath();

    static bool isEnabled();
    static void setEnabled(bool on);

    static QString displayName(Language language, const QString &cardId, const QString &name);
    static QString translateCardName(Language language, const QString &name);
    static QString translateSetName(Language language, const QString &setId, const QString &name);
    static QString translateSerieName(Language language, const QString &serieId, const QString &name);

    int entryCount() const;
    static int count();
    static bool isLoaded();

private:
    NameTranslator() = default;
    void reset();
    static void loadIfNeeded();
    QString translatePart(const QString &part) const;
    QString composeCardName(const QString &name) const;

    QHash<QString, QString> m_cards;
    QHash<QString, QString> m_owners;
    QHash<QString, QString> m_sets;
    QHash<QString, QString> m_setNames;
    QHash<QString, QString> m_series;
    QHash<QString, QString> m_serieNames;
    QList<QPair<QString, QString>> m_formPrefixes;  // longest Japanese prefix first
    bool m_loaded = false;
};

} // namespace pv
