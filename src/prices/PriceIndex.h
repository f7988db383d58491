#pragma once

#include "core/CardDetail.h"
#include "core/CardVocabulary.h"
#include "core/NetworkReplies.h"
#include "core/SetRecord.h"
#include "core/TcgcsvGroup.h"
#include "prices/TcgcsvGroupData.h"

#include <optional>

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

namespace pv {

class TcgcsvClient;

// Supplies US-dollar market prices from TCGCSV where the card database has
// none. Each set a view or a price refresh needs is matched to its TCGCSV
// group (a pin in the settings, a pin in the errata file, or a score over
// name, id and release date); the group's products and prices are then
// loaded once and answered per card as a "tcgcsv" block of TCGplayer shape.
class PriceIndex : public QObject
{
    Q_OBJECT
public:
    enum SetState { NotIndexed = 0, Pending = 1, Indexed = 2, NoGroup = 3, NoProducts = 4, Failed = 5 };

    struct SetEntry
    {
        SetState state = Pending;
        SetRecord set;
        int groupId = 0;
        QString groupName; // empty when the group was pinned
        TcgcsvGroupData data;
        QString alias;      // empty, or "shadowless"
        ReplyFailure failure = ReplyFailure::NotReached; // how a Failed entry failed
        qint64 settledAtMs = 0;                          // SteadyClock time the entry settled
    };

    struct GroupMatch
    {
        int groupId = 0;
        QString name;
        int score = 0;
    };

    // A group with the forms of its name that matching compares, worked
    // out once when the group list arrives.
    struct MatchableGroup
    {
        explicit MatchableGroup(const TcgcsvGroup &group);

        TcgcsvGroup group;
        QString lowerName;
        QString normalisedName;
        quint32 productWordMask = 0; // bit i: the name holds productWords()[i]
    };

    explicit PriceIndex(QObject *parent = nullptr);
    ~PriceIndex() override;

    // A set already asked for with another record of its id (another name
    // or release date) is matched again from the new one.
    void indexSet(const SetRecord &set);
    // A set whose look-up failed, ended without a group or products, or
    // settled more than DataLifetimeMs ago is asked for again, from this
    // record (a set without a group from a new group list); any other set is
    // asked for as by indexSet.
    void retrySet(const SetRecord &set);
    // A set no longer wanted while it is looked up: its requests are dropped
    // and it counts as never asked for (nothing is announced for it). A set
    // that settled keeps what it has.
    void dropPendingSet(Language language, const QString &setId);
    CardDetail withFallbackPrices(Language language, const CardDetail &card) const;
    QJsonObject cardPrices(Language language, const QString &setId, const QString &number) const;
    SetState setState(Language language, const QString &setId) const;
    // Whether a group of the set, its own or one under an alias, is still
    // being looked up.
    bool isSetPending(Language language, const QString &setId) const;
    QString statusText(Language language, const QString &setId) const;
    // How the look-up of a group of the set failed, its own group's first,
    // then those under its aliases; nothing when none failed.
    std::optional<ReplyFailure> groupFailure(Language language, const QString &setId) const;
    int unresolvedSetCount() const;

    // The client, for tests that need to look at its traffic.
    TcgcsvClient *client() const { return m_client; }

    static const QStringList &productWords();
    // The sub-types of TCGCSV's price rows that give a printing key.
    static const QStringList &subTypes();
    static QString printingKeyForSubtype(const QString &subType, bool shadowless);
    // The aliases a set is indexed under, the empty one (its own group) first.
    static QStringList aliasesOf(Language language, const QString &setId);
    static QString indexKey(Language language, const QString &setId, const QString &alias = QString());
    static QString overrideKey(Language language, const QString &setId, const QString &alias = QString());
    static QString normalise(const QString &text);
    static int categoryOf(Language language);
    // The score of one group against a set, and the best group of a list
    // (groupId 0 when none reaches the threshold).
    static int scoreGroup(const SetRecord &set, const TcgcsvGroup &group);
    static GroupMatch scoreGroups(const SetRecord &set, const QList<TcgcsvGroup> &groups);

    static constexpr int MatchThreshold = 50;
    // TCGCSV's prices change daily: older data is fetched again by retrySet.
    static constexpr qint64 DataLifetimeMs = 24 * 3600 * 1000;
    static const QString ShadowlessAlias;

Q_SIGNALS:
    void setIndexed(pv::Language language, const QString &setId, bool ok);
    void pendingCountChanged(int pending);
    void failed(const QString &context, const QString &message);

private:
    static GroupMatch bestGroup(const SetRecord &set, const QList<MatchableGroup> &groups);
    bool indexSetAs(const SetRecord &set, const QString &alias);
    bool rematchSet(const QString &key, const SetRecord &set);
    static bool sameMatchTerms(const SetRecord &a, const SetRecord &b);
    // The group of the entry's pin or best match, 0 when there is none.
    int pickGroup(const SetEntry &entry, QString *groupName, QString *reason) const;
    void matchSet(const QString &key);
    void matchWhenListed(const QString &key);
    // The name a user knows the entry's set by: the record's, or the
    // group's for the shadowless Base Set or a record without a name.
    static QString setLabel(const SetEntry &entry);
    void finishSet(const QString &key, SetState state, ReplyFailure failure = ReplyFailure::NotReached);
    QJsonObject buildPrices(const QString &key, const QString &number) const;

    void onGroupsReady(int requestId, int categoryId, const QList<pv::TcgcsvGroup> &groups);
    void onGroupDataReady(int requestId, const pv::TcgcsvGroupData &data);
    void onRequestFailed(int requestId, const QString &context, const QString &message, pv::ReplyFailure kind);

    TcgcsvClient *m_client = nullptr;
    QHash<int, QList<MatchableGroup>> m_groupsByCategory;
    QHash<int, qint64> m_groupsArrivedAtMs; // by category, SteadyClock time
    QHash<int, bool> m_groupListRunning;
    QHash<QString, SetEntry> m_entries;
    QHash<int, QString> m_dataRequests;
    QHash<int, int> m_groupListRequests;
    QList<QString> m_waitingKeys;
};

} // namespace pv
