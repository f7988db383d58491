#pragma once

#include "catalog/TcgdexClient.h"
#include "collection/CardEntry.h"
#include "collection/Collection.h"

#include <QAbstractItemModel>
#include <QDate>
#include <QHash>
#include <QList>
#include <QPixmap>
#include <QPointer>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace pv {

// The collection as a four-level tree: language, series, set, card. Group
// rows carry card counts and values, set rows their release date, completion
// progress and logo, card rows the holding's columns. The model only reads
// the collection, and follows each change it announces by replaying the
// change's steps on its own table of rows: holdings removed take their rows
// with them, and groups left empty go too; holdings added take a row in
// their set, which takes a row of its own when it is new; holdings given new
// values or replaced in their rows refresh them and the sums above them in
// place (a card that moves among its set's cards takes its new place in a
// layout change), and new card facts announce only their cells. A set record
// changed renames its row in place, or moves it where its order and series
// place it. A new card order moves the cards inside one layout change. A
// change past a few hundred rows, or one that takes a holding to another set
// or rewrites the holdings, rebuilds the model wholesale; either way before
// the change returns to its caller, so a row never reports another holding.
class CollectionTreeModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    enum NodeType { LanguageNode = 0, SeriesNode = 1, SetNode = 2, CardNode = 3 };
    Q_ENUM(NodeType)

    enum class CardSortMode { Number = 0, Price = 1 };
    Q_ENUM(CardSortMode)

    enum Column {
        NameColumn = 0,
        NumberColumn = 1,
        DexColumn = 2,
        RarityColumn = 3,
        PrintingColumn = 4,
        ConditionColumn = 5,
        GradeColumn = 6,
        QuantityColumn = 7,
        UnitValueColumn = 8,
        TotalColumn = 9,
        ColumnCount = 10
    };

    enum Role {
        EntryIndexRole = 257,
        NodeTypeRole = 258,
        SetKeyRole = 259,
        NodeKeyRole = 260,
        NameSuffixRole = 261,
        LanguageRole = 262,
        NameProgressRole = 263,
        NameProgressPercentRole = 264,
        EntryNameRole = 276,
        EntrySetNameRole = 277,
        EntryConditionRole = 278,
        EntryGradeLabelRole = 279,
        EntryCountRole = 280,
        EntryPrintingLabelRole = 281,
        EntryRarityRole = 282,
        EntryDexIdRole = 283,
        EntryUnitValueEurRole = 284,
        EntryHasCustomPriceRole = 285,
        EntryCustomPriceEurRole = 286,
        EntryNotesRole = 287,
        EntryImageBaseUrlRole = 288
    };

    // A row of the tree. Card rows are this alone, kept small: a large
    // collection has tens of thousands of them.
    struct Node
    {
        NodeType type = LanguageNode;
        int row = 0;
        Node *parent = nullptr;
        QList<Node *> children;
        // A card row's holding, by the number the model names it with (its
        // row when it was named); the model's table of rows gives its row.
        int holding = -1;
        qint64 cardCount = 0; // a group's sum may pass the int range
        double value = 0.0;

        Node() = default;
        Node(const Node &) = delete;
        Node &operator=(const Node &) = delete;
        ~Node();
    };

    // A language, series or set row.
    struct GroupNode : Node
    {
        int language = 0;
        QString seriesName;
        QString setKey;
        QString setName;
        QString logo;
        QDate releaseDate;
        int order = 0;
        int ownedNumbers = 0;
        int totalCards = 0;
        // A set's cards in the other card order, kept from the last change of
        // order while none of them changed.
        QList<Node *> otherOrder;
    };

    // A card row, with what orders it among its set's cards as of the last
    // time they were sorted: the rank of its number in the set, its place
    // among the holdings of that number and the price it is ordered by.
    struct CardRow : Node
    {
        int rank = 0;
        quint64 tie = 0;
        double price = -1.0;
    };

    explicit CollectionTreeModel(QObject *parent = nullptr);
    ~CollectionTreeModel() override;

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &index) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    QHash<int, QByteArray> roleNames() const override;

    void setCollection(Collection *collection);
    Collection *collection() const { return m_collection; }
    void setTcgdexClient(TcgdexClient *client);
    void setCardSortMode(CardSortMode mode);
    CardSortMode cardSortMode() const { return m_cardSortMode; }

    // The bulk of a rebuild, worked out on any thread from the holdings of
    // a collection that no other thread changes meanwhile: the holdings
    // grouped by set and each set's cards ordered, as rows. Names, series
    // and places, which only the GUI thread looks up, are left to the
    // rebuild.
    struct PreparedTree;
    static std::shared_ptr<PreparedTree> prepare(const Collection &collection, CardSortMode mode);
    // The next rebuild takes those rows when they were prepared from the
    // holdings the collection then holds (the same list, unchanged since)
    // in the card order then shown, and drops them either way. Null drops
    // rows given before.
    void usePrepared(std::shared_ptr<PreparedTree> tree);

    // Column 0 of each row under parent, in order, handed to visit with
    // whether it is a card row (one that never has rows): what a view lays
    // out of them, without asking the model about each row.
    template <typename Visit>
    void visitRows(const QModelIndex &parent, const Visit &visit) const
    {
        if (parent.column() > 0)
            return;
        const Node *node = parent.isValid() ? static_cast<const Node *>(parent.internalPointer()) : m_root;
        const QList<Node *> &rows = node->children;
        for (qsizetype row = 0; row < rows.size(); ++row)
            visit(createIndex(int(row), 0, rows.at(row)), isCardRow(rows.at(row)));
    }

    int entryIndexAt(const QModelIndex &index) const;
    QModelIndex indexForEntryKey(const QString &key) const;
    QModelIndex indexForSetKey(const QString &setKey) const;

    // Whether holding a is listed before holding b inside their set.
    static bool cardLessThan(const CardEntry &a, const CardEntry &b, CardSortMode mode);

    // The card columns as the tree shows them; the collection search shows
    // the same cells for its first ten columns.
    static QString columnTitle(int column);
    static Qt::Alignment columnAlignment(int column);
    static QVariant cardCell(const CardEntry &entry, int column);

