#pragma once

#include "collection/Collection.h"
#include "collection/CollectionContents.h"
#include "collection/CollectionSerializer.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QThread;

namespace pv {

// A collection file read, or a collection written, on a thread of its own,
// so that a large file keeps the window answering. Only plain values pass
// between the threads: the file's contents (with the tables derived from
// them after a read). finished() arrives once, on the thread that started
// the task, once the file is read or safely on disk (or failed); the task
// waits for its thread when destroyed.
class CollectionFileTask : public QObject
{
    Q_OBJECT

public:
    enum class Kind { Read, Write };
    // Runs on the reading thread on a document of that thread's own that
    // holds what was read, its derived tables built and kept up to date
    // with what it does: what is done to the contents before they are
    // shown. Returns how many rows it changed.
    using Prepare = Collection::Adjust;
    static CollectionFileTask *read(const QString &path, Prepare prepare, QObject *parent = nullptr);
    // Writes the contents given, as they stood when the save began.
    static CollectionFileTask *write(const QString &path, CollectionContents contents, QObject *parent = nullptr);
    ~CollectionFileTask() override;

    Kind kind() const { return m_kind; }
    const QString &path() const { return m_path; }
    // Blocks until the thread is done.
    void wait();
    // Frees what prepared() holds (after a read taken in, the contents it
    // replaced) on another thread, then deletes the task.
    void disposeLater();

    // A read's outcome: the reader's result (its contents moved into
    // prepared() when it is ok) and what the preparation changed.
    CollectionSerializer::ReadResult &readResult() { return m_result; }
    Collection::PreparedContents &prepared() { return m_prepared; }
    int preparedRows() const { return m_preparedRows; }
    // A write's outcome.
    bool written() const { return m_written; }
    const QString &error() const { return m_error; }
    // The holdings written.
    qsizetype entryCount() const { return m_entryCount; }

signals:
    void finished();

private:
    CollectionFileTask(Kind kind, const QString &path, QObject *parent);
    void start(std::function<void()> work);

    Kind m_kind;
    QString m_path;
    Collection::PreparedContents m_prepared;
    CollectionSerializer::ReadResult m_result;
    int m_preparedRows = 0;
    bool m_written = false;
    QString m_error;
    qsizetype m_entryCount = 0;
    QThread *m_thread = nullptr;
};

} // namespace pv
