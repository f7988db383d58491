#pragma once

#include "collection/Binder.h"
#include "collection/CardEntry.h"
#include "collection/CollectionContents.h"
#include "collection/HistoryPoint.h"
#include "collection/HoldingIndex.h"
#include "collection/LabelStyle.h"
#include "core/ExactSum.h"
#include "core/SetRecord.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSet>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace pv {

// The one document of the application: the holdings, the records of the sets
// they belong to, the weekly value history, the binders, the document's own
// label style, its file path and its revision.
//
// Every mutation raises the revision the moment it is made, inside a batch
// or not, and emits changed() at once, or once when the outermost
// beginBatch()/endBatch() pair closes. The document is dirty while its
// revision is not the one last marked saved; dirtyChanged() follows each
// edge of that comparison. changed() carries what changed, so views of the
// holdings can refresh in place what a change left in place (new prices or
// card facts, holdings edited in their rows, added or removed, set records
// changed).
//
// Each mutation of the holdings records what it did (a row inserted,
// removed, edited or repriced, every row rewritten); the tables derived from
// the holdings (the key index, what is held of each card, the totals) follow
// those records in one place, followRecords(), when next read and before a
// change is announced, and the announced change is described from the same
// records.
class Collection : public QObject
{
    Q_OBJECT

public:
    // What one announced change touched.
    struct Change
    {
        enum Kind {
            // Holdings added, removed or moved: any row may hold another
            // holding now (the steps tell which).
            Holdings = 0x1,
            // Holdings replaced in their rows.
            EditedRows = 0x2,
            // New prices, rarity or Pokedex number in some rows.
            UpdatedRows = 0x4,
            Binders = 0x8,
            // The value history, the label style.
            Document = 0x10,
            // Set records added, changed or removed (sets).
            Sets = 0x20,
            // clear() or replaceContents(): the document is another one now.
            Contents = 0x40,
        };
        Q_DECLARE_FLAGS(Kinds, Kind)

        // One thing the change did to the holdings, its row numbered as the
        // rows stood when it was done.
        struct Step
        {
            enum Type : quint8 {
                Inserted,  // a holding placed at the row, the later ones moving down
                Removed,   // the holding taken from the row, the later ones moving up
                Edited,    // the holding in the row replaced
                Repriced,  // the same, new prices only
                Annotated, // new card facts in the row
                Rewritten  // any row may hold anything now
            };
            Type type = Rewritten;
            int row = -1;
        };
        Kinds kinds;
        // What the change did to the holdings, in order: the records that
        // the collection's own tables (key index, card holdings, totals)
        // followed, and that every view follows.
        std::vector<Step> steps;
        // The keys of the set records added, changed or removed, ascending.
        QStringList sets;
        // The cards whose holdings were added, removed, edited or repriced,
        // by language and id (a card may be named more than once), when the
        // change touched a few; with cardsKnown false any card may have
        // changed (many were, or the holdings were rewritten).
        QList<QPair<Language, QString>> cards;
        bool cardsKnown = false;

        // No holding added, removed, moved or edited and no set record
        // changed, apart from the new values in rows.
        bool holdingsKept() const { return !(kinds & (Holdings | EditedRows | Sets)); }
        // Only new card facts (a rarity, a Pokedex number) in some rows:
        // nothing placed, counted or valued by the holdings changed.
        bool cardFactsOnly() const;
        bool bindersChanged() const { return kinds.testFlag(Binders); }
        bool contentsReplaced() const { return kinds.testFlag(Contents); }
    };

    // Asked about each card once; about many cards, from several threads at
    // once, so it must read plain values only.
    using RarityProvider = std::function<QString(Language, const QString &cardId)>;
    using FinishProvider = std::function<QStringList(Language, const QString &cardId)>;

    explicit Collection(QObject *parent = nullptr);
    ~Collection() override;

