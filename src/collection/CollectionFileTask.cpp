#include "collection/CollectionFileTask.h"

#include "core/Disposal.h"

#include <QThread>

#include <utility>

namespace pv {

CollectionFileTask::CollectionFileTask(Kind kind, const QString &path, QObject *parent)
    : QObject(parent)
    , m_kind(kind)
    , m_path(path)
{
}

CollectionFileTask::~CollectionFileTask()
{
    wait();
    delete m_thread;
}

CollectionFileTask *CollectionFileTask::read(const QString &path, Prepare prepare, QObject *parent)
{
    auto *task = new CollectionFileTask(Kind::Read, path, parent);
    task->start([task, prepare = std::move(prepare)] {
        CollectionSerializer::ReadResult &result = task->m_result;
        result = CollectionSerializer::read(task->m_path);
        if (!result.ok)
            return;
        CollectionContents read{std::exchange(result.entries, {}), std::exchange(result.sets, {}),
                                std::exchange(result.history, {}), std::exchange(result.binders, {}),
                                std::exchange(result.labelStyle, std::nullopt)};
        task->m_prepared = Collection::prepareContents(std::move(read), prepare, &task->m_preparedRows);
    });
    return task;
}

CollectionFileTask *CollectionFileTask::write(const QString &path, CollectionContents contents, QObject *parent)
{
    auto *task = new CollectionFileTask(Kind::Write, path, parent);
    task->m_entryCount = contents.entries.size();
    task->start([task, contents = std::move(contents)]() mutable {
        task->m_written = CollectionSerializer::write(task->m_path, contents, &task->m_error);
        // The lists edited since are this copy's alone: freed here.
        contents = {};
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
    if (m_prepared.tables || !m_prepared.contents.entries.isEmpty())
        Disposal::freeElsewhere(std::exchange(m_prepared, {}));
    deleteLater();
}

void CollectionFileTask::wait()
{
    if (m_thread)
        m_thread->wait();
}

} // namespace pv
