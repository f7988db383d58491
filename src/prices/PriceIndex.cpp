#include "prices/PriceIndex.h"

#include "core/AppSettings.h"
#include "core/CardKeys.h"
#include "core/CardNumbers.h"
#include "core/Errata.h"
#include "core/Log.h"
#include "core/SteadyClock.h"
#include "prices/TcgcsvClient.h"

#include <QJsonArray>
#include <QPointer>
#include <QtAlgorithms>
#include <QRegularExpression>

namespace pv {

namespace {

const QString logCategory = QStringLiteral("prices");

// Which of the product words a lower-cased name holds, one bit each.
quint32 productWordsIn(const QString &lowerName)
{
    const QStringList &words = PriceIndex::productWords();
    quint32 mask = 0;
    for (qsizetype i = 0; i < words.size(); ++i) {
        if (lowerName.contains(words.at(i)))
            mask |= quint32(1) << i;
    }
    return mask;
}

// What the scoring compares of a set, worked out once per group list.
struct SetTerms
{
    explicit SetTerms(const SetRecord &set)
        : normalisedName(PriceIndex::normalise(set.name))
        , idPrefix(set.id.toLower() + QLatin1Char(':'))
        , productWords(productWordsIn(set.name.toLower()))
        , releaseDate(set.releaseDate)
    {
    }