    const QList<CardEntry> &entries() const { return m_entries; }
    const QHash<QString, SetRecord> &sets() const { return m_sets; }
    const QList<HistoryPoint> &history() const { return m_history; }
    const QList<Binder> &binders() const { return m_binders; }
    const std::optional<LabelStyle> &labelStyle() const { return m_labelStyle; }
    const QString &filePath() const { return m_filePath; }
    // Raised by every change as it is made; never repeats.
    quint64 revision() const { return m_revision; }
    // The revision the file on disk holds, or NoRevision when none does.
    quint64 savedRevision() const { return m_savedRevision; }
    static constexpr quint64 NoRevision = ~quint64(0);
    bool isDirty() const { return m_revision != m_savedRevision; }
    // The contents as they stand, shared with the document until either
    // changes: what a save writes.
    CollectionContents contents() const;

    // Holdings.
    int addEntry(const CardEntry &entry);
    // Room for a few holdings to be added without moving the others, which a
    // document just read leaves none for.
    void reserveForAdds();
    // The room that leaves beside so many holdings; the tables kept of the
    // holdings leave the same.
    static qsizetype roomForAdds(qsizetype holdings);
    void updateEntry(int row, const CardEntry &entry);
    void insertEntry(int row, const CardEntry &entry);
    void replaceEntry(int row, const CardEntry &entry);
    void removeEntryAt(int row);
    int indexOfEntry(const QString &key) const;
    // Every row holding the card, in any printing, condition or grade.
    QList<int> rowsOfCard(Language language, const QString &cardId) const;
    // The row first holding each card, ascending, and how many sets (as the
    // rows spell them) the rows name: read off the key index, not the rows.
    // Unknown (false) when some row's language is keyed as another's, so
    // that the index tells the rows' cards apart otherwise than they do.
    struct HeldCards
    {
        std::vector<int> firstRows;
        qsizetype sets = 0;
        bool known = true;
    };
    HeldCards heldCards() const;
    // Rows of a printing named in keptEur (printingKey) keep their euro
    // value and its date, rows of one in keptUsd their dollar figure; the
    // count is of the rows given a new figure.
    int applyPrices(Language language, const QString &cardId, const QHash<QString, double> &eurByPrinting,
                    const QHash<QString, double> &usdByPrinting, const QSet<QString> &keptEur = {},
                    const QSet<QString> &keptUsd = {});
    // The holding with the figures the latest price application of the
    // document gave its printing (its grade's multiplier applied) and their
    // date, when that came after its own figures' date; else as given. What
    // an undo or redo brings back is brought back so.
    CardEntry withLatestFigures(CardEntry entry) const;
    int applyCardFacts(Language language, const QString &cardId, const QString &rarity, int dexId);
    int fillMissingRarities(const RarityProvider &rarityFor);
    int fillMissingVariants(const FinishProvider &finishesFor);
    // What the status bar and the label commands show of every holding,
    // worked out in one pass with the contents and from then on kept up to
    // date by each row that changes.
    struct Summary
    {
        qint64 cards = 0; // many full holdings pass the int range
        double valueEur = 0.0;
        QDateTime lastPriceUpdate;
        int labelled = 0;
    };
    const Summary &summary() const;
    // What the collection holds of one card in one language: every copy,
    // and the dearest copy's unit price.
    struct CardHolding
    {
        qint64 count = 0;
        double value = 0.0;
    };
    // Card id -> what is held of it, for every card held in the language;
    // worked out with the contents, and from then on kept up to date card
    // by card from the holdings each change touched.
    const QHash<QString, CardHolding> &cardHoldings(Language language) const;
    // How many numbers name holdings in the key index: a holding inserted
    // takes the number of one removed before, so they never outgrow the
    // most rows held since the index was built.
    qsizetype keyIndexNames() const { return m_index.names(); }
    qint64 totalCardCount() const { return summary().cards; }
    double totalValueEur() const { return summary().valueEur; }
    QDateTime lastPriceUpdate() const { return summary().lastPriceUpdate; }

    // Set records, keyed by setKey(language, id).
    void setSets(QHash<QString, SetRecord> sets);
    void mergeSetInfo(const SetRecord &record);
    // A record is found by its set id without regard to case.
    bool hasSet(Language language, const QString &setId) const;
    // The stored record, or one named after the set id for display where
    // there is none: that stand-in is no record of the set (hasSet() tells).
    // A stored record without a name is named after the set id too.
    SetRecord setInfo(Language language, const QString &setId) const;
    // The stored record of the set, found without regard to case, read in
    // place until the records change; null when none.
    const SetRecord *storedSet(Language language, const QString &setId) const;

