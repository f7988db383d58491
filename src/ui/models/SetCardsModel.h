#pragma once

#include "catalog/CatalogCard.h"
#include "core/CardKeys.h"
#include "core/CardVocabulary.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QPixmap>
#include <QPointer>
#include <QSet>
#include <QSize>
#include <QString>
#include <QStringList>

namespace pv {

class CardCatalog;
class Collection;
class FallbackPrices;
class TcgdexClient;

// Catalog cards as a table to pick from: thumbnail, number, name, set with
// its symbol, series and the TCGplayer market price of the printing about to
// be added. Owned cards are marked. Images come from the client's cache and
// are asked for once; prices are computed once after the rows or the prices
// changed, when first read, and never looked up while painting.
class SetCardsModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Role {
        CardIdRole = Qt::UserRole + 1,
        SortRole = Qt::UserRole + 2,
        ImageRole = Qt::UserRole + 3,
        OwnedRole = Qt::UserRole + 4,
    };
    static constexpr int ColumnCount = 6;

    SetCardsModel(TcgdexClient *client, FallbackPrices *fallbackPrices, CardCatalog *catalog,
                  QObject *parent = nullptr);
    ~SetCardsModel() override;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    void setCards(const QList<CatalogCard> &cards);
    void clear();
    const QList<CatalogCard> &cards() const { return m_cards; }

    void setOwnedKeys(const QSet<QString> &keys);
    // The collection whose cards are marked owned besides the keys: each row
    // asks it about its own card as the rows are set, never about every
    // holding.
    void setCollection(const Collection *collection);
    bool isOwned(int row) const;
    // The printing whose market price the last column shows.
    void setPriceContext(const QString &finish, const QString &edition);
    // Rows from many sets: numbers show with their set's card count.
    void setSearchMode(bool searchMode);
    // Recomputes the market prices (after the prices or the currency changed).
    void refreshPrices();

    static QSize thumbnailSize() { return QSize(44, 61); }

private:
    // The row's price, the rows priced first when they or the prices changed.
    double priceAt(int row) const;
    void recomputePrices() const;
    // Whether the keys name or the collection holds each row's card, worked
    // out again.
    void recomputeOwned();
    void ownedChanged();
    void onImageReady(int requestId, const QString &imageUrl, const QPixmap &pixmap);
    void onPricesIndexed(pv::Language language, const QString &setId, bool ok);
    QPixmap setLogoPixmap(int row) const;
    QString shownName(const CatalogCard &card) const;
    QString shownSetName(const CatalogCard &card) const;
    QString shownSerieName(const CatalogCard &card) const;
    QVariant toolTip(int row, int column) const;
    QVariant sortValue(int row, int column) const;

    QPointer<TcgdexClient> m_client;
    QPointer<FallbackPrices> m_fallbackPrices;
    QPointer<CardCatalog> m_catalog;
    QList<CatalogCard> m_cards;
    bool m_searchMode = false;
    QString m_finish;
    QString m_edition;
    mutable QList<double> m_prices;
    // The rows or the prices changed since the prices were worked out.
    mutable bool m_pricesStale = false;
    QSet<QString> m_ownedKeys;
    QPointer<const Collection> m_collection;
    // Parallel to m_cards.
    QList<bool> m_owned;
    mutable QSet<QString> m_requestedThumbnails;
    QStringList m_rowArtwork;
    QHash<QString, int> m_artworkUrls;
    mutable QSet<QString> m_requestedArtwork;
    QHash<QString, int> m_thumbnailRows;
};

} // namespace pv
