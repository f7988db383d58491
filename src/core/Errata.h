#pragma once

#include "core/CardVocabulary.h"

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QSet>
#include <QString>

namespace pv {

// Corrections to what the card database says: finishes it forgets or wrongly
// reports, cards it does not serve, price groups its sets are hard to match
// to, and Japanese names it spells badly. Read from a JSON file (format
// "tallowk-errata") into one process-wide table; nothing is written back.
class Errata
{
public:
    // Which cards of a set a finish rule covers.
    struct FinishScope
    {
        bool wholeSet = false;
        QSet<QString> numbers;  // normalised card numbers

        bool covers(const QString &number) const;
    };

    struct PrintingRule
    {
        QMap<QString, FinishScope> add;
        QMap<QString, FinishScope> remove;
    };

    // A card the card database does not serve.
    struct AddedCard
    {
        QString localId;
        QString name;
        QString image;  // image base address, may be empty
    };

    static Errata &instance();

    // Loads "errata/tcgdex.json" beside the executable, else the built-in
    // file, else nothing.
    static void ensureLoaded();
    static void load(const QString &path);
    static QString besideExecutablePath();
    static QString builtInPath();

    static Printings printingsFor(Language language, const QString &setId, const QString &cardId,
                                  const QHash<QString, bool> *variants = nullptr);
    static QHash<QString, QList<AddedCard>> addedCards(Language language);
    static int groupPin(Language language, const QString &setId);
    static QString nameOverride(Language language, const QString &cardId);

    static bool markNameNoticed(Language language, const QString &cardId);
    static void noteServedAddedCard(Language language, const QString &cardId);
    static void noteRedundantName(Language language, const QString &cardId);
    static void noteRedundantCorrection(const QString &errataKey, const QString &finish);

    static int printingRuleCount();
    static int addedCardCount();
    static int groupPinCount();
    static int nameCount();
    static int nameOverrideCount() { return nameCount(); }
    static bool hasAny();
    static bool isLoaded();
    static QString sourcePath();

private:
    Errata() = default;
    void reset();
    void read(const QJsonObject &document);
    static void ensureLoadedOnce();
    static void applyRule(const QString &key, const PrintingRule &rule, const QString &number,
                          bool finishesFromCardData, QStringList &finishes);

    bool m_loaded = false;
    QString m_sourcePath;
    QHash<QString, PrintingRule> m_setRules;
    QHash<QString, PrintingRule> m_cardRules;
    QHash<QString, int> m_groupPins;
    QHash<QString, QList<AddedCard>> m_addedCards;
    QHash<QString, QString> m_nameOverrides;
    int m_printingRuleCount = 0;
    int m_addedCardCount = 0;
    QSet<QString> m_noticed;
};

} // namespace pv
