#include "ui/models/SetCardsModel.h"

#include "catalog/CardCatalog.h"
#include "catalog/ImageCache.h"
#include "catalog/TcgdexClient.h"
#include "collection/Collection.h"
#include "collection/EntryKeys.h"
#include "core/CardArtwork.h"
#include "core/CardNumbers.h"
#include "core/Currency.h"
#include "core/NameTranslator.h"
#include "core/Pricing.h"
#include "collection/FallbackPrices.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QPixmapCache>

namespace pv {

namespace {

enum Column { ThumbnailColumn = 0, NumberColumn, NameColumn, SetColumn, SerieColumn, PriceColumn };

// The price of a row whose set's fallback prices are still being looked up.
constexpr double pendingPrice = -1.0;

const QColor ownedColour(255, 210, 63);

// Where the picture at the URL, made to fit the size, is kept in the pixmap
// cache beside the picture itself.
QString fittedKey(const QString &url, QSize size)
{
    return QStringLiteral("fitted:%1x%2:").arg(size.width()).arg(size.height()) + url;
}

// The picture at the URL made to fit the size, smoothed once and kept: doing
// it on every paint cost more than painting the row.
QPixmap fittedPicture(const ImageCache &cache, const QString &url, QSize size)
{
    const QString key = fittedKey(url, size);
    QPixmap fitted;
    if (QPixmapCache::find(key, &fitted))
        return fitted;
    const QPixmap picture = cache.load(url);
    if (picture.isNull())
        return picture;
    fitted = picture.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QPixmapCache::insert(key, fitted);
    return fitted;
}

constexpr QSize logoSize(66, 22);

} // namespace

SetCardsModel::SetCardsModel(TcgdexClient *client, FallbackPrices *fallbackPrices, CardCatalog *catalog,
                             QObject *parent)
    : QAbstractTableModel(parent)
    , m_client(client)
    , m_fallbackPrices(fallbackPrices)
    , m_catalog(catalog)
{
    if (client)
        connect(client, &TcgdexClient::imageReady, this, &SetCardsModel::onImageReady);
    if (fallbackPrices)
        connect(fallbackPrices, &FallbackPrices::settled, this, &SetCardsModel::onPricesIndexed);
}

SetCardsModel::~SetCardsModel() = default;

int SetCardsModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_cards.size());
}

int SetCardsModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

void SetCardsModel::setCards(const QList<CatalogCard> &cards)
{
    beginResetModel();
    m_cards = cards;
    m_requestedThumbnails.clear();
    m_thumbnailRows.clear();
    m_artworkUrls.clear();
    m_rowArtwork = QStringList(m_cards.size(), QString());

    QHash<QString, QString> artworkBySet;
    for (int row = 0; row < m_cards.size(); ++row) {
        const CatalogCard &card = m_cards.at(row);
        const QString thumbnail = cardImageUrl(card.image, false);
        if (!thumbnail.isEmpty())
            m_thumbnailRows.insert(thumbnail, row);
        if (!m_catalog)
            continue;
        const QString key = setKey(card.language, card.setId);
        auto found = artworkBySet.constFind(key);
        if (found == artworkBySet.constEnd()) {
            const CatalogSet *set = m_catalog->setById(card.language, card.setId);
            found = artworkBySet.insert(key, set ? (set->symbol.isEmpty() ? set->logo : set->symbol) : QString());
        }
        m_rowArtwork[row] = *found;
        if (!found->isEmpty())
            m_artworkUrls.insert(setArtworkUrl(*found), row);
    }
    m_pricesStale = true;
    recomputeOwned();
    endResetModel();
}

void SetCardsModel::clear()
{
    beginResetModel();
    m_cards.clear();
    m_requestedThumbnails.clear();
    m_thumbnailRows.clear();
    m_rowArtwork.clear();
    m_artworkUrls.clear();
    m_prices.clear();
    m_pricesStale = false;
    m_owned.clear();
    endResetModel();
}

double SetCardsModel::priceAt(int row) const
{
    if (m_pricesStale) {
        m_pricesStale = false;
        recomputePrices();
    }
    return m_prices.value(row);
}

void SetCardsModel::recomputePrices() const
{
    m_prices = QList<double>(m_cards.size(), 0.0);
    if (!m_fallbackPrices)
        return;
    for (int row = 0; row < m_cards.size(); ++row) {
        const CatalogCard &card = m_cards.at(row);
        if (m_fallbackPrices->isPending(card.language, card.setId)) {
            m_prices[row] = pendingPrice;
            continue;
        }
        const QJsonObject block = m_fallbackPrices->cardPrices(card.language, card.setId, card.localId);
        m_prices[row] = Pricing::tcgplayerFinishPrice(block, m_finish, m_edition);
    }
}

