#include "core/Errata.h"

#include "core/CardKeys.h"
#include "core/CardNumbers.h"
#include "core/Log.h"
#include "core/TaggedJsonFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>
#include <climits>

namespace pv {

namespace {

const QString category = QStringLiteral("errata");
const QString formatTag = QStringLiteral("tallowk-errata");

QString tr(const char *text) { return QCoreApplication::translate("pv::Errata", text); }

// The file names a set by its set key and a card the same way, by language
// code, ":" and card id ("en:base1-4").
QString cardKey(Language language, const QString &cardId)
{
    return setKey(language, cardId);
}

Errata::FinishScope readScope(const QJsonValue &value)
{
    Errata::FinishScope scope;
    if (value.isString()) {
        scope.wholeSet = value.toString().trimmed() == QLatin1String("*");
        return scope;
    }
    if (!value.isArray())
        return scope;
    const QJsonArray numbers = value.toArray();
    for (const QJsonValue &element : numbers) {
        const QString text = element.isString() ? element.toString().trimmed()
                                                : QString::number(element.toInteger(0));
        // A number that normalises to nothing ("/5") names no card; kept, it
        // would cover every card whose number is unknown (a set-wide query).
        const QString number = normalizeCardNumber(text);
        if (!number.isEmpty())
            scope.numbers.insert(number);
    }
    return scope;
}

// A finish spec: an array of finish keys for the whole set, or an object of
// finish key to scope.
QMap<QString, Errata::FinishScope> readFinishSpec(const QJsonValue &value)
{
    QMap<QString, Errata::FinishScope> spec;
    if (value.isArray()) {
        const QJsonArray finishes = value.toArray();
        for (const QJsonValue &element : finishes) {
            const QString finish = element.toString().trimmed();
            if (finish.isEmpty())
                continue;
            Errata::FinishScope scope;
            scope.wholeSet = true;
            spec.insert(finish, scope);
        }
    } else if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
            const QString finish = it.key().trimmed();
            if (!finish.isEmpty())
                spec.insert(finish, readScope(it.value()));
        }
    }
    return spec;
}

QHash<QString, Errata::PrintingRule> readRules(const QJsonValue &section)
{
    QHash<QString, Errata::PrintingRule> rules;
    const QJsonObject object = section.toObject();
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        const QString key = it.key().trimmed();
        if (key.isEmpty() || !it.value().isObject())
            continue;
        const QJsonObject ruleObject = it.value().toObject();
        Errata::PrintingRule rule;
        rule.add = readFinishSpec(ruleObject.value(QLatin1String("addFinishes")));
        rule.remove = readFinishSpec(ruleObject.value(QLatin1String("removeFinishes")));
        if (rule.add.isEmpty() && rule.remove.isEmpty())
            continue;
        rules.insert(key, rule);
    }
    return rules;
}

int countFinishes(const QHash<QString, Errata::PrintingRule> &rules)
{
    int count = 0;
    for (const Errata::PrintingRule &rule : rules)
        count += rule.add.size() + rule.remove.size();
    return count;
}

int readPin(const QJsonValue &value)
{
    const QJsonValue id = value.isObject() ? value.toObject().value(QLatin1String("groupId")) : value;
    if (!id.isDouble())
        return 0;
    const qint64 pin = id.toInteger(0);
    return pin > 0 && pin <= INT_MAX ? int(pin) : 0;
}

QList<Errata::AddedCard> readAddedCards(const QJsonValue &value)
{
    QList<Errata::AddedCard> cards;
    const QJsonArray array = value.toArray();
    for (const QJsonValue &element : array) {
        if (!element.isObject())
            continue;
        const QJsonObject object = element.toObject();
        Errata::AddedCard card;
        card.localId = object.value(QLatin1String("localId")).toString().trimmed();
        if (card.localId.isEmpty())
            continue;
        card.name = object.value(QLatin1String("name")).toString().trimmed();
        if (card.name.isEmpty())
            card.name = card.localId;
        card.image = object.value(QLatin1String("image")).toString().trimmed();
        cards.append(card);
    }
    return cards;
}

int finishOrder(const QString &finish)
{
    const int index = allFinishes().indexOf(finish);
    return index < 0 ? INT_MAX : index;
}

} // namespace

bool Errata::FinishScope::covers(const QString &number) const
{
    return wholeSet || numbers.contains(number);
}

Errata &Errata::instance()
{
    static Errata errata;
    return errata;
}

QString Errata::besideExecutablePath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/errata/tcgdex.json");
}

