#include "ui/models/CollectionSearchModel.h"

#include "catalog/CardCatalog.h"
#include "catalog/CatalogSearch.h"
#include "collection/Collection.h"
#include "collection/EntryKeys.h"
#include "core/CardNumbers.h"
#include "core/NameTranslator.h"
#include "ui/models/CollectionTreeModel.h"

namespace pv {

namespace {

using TreeModel = CollectionTreeModel;

bool sameParsedNumber(const CardNumber &a, const CardNumber &b)
{
    return a.number == b.number && a.prefix == b.prefix && a.suffix == b.suffix;
}

} // namespace

CollectionSearchModel::CollectionSearchModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

CollectionSearchModel::~CollectionSearchModel() = default;

int CollectionSearchModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int CollectionSearchModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

void CollectionSearchModel::setCollection(Collection *collection)
{
    if (collection == m_collection)
        return;
    m_collection = collection;
    rebuild();
}

void CollectionSearchModel::setCatalog(CardCatalog *catalog)
{
    m_catalog = catalog;
}

void CollectionSearchModel::setLanguageFilter(std::optional<Language> language)
{
    if (language == m_languageFilter)
        return;
    m_languageFilter = language;
    rebuild();
}

void CollectionSearchModel::setQuery(const CatalogQuery &query)
{
    m_query = query;
    rebuild();
}

int CollectionSearchModel::printedSetSize(Language language, const QString &setId) const
{
    const SetRecord record = m_collection->setInfo(language, setId);
    if (record.officialCardCount > 0)
        return record.officialCardCount;
    if (m_catalog) {
        if (const CatalogSet *set = m_catalog->setById(language, setId))
            return set->official;
    }
    return 0;
}

void CollectionSearchModel::rebuild()
{
    beginResetModel();
    m_rows.clear();
    m_printedTotalIgnored = false;
    if (!m_collection || m_query.isEmpty()) {
        endResetModel();
        return;
    }

    const QString textKey = searchKey(m_query.text.trimmed());
    const QString numberText = m_query.number.trimmed();
    const CardNumber numberParse = parseCardNumber(numberText);
    const int printedTotal = m_query.printedTotal;
    bool anySizeKnown = false;

    // Holdings of one set usually follow one another: the last set's size is
    // kept rather than looked up again.
    Language lastLanguage = Language::English;
    QString lastSetId;
    int lastSize = 0;
    bool haveLast = false;

    const QList<CardEntry> &entries = m_collection->entries();
    if (!textKey.isEmpty()) {
        m_foldedNames.resize(entries.size());
        const int stamp = (NameTranslator::isEnabled() ? 1 : 0) + 2 * NameTranslator::count();
        if (stamp != m_translationStamp) {
            m_translationStamp = stamp;
            for (FoldedName &folded : m_foldedNames)
                folded.shownKnown = false;
        }
    }
    for (int row = 0; row < entries.size(); ++row) {
        const CardEntry &entry = entries.at(row);
        int size = 0;
        if (printedTotal > 0) {
            if (!haveLast || entry.lang != lastLanguage || entry.setId != lastSetId) {
                lastLanguage = entry.lang;
                lastSetId = entry.setId;
                lastSize = printedSetSize(entry.lang, entry.setId);
                haveLast = true;
            }
            size = lastSize;
            if (size > 0)
                anySizeKnown = true;
        }

        if (m_languageFilter && entry.lang != *m_languageFilter)
            continue;
        if (printedTotal > 0 && size >= 1 && size != printedTotal)
            continue;
        if (!m_query.setId.isEmpty() && entry.setId != m_query.setId)
            continue;
        if (!m_query.rarities.isEmpty() && !m_query.rarities.contains(entry.rarity))
            continue;
        if (!numberText.isEmpty()) {
            if (numberParse.number != -1) {
                if (!sameParsedNumber(parseCardNumber(entry.localId), numberParse))
                    continue;
            } else if (entry.localId.compare(numberText, Qt::CaseInsensitive) != 0) {
                continue;
            }
        }
        if (!textKey.isEmpty() && !nameMatches(row, entry, textKey))
            continue;
        m_rows.append(row);
    }
    m_printedTotalIgnored = printedTotal >= 1 && !anySizeKnown;
    endResetModel();
}

bool CollectionSearchModel::nameMatches(int row, const CardEntry &entry, const QString &key)
{
    FoldedName &folded = m_foldedNames[row];
    // The kept copy shares the holding's text until that text is replaced,
    // so the same data pointer means the same name.
    if (folded.name.constData() != entry.name.constData() || folded.name.size() != entry.name.size()) {
        folded.name = entry.name;
        folded.folded = searchKey(entry.name);
        folded.shownKnown = false;
    }
    if (folded.folded.contains(key))
        return true;
    if (!folded.shownKnown || folded.language != entry.lang || folded.cardId.constData() != entry.cardId.constData()
        || folded.cardId.size() != entry.cardId.size()) {
        const QString shown = NameTranslator::displayName(entry.lang, entry.cardId, entry.name);
        folded.shownFolded = shown == entry.name ? QString() : searchKey(shown);
        folded.cardId = entry.cardId;
        folded.language = entry.lang;
        folded.shownKnown = true;
    }
    return !folded.shownFolded.isEmpty() && folded.shownFolded.contains(key);
}

void CollectionSearchModel::refreshValues()
{
    if (!m_rows.isEmpty())
        emit dataChanged(index(0, TreeModel::UnitValueColumn),
                         index(int(m_rows.size()) - 1, TreeModel::TotalColumn),
                         {Qt::DisplayRole, SortKeyRole});
    emit headerDataChanged(Qt::Horizontal, TreeModel::UnitValueColumn, TreeModel::TotalColumn);
}

bool CollectionSearchModel::refreshCardFacts()
{
    if (!m_query.rarities.isEmpty())
        return false;
    if (!m_rows.isEmpty())
        emit dataChanged(index(0, TreeModel::DexColumn), index(int(m_rows.size()) - 1, TreeModel::RarityColumn));
    return true;
}

int CollectionSearchModel::sourceIndex(int row) const
{
    return row >= 0 && row < m_rows.size() ? m_rows.at(row) : -1;
}

int CollectionSearchModel::rowForKey(const QString &key) const
{
    if (key.isEmpty() || !m_collection)
        return -1;
    for (int row = 0; row < m_rows.size(); ++row) {
        const CardEntry *entry = entryAt(row);
        if (entry && entryKey(*entry) == key)
            return row;
    }
    return -1;
}

const CardEntry *CollectionSearchModel::entryAt(int row) const
{
    if (!m_collection || row < 0 || row >= m_rows.size())
        return nullptr;
    const int source = m_rows.at(row);
    const QList<CardEntry> &entries = m_collection->entries();
    // The owner rebuilds after a change; until then a row may be gone.
    return source >= 0 && source < entries.size() ? &entries.at(source) : nullptr;
}

QString CollectionSearchModel::setName(const CardEntry &entry) const
{
    const SetRecord record = m_collection->setInfo(entry.lang, entry.setId);
    if (record.id.isEmpty())
        return entry.setId;
    return NameTranslator::translateSetName(entry.lang, record.id, record.name);
}

QString CollectionSearchModel::seriesName(const CardEntry &entry) const
{
    const SetRecord record = m_collection->setInfo(entry.lang, entry.setId);
    if (record.serie.isEmpty())
        return QString();
    return NameTranslator::translateSerieName(entry.lang, QString(), record.serie);
}

QVariant CollectionSearchModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.column() < 0 || index.column() >= ColumnCount)
        return QVariant();
    const CardEntry *entry = entryAt(index.row());
    if (!entry)
        return QVariant();
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        if (column < TreeModel::ColumnCount)
            return TreeModel::cardCell(*entry, column);
        if (column == SetColumn)
            return setName(*entry);
        if (column == SeriesColumn)
            return seriesName(*entry);
        return languageDisplayName(entry->lang);
    case Qt::ToolTipRole:
        return tr("%1 - %2").arg(setName(*entry), seriesName(*entry));
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(column < TreeModel::ColumnCount ? TreeModel::columnAlignment(column)
                                                                   : Qt::AlignLeft | Qt::AlignVCenter);
    case EntryIndexRole:
        return m_rows.at(index.row());
    case SortKeyRole:
        switch (column) {
        case TreeModel::NumberColumn:
            return cardNumberSortKey(entry->localId);
        case TreeModel::DexColumn:
            return entry->dexId;
        case TreeModel::QuantityColumn:
            return entry->count;
        case TreeModel::UnitValueColumn:
            return entryUnitPrice(*entry);
        case TreeModel::TotalColumn:
            return entry->count * entryUnitPrice(*entry);
        default:
            return data(index, Qt::DisplayRole);
        }
    default:
        return QVariant();
    }
}

QVariant CollectionSearchModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case SetColumn:
        return tr("Set");
    case SeriesColumn:
        return tr("Series");
    case LanguageColumn:
        return tr("Language");
    default: {
        const QString title = TreeModel::columnTitle(section);
        return title.isEmpty() ? QVariant() : QVariant(title);
    }
    }
}

} // namespace pv
