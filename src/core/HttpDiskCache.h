#pragma once

#include <QNetworkDiskCache>

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
// A copy past its expiry is handed out as one to be revalidated (HTTP's
// must-revalidate): it is used only when the server confirms it, and never
// stands in for a server error, which Qt otherwise answers with the copy,
// often without reporting the error at all. (A fresh copy is served without
// asking the server, so no error can come for it.)
class HttpDiskCache : public QNetworkDiskCache
{
    Q_OBJECT
public:
    explicit HttpDiskCache(const QString &folder, qint64 maximumBytes, QObject *parent = nullptr);
    // Stops a walk under way and waits for it.
    ~HttpDiskCache() override;

    QNetworkCacheMetaData metaData(const QUrl &url) override;
    void insert(QIODevice *device) override;

    // Tests: waits for a walk under way.
    void waitForTrim();

    // The size of the cache folder after dropping its oldest files (those
    // of the entries, never one still being written) until it holds less
    // than nine tenths of maximumBytes. Stops early when stop is set.
    static qint64 trimFolder(const QString &folder, qint64 maximumBytes, const std::atomic<bool> &stop);

protected:
    qint64 expire() override;

private:
    void takeTrimResult();

    std::shared_ptr<std::atomic<bool>> m_stop = std::make_shared<std::atomic<bool>>(false);
    std::future<qint64> m_trim;
    // What the last walk found (-1 before one ended), and what was written since.
    qint64 m_walkedBytes = -1;
    qint64 m_writtenBytes = 0;
};

} // namespace pv