    QString normalisedName;
    QString idPrefix;
    quint32 productWords;
    QDate releaseDate;
};

int scoreAgainst(const SetTerms &terms, const PriceIndex::MatchableGroup &group)
{
    int score = 0;
    if (group.lowerName.startsWith(terms.idPrefix))
        score += 100;
    if (!terms.normalisedName.isEmpty()) {
        if (group.normalisedName == terms.normalisedName)
            score += 80;
        else if (group.normalisedName.contains(terms.normalisedName))
            score += 60;
    }
    if (terms.releaseDate.isValid() && group.group.publishedOn.isValid()) {
        const qint64 days = qAbs(terms.releaseDate.daysTo(group.group.publishedOn));
        if (days == 0)
            score += 50;
        else if (days <= 7)
            score += 15;
    }
    // A deck, tin or promo group is not the expansion of the same name.
    score -= 25 * qPopulationCount(group.productWordMask ^ terms.productWords);
    return score;
}

QList<PriceIndex::MatchableGroup> matchable(const QList<TcgcsvGroup> &groups)
{
    QList<PriceIndex::MatchableGroup> list;
    list.reserve(groups.size());
    for (const TcgcsvGroup &group : groups)
        list.append(PriceIndex::MatchableGroup(group));
    return list;
}

} // namespace

const QString PriceIndex::ShadowlessAlias = QStringLiteral("shadowless");

PriceIndex::MatchableGroup::MatchableGroup(const TcgcsvGroup &tcgcsvGroup)
    : group(tcgcsvGroup)
    , lowerName(tcgcsvGroup.name.toLower())
    , normalisedName(normalise(tcgcsvGroup.name))
    , productWordMask(productWordsIn(lowerName))
{
}

PriceIndex::PriceIndex(QObject *parent)
    : QObject(parent)
    , m_client(new TcgcsvClient(this))
{
    connect(m_client, &TcgcsvClient::groupsReady, this, &PriceIndex::onGroupsReady);
    connect(m_client, &TcgcsvClient::groupDataReady, this, &PriceIndex::onGroupDataReady);
    connect(m_client, &TcgcsvClient::requestFailed, this, &PriceIndex::onRequestFailed);
    connect(m_client, &TcgcsvClient::pendingCountChanged, this, &PriceIndex::pendingCountChanged);
}

PriceIndex::~PriceIndex()
{
    // The client cancels its requests as it goes; nothing of that concerns
    // an index that is going away.
    m_client->disconnect(this);
}

const QStringList &PriceIndex::productWords()
{
    static const QStringList words{
        QStringLiteral("deck"),   QStringLiteral("starter"), QStringLiteral("promo"),
        QStringLiteral("premium file"), QStringLiteral("world championships"),
        QStringLiteral("no rarity"), QStringLiteral("box"), QStringLiteral("gift"),
        QStringLiteral("tin"),    QStringLiteral("blister"), QStringLiteral("bundle"),
        QStringLiteral("intro pack"),
    };
    return words;
}

const QStringList &PriceIndex::subTypes()
{
    static const QStringList names{QStringLiteral("Normal"),
                                   QStringLiteral("Unlimited"),
                                   QStringLiteral("Holofoil"),
                                   QStringLiteral("Unlimited Holofoil"),
                                   QStringLiteral("Reverse Holofoil"),
                                   QStringLiteral("1st Edition"),
                                   QStringLiteral("1st Edition Holofoil")};
    return names;
}

QString PriceIndex::printingKeyForSubtype(const QString &subType, bool shadowless)
{
    if (subType == QLatin1String("Normal") || subType == QLatin1String("Unlimited"))
        return shadowless ? QStringLiteral("shadowlessNormal") : QStringLiteral("normal");
    if (subType == QLatin1String("Holofoil") || subType == QLatin1String("Unlimited Holofoil"))
        return shadowless ? QStringLiteral("shadowlessHolofoil") : QStringLiteral("holofoil");
    if (subType == QLatin1String("Reverse Holofoil"))
        return shadowless ? QString() : QStringLiteral("reverse-holofoil");
    if (subType == QLatin1String("1st Edition"))
        return QStringLiteral("1stEditionNormal");
    if (subType == QLatin1String("1st Edition Holofoil"))
        return QStringLiteral("1stEditionHolofoil");
    return {};
}

QStringList PriceIndex::aliasesOf(Language language, const QString &setId)
{
    QStringList aliases{QString()};
    if (language == Language::English && setId.compare(QLatin1String("base1"), Qt::CaseInsensitive) == 0)
        aliases.append(ShadowlessAlias);
    return aliases;
}

QString PriceIndex::indexKey(Language language, const QString &setId, const QString &alias)
{
    QString key = setKey(language, setId);
    if (!alias.isEmpty())
        key += QLatin1Char('#') + alias;
    return key;
}

QString PriceIndex::overrideKey(Language language, const QString &setId, const QString &alias)
{
    return QStringLiteral("pricing/groupOverrides/") + indexKey(language, setId, alias);
}

QString PriceIndex::normalise(const QString &text)
{
    static const QRegularExpression nonAlphanumeric(QStringLiteral("[^a-z0-9]+"));
    return text.toLower().remove(nonAlphanumeric);
}

int PriceIndex::categoryOf(Language language)
{
    return language == Language::Japanese ? TcgcsvClient::JapaneseCategory : TcgcsvClient::EnglishCategory;
}

int PriceIndex::scoreGroup(const SetRecord &set, const TcgcsvGroup &group)
{
    return scoreAgainst(SetTerms(set), MatchableGroup(group));
}

PriceIndex::GroupMatch PriceIndex::scoreGroups(const SetRecord &set, const QList<TcgcsvGroup> &groups)
{
    return bestGroup(set, matchable(groups));
}

PriceIndex::GroupMatch PriceIndex::bestGroup(const SetRecord &set, const QList<MatchableGroup> &groups)
{
    const SetTerms terms(set);
    GroupMatch best;
    for (const MatchableGroup &candidate : groups) {
        const TcgcsvGroup &group = candidate.group;
        const int score = scoreAgainst(terms, candidate);
        const bool higher = score > best.score;
        const bool tieToSmallerId = score == best.score && score > 0 && group.groupId < best.groupId;
        if (higher || tieToSmallerId) {
            best.groupId = group.groupId;
            best.name = group.name;
            best.score = score;
        }
    }
    if (best.score < MatchThreshold)
        return {};
    return best;
}

void PriceIndex::indexSet(const SetRecord &set)
{
    if (set.id.isEmpty())
        return;
    const QStringList aliases = aliasesOf(set.language, set.id);

    // A set asked for again after it settled repeats its outcome, once for
    // all of its entries.
    // A receiver of setIndexed may let the index go (see alive below).
    const QPointer<PriceIndex> alive(this);
    bool settledBefore = false;
    for (const QString &alias : qAsConst(aliases)) {
        settledBefore = indexSetAs(set, alias) || settledBefore;
        if (!alive)
            return;
    }
    if (settledBefore && !isSetPending(set.language, set.id))
        Q_EMIT setIndexed(set.language, set.id, setState(set.language, set.id) == Indexed);
}

void PriceIndex::retrySet(const SetRecord &set)
{
    // A settled entry holds no request any more: one that did not bring
    // prices, or brought them long ago, is started afresh. A set without a
    // group is matched against a new group list, which may have it now.
    const qint64 now = SteadyClock::nowMs();
    const int category = categoryOf(set.language);
    bool newGroupList = now - m_groupsArrivedAtMs.value(category, now) > DataLifetimeMs;
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        const bool again = it->state != Pending && (it->state != Indexed || now - it->settledAtMs > DataLifetimeMs);
        if (again && it->set.language == set.language && it->set.id == set.id) {
            newGroupList = newGroupList || it->state == NoGroup;
            it = m_entries.erase(it);
        } else {
            ++it;
        }
    }
    if (newGroupList)
        m_groupsByCategory.remove(category);
    indexSet(set);
}