QString Errata::builtInPath() { return QStringLiteral(":/errata/tcgdex.json"); }

void Errata::ensureLoaded()
{
    const QString beside = besideExecutablePath();
    if (QFile::exists(beside))
        load(beside);
    else if (QFile::exists(builtInPath()))
        load(builtInPath());
    else
        load(QString());
}

void Errata::ensureLoadedOnce()
{
    if (!instance().m_loaded)
        ensureLoaded();
}

void Errata::reset()
{
    m_sourcePath.clear();
    m_setRules.clear();
    m_cardRules.clear();
    m_groupPins.clear();
    m_addedCards.clear();
    m_nameOverrides.clear();
    m_printingRuleCount = 0;
    m_addedCardCount = 0;
    m_noticed.clear();
}

void Errata::load(const QString &path)
{
    Errata &errata = instance();
    errata.reset();
    errata.m_loaded = true;

    const TaggedJsonFile file = TaggedJsonFile::read(path, formatTag);
    const QString nativePath = QDir::toNativeSeparators(path);
    switch (file.status) {
    case TaggedJsonFile::NotOpened:
        Log::info(category, tr("No errata file; printings are offered exactly as TCGdex reports them."));
        return;
    case TaggedJsonFile::Malformed:
        Log::error(category, tr("Errata file %1 is malformed at offset %2: %3")
                                 .arg(nativePath, QString::number(file.errorOffset), file.errorMessage));
        return;
    case TaggedJsonFile::ForeignTag:
        Log::error(category, tr("%1 is not an errata file (its format tag is not \"%2\").")
                                 .arg(nativePath, formatTag));
        return;
    case TaggedJsonFile::Ok:
        break;
    }

    errata.m_sourcePath = path;
    errata.read(file.object);
    Log::info(category, tr("Errata loaded from %1: %2 set(s), %3 card(s), %4 group pin(s), "
                           "%5 added card(s), %6 name(s).")
                            .arg(nativePath, QString::number(errata.m_setRules.size()),
                                 QString::number(errata.m_cardRules.size()),
                                 QString::number(errata.m_groupPins.size()),
                                 QString::number(errata.m_addedCardCount),
                                 QString::number(errata.m_nameOverrides.size())));
}

void Errata::read(const QJsonObject &document)
{
    m_setRules = readRules(document.value(QLatin1String("printings")));
    m_cardRules = readRules(document.value(QLatin1String("cards")));
    m_printingRuleCount = countFinishes(m_setRules) + countFinishes(m_cardRules);

    const QJsonObject pins = document.value(QLatin1String("groupIds")).toObject();
    for (auto it = pins.constBegin(); it != pins.constEnd(); ++it) {
        const QString key = it.key().trimmed();
        const int pin = readPin(it.value());
        if (!key.isEmpty() && pin > 0)
            m_groupPins.insert(key, pin);
    }

    const QJsonObject added = document.value(QLatin1String("addCards")).toObject();
    for (auto it = added.constBegin(); it != added.constEnd(); ++it) {
        const QString key = it.key().trimmed();
        if (key.isEmpty() || !it.value().isArray())
            continue;
        const QList<AddedCard> cards = readAddedCards(it.value());
        if (!cards.isEmpty())
            m_addedCards.insert(key, cards);
    }
    for (const QList<AddedCard> &cards : qAsConst(m_addedCards))
        m_addedCardCount += cards.size();

    const QJsonObject names = document.value(QLatin1String("names")).toObject();
    for (auto it = names.constBegin(); it != names.constEnd(); ++it) {
        const QString key = it.key().trimmed();
        const QString name = it.value().isString() ? it.value().toString().trimmed() : QString();
        if (key.isEmpty() || name.isEmpty())
            continue;
        m_nameOverrides.insert(key, name);
    }
}

void Errata::applyRule(const QString &key, const PrintingRule &rule, const QString &number,
                       bool finishesFromCardData, QStringList &finishes)
{
    for (auto it = rule.add.constBegin(); it != rule.add.constEnd(); ++it) {
        if (!it.value().covers(number))
            continue;
        if (!finishes.contains(it.key()))
            finishes.append(it.key());
        else if (finishesFromCardData)
            // Only a finish the card database itself reported makes the
            // correction redundant; without its flags every finish is offered.
            noteRedundantCorrection(key, it.key());
    }
    for (auto it = rule.remove.constBegin(); it != rule.remove.constEnd(); ++it) {
        if (it.value().covers(number))
            finishes.removeAll(it.key());
    }
}