    // Binders.
    const Binder *binder(const QString &id) const;
    int indexOfBinder(const QString &id) const;
    void insertBinder(int index, const Binder &binder);
    void upsertBinder(const Binder &binder);
    void removeBinder(const QString &id);

    void setLabelStyle(const std::optional<LabelStyle> &style);

    // Value history: one point per week, dated its Monday.
    void recordHistoryPoint(const QDate &date, double totalEur, qint64 cards, QHash<QString, HistorySetValue> sets);
    void recordValueSnapshot();
    QHash<QString, HistorySetValue> valueBySet() const;

    // Document.
    void beginBatch();
    void endBatch();
    // clear() and replaceContents() free the contents they let go of on
    // another thread (Disposal), so that a large document leaves at once.
    void clear();
    // The indexes, the card holdings and the totals are worked out here, so
    // that no later action waits for them.
    void replaceContents(QList<CardEntry> entries, QHash<QString, SetRecord> sets, QList<HistoryPoint> history,
                         QList<Binder> binders, std::optional<LabelStyle> labelStyle);
    // Contents with the tables derived from their holdings, a plain value
    // made on any thread (a file read) and taken in on the document's.
    struct DerivedTables;
    struct PreparedContents
    {
        CollectionContents contents;
        std::shared_ptr<DerivedTables> tables;
    };
    // Works out the derived tables of the contents on the calling thread,
    // with a document of that thread's own that goes with the call; adjust
    // (when given) then has its say on that document, its tables following,
    // and *adjusted gets what it returns.
    using Adjust = std::function<int(Collection &)>;
    static PreparedContents prepareContents(CollectionContents contents, const Adjust &adjust = {},
                                            int *adjusted = nullptr);
    // Takes over prepared contents as replaceContents() takes new ones. The
    // contents it replaced, with their tables, are left in prepared, to be
    // freed wherever the caller likes.
    void takeContents(PreparedContents &prepared);
    // The key index, the card holdings and the totals, each worked out
    // where it is not kept.
    void buildDerivedTables() const;
    void setFilePath(const QString &path);
    // The file on disk holds the given revision (NoRevision: none of them).
    void markSaved(quint64 revision);
    // false: the file holds the document as it stands; true: it does not.
    void setDirty(bool dirty);

signals:
    // A listener that changes the collection again announces that change
    // before this one reaches the listeners after it; those then read this
    // change as touching everything, the safe reading.
    void changed(const pv::Collection::Change &change);
    void dirtyChanged(bool dirty);
    void filePathChanged(const QString &path);

private:
    // What one mutation did to the holdings: the one account every table
    // derived from them (key index, card holdings, totals) and the change
    // announced to the views are brought up to date from.
    struct Record
    {
        // Annotated rows are not recorded here: no table derived here reads
        // card facts.
        using Type = Change::Step::Type;
        Type type = Change::Step::Rewritten;
        int row = -1;
        CardEntry before;
        CardEntry after;
    };
    void record(Record::Type type, int row, CardEntry before = {}, CardEntry after = {});
    void noteTouchedCards(Change::Step::Type type, const CardEntry &before, const CardEntry &after);
    // Brings the key index, the card holdings and the totals up to date with
    // every record not yet followed; each reader of them calls it first.
    void followRecords() const;
    void followRecord(const Record &change) const;
    // Set records added, changed or removed.
    void recordSets(const QStringList &keys);
    // A change that leaves every holding and set record as it is.
    void markDocumentChanged(Change::Kind kind = Change::Document);
    // Hands the records of the change being gathered to the change.
    void describeSteps(Change &change);
    void announceChange();
    // The document is another one now (its members in place): announced as
    // such, clean, with whatever a batch still open held back.
    void announceNewContents(bool sameBinders);
    static Change everythingChanged();
    void ensureIndexes() const;
    // Works out again what is held of the card, from its rows, while the
    // card holdings are valid.
    void refreshCardHolding(Language language, const QString &cardId) const;
    // The document as it stands is the one on disk (a new or read one).
    void makeClean();
    // Raises the revision for a change just made.
    void bumpRevision();
    // The totals of every row and of each set, worked out in one pass when
    // not kept, and brought up to date with the records first.
    void ensureTotals() const;
    // The row's holding joins (by 1) or leaves (by -1) the kept totals.
    void countInTotals(const CardEntry &entry, int by) const;
    void countInSetSums(const CardEntry &entry, double lineValue, int by) const;
    // Every derived table is built again.
    void dropDerivedTables() const;
    // Hands the holdings, set records, history and label style, with the
    // tables derived from them, to another thread to be freed; the document
    // holds none of them then.
    void letGoOfContents();
    void swapDerivedTables(DerivedTables &tables);
    // The row, which may have had no rarity, given one in place (the index
    // counts the rows without one).
    void nameRarity(int row, QString rarity);