void PriceIndex::dropPendingSet(Language language, const QString &setId)
{
    for (const QString &alias : aliasesOf(language, setId)) {
        const QString key = indexKey(language, setId, alias);
        const auto found = m_entries.constFind(key);
        if (found == m_entries.constEnd() || found->state != Pending)
            continue;
        for (auto it = m_dataRequests.begin(); it != m_dataRequests.end();) {
            if (it.value() != key) {
                ++it;
                continue;
            }
            m_client->cancel(it.key());
            it = m_dataRequests.erase(it);
        }
        m_waitingKeys.removeAll(key);
        m_entries.erase(found);
    }
}

// Starts the entry of the set under the alias; returns true when the entry
// already existed and had settled.
bool PriceIndex::indexSetAs(const SetRecord &set, const QString &alias)
{
    const QString key = indexKey(set.language, set.id, alias);
    const auto existing = m_entries.find(key);
    if (existing != m_entries.end()) {
        if (sameMatchTerms(existing->set, set))
            return existing->state != Pending;
        return rematchSet(key, set);
    }

    SetEntry entry;
    entry.state = Pending;
    entry.set = set;
    entry.alias = alias;
    m_entries.insert(key, entry);

    matchWhenListed(key);
    return false;
}

// Matches the pending entry now when its category's group list is loaded,
// else once it arrives.
void PriceIndex::matchWhenListed(const QString &key)
{
    const int category = categoryOf(m_entries.value(key).set.language);
    if (m_groupsByCategory.contains(category)) {
        matchSet(key);
        return;
    }
    m_waitingKeys.append(key);
    if (m_groupListRunning.value(category))
        return;
    m_groupListRunning.insert(category, true);
    const int requestId = m_client->requestGroups(category);
    m_groupListRequests.insert(requestId, category);
}

// An entry answers only for the record it was matched from: asked for with
// another record of the same set id (a file's own record after the
// catalog's, say), the set is matched again. When that picks the group it
// had, what was loaded stays; otherwise the set is looked up anew.
bool PriceIndex::rematchSet(const QString &key, const SetRecord &set)
{
    SetEntry &entry = m_entries[key];
    entry.set = set;
    if (m_waitingKeys.contains(key))
        return false; // matched from the new record once the group list arrives
    if (entry.state == Failed)
        return true; // answers nothing, and is not fetched again
    const bool settled = entry.state == Indexed || entry.state == NoProducts || entry.state == NoGroup;
    if (settled && m_groupsByCategory.contains(categoryOf(set.language))) {
        QString groupName;
        QString reason;
        if (pickGroup(entry, &groupName, &reason) == entry.groupId)
            return true;
    }
    for (auto it = m_dataRequests.begin(); it != m_dataRequests.end();) {
        if (it.value() == key)
            it = m_dataRequests.erase(it);
        else
            ++it;
    }
    entry.state = Pending;
    entry.groupId = 0;
    entry.groupName.clear();
    entry.data = TcgcsvGroupData();
    matchWhenListed(key);
    return false;
}

