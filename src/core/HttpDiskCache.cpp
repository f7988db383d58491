#include "core/HttpDiskCache.h"

#include <QDateTime>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMultiMap>

#include <algorithm>
#include <chrono>

namespace pv {

namespace {
// What Qt's cache counts for an entry's own file besides its body.
constexpr qint64 entryOverheadBytes = 1024;
} // namespace

HttpDiskCache::HttpDiskCache(const QString &folder, qint64 maximumBytes, QObject *parent)
    : QNetworkDiskCache(parent)
{
    setCacheDirectory(folder);
    setMaximumCacheSize(maximumBytes);
}

HttpDiskCache::~HttpDiskCache()
{
    m_stop->store(true);
    waitForTrim();
}

QNetworkCacheMetaData HttpDiskCache::metaData(const QUrl &url)
{
    QNetworkCacheMetaData stored = QNetworkDiskCache::metaData(url);
    // A copy still fresh by its own expiry is served without asking.
    const QDateTime expiry = stored.expirationDate();
    if (!stored.isValid() || (expiry.isValid() && QDateTime::currentDateTimeUtc() <= expiry))
        return stored;
    QNetworkCacheMetaData::RawHeaderList headers = stored.rawHeaders();
    const auto control =
        std::find_if(headers.begin(), headers.end(), [](const QNetworkCacheMetaData::RawHeader &header) {
            return header.first.compare("Cache-Control", Qt::CaseInsensitive) == 0;
        });
    if (control == headers.end())
        headers.append({QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("must-revalidate")});
    else if (!control->second.toLower().contains("must-revalidate"))
        control->second += QByteArrayLiteral(", must-revalidate");
    stored.setRawHeaders(headers);
    return stored;
}

void HttpDiskCache::insert(QIODevice *device)
{
    if (device)
        m_writtenBytes += device->size() + entryOverheadBytes;
    QNetworkDiskCache::insert(device);
}

void HttpDiskCache::waitForTrim()
{
    if (m_trim.valid())
        m_trim.wait();
    takeTrimResult();
}

void HttpDiskCache::takeTrimResult()
{
    if (!m_trim.valid() || m_trim.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
        return;
    m_walkedBytes = m_trim.get();
    // Entries written while it walked were mostly counted by it; any it
    // missed, the next walk counts.
    m_writtenBytes = 0;
}

qint64 HttpDiskCache::expire()
{
    if (maximumCacheSize() <= 0) {
        // Emptied on purpose (clear()): at once.
        m_stop->store(true);
        waitForTrim();
        m_stop = std::make_shared<std::atomic<bool>>(false);
        m_walkedBytes = QNetworkDiskCache::expire();
        m_writtenBytes = 0;
        return m_walkedBytes;
    }
    takeTrimResult();
    const qint64 estimate = qMax<qint64>(m_walkedBytes, 0) + m_writtenBytes;
    if (!m_trim.valid() && (m_walkedBytes < 0 || estimate >= maximumCacheSize())) {
        m_trim = std::async(std::launch::async, [folder = cacheDirectory(), limit = maximumCacheSize(), stop = m_stop] {
            return trimFolder(folder, limit, *stop);
        });
    }
    return estimate;
}

qint64 HttpDiskCache::trimFolder(const QString &folder, qint64 maximumBytes, const std::atomic<bool> &stop)
{
    // The entries' files, oldest first, as Qt's cache orders them; those it
    // is still writing stay out of it.
    QMultiMap<QDateTime, QString> entries;
    qint64 total = 0;
    QDirIterator it(folder, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext() && !stop.load()) {
        const QString path = it.next();
        if (!path.endsWith(QLatin1String(".d")) || path.contains(QLatin1String("/prepared/")))
            continue;
        const QFileInfo info = it.fileInfo();
        const QDateTime born = info.fileTime(QFileDevice::FileBirthTime);
        entries.insert(born.isValid() ? born : info.fileTime(QFileDevice::FileMetadataChangeTime), path);
        total += info.size();
    }
    const qint64 goal = maximumBytes / 10 * 9;
    for (auto entry = entries.cbegin(); entry != entries.cend() && total >= goal && !stop.load(); ++entry) {
        QFile file(entry.value());
        const qint64 size = file.size();
        if (file.remove())
            total -= size;
    }
    return total;
}

} // namespace pv
