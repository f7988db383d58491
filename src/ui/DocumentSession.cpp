#include "ui/DocumentSession.h"

#include "catalog/CardCatalog.h"
#include "catalog/CatalogCard.h"
#include "catalog/LanguageCatalog.h"
#include "collection/Collection.h"
#include "collection/CollectionFileTask.h"
#include "core/Disposal.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QScopedValueRollback>
#include <QTimer>
#include <QUndoStack>

#include <memory>
#include <utility>
#include <vector>

namespace pv {

namespace {

// Files from this size on are read, and collections of this many holdings
// written, on a thread of their own (a few milliseconds' work below).
constexpr qint64 kBackgroundOpenBytes = qint64(2) << 20;
constexpr qsizetype kBackgroundSaveEntries = 4000;
// A file read or written for longer is said to be.
constexpr int kSlowTaskMs = 500;
bool s_alwaysInBackground = false;

// The rarity of each card the catalogs know, read off their card lists as
// they stand now (shared, not copied): a plain value, which any thread, or
// several at once, may ask. Only the catalogs whose rarities are known are
// read when named.
Collection::RarityProvider rarityOfCards(const CardCatalog &catalog, bool resolvedOnly)
{
    struct Known
    {
        QList<CatalogCard> cards;
        QHash<QString, int> index;
    };
    auto known = std::make_shared<std::vector<Known>>(allLanguages().size());
    for (Language language : allLanguages()) {
        const LanguageCatalog *loaded = catalog.catalog(language);
        if (loaded && (!resolvedOnly || catalog.hasRarities(language)))
            (*known)[size_t(language)] = {loaded->cards, loaded->cardIndex};
    }
    return [known](Language language, const QString &cardId) {
        const size_t at = size_t(language);
        const int card = at < known->size() ? known->at(at).index.value(cardId, -1) : -1;
        return card < 0 ? QString() : known->at(at).cards.at(card).rarity;
    };
}

// The languages whose catalog knows its rarities.
QSet<Language> languagesWithRarities(const CardCatalog &catalog)
{
    QSet<Language> known;
    for (Language language : allLanguages())
        if (catalog.hasRarities(language))
            known.insert(language);
    return known;
}

} // namespace

DocumentSession::DocumentSession(Collection *collection, QUndoStack *undoStack, CardCatalog *catalog, QObject *parent)
    : QObject(parent)
    , m_collection(collection)
    , m_undoStack(undoStack)
    , m_catalog(catalog)
{
    connect(m_undoStack, &QUndoStack::cleanChanged, this, [this](bool clean) {
        // Back at the step the file was saved from: the collection is the
        // one on disk again, unless something else changed it since.
        if (clean && m_cleanIndexOnDisk)
            m_collection->markSaved(m_collection->revision());
    });
    connect(m_collection, &Collection::changed, this, [this](const Collection::Change &change) {
        if (!change.contentsReplaced())
            return;
        const QList<Language> languages = allLanguages();
        m_rarityFillDue = QSet<Language>(languages.cbegin(), languages.cend());
    });
}

DocumentSession::~DocumentSession()
{
    // A read still running is dropped; a write is let finish: the task
    // waits for its thread.
    if (m_task)
        disconnect(m_task, nullptr, this, nullptr);
}

void DocumentSession::setAlwaysInBackground(bool always)
{
    s_alwaysInBackground = always;
}

bool DocumentSession::isReading() const
{
    return m_task && m_task->kind() == CollectionFileTask::Kind::Read;
}

bool DocumentSession::isWriting() const
{
    return m_task && m_task->kind() == CollectionFileTask::Kind::Write;
}

bool DocumentSession::settle()
{
    // A file still being read would take the place of the collection asked
    // about, and the answer's Save write it: dropped before anything is
    // asked. When it was let in by a Discard of the collection as it still
    // stands, that answer holds: nothing is asked again.
    const bool readAfterDiscard = isReading() && m_discardedRevision == m_collection->revision();
    dropRunningRead();
    if (readAfterDiscard)
        return true;
    while (m_collection->isDirty()) {
        const QString path = m_collection->filePath();
        const QString name = path.isEmpty() ? QCoreApplication::translate("pv::MainWindow", "This collection")
                                            : QFileInfo(path).fileName();
        const Answer answer = m_question ? m_question(name) : Answer::Cancel;
        if (answer == Answer::Discard) {
            m_discardedRevision = m_collection->revision();
            stopChanges();
            return true;
        }
        if (answer != Answer::Save || !m_save)
            return false;
        const QScopedValueRollback<bool> settling(m_settling, true);
        if (!m_save())
            return false;
        // What the user changed while that save ran is in no file: asked
        // about again.
    }
    return true;
}

void DocumentSession::clear()
{
    dropRunningRead();
    m_collection->clear();
    m_undoStack->clear();
    // Nothing takes the place of what the collection held.
    Disposal::giveBackFreed();
    m_cleanIndexOnDisk = true;
}

void DocumentSession::open(const QString &path)
{
    finishRunningSave();
    dropRunningRead();
    if (!s_alwaysInBackground && QFileInfo(path).size() < kBackgroundOpenBytes) {
        CollectionSerializer::ReadResult result = CollectionSerializer::read(path);
        if (!result.ok) {
            emit openFailed(path, result.error);
            return;
        }
        emit replacing(nullptr);
        m_collection->replaceContents(std::move(result.entries), std::move(result.sets), std::move(result.history),
                                      std::move(result.binders), std::move(result.labelStyle));
        finishOpen(path, result, 0);
        fillRarities();
        // Finishes that came while a file dropped for this one was read.
        if (std::exchange(m_finishesWhileReading, false))
            fillFinishes();
        return;
    }
    // The rarities the catalogs know already are given on the reading
    // thread.
    Collection::RarityProvider known = rarityOfCards(*m_catalog, true);
    m_readRarities = languagesWithRarities(*m_catalog);
    auto readSide = std::make_shared<std::shared_ptr<void>>();
    m_readSide = readSide;
    ReadSideWork work = m_readSideWork ? m_readSideWork() : ReadSideWork();
    auto prepare = [known = std::move(known), readSide, work = std::move(work)](Collection &read) {
        const int filled = read.fillMissingRarities(known);
        if (work)
            *readSide = work(read);
        return filled;
    };
    startTask(CollectionFileTask::read(path, std::move(prepare), this));
}

bool DocumentSession::write(const QString &path, std::function<void()> whenWritten)
{
    // The question's save writes the collection as it will be let go of.
    if (m_settling)
        stopChanges();
    if (!s_alwaysInBackground && m_collection->entries().size() < kBackgroundSaveEntries) {
        QString error;
        m_writingRevision = m_collection->revision();
        m_cleanBeforeWrite = m_cleanIndexOnDisk;
        const bool written = CollectionSerializer::write(path, *m_collection, &error);
        finishSave(path, written, error, m_collection->entries().size(), whenWritten);
        return written;
    }
    // The collection as it stands is written on a thread of its own; the
    // window answers meanwhile, and edits made then leave it changed.
    finishRunningSave();
    m_writingRevision = m_collection->revision();
    // The file is about to hold another state: no step of the stack stands
    // for it until the save says which.
    m_cleanBeforeWrite = std::exchange(m_cleanIndexOnDisk, false);
    // This save's own outcome: a close waiting for it may save again before
    // the loop below ends.
    auto written = std::make_shared<bool>(false);
    m_whenWritten = [written, whenWritten = std::move(whenWritten)] {
        *written = true;
        if (whenWritten)
            whenWritten();
    };
    auto *task = CollectionFileTask::write(path, m_collection->contents(), this);
    QEventLoop writing;
    connect(this, &DocumentSession::taskFinished, &writing, &QEventLoop::quit);
    startTask(task);
    if (m_task == task)
        writing.exec();
    return *written;
}

void DocumentSession::startTask(CollectionFileTask *task)
{
    // A save asked for while a file is read (the window closing) drops it.
    dropRunningRead();
    m_task = task;
    connect(task, &CollectionFileTask::finished, this, [this, task] { onTaskFinished(task); });
    emit busyChanged(isReading(), isWriting());
    QTimer::singleShot(kSlowTaskMs, this, [this, task] {
        if (m_task == task)
            emit slowTask(task->kind() == CollectionFileTask::Kind::Read, task->path());
    });
}

void DocumentSession::onTaskFinished(CollectionFileTask *task)
{
    // Taken in once, whether it came by the event loop or was waited for.
    disconnect(task, nullptr, this, nullptr);
    if (task != m_task)
        return;
    m_task = nullptr;
    emit busyChanged(false, false);
    if (task->kind() == CollectionFileTask::Kind::Read) {
        CollectionSerializer::ReadResult &result = task->readResult();
        if (result.ok) {
            emit replacing(m_readSide ? std::move(*m_readSide) : nullptr);
            m_readSide.reset();
            m_collection->takeContents(task->prepared());
            finishOpen(task->path(), result, task->preparedRows());
        } else {
            emit openFailed(task->path(), result.error);
        }
        // Rarities and finishes the catalog collected while a file was read
        // go to the collection now shown, the one read or, when it could not
        // be, the one kept; those it collects later, when they come. The
        // file read was given the rarities known when it began: those the
        // catalog came to know since (its cache read meanwhile) stay due, for
        // the pass that tells of them even when it finds nothing new.
        if (std::exchange(m_raritiesWhileReading, false))
            fillRarities();
        else if (result.ok)
            m_rarityFillDue.subtract(m_readRarities);
        if (std::exchange(m_finishesWhileReading, false))
            fillFinishes();
    } else {
        finishSave(task->path(), task->written(), task->error(), task->entryCount(), std::exchange(m_whenWritten, {}));
    }
    task->disposeLater();
    emit taskFinished();
}

void DocumentSession::finishOpen(const QString &path, CollectionSerializer::ReadResult &result, int filledWhileReading)
{
    // The first card added then does not move every holding read. A file
    // read on a thread of its own was given that room there.
    m_collection->reserveForAdds();
    m_collection->setFilePath(path);
    m_undoStack->clear();
    m_collection->setDirty(false);
    m_cleanIndexOnDisk = true;
    // Rarities given as it was read: the document is not the file.
    if (filledWhileReading > 0) {
        noteChangeOutsideUndo();
        m_collection->setDirty(true);
    }
    emit opened(path, result);
}

void DocumentSession::finishSave(const QString &path, bool written, const QString &error, qsizetype entries,
                                 const std::function<void()> &whenWritten)
{
    if (!written) {
        m_cleanIndexOnDisk = m_cleanBeforeWrite;
        emit saveFailed(path, error);
        return;
    }
    m_collection->markSaved(m_writingRevision);
    // What changed while the file was written is in no file: no step of
    // the undo history stands for the file then.
    m_cleanIndexOnDisk = m_collection->revision() == m_writingRevision;
    if (m_cleanIndexOnDisk)
        m_undoStack->setClean();
    else
        m_undoStack->resetClean();
    if (whenWritten)
        whenWritten();
    emit saved(path, entries);
}

void DocumentSession::finishRunningSave()
{
    if (!isWriting())
        return;
    CollectionFileTask *task = m_task;
    task->wait();
    onTaskFinished(task);
}

void DocumentSession::dropRunningRead()
{
    if (!isReading())
        return;
    CollectionFileTask *dropped = std::exchange(m_task, nullptr);
    m_readSide.reset();
    disconnect(dropped, nullptr, this, nullptr);
    connect(dropped, &CollectionFileTask::finished, dropped, &CollectionFileTask::disposeLater);
    emit busyChanged(false, false);
}

void DocumentSession::stopChanges()
{
    if (m_stopChanges)
        m_stopChanges();
}

void DocumentSession::noteChangeOutsideUndo()
{
    m_cleanIndexOnDisk = false;
    // Nor does it once a save running now fails.
    m_cleanBeforeWrite = false;
}

bool DocumentSession::takeRarities(Language language, bool changed)
{
    // A pass that found every rarity as it was has nothing to fill in that
    // the last fill did not, unless another document came in since.
    if (!changed && !m_rarityFillDue.contains(language))
        return false;
    if (isReading())
        m_raritiesWhileReading = true;
    else
        fillRarities();
    return true;
}

void DocumentSession::takeFinishes()
{
    if (isReading())
        m_finishesWhileReading = true;
    else
        fillFinishes();
}

void DocumentSession::fillRarities()
{
    bool known = false;
    for (Language language : allLanguages())
        known = known || m_catalog->hasRarities(language);
    if (!known)
        return;
    const int filled = m_collection->fillMissingRarities(rarityOfCards(*m_catalog, false));
    // The fill named what every catalog with rarities names.
    m_rarityFillDue.subtract(languagesWithRarities(*m_catalog));
    if (filled > 0)
        noteChangeOutsideUndo();
}

void DocumentSession::fillFinishes()
{
    const int filled = m_collection->fillMissingVariants(
        [this](Language language, const QString &cardId) { return m_catalog->availablePrintings(language, cardId); });
    if (filled <= 0)
        return;
    noteChangeOutsideUndo();
    emit finishesFilled(filled);
}

} // namespace pv