bool PriceIndex::sameMatchTerms(const SetRecord &a, const SetRecord &b)
{
    return a.language == b.language && a.id == b.id && a.name == b.name && a.releaseDate == b.releaseDate;
}

int PriceIndex::pickGroup(const SetEntry &entry, QString *groupName, QString *reason) const
{
    const SetRecord &set = entry.set;
    const QString &alias = entry.alias;
    int groupId = 0;
    const int settingsPin = AppSettings().value(overrideKey(set.language, set.id, alias)).toInt();
    if (settingsPin > 0) {
        groupId = settingsPin;
        *reason = QStringLiteral("pinned in settings");
    }
    if (groupId == 0 && alias.isEmpty()) {
        const int errataPin = Errata::groupPin(set.language, set.id);
        if (errataPin > 0) {
            groupId = errataPin;
            *reason = QStringLiteral("pinned in the errata file");
        }
    }
    // A pinned group keeps no name: its status line names it by its id.
    if (groupId == 0) {
        const QList<MatchableGroup> groups = m_groupsByCategory.value(categoryOf(set.language));
        if (alias.isEmpty()) {
            const GroupMatch match = bestGroup(set, groups);
            groupId = match.groupId;
            *groupName = match.name;
        } else {
            const QString wanted = normalise(set.name) + normalise(alias);
            for (const MatchableGroup &group : groups) {
                if (group.normalisedName == wanted) {
                    groupId = group.group.groupId;
                    *groupName = group.group.name;
                    break;
                }
            }
        }
    }
    return groupId;
}

void PriceIndex::matchSet(const QString &key)
{
    const auto found = m_entries.find(key);
    if (found == m_entries.end())
        return;
    const SetRecord set = found->set;
    const QString alias = found->alias;
    QString groupName;
    QString reason;
    const int groupId = pickGroup(*found, &groupName, &reason);

    if (groupId <= 0) {
        if (alias.isEmpty()) {
            Log::warn(logCategory, QStringLiteral("No TCGCSV group matched \"%1\" (%2); it gets no fallback prices.")
                                       .arg(set.name, key));
        }
        finishSet(key, NoGroup);
        return;
    }

    Log::info(logCategory,
              QStringLiteral("%1 matched to TCGCSV group %2 (%3).")
                  .arg(key, QString::number(groupId), reason.isEmpty() ? groupName : reason));
    found->groupId = groupId;
    found->groupName = groupName;
    const int requestId = m_client->requestGroupData(categoryOf(set.language), groupId, setLabel(*found));
    m_dataRequests.insert(requestId, key);
}

QString PriceIndex::setLabel(const SetEntry &entry)
{
    if (entry.alias.isEmpty() && !entry.set.name.isEmpty())
        return entry.set.name;
    return entry.groupName.isEmpty() ? entry.set.name : entry.groupName;
}

void PriceIndex::finishSet(const QString &key, SetState state, ReplyFailure failure)
{
    const auto found = m_entries.find(key);
    if (found == m_entries.end())
        return;
    found->state = state;
    found->failure = failure;
    found->settledAtMs = SteadyClock::nowMs();
    const Language language = found->set.language;
    const QString setId = found->set.id;
    if (!isSetPending(language, setId))
        Q_EMIT setIndexed(language, setId, setState(language, setId) == Indexed);
}

bool PriceIndex::isSetPending(Language language, const QString &setId) const
{
    for (const SetEntry &entry : m_entries) {
        if (entry.state == Pending && entry.set.language == language && entry.set.id == setId)
            return true;
    }
    return false;
}

