#pragma once

#include "collection/Collection.h"
#include "collection/CollectionSerializer.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QThread;

namespace pv {

// A collection file read, or a collection written, on a thread of its own,
// so that a large file keeps the window answering. finished() arrives on the
// thread that started the task, once the file is read or safely on disk (or
// failed); the task waits for its thread when destroyed.
class CollectionFileTask : public QObject
{
    Q_OBJECT

public:
    enum class Kind { Read, Write };
    // Runs on the task's thread on a collection just read, before its
    // derived tables are built: what is done to the contents before they
    // are shown. Returns how many rows it changed.
    using Prepare = std::function<int(Collection &)>;

    // Reads the file into a collection of the task's own (contents()) and
    // builds what is derived from its holdings there.
    static CollectionFileTask *read(const QString &path, Prepare prepare, QObject *parent = nullptr);
    // Writes the collection as it stands now: edits made while the file is
    // written are not in it.
    static CollectionFileTask *write(const QString &path, const Collection &collection, QObject *parent = nullptr);
    ~CollectionFileTask() override;

    Kind kind() const { return m_kind; }
    const QString &path() const { return m_path; }
    bool isRunning() const;
    // Blocks until the thread is done; finished() still comes by the event
    // loop.
    void wait();
    // Frees what contents() holds (after a read, the contents it replaced)
    // on a thread of its own, then deletes the task.
    void disposeLater();

    // A read's outcome: the reader's result (its contents moved into
    // contents() when it is ok).
    CollectionSerializer::ReadResult &readResult() { return m_result; }
    Collection &contents() { return *m_contents; }
    // What the preparation of a read changed.
    int preparedRows() const { return m_preparedRows; }
    // A write's outcome.
    bool written() const { return m_written; }
    const QString &error() const { return m_error; }
    // The holdings written.
    qsizetype entryCount() const { return m_contents->entries().size(); }

signals:
    void finished();

private:
    CollectionFileTask(Kind kind, const QString &path, QObject *parent);
    void start(std::function<void()> work);

    Kind m_kind;
    QString m_path;
    std::unique_ptr<Collection> m_contents;
    CollectionSerializer::ReadResult m_result;
    int m_preparedRows = 0;
    bool m_written = false;
    QString m_error;
    QThread *m_thread = nullptr;
    QThread *m_disposal = nullptr;
};

} // namespace pv
