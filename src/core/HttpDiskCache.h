#pragma once

#include <QHash>
#include <QNetworkDiskCache>
#include <QSemaphore>
#include <QThreadPool>
#include <QUrl>

#include <atomic>
#include <future>
#include <memory>

namespace pv {

// The HTTP disk cache of a web client. Qt's own cache walks its whole folder
// on the thread that uses it, to learn its size at its first write and to
// drop its oldest files at every write while it is over its limit: with tens
// of thousands of files, a stall of hundreds of milliseconds. This one walks
// and trims its folder on a worker thread while the cache keeps serving; in
// between, its size is what the last walk found plus what was written since.
// Clearing it still empties it at once.
//
// Its files are written on a worker thread too: creating, replacing and
// syncing a file can wait hundreds of milliseconds for a busy disk, and a
// price refresh stores hundreds of answers as it starts. An answer is kept
// in memory, and served from there, until its file is written. A file that
// could not be written whole (a full disk takes what fits and refuses the
// rest) takes its entry with it: a cut answer is never served. An entry
// removed is gone at once, though its file goes later.
//
// What an entry's file says of it is read once: a request for an address
// asked before reads no file on the thread that uses the cache, until the
// entry is written, changed or removed, or a walk drops files.
//
// A copy past its expiry is handed out as one to be revalidated (HTTP's
// must-revalidate): it is used only when the server confirms it, and never
// stands in for a server error, which Qt otherwise answers with the copy,
// often without reporting the error at all. (A fresh copy is served without
// asking the server, so no error can come for it.)
class HttpDiskCache : public QNetworkDiskCache
{
    Q_OBJECT
public:
    // An answer with a larger body is not kept: the services' largest are
    // a few megabytes.
    static constexpr qint64 maxEntryBytes = 16 * 1024 * 1024;

    explicit HttpDiskCache(const QString &folder, qint64 maximumBytes, QObject *parent = nullptr);
    // Stops a walk under way and waits for it.
    ~HttpDiskCache() override;

    QNetworkCacheMetaData metaData(const QUrl &url) override;
    QIODevice *data(const QUrl &url) override;
    void updateMetaData(const QNetworkCacheMetaData &metaData) override;
    bool remove(const QUrl &url) override;
    qint64 cacheSize() const override;
    QIODevice *prepare(const QNetworkCacheMetaData &metaData) override;
    void insert(QIODevice *device) override;
    void clear() override;

    // Waits for the files being written and a walk under way (letting go
    // of a hold).
    void waitForTrim();
    // For tests: the writes and removals of files asked for from now on
    // wait until the hold is let go (or the cache waits for them).
    void holdWritesForTesting(bool hold);

    // The size of the cache folder after dropping its oldest files (those
    // of the entries, never one still being written) until it holds less
    // than nine tenths of maximumBytes. Stops early when stop is set.
    static qint64 trimFolder(const QString &folder, qint64 maximumBytes, const std::atomic<bool> &stop);

protected:
    qint64 expire() override;

private:
    class EntryWriter;
    // An answer stored but not yet written to its file.
    struct Unwritten
    {
        QNetworkCacheMetaData metaData;
        QByteArray body;
        quint64 serial = 0;
    };

    void takeTrimResult();
    // The metadata of the entry's file, read once.
    QNetworkCacheMetaData storedMetaData(const QUrl &url);
    void writeLater(const QNetworkCacheMetaData &metaData, const QByteArray &body);
    // On the writing thread: the entry's file with the whole body, or no
    // entry at all for the address (false).
    static bool writeWhole(EntryWriter *writer, const QNetworkCacheMetaData &metaData, const QByteArray &body);
    // Back on the cache's thread once the write of the answer with the
    // serial (0: of new metadata) has ended, whole or not.
    void forgetWritten(const QUrl &url, quint64 serial, bool whole);
    // Removes the entry Qt's cache last read, which it would keep serving.
    void forgetRead();

    std::shared_ptr<std::atomic<bool>> m_stop = std::make_shared<std::atomic<bool>>(false);
    std::future<qint64> m_trim;
    // What the last walk found (-1 before one ended), and what was written since.
    qint64 m_walkedBytes = -1;
    qint64 m_writtenBytes = 0;
    // The answers being received, and those waiting for their files.
    QHash<QIODevice *, QNetworkCacheMetaData> m_receiving;
    QHash<QUrl, Unwritten> m_unwritten;
    // What the entries' files were read to hold (valid entries only).
    QHash<QUrl, QNetworkCacheMetaData> m_read;
    // Addresses whose files are still to be removed, by the serial of the
    // removal: they are gone already.
    QHash<QUrl, quint64> m_removing;
    std::shared_ptr<QSemaphore> m_hold;
    quint64 m_serial = 0;
    // The address whose entry Qt's cache last read: it keeps that entry,
    // and would go on serving it after the writer replaced its file.
    QUrl m_lastRead;
    // The writer before the thread that runs its writes: the thread goes
    // first and finishes what is queued while the writer is still there.
    std::unique_ptr<EntryWriter> m_entryWriter;
    // One thread, so that the files are written in the order stored.
    QThreadPool m_writer;
};

} // namespace pv