void PriceIndex::onGroupsReady(int requestId, int categoryId, const QList<TcgcsvGroup> &groups)
{
    m_groupListRequests.remove(requestId);
    m_groupsByCategory.insert(categoryId, matchable(groups));
    m_groupsArrivedAtMs.insert(categoryId, SteadyClock::nowMs());
    m_groupListRunning.insert(categoryId, false);

    // Matching may settle a set, and a receiver of setIndexed may let the
    // index go; nothing of it may be touched after that.
    const QPointer<PriceIndex> alive(this);
    const QList<QString> waiting = std::exchange(m_waitingKeys, {});
    for (const QString &key : waiting) {
        const auto found = m_entries.constFind(key);
        if (found == m_entries.constEnd())
            continue;
        if (categoryOf(found->set.language) != categoryId) {
            m_waitingKeys.append(key);
            continue;
        }
        matchSet(key);
        if (!alive)
            return;
    }
}

void PriceIndex::onGroupDataReady(int requestId, const TcgcsvGroupData &data)
{
    const QString key = m_dataRequests.take(requestId);
    const auto found = m_entries.find(key);
    if (key.isEmpty() || found == m_entries.end())
        return;
    found->data = data;
    finishSet(key, data.products.isEmpty() ? NoProducts : Indexed);
}

void PriceIndex::onRequestFailed(int requestId, const QString &context, const QString &message, ReplyFailure kind)
{
    const QPointer<PriceIndex> alive(this);
    if (m_groupListRequests.contains(requestId)) {
        const int category = m_groupListRequests.take(requestId);
        m_groupListRunning.insert(category, false);
        QList<QString> failedKeys;
        const QList<QString> waiting = std::exchange(m_waitingKeys, {});
        for (const QString &key : waiting) {
            const auto found = m_entries.constFind(key);
            if (found != m_entries.constEnd() && categoryOf(found->set.language) == category)
                failedKeys.append(key);
            else
                m_waitingKeys.append(key);
        }
        for (const QString &key : qAsConst(failedKeys)) {
            finishSet(key, Failed, kind);
            if (!alive)
                return;
        }
    } else if (m_dataRequests.contains(requestId)) {
        finishSet(m_dataRequests.take(requestId), Failed, kind);
        if (!alive)
            return;
    }
    Q_EMIT failed(context, message);
}

PriceIndex::SetState PriceIndex::setState(Language language, const QString &setId) const
{
    const auto found = m_entries.constFind(indexKey(language, setId));
    return found == m_entries.constEnd() ? NotIndexed : found->state;
}

std::optional<ReplyFailure> PriceIndex::groupFailure(Language language, const QString &setId) const
{
    for (const QString &alias : aliasesOf(language, setId)) {
        const auto entry = m_entries.constFind(indexKey(language, setId, alias));
        if (entry != m_entries.constEnd() && entry->state == Failed)
            return entry->failure;
    }
    return std::nullopt;
}

QString PriceIndex::statusText(Language language, const QString &setId) const
{
    const auto found = m_entries.constFind(indexKey(language, setId));
    if (found == m_entries.constEnd())
        return {};
    const QString label = found->groupName.isEmpty() ? tr("group %1").arg(found->groupId) : found->groupName;
    SetState state = found->state;
    // An empty answer came from a service that was reached: the line says
    // what it lacked, an empty group list no group for the set, a group
    // without products or prices no prices.
    if (state == Failed && found->failure == ReplyFailure::Empty) {
        if (found->groupId != 0)
            return tr("TCGCSV answered with no prices for \"%1\", so no fallback prices are available.").arg(label);
        state = NoGroup;
    }
    switch (state) {
    case Pending:
        return tr("Looking up fallback prices...");
    case Indexed:
        return tr("Fallback prices from TCGCSV (%1), %n card(s).", nullptr, int(found->data.products.size()))
            .arg(label);
    case NoGroup:
        return tr("No TCGCSV set matched this expansion, so no fallback prices are available.");
    case NoProducts:
        return tr("TCGplayer catalogued \"%1\" without collector numbers, so its cards cannot be matched reliably.")
            .arg(label);
    case Failed:
        return tr("Fallback prices could not be reached.");
    case NotIndexed:
        break;
    }
    return {};
}

int PriceIndex::unresolvedSetCount() const
{
    int count = 0;
    for (const SetEntry &entry : m_entries) {
        if (entry.alias.isEmpty() && (entry.state == NoGroup || entry.state == NoProducts))
            ++count;
    }
    return count;
}

