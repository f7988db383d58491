#include "collection/CollectionFileTask.h"

#include <QThread>

#include <utility>

namespace pv {

CollectionFileTask::CollectionFileTask(Kind kind, const QString &path, QObject *parent)
    : QObject(parent)
    , m_kind(kind)
    , m_path(path)
    , m_contents(std::make_unique<Collection>())
{
}

CollectionFileTask::~CollectionFileTask()
{
    wait();
    if (m_disposal)
        m_disposal->wait();
    delete m_thread;
    delete m_disposal;
}

CollectionFileTask *CollectionFileTask::read(const QString &path, Prepare prepare, QObject *parent)
{
    auto *task = new CollectionFileTask(Kind::Read, path, parent);
    task->start([task, prepare = std::move(prepare)] {
        CollectionSerializer::ReadResult &result = task->m_result;
        result = CollectionSerializer::read(task->m_path);
        if (!result.ok)
            return;
        task->m_contents->replaceContents(std::exchange(result.entries, {}), std::exchange(result.sets, {}),
                                          std::exchange(result.history, {}), std::exchange(result.binders, {}),
                                          std::exchange(result.labelStyle, std::nullopt));
        if (prepare)
            task->m_preparedRows = prepare(*task->m_contents);
        task->m_contents->buildDerivedTables();
    });
    return task;
}

CollectionFileTask *CollectionFileTask::write(const QString &path, const Collection &collection, QObject *parent)
{
    auto *task = new CollectionFileTask(Kind::Write, path, parent);
    // The lists share their data with the collection's until it edits them;
    // they are taken in (and what is derived from them worked out) on the
    // task's thread.
    task->start([task, entries = collection.entries(), sets = collection.sets(), history = collection.history(),
                 binders = collection.binders(), labelStyle = collection.labelStyle()]() mutable {
        task->m_contents->replaceContents(std::move(entries), std::move(sets), std::move(history), std::move(binders),
                                          std::move(labelStyle));
        task->m_written = CollectionSerializer::write(task->m_path, *task->m_contents, &task->m_error);
    });
    return task;
}

void CollectionFileTask::start(std::function<void()> work)
{
    m_thread = QThread::create(std::move(work));
    connect(m_thread, &QThread::finished, this, &CollectionFileTask::finished, Qt::QueuedConnection);
    m_thread->start();
}

void CollectionFileTask::disposeLater()
{
    wait();
    if (m_disposal)
        return;
    Collection *contents = m_contents.release();
    m_disposal = QThread::create([contents] { delete contents; });
    contents->moveToThread(m_disposal);
    connect(m_disposal, &QThread::finished, this, &QObject::deleteLater, Qt::QueuedConnection);
    m_disposal->start();
}

bool CollectionFileTask::isRunning() const
{
    return m_thread && !m_thread->isFinished();
}

void CollectionFileTask::wait()
{
    if (m_thread)
        m_thread->wait();
}

} // namespace pv