public slots:
    void rebuild();
    void reloadArtwork();
    void onCurrencyChanged();

private:
    void onCollectionChanged(const pv::Collection::Change &change);
    // What the steps of a change did, replayed on the table of rows: the
    // card rows of the holdings removed, the holdings added and still there
    // (in ascending rows), those given new values or replaced, and those
    // given new card facts alone.
    struct Replay
    {
        std::vector<Node *> removed;
        std::vector<int> added;
        std::vector<int> valued;
        bool replaced = false;
        std::vector<int> annotated;
    };
    // False when the tree must be rebuilt instead: the steps rewrote the
    // holdings, moved too many rows, or took a holding to another set.
    bool replaySteps(const std::vector<Collection::Change::Step> &steps, Replay &replay);
    // Gives each holding the number of its row again, once the table holds
    // far more numbers than rows.
    void renameHoldings();
    // Room in the table of rows for the holdings a session adds, so that the
    // first add after it was made does not copy it whole.
    void leaveRoomForAdds();
    // The holdings given new values, or replaced in their rows (each still
    // listed under the set it was), refresh their rows and the sums above
    // them; sets and groups whose cards were removed or added already are
    // summed again with them.
    void updateRows(const std::vector<int> &holdings, bool replaced, QList<Node *> touched);
    // Only the cells that show card facts, one range a set.
    void announceCardFacts(const std::vector<int> &holdings);
    void announceAllCardFacts();
    // Whether new facts in so many rows are announced for every card row.
    bool manyCardFacts(size_t rows) const { return rows > 0 && rows * 4 >= m_holdingOfRow.size(); }
    // The rows of the set records changed take their new names, dates,
    // logos and totals, and move where those place them.
    void followSets(const QStringList &keys, QList<Node *> &touched);
    // A set row for a set the tree does not list yet, placed nowhere.
    GroupNode *newSetNode(Language language, const QString &setId);
    // Puts the set row, placed nowhere, where its order and names place it,
    // with its language and series rows when those are new.
    void placeSet(GroupNode *set, Language language);
    // Moves the set row, with its cards, where its order and names now place
    // it (beginMoveRows(), so the view keeps it expanded and its selection);
    // a series row left empty goes.
    void moveSet(GroupNode *set, Language language, QList<Node *> &touched);
    // The series row the set belongs under, made (with its language row)
    // when the tree has none.
    Node *seriesFor(const GroupNode *set, Language language);
    // The set's place among the series' other sets.
    static int setPlace(const Node *series, const Node *set);
    // Moves the language's series rows into the order a rebuild gives them.
    void putSeriesInOrder(Node *language);
    void insertChild(Node *parent, int at, Node *child);
    // Takes the card row (or a set row) out of its parent, and the groups
    // left empty out of the tree.
    void removeCard(Node *card, QList<Node *> &touched);
    // A row for the holding, in its set, which takes a row of its own when
    // the tree lists no such set yet.
    void insertCard(int holding, QList<Node *> &touched);
    // The set rows of the holdings with their cards, made in the tree's
    // pool when it has one.
    struct RebuildBuffers;
    static void prepareSets(PreparedTree &tree, const QList<CardEntry> &entries, CardSortMode mode,
                            RebuildBuffers &buffers);
    // Works out the sort keys of the set's cards from their holdings.
    void keyCards(Node *set) const;
    bool cardLess(const Node *a, const Node *b) const;
    // The sets whose cards, sorted again, come in another order, with that
    // order; their keys worked out again first when rekey is set.
    using CardOrders = QList<std::pair<Node *, QList<Node *>>>;
    CardOrders sortedCards(const QList<Node *> &sets, bool rekey) const;
    // Sums the cards of the sets and groups up to the language rows again;
    // returns every group summed.
    QList<Node *> sumAgain(const QList<Node *> &nodes);
    // Puts the cards in those orders; inside a layout change.
    void applyCardOrders(const CardOrders &orders);
    void onImageReady(int requestId, const QString &imageUrl, const QPixmap &pixmap);
    // A row of the card pool is a card row: its node is not read, which with
    // many rows costs more than anything else a layout asks.
    bool isCardRow(const Node *node) const
    {
        const auto *pool = static_cast<const Node *>(m_cardPool.get());
        const auto *end = static_cast<const Node *>(m_cardPool.get() + m_cardPoolUsed);
        return (std::less_equal<const Node *>()(pool, node) && std::less<const Node *>()(node, end))
            || node->type == CardNode;
    }
    // The collection row of a card row's holding.
    int rowOf(const Node *card) const { return m_rowOfHolding[size_t(card->holding)]; }
    const CardEntry *entryOf(const Node *node) const;
    QModelIndex indexOfNode(const Node *node, int column) const;
    QVariant nodeDisplay(const Node *node, int column) const;
    QVariant cardRole(const CardEntry &entry, int role) const;
    QVariant decoration(const Node *node) const;
    QString nameSuffix(const Node *node) const;
    // Every set node, in tree order.
    QList<Node *> setNodes() const;
    // dataChanged over the given columns of every row whose type passes.
    template <typename Columns>
    void emitForAllRows(Columns columnsFor, const QList<int> &roles);

    QPointer<Collection> m_collection;
    QPointer<TcgdexClient> m_client;
    GroupNode *m_root = nullptr;
    // The card rows, in one block; set nodes point into it. Rows added since
    // the last rebuild are kept apart; rows removed stay, with no parent.
    std::unique_ptr<CardRow[]> m_cardPool;
    size_t m_cardPoolSize = 0;
    size_t m_cardPoolUsed = 0;
    std::vector<std::unique_ptr<CardRow>> m_addedCards;
    // What a rebuild keeps for the next one.
    std::unique_ptr<RebuildBuffers> m_rebuildBuffers;
    std::shared_ptr<PreparedTree> m_prepared;
    QHash<QString, GroupNode *> m_setsByKey;
    // The table of rows. Each holding is named by a number, which a row
    // inserted or removed above it leaves as it is: only the holding of each
    // row and the row of each holding (-1 once removed) move. The card row
    // of each holding (null for holdings the tree leaves out).
    std::vector<int> m_holdingOfRow;
    std::vector<int> m_rowOfHolding;
    std::vector<Node *> m_cardNodes;
    CardSortMode m_cardSortMode = CardSortMode::Number;
    mutable QSet<QString> m_requestedArtwork;
    // Set logos as the rows show them, by address.
    mutable QHash<QString, QPixmap> m_logos;
};

} // namespace pv
