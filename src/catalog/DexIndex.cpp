#include "catalog/DexIndex.h"

#include "catalog/CacheDirectory.h"
#include "catalog/TcgdexClient.h"
#include "core/FileSaving.h"
#include "core/Log.h"

#include <QCborArray>
#include <QCborMap>
#include <QCborValue>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace pv {

DexIndex::DexIndex(TcgdexClient *client, QObject *parent)
    : QObject(parent)
    , m_client(client)
{
    if (!m_client)
        return;
    connect(m_client, &TcgdexClient::cardsByDexIdReady, this, &DexIndex::onResolved);
    connect(m_client, &TcgdexClient::requestFailed, this, &DexIndex::onFailed);
}

QString DexIndex::cachePath(Language language)
{
    return cacheDirectory() + QStringLiteral("/dex-") + languageCode(language) + QStringLiteral(".cbor");
}

bool DexIndex::contains(Language language, int dexId) const
{
    const auto found = m_index.constFind(language);
    return found != m_index.constEnd() && found->entries.contains(dexId);
}

QSet<QString> DexIndex::cardsFor(Language language, int dexId) const
{
    const auto found = m_index.constFind(language);
    if (found == m_index.constEnd())
        return {};
    return found->entries.value(dexId);
}

void DexIndex::request(Language language, int dexId)
{
    if (dexId < 1 || !m_client)
        return;
    loadCache(language);
    if (contains(language, dexId)) {
        QMetaObject::invokeMethod(this, [this, language, dexId] { emit dexReady(language, dexId); },
                                  Qt::QueuedConnection);
        return;
    }
    const QPair<Language, int> question(language, dexId);
    for (const auto &pending : std::as_const(m_pending)) {
        if (pending == question)
            return;
    }
    const int requestId = m_client->fetchCardsByDexId(language, dexId);
    m_pending.insert(requestId, question);
}

void DexIndex::onResolved(int requestId, Language language, int dexId, const QList<CardBrief> &cards)
{
    Q_UNUSED(language)
    Q_UNUSED(dexId)
    const auto found = m_pending.constFind(requestId);
    if (found == m_pending.constEnd())
        return;
    // The question as asked decides where the answer is filed.
    const QPair<Language, int> question = found.value();
    m_pending.erase(found);

    QSet<QString> ids;
    for (const CardBrief &card : cards) {
        if (!card.id.isEmpty())
            ids.insert(card.id);
    }
    const int count = ids.size();
    LanguageEntry &entry = m_index[question.first];
    entry.entries.insert(question.second, ids);
    entry.dirty = true;
    saveCache(question.first);
    Log::debug(logCategory, tr("Dex %1 (%2): %3 card(s).")
                                .arg(QString::number(question.second),
                                     languageDisplayName(question.first), QString::number(count)));
    emit dexReady(question.first, question.second);
}

void DexIndex::onFailed(int requestId, const QString &context, const QString &message)
{
    const auto found = m_pending.constFind(requestId);
    if (found == m_pending.constEnd())
        return;
    const QPair<Language, int> question = found.value();
    m_pending.erase(found);
    Log::warn(logCategory, tr("Dex %1 could not be resolved (%2): %3")
                               .arg(QString::number(question.second), context, message));
    emit dexFailed(question.first, question.second, message);
}

void DexIndex::loadCache(Language language)
{
    if (m_loaded.value(language))
        return;
    m_loaded.insert(language, true);

    QFile file(cachePath(language));
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = file.readAll();
    file.close();

    QString problem;
    const QHash<int, QSet<QString>> entries = readCache(bytes, &problem);
    if (!problem.isEmpty()) {
        discard(language, problem);
        return;
    }
    if (entries.isEmpty())
        return;
    LanguageEntry &entry = m_index[language];
    entry.entries = entries;
    entry.dirty = false;
    Log::debug(logCategory, tr("Loaded %1 cached dex entries for %2.")
                                .arg(QString::number(entries.size()), languageDisplayName(language)));
}

QHash<int, QSet<QString>> DexIndex::readCache(const QByteArray &bytes, QString *problem)
{
    problem->clear();
    QCborParserError parseError;
    const QCborValue root = QCborValue::fromCbor(bytes, &parseError);
    if (parseError.error != QCborError::NoError) {
        *problem = parseError.errorString();
        return {};
    }
    if (!root.isMap()) {
        *problem = QStringLiteral("the file is not a dex index");
        return {};
    }
    const QCborMap map = root.toMap();
    if (map.value(QStringLiteral("format")).toString() != QLatin1String(formatTag)) {
        *problem = QStringLiteral("unexpected format tag");
        return {};
    }
    // Numbers are read only when they are integers: a double beyond 64 bits
    // has no integer value.
    const QCborValue version = map.value(QStringLiteral("version"));
    if (version.isDouble() ? version.toDouble() > formatVersion : version.toInteger(0) > formatVersion) {
        *problem = QStringLiteral("written by a newer version of Tallowmerick");
        return {};
    }

    QHash<int, QSet<QString>> entries;
    const QCborArray pairs = map.value(QStringLiteral("entries")).toArray();
    for (qsizetype i = 1; i < pairs.size(); i += 2) {
        const QCborValue key = pairs.at(i - 1);
        const qint64 number = key.isInteger() ? key.toInteger() : 0;
        if (number <= 0 || number > std::numeric_limits<int>::max())
            continue;
        QSet<QString> ids;
        const QCborArray list = pairs.at(i).toArray();
        for (const QCborValue &id : list)
            ids.insert(id.toString());
        entries.insert(int(number), ids);
    }
    return entries;
}

void DexIndex::discard(Language language, const QString &reason)
{
    const QString path = cachePath(language);
    QFile::remove(path);
    Log::warn(logCategory, tr("Discarding the cached dex index %1: %2.").arg(path, reason));
}

void DexIndex::saveCache(Language language)
{
    const auto found = m_index.constFind(language);
    if (found == m_index.constEnd() || !found->dirty)
        return;
    const QString path = cachePath(language);
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return;

    QCborArray pairs;
    for (auto it = found->entries.cbegin(); it != found->entries.cend(); ++it) {
        QCborArray ids;
        for (const QString &id : it.value())
            ids.append(id);
        pairs.append(it.key());
        pairs.append(ids);
    }
    QCborMap map;
    map.insert(QStringLiteral("format"), QLatin1String(formatTag));
    map.insert(QStringLiteral("version"), formatVersion);
    map.insert(QStringLiteral("lang"), languageCode(language));
    map.insert(QStringLiteral("savedAt"), QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
    map.insert(QStringLiteral("entries"), pairs);

    removeSaveLeftovers(path);
    QString reason;
    if (replaceCacheFile(path, map.toCborValue().toCbor(), &reason) != SaveStep::Done) {
        Log::warn(logCategory, tr("Could not save the dex index %1: %2").arg(path, reason));
        return;
    }
    m_index[language].dirty = false;
}

} // namespace pv
