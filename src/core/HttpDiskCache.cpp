#include "core/HttpDiskCache.h"

#include <QBuffer>
#include <QDateTime>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMultiMap>
#include <QProcess>

#include <algorithm>
#include <chrono>
#include <utility>

namespace pv {

namespace {
// What Qt's cache counts for an entry's own file besides its body.
constexpr qint64 entryOverheadBytes = 1024;

// An answer being received: past the largest body kept, what came is let go
// at once and the rest is not held, so a reply that never ends costs no
// second copy beside the one its reader holds.
class ReceivingBuffer : public QBuffer
{
public:
    bool overflowed() const { return m_overflowed; }

protected:
    qint64 writeData(const char *data, qint64 length) override
    {
        if (!m_overflowed && size() + length <= HttpDiskCache::maxEntryBytes) {
            // Room for the largest entry once it is large: no copies as it grows.
            if (size() + length > buffer().capacity() && size() + length > 1024 * 1024)
                buffer().reserve(HttpDiskCache::maxEntryBytes);
            return QBuffer::writeData(data, length);
        }
        if (!m_overflowed) {
            m_overflowed = true;
            buffer() = QByteArray();
        }
        return length;
    }

private:
    bool m_overflowed = false;
};
} // namespace

// Qt's cache, used on the writing thread alone: it writes the files, and
// leaves the walks to the cache it writes for.
class HttpDiskCache::EntryWriter : public QNetworkDiskCache
{
public:
    EntryWriter(const QString &folder, qint64 maximumBytes)
    {
        setCacheDirectory(folder);
        setMaximumCacheSize(maximumBytes);
    }

protected:
    qint64 expire() override { return 0; }
};

HttpDiskCache::HttpDiskCache(const QString &folder, qint64 maximumBytes, QObject *parent)
    : QNetworkDiskCache(parent)
    , m_entryWriter(std::make_unique<EntryWriter>(folder, maximumBytes))
{
    setCacheDirectory(folder);
    setMaximumCacheSize(maximumBytes);
    m_writer.setMaxThreadCount(1);
}

HttpDiskCache::~HttpDiskCache()
{
    m_stop->store(true);
    waitForTrim();
    qDeleteAll(m_receiving.keyBegin(), m_receiving.keyEnd());
}

QNetworkCacheMetaData HttpDiskCache::metaData(const QUrl &url)
{
    const auto unwritten = m_unwritten.constFind(url);
    if (unwritten == m_unwritten.constEnd() && m_removing.contains(url))
        return QNetworkCacheMetaData();
    QNetworkCacheMetaData stored = unwritten != m_unwritten.constEnd() ? unwritten->metaData : storedMetaData(url);
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

QNetworkCacheMetaData HttpDiskCache::storedMetaData(const QUrl &url)
{
    // A walk may be dropping files: nothing read before it ended is trusted.
    if (m_trim.valid()) {
        takeTrimResult();
        m_read.clear();
    }
    const auto known = m_read.constFind(url);
    if (known != m_read.constEnd())
        return known.value();
    const QNetworkCacheMetaData stored = QNetworkDiskCache::metaData(url);
    if (stored.isValid()) {
        m_lastRead = url;
        if (!m_trim.valid())
            m_read.insert(url, stored);
    }
    return stored;
}

QIODevice *HttpDiskCache::data(const QUrl &url)
{
    const auto unwritten = m_unwritten.constFind(url);
    if (unwritten == m_unwritten.constEnd()) {
        if (m_removing.contains(url))
            return nullptr;
        QIODevice *stored = QNetworkDiskCache::data(url);
        if (stored)
            m_lastRead = url;
        return stored;
    }
    auto *body = new QBuffer;
    body->setData(unwritten->body);
    body->open(QIODevice::ReadOnly);
    return body;
}

void HttpDiskCache::updateMetaData(const QNetworkCacheMetaData &metaData)
{
    const auto unwritten = m_unwritten.find(metaData.url());
    if (unwritten != m_unwritten.end()) {
        writeLater(metaData, unwritten->body);
        return;
    }
    if (m_removing.contains(metaData.url()))
        return;
    // What the file will say once rewritten; a rewrite that fails takes the
    // entry with it.
    if (m_read.contains(metaData.url()))
        m_read.insert(metaData.url(), metaData);
    // Qt's cache would copy the body into a new file unchecked: on a full
    // disk, a cut body with a fresh expiry.
    m_writer.start([this, writer = m_entryWriter.get(), metaData] {
        // An entry whose file has gone meanwhile is forgotten too.
        const std::unique_ptr<QIODevice> stored(writer->data(metaData.url()));
        if (!stored || !writeWhole(writer, metaData, stored->readAll())) {
            QMetaObject::invokeMethod(
                this, [this, url = metaData.url()] { forgetWritten(url, 0, false); }, Qt::QueuedConnection);
        }
    });
}

bool HttpDiskCache::remove(const QUrl &url)
{
    const bool held = m_unwritten.remove(url);
    m_read.remove(url);
    if (url == m_lastRead)
        forgetRead();
    for (auto it = m_receiving.begin(); it != m_receiving.end();) {
        if (it->url() == url) {
            delete it.key();
            it = m_receiving.erase(it);
        } else {
            ++it;
        }
    }
    // The file, if any, goes on the writing thread; told is what was held.
    const quint64 serial = ++m_serial;
    m_removing.insert(url, serial);
    m_writer.start([this, writer = m_entryWriter.get(), url, serial] {
        writer->remove(url);
        QMetaObject::invokeMethod(
            this,
            [this, url, serial] {
                if (m_removing.value(url) == serial)
                    m_removing.remove(url);
            },
            Qt::QueuedConnection);
    });
    return held;
}

qint64 HttpDiskCache::cacheSize() const
{
    return qMax<qint64>(m_walkedBytes, 0) + m_writtenBytes;
}

QIODevice *HttpDiskCache::prepare(const QNetworkCacheMetaData &metaData)
{
    // What Qt's cache declines, this one declines too.
    if (!metaData.isValid() || !metaData.url().isValid() || !metaData.saveToDisk() || cacheDirectory().isEmpty())
        return nullptr;
    for (const QNetworkCacheMetaData::RawHeader &header : metaData.rawHeaders()) {
        if (header.first.compare("Content-Length", Qt::CaseInsensitive) == 0) {
            const qint64 declared = header.second.toLongLong();
            if (declared > maximumCacheSize() * 3 / 4 || declared > maxEntryBytes)
                return nullptr;
            break;
        }
    }
    auto *body = new ReceivingBuffer;
    body->open(QIODevice::ReadWrite);
    m_receiving.insert(body, metaData);
    return body;
}

void HttpDiskCache::insert(QIODevice *device)
{
    const auto receiving = m_receiving.constFind(device);
    if (receiving == m_receiving.constEnd())
        return;
    const QNetworkCacheMetaData metaData = receiving.value();
    m_receiving.erase(receiving);
    auto *received = static_cast<ReceivingBuffer *>(device);
    const bool overflowed = received->overflowed();
    const QByteArray body = received->data();
    delete device;
    if (overflowed) {
        // Too large to keep: nor is an older answer served in its place.
        remove(metaData.url());
        return;
    }
    m_writtenBytes += body.size() + entryOverheadBytes;
    writeLater(metaData, body);
}

void HttpDiskCache::clear()
{
    holdWritesForTesting(false);
    m_writer.waitForDone();
    m_unwritten.clear();
    m_read.clear();
    m_removing.clear();
    qDeleteAll(m_receiving.keyBegin(), m_receiving.keyEnd());
    m_receiving.clear();
    if (!m_lastRead.isEmpty())
        forgetRead();
    QNetworkDiskCache::clear();
}

void HttpDiskCache::writeLater(const QNetworkCacheMetaData &metaData, const QByteArray &body)
{
    const quint64 serial = ++m_serial;
    m_unwritten.insert(metaData.url(), Unwritten{metaData, body, serial});
    m_read.remove(metaData.url());
    // Written after the removal of an older file, if any.
    m_removing.remove(metaData.url());
    // Qt's cache would go on serving the entry it last read from memory.
    if (metaData.url() == m_lastRead)
        forgetRead();
    m_writer.start([this, writer = m_entryWriter.get(), metaData, body, serial] {
        const bool whole = writeWhole(writer, metaData, body);
        QMetaObject::invokeMethod(
            this, [this, url = metaData.url(), serial, whole] { forgetWritten(url, serial, whole); },
            Qt::QueuedConnection);
    });
}

bool HttpDiskCache::writeWhole(EntryWriter *writer, const QNetworkCacheMetaData &metaData, const QByteArray &body)
{
    const QUrl url = metaData.url();
    if (QIODevice *file = writer->prepare(metaData)) {
        // A full disk takes what fits and reports no error: the count tells.
        auto *onDisk = qobject_cast<QFileDevice *>(file);
        if (file->write(body) == body.size()
            && (!onDisk || (onDisk->flush() && onDisk->error() == QFileDevice::NoError))) {
            writer->insert(file);
            if (onDisk)
                return true;
            // Qt writes a small text answer itself, unchecked: read it back.
            const std::unique_ptr<QIODevice> written(writer->data(url));
            if (written && written->size() == body.size())
                return true;
        } else {
            writer->remove(url); // drops the file being prepared
        }
    }
    // Nothing of the address is served: neither a cut body nor the older
    // answer this one replaced.
    writer->remove(url);
    return false;
}

void HttpDiskCache::forgetWritten(const QUrl &url, quint64 serial, bool whole)
{
    // A later answer for the same address waits for its own file.
    const auto unwritten = m_unwritten.constFind(url);
    const bool latest = unwritten == m_unwritten.constEnd() || unwritten->serial == serial;
    if (unwritten != m_unwritten.constEnd() && unwritten->serial == serial) {
        // The file now holds what was handed to it.
        if (whole && !m_trim.valid())
            m_read.insert(url, unwritten->metaData);
        m_unwritten.erase(unwritten);
    }
    if (!whole && latest)
        m_read.remove(url);
    // Qt's cache remembers the last entry it read: not one whose file is gone.
    if (!whole && latest && url == m_lastRead)
        forgetRead();
    // Trimmed once the file is there, so that the walk counts it.
    expire();
}

void HttpDiskCache::forgetRead()
{
    // Qt's cache lets go of the entry it keeps when it reads another file:
    // the null device, which it takes for a file of no entry, lets go of it
    // without touching the folder. Removing the entry instead would delete
    // its file here, which a busy disk can hold for hundreds of milliseconds;
    // the writing thread replaces or removes the file in its turn.
    m_lastRead = QUrl();
    fileMetaData(QProcess::nullDevice());
}

void HttpDiskCache::holdWritesForTesting(bool hold)
{
    if (hold && !m_hold) {
        m_hold = std::make_shared<QSemaphore>();
        m_writer.start([gate = m_hold] { gate->acquire(); });
    } else if (!hold && m_hold) {
        std::exchange(m_hold, nullptr)->release();
    }
}

void HttpDiskCache::waitForTrim()
{
    holdWritesForTesting(false);
    m_writer.waitForDone();
    // The trim the writes made due starts now, not when their news arrives.
    if (!m_stop->load())
        expire();
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
        m_read.clear();
        m_walkedBytes = QNetworkDiskCache::expire();
        m_writtenBytes = 0;
        return m_walkedBytes;
    }
    // Nothing written yet (Qt asks when the limit is set): the first walk
    // waits for the first file.
    if (m_walkedBytes < 0 && m_writtenBytes == 0)
        return 0;
    takeTrimResult();
    const qint64 estimate = qMax<qint64>(m_walkedBytes, 0) + m_writtenBytes;
    if (!m_trim.valid() && (m_walkedBytes < 0 || estimate >= maximumCacheSize())) {
        m_read.clear();
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