    QList<CardEntry> m_entries;
    // The first row of each key, the rows of each card and the cards with
    // rows not named a rarity yet; built with the contents, kept up to date
    // by the records of every row added, removed or replaced.
    mutable HoldingIndex m_index;
    mutable bool m_keyIndexValid = false;
    // The totals of every row, valid with m_totalsValid. The newest price
    // date is known while some row holds it (rowsAtNewestPrice); a date
    // lowered or removed from the last such row leaves newestPrice as a
    // bound above every row's date, and the dates alone are read again
    // when next asked for.
    // What the rows of one set add up to, for the value history; a set
    // leaves the sums with its last row.
    struct SetSum
    {
        ExactSum value;
        qint64 cards = 0;
        qint64 rows = 0;
    };
    struct Totals
    {
        qint64 cards = 0;
        ExactSum value;
        int labelled = 0;
        qint64 pricedRows = 0;
        QDateTime newestPrice;
        qint64 rowsAtNewestPrice = 0;
        // By language, then set id.
        std::vector<QHash<QString, SetSum>> sets;
    };
    mutable Totals m_totals;
    mutable bool m_totalsValid = false;
    mutable Summary m_summary;
    // By language; valid with m_cardHoldingsValid.
    mutable std::vector<QHash<QString, CardHolding>> m_cardHoldings;
    mutable bool m_cardHoldingsValid = false;
    // What the latest price application gave a card's printings, by
    // owned-card key, for as long as the document is open.
    struct AppliedPrices
    {
        QHash<QString, double> eurByPrinting;
        QHash<QString, double> usdByPrinting;
        QSet<QString> keptEur;
        QSet<QString> keptUsd;
        QDateTime at;
    };
    static bool applyFigures(CardEntry &entry, const AppliedPrices &prices, bool warn);
    QHash<QString, AppliedPrices> m_appliedPrices;
    QHash<QString, SetRecord> m_sets;
    // Set keys in lower case -> the stored key; valid with m_foldedSetKeysValid.
    mutable QHash<QString, QString> m_foldedSetKeys;
    mutable bool m_foldedSetKeysValid = false;
    QList<HistoryPoint> m_history;
    QList<Binder> m_binders;
    std::optional<LabelStyle> m_labelStyle;
    QString m_filePath;
    quint64 m_revision = 0;
    quint64 m_savedRevision = 0;
    int m_batchDepth = 0;
    bool m_changePending = false;
    // The records not yet followed by the derived tables, and those of the
    // change being gathered, by type and row.
    mutable std::vector<Record> m_unfollowed;
    std::vector<Change::Step> m_steps;
    // The change being gathered: its kinds and the set records it touched.
    Change::Kinds m_pendingKinds;
    QSet<QString> m_changedSets;
    // The cards the change being gathered touched, while they are few.
    QList<QPair<Language, QString>> m_touchedCards;
    bool m_touchedMany = false;
    // The change being announced, while it is.
    Change *m_announcing = nullptr;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(Collection::Change::Kinds)

} // namespace pv

Q_DECLARE_METATYPE(pv::Collection::Change)