Printings Errata::printingsFor(Language language, const QString &setId, const QString &cardId,
                               const QHash<QString, bool> *variants)
{
    Printings printings = basePrintings(language, setId, variants);
    ensureLoadedOnce();
    const Errata &errata = instance();
    if (errata.m_setRules.isEmpty() && errata.m_cardRules.isEmpty())
        return printings;

    const QString prefix = setId + QLatin1Char('-');
    QString number;
    if (!setId.isEmpty() && !cardId.isEmpty() && cardId.startsWith(prefix))
        number = normalizeCardNumber(cardId.mid(prefix.size()));

    const bool fromCardData = variants && !variants->isEmpty();
    const QString setRuleKey = setKey(language, setId);
    const auto setRule = errata.m_setRules.constFind(setRuleKey);
    if (setRule != errata.m_setRules.constEnd())
        applyRule(setRuleKey, setRule.value(), number, fromCardData, printings.finishes);
    if (!cardId.isEmpty()) {
        const QString key = cardKey(language, cardId);
        const auto cardRule = errata.m_cardRules.constFind(key);
        if (cardRule != errata.m_cardRules.constEnd())
            applyRule(key, cardRule.value(), number, fromCardData, printings.finishes);
    }

    std::stable_sort(printings.finishes.begin(), printings.finishes.end(),
                     [](const QString &a, const QString &b) { return finishOrder(a) < finishOrder(b); });
    if (printings.finishes.isEmpty())
        printings.finishes.append(QStringLiteral("normal"));
    return printings;
}

QHash<QString, QList<Errata::AddedCard>> Errata::addedCards(Language language)
{
    ensureLoadedOnce();
    QHash<QString, QList<AddedCard>> result;
    const QString prefix = setKey(language, QString());
    const auto &all = instance().m_addedCards;
    for (auto it = all.constBegin(); it != all.constEnd(); ++it) {
        if (it.key().startsWith(prefix))
            result.insert(it.key().mid(prefix.size()), it.value());
    }
    return result;
}

int Errata::groupPin(Language language, const QString &setId)
{
    if (setId.isEmpty())
        return 0;
    ensureLoadedOnce();
    return instance().m_groupPins.value(setKey(language, setId), 0);
}

QString Errata::nameOverride(Language language, const QString &cardId)
{
    if (cardId.isEmpty())
        return QString();
    ensureLoadedOnce();
    return instance().m_nameOverrides.value(cardKey(language, cardId));
}

bool Errata::markNameNoticed(Language language, const QString &cardId)
{
    const QString mark = cardKey(language, cardId) + QStringLiteral("|name");
    QSet<QString> &noticed = instance().m_noticed;
    if (noticed.contains(mark))
        return false;
    noticed.insert(mark);
    return true;
}

void Errata::noteServedAddedCard(Language language, const QString &cardId)
{
    const QString key = cardKey(language, cardId);
    QSet<QString> &noticed = instance().m_noticed;
    const QString mark = key + QStringLiteral("|added");
    if (noticed.contains(mark))
        return;
    noticed.insert(mark);
    Log::info(category, tr("TCGdex now serves %1; the addCards entry for it can be removed from the errata file.")
                            .arg(key));
}

void Errata::noteRedundantName(Language language, const QString &cardId)
{
    Log::info(category, tr("The name table already gives the same name for %1; the names entry for it "
                           "can be removed from the errata file.")
                            .arg(cardKey(language, cardId)));
}

void Errata::noteRedundantCorrection(const QString &errataKey, const QString &finish)
{
    QSet<QString> &noticed = instance().m_noticed;
    const QString mark = errataKey + QLatin1Char('|') + finish;
    if (noticed.contains(mark))
        return;
    noticed.insert(mark);
    Log::info(category, tr("%1 already offers %2; the correction for it can be removed from the errata file.")
                            .arg(errataKey, finishDisplayName(finish)));
}

int Errata::printingRuleCount() { return instance().m_printingRuleCount; }
int Errata::addedCardCount() { return instance().m_addedCardCount; }
int Errata::groupPinCount() { return instance().m_groupPins.size(); }
int Errata::nameCount() { return instance().m_nameOverrides.size(); }
bool Errata::isLoaded() { return instance().m_loaded; }
QString Errata::sourcePath() { return instance().m_sourcePath; }

bool Errata::hasAny()
{
    const Errata &e = instance();
    return !e.m_setRules.isEmpty() || !e.m_cardRules.isEmpty() || !e.m_groupPins.isEmpty()
           || !e.m_addedCards.isEmpty() || !e.m_nameOverrides.isEmpty();
}

} // namespace pv