QJsonObject PriceIndex::cardPrices(Language language, const QString &setId, const QString &number) const
{
    QJsonObject block = buildPrices(indexKey(language, setId), number);
    const QJsonObject shadowless = buildPrices(indexKey(language, setId, ShadowlessAlias), number);
    const QLatin1String disputedKey("disputed");
    for (auto it = shadowless.constBegin(); it != shadowless.constEnd(); ++it) {
        if (!block.contains(it.key()))
            block.insert(it.key(), it.value());
        else if (it.key() == disputedKey)
            block.insert(disputedKey, block.value(disputedKey).toArray() + it.value().toArray());
    }
    // A group of the set whose look-up failed, or goes on, leaves unknown
    // every printing it could list and the groups that answered do not:
    // the price rules see those named, and no other figure stands in.
    QJsonArray unanswered;
    for (const QString &alias : aliasesOf(language, setId)) {
        const auto entry = m_entries.constFind(indexKey(language, setId, alias));
        if (entry == m_entries.constEnd() || (entry->state != Failed && entry->state != Pending))
            continue;
        for (const QString &subType : subTypes()) {
            const QString printingKey = printingKeyForSubtype(subType, alias == ShadowlessAlias);
            if (!printingKey.isEmpty() && !block.contains(printingKey) && !unanswered.contains(printingKey))
                unanswered.append(printingKey);
        }
    }
    if (!unanswered.isEmpty())
        block.insert(QStringLiteral("unanswered"), unanswered);
    return block;
}

QJsonObject PriceIndex::buildPrices(const QString &key, const QString &number) const
{
    const auto found = m_entries.constFind(key);
    if (found == m_entries.constEnd() || found->state != Indexed)
        return {};
    const auto product = found->data.products.constFind(normalizeCardNumber(number));
    if (product == found->data.products.constEnd() || !product->isPriced())
        return {};

    QJsonObject block{
        {QStringLiteral("unit"), QStringLiteral("USD")},
        {QStringLiteral("groupId"), found->groupId},
        {QStringLiteral("productId"), product->productId},
    };
    const int fixedMembers = int(block.size());
    const bool shadowless = found->alias == ShadowlessAlias;
    for (auto it = product->marketPrices.constBegin(); it != product->marketPrices.constEnd(); ++it) {
        const QString printingKey = printingKeyForSubtype(it.key(), shadowless);
        if (printingKey.isEmpty())
            continue;
        // "Normal" and "Holofoil" are the figures of record; the "Unlimited"
        // rows of the same printing only fill in where those are missing.
        const bool unlimited = it.key() == QLatin1String("Unlimited") || it.key() == QLatin1String("Unlimited Holofoil");
        if (unlimited && block.contains(printingKey))
            continue;
        block.insert(printingKey, QJsonObject{{QStringLiteral("marketPrice"), it.value()}});
    }
    // A printing TCGCSV listed twice, differently, has no price of its own,
    // and no "Unlimited" row stands in for it: the price rules see it named.
    QJsonArray disputed;
    for (const QString &subType : product->disputedSubTypes) {
        const QString printingKey = printingKeyForSubtype(subType, shadowless);
        const bool unlimited = subType == QLatin1String("Unlimited") || subType == QLatin1String("Unlimited Holofoil");
        if (printingKey.isEmpty() || (unlimited && block.contains(printingKey)))
            continue;
        block.remove(printingKey);
        if (!disputed.contains(printingKey))
            disputed.append(printingKey);
    }
    if (!disputed.isEmpty())
        block.insert(QStringLiteral("disputed"), disputed);
    return block.size() > fixedMembers ? block : QJsonObject();
}

CardDetail PriceIndex::withFallbackPrices(Language language, const CardDetail &card) const
{
    const QJsonObject block = cardPrices(language, card.setId, card.localId);
    if (block.isEmpty())
        return card;
    CardDetail priced = card;
    priced.pricing.insert(QStringLiteral("tcgcsv"), block);
    return priced;
}

} // namespace pv