void SetCardsModel::refreshPrices()
{
    if (m_cards.isEmpty())
        return;
    // Worked out when next read: a set shown and its prices looked up ask
    // for this several times in a row, and the rows of a set passed over on
    // the way to another are never priced.
    m_pricesStale = true;
    Q_EMIT dataChanged(index(0, PriceColumn), index(rowCount() - 1, PriceColumn));
}

void SetCardsModel::setPriceContext(const QString &finish, const QString &edition)
{
    if (finish == m_finish && edition == m_edition)
        return;
    m_finish = finish;
    m_edition = edition;
    refreshPrices();
}

void SetCardsModel::onPricesIndexed(Language language, const QString &setId, bool)
{
    for (const CatalogCard &card : qAsConst(m_cards)) {
        if (isSameSet(card.language, card.setId, language, setId)) {
            refreshPrices();
            return;
        }
    }
}

void SetCardsModel::setOwnedKeys(const QSet<QString> &keys)
{
    if (keys == m_ownedKeys)
        return;
    m_ownedKeys = keys;
    ownedChanged();
}

void SetCardsModel::setCollection(const Collection *collection)
{
    if (collection == m_collection)
        return;
    m_collection = collection;
    ownedChanged();
}

void SetCardsModel::ownedChanged()
{
    recomputeOwned();
    if (!m_cards.isEmpty())
        Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, ColumnCount - 1),
                           {Qt::FontRole, Qt::ForegroundRole, Qt::ToolTipRole, OwnedRole});
}

void SetCardsModel::recomputeOwned()
{
    m_owned = QList<bool>(m_cards.size(), false);
    // Rows of one language follow each other: one table each.
    const QHash<QString, Collection::CardHolding> *held = nullptr;
    Language heldLanguage = Language::English;
    for (int row = 0; row < m_cards.size(); ++row) {
        const CatalogCard &card = m_cards.at(row);
        if (m_collection && (!held || card.language != heldLanguage)) {
            held = &m_collection->cardHoldings(card.language);
            heldLanguage = card.language;
        }
        m_owned[row] = (held && held->contains(card.id))
            || (!m_ownedKeys.isEmpty() && m_ownedKeys.contains(ownedCardKey(card.language, card.id)));
    }
}

bool SetCardsModel::isOwned(int row) const
{
    return m_owned.value(row, false);
}

void SetCardsModel::setSearchMode(bool searchMode)
{
    if (searchMode == m_searchMode)
        return;
    m_searchMode = searchMode;
    if (!m_cards.isEmpty())
        Q_EMIT dataChanged(index(0, NumberColumn), index(rowCount() - 1, NumberColumn), {Qt::DisplayRole});
}

void SetCardsModel::onImageReady(int, const QString &imageUrl, const QPixmap &)
{
    // A picture fetched again replaces the one made to fit from it.
    QPixmapCache::remove(fittedKey(imageUrl, thumbnailSize()));
    QPixmapCache::remove(fittedKey(imageUrl, logoSize));
    if (m_artworkUrls.contains(imageUrl)) {
        if (!m_cards.isEmpty())
            Q_EMIT dataChanged(index(0, SetColumn), index(rowCount() - 1, SetColumn), {Qt::DecorationRole});
        return;
    }
    const auto found = m_thumbnailRows.constFind(imageUrl);
    if (found != m_thumbnailRows.constEnd() && *found >= 0 && *found < m_cards.size()) {
        const QModelIndex cell = index(*found, ThumbnailColumn);
        Q_EMIT dataChanged(cell, cell, {Qt::DecorationRole});
    }
}

QPixmap SetCardsModel::setLogoPixmap(int row) const
{
    const QString base = m_rowArtwork.value(row);
    if (!m_client || base.isEmpty())
        return {};
    const QString url = setArtworkUrl(base);
    const QPixmap image = fittedPicture(m_client->imageCache(), url, logoSize);
    if (!image.isNull())
        return image;
    if (!m_requestedArtwork.contains(url)) {
        m_requestedArtwork.insert(url);
        m_client->fetchSetArtwork(base);
    }
    return {};
}

QString SetCardsModel::shownName(const CatalogCard &card) const
{
    return NameTranslator::displayName(card.language, card.id, card.name);
}

QString SetCardsModel::shownSetName(const CatalogCard &card) const
{
    return NameTranslator::translateSetName(card.language, card.setId, card.setName);
}

