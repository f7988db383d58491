#pragma once

#include "catalog/CardCatalog.h"
#include "catalog/CatalogQuery.h"
#include "collection/CardEntry.h"
#include "collection/Collection.h"
#include "core/CardVocabulary.h"
#include "ui/models/CollectionTreeModel.h"

#include <QAbstractTableModel>
#include <QList>
#include <QPointer>

#include <optional>

namespace pv {

// The holdings of the collection that match a search query, as a flat table:
// the collection tree's card columns, then the set, the series and the
// language. Rows are indexes into the collection's holdings, so values are
// always read fresh; the owner rebuilds the model when the collection
// changes and calls refreshValues when only prices or the currency do.
class CollectionSearchModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    // The tree's card columns come first, so its own columns follow the tree's count.
    enum Column { SetColumn = CollectionTreeModel::ColumnCount, SeriesColumn, LanguageColumn, ColumnCount };
    enum Role { EntryIndexRole = 257, SortKeyRole = 258 };

    explicit CollectionSearchModel(QObject *parent = nullptr);
    ~CollectionSearchModel() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    void setCollection(Collection *collection);
    void setCatalog(CardCatalog *catalog);
    void setLanguageFilter(std::optional<Language> language);
    void setQuery(const CatalogQuery &query);
    const CatalogQuery &query() const { return m_query; }

    void rebuild();
    void refreshValues();
    // New card facts in the holdings: the results show them where they are,
    // unless the query chooses by rarity, when false says they must be
    // searched again.
    bool refreshCardFacts();

    int sourceIndex(int row) const;
    int rowForKey(const QString &key) const;

    // True after a rebuild whose query asked for a set size that no holding's
    // set has on record, so the size filtered nothing.
    bool printedTotalIgnored() const { return m_printedTotalIgnored; }
    bool setCountIgnored() const { return m_printedTotalIgnored; }

private:
    const CardEntry *entryAt(int row) const;
    QString setName(const CardEntry &entry) const;
    QString seriesName(const CardEntry &entry) const;
    int printedSetSize(Language language, const QString &setId) const;

    // A holding's name folded for search, and its displayed name folded when
    // that differs, kept from one rebuild to the next: a keystroke then costs
    // a comparison per holding instead of folding and translating every name.
    struct FoldedName
    {
        QString name;   // shares the holding's text while it is unchanged
        QString cardId;
        Language language = Language::English;
        QString folded;
        QString shownFolded; // empty when the displayed name is the name
        bool shownKnown = false;
    };
    bool nameMatches(int row, const CardEntry &entry, const QString &key);

    QPointer<Collection> m_collection;
    QPointer<CardCatalog> m_catalog;
    CatalogQuery m_query;
    std::optional<Language> m_languageFilter;
    QList<int> m_rows;
    bool m_printedTotalIgnored = false;
    QList<FoldedName> m_foldedNames;
    int m_translationStamp = -1;
};

} // namespace pv