QString SetCardsModel::shownSerieName(const CatalogCard &card) const
{
    return NameTranslator::translateSerieName(card.language, QString(), card.serieName);
}

QVariant SetCardsModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() < 0 || index.row() >= m_cards.size())
        return {};
    const int row = index.row();
    const int column = index.column();
    const CatalogCard &card = m_cards.at(row);

    switch (role) {
    case CardIdRole:
        return card.id;
    case SortRole:
        return sortValue(row, column);
    case ImageRole:
        return card.image;
    case OwnedRole:
        return isOwned(row);
    case Qt::DisplayRole:
        switch (column) {
        case NumberColumn:
            if (m_searchMode && card.official > 0)
                return card.localId + QLatin1Char('/') + QString::number(card.official);
            return card.localId;
        case NameColumn:
        case SetColumn:
        case SerieColumn: // sorted by the names they show
            return sortValue(row, column);
        case PriceColumn: {
            const double price = priceAt(row);
            if (price > 0.0)
                return Currency::formatFromUsd(price);
            return price == pendingPrice ? QStringLiteral("...") : QStringLiteral("-");
        }
        default:
            return {};
        }
    case Qt::DecorationRole:
        if (column == ThumbnailColumn && m_client && !card.image.isEmpty()) {
            const QString url = cardImageUrl(card.image, false);
            const QPixmap image = fittedPicture(m_client->imageCache(), url, thumbnailSize());
            if (!image.isNull())
                return image;
            if (!m_requestedThumbnails.contains(url)) {
                m_requestedThumbnails.insert(url);
                m_client->fetchCardImage(card.image, 0);
            }
            return {};
        }
        if (column == SetColumn) {
            const QPixmap logo = setLogoPixmap(row);
            if (!logo.isNull())
                return logo;
        }
        return {};
    case Qt::ToolTipRole:
        return toolTip(row, column);
    case Qt::FontRole:
        if (isOwned(row)) {
            QFont font;
            font.setWeight(QFont::Bold);
            return font;
        }
        return {};
    case Qt::TextAlignmentRole:
        if (column == NumberColumn || column == PriceColumn)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::ForegroundRole:
        if (isOwned(row))
            return QBrush(ownedColour);
        return {};
    default:
        return {};
    }
}

QVariant SetCardsModel::sortValue(int row, int column) const
{
    const CatalogCard &card = m_cards.at(row);
    switch (column) {
    case NameColumn:
        return shownName(card);
    case SetColumn:
        return shownSetName(card);
    case SerieColumn:
        return shownSerieName(card);
    case PriceColumn:
        return qMax(0.0, priceAt(row));
    default:
        return card.sortKey.isEmpty() ? cardNumberSortKey(card.localId) : card.sortKey;
    }
}

QVariant SetCardsModel::toolTip(int row, int column) const
{
    const CatalogCard &card = m_cards.at(row);
    if (column == PriceColumn) {
        const double price = priceAt(row);
        if (price > 0.0)
            return tr("%1 - %2 printing.\nQuoted by TCGplayer at %3.\nThe collection itself is valued on "
                      "Cardmarket prices, which can differ.")
                .arg(shownName(card), printingLabel(m_finish, m_edition), Currency::format(price, 1));
        if (price == pendingPrice)
            return tr("Looking up the prices for this set...");
        return tr("TCGplayer does not price this card, or this set could not be matched to a TCGplayer set.");
    }
    const QString first = card.setName.isEmpty()
                              ? tr("%1 - %2").arg(card.localId, shownName(card))
                              : tr("%1 - %2\n%3").arg(card.localId, shownName(card), shownSetName(card));
    return isOwned(row) ? tr("%1\nAlready in the collection. Double-click to add another copy.").arg(first)
                        : tr("%1\nDouble-click to add to the collection.").arg(first);
}

QVariant SetCardsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return {};
    if (role == Qt::DisplayRole) {
        switch (section) {
        case ThumbnailColumn:
            return QString();
        case NumberColumn:
            return tr("No.");
        case NameColumn:
            return tr("Card");
        case SetColumn:
            return tr("Set");
        case SerieColumn:
            return tr("Series");
        default:
            return tr("Market (%1)").arg(Currency::currentCode());
        }
    }
    if (role == Qt::ToolTipRole && section == PriceColumn)
        return tr("TCGplayer market price, converted to %1. Prices are loaded one set at a time, so they show "
                  "for the set being browsed.")
            .arg(Currency::currentCode());
    return {};
}

} // namespace pv
