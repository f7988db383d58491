#pragma once

#include "collection/CollectionSerializer.h"
#include "core/CardVocabulary.h"

#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QUndoStack;

namespace pv {

class CardCatalog;
class Collection;
class CollectionFileTask;

// The work on the collection's file, apart from what the window shows of
// it: opening (a large file on a thread of its own, a second Open taking
// the place of the first), saving (a large collection written on a thread
// of its own while the window answers), the unsaved-changes question, and
// the rarities and finishes the catalog gives the holdings after an open.
//
// Saved means on disk: the collection is clean while its revision is the
// one the file holds. Returning the undo stack to its clean index counts
// as saved only while that index stands for the file, that is while
// nothing changed outside the stack since the save.
class DocumentSession : public QObject
{
    Q_OBJECT

public:
    enum class Answer { Save, Discard, Cancel };
    // Asks whether the named collection's changes are saved first.
    using Question = std::function<Answer(const QString &name)>;
    // Saves the collection where it belongs (Save As for an untitled one);
    // true once it is written.
    using SaveCommand = std::function<bool()>;
    // Made for each threaded open: what runs on the reading thread on the
    // contents as they will be shown, its result handed to replacing().
    using ReadSideWork = std::function<std::shared_ptr<void>(const Collection &)>;

    DocumentSession(Collection *collection, QUndoStack *undoStack, CardCatalog *catalog, QObject *parent = nullptr);
    ~DocumentSession() override;

    void setQuestion(Question question) { m_question = std::move(question); }
    void setSaveCommand(SaveCommand save) { m_save = std::move(save); }
    // Stops what changes the collection by itself (a price refresh) once
    // the question is answered and the collection is about to be written
    // or let go: the file then holds what was asked about, and nothing
    // comes in behind the save to be asked about again.
    void setStopChanges(std::function<void()> stop) { m_stopChanges = std::move(stop); }
    void setReadSideWork(std::function<ReadSideWork()> make) { m_readSideWork = std::move(make); }
    // For tests: every open and save goes through a thread of its own,
    // whatever the file's size.
    static void setAlwaysInBackground(bool always);

    bool isReading() const;
    bool isWriting() const;

    // The unsaved-changes question: true when the caller may go on, the
    // file on disk holding the collection as it stands or the user letting
    // the changes go. A change made while the answer's save ran is asked
    // about again. A file still being read is dropped first: the question
    // and its answer are about the collection shown. What changes the
    // collection by itself is stopped once the answer is Discard, or its
    // save begins writing; Cancel, or a Save As let go of, leaves it be.
    bool settle();
    // An empty, untitled collection with no undo history.
    void clear();
    // Reads the file into the collection; a file still being read is
    // dropped for it.
    void open(const QString &path);
    // Writes the collection to the file; true once it is on disk. The
    // collection stays changed when anything changed after the save began.
    // whenWritten runs once the file is on disk, before anything hears of
    // it: a close waiting for the write then finds what it made (Save As's
    // new path, say).
    bool write(const QString &path, std::function<void()> whenWritten = {});
    // A save still writing is waited for and its outcome taken in.
    void finishRunningSave();
    // A file still being read is dropped (its contents freed elsewhere).
    void dropRunningRead();
    // The collection changed outside the undo stack: no step of it stands
    // for the file any more.
    void noteChangeOutsideUndo();

    // The catalog's rarities or finishes arrived: they fill the holdings
    // without one now, or those of the file being read once it is in.
    // false when a rarity pass has nothing due.
    bool takeRarities(Language language, bool changed);
    void takeFinishes();

signals:
    // A file started or stopped being read or written.
    void busyChanged(bool reading, bool writing);
    // A file read (or written) for a while.
    void slowTask(bool reading, const QString &path);
    // The file read is about to replace the contents; extra is what the
    // read-side work made (null for a file read at once).
    void replacing(const std::shared_ptr<void> &extra);
    void opened(const QString &path, const pv::CollectionSerializer::ReadResult &result);
    void openFailed(const QString &path, const QString &error);
    void saved(const QString &path, qsizetype lines);
    void saveFailed(const QString &path, const QString &error);
    void finishesFilled(int rows);
    // A file read or written on a thread of its own is in or on disk (or
    // failed).
    void taskFinished();

private:
    void startTask(CollectionFileTask *task);
    void onTaskFinished(CollectionFileTask *task);
    void finishOpen(const QString &path, CollectionSerializer::ReadResult &result, int filledWhileReading);
    void finishSave(const QString &path, bool written, const QString &error, qsizetype entries,
                    const std::function<void()> &whenWritten);
    void fillRarities();
    void fillFinishes();
    void stopChanges();

    Collection *m_collection;
    QUndoStack *m_undoStack;
    CardCatalog *m_catalog;
    Question m_question;
    SaveCommand m_save;
    std::function<void()> m_stopChanges;
    // The question's answer is being carried out: a write stops what
    // changes the collection by itself first.
    bool m_settling = false;
    // The revision last let go of by a Discard: a read it made way for,
    // dropped when the window closes, does not bring the question back.
    std::optional<quint64> m_discardedRevision;
    std::function<ReadSideWork()> m_readSideWork;
    CollectionFileTask *m_task = nullptr;
    // The undo stack's clean index stands for the file on disk: set by a
    // save, an open or a new collection, cleared by anything that changes
    // the collection outside the stack and by a save that did not write
    // the collection as it stands.
    bool m_cleanIndexOnDisk = true;
    // The revision a running save writes, and whether the clean index
    // stood for the file before it began.
    quint64 m_writingRevision = 0;
    bool m_cleanBeforeWrite = true;
    // What the running save's caller does once its file is on disk.
    std::function<void()> m_whenWritten;
    // What the reading thread made for the window.
    std::shared_ptr<std::shared_ptr<void>> m_readSide;
    bool m_raritiesWhileReading = false;
    // The languages whose rarities the file being read is given.
    QSet<Language> m_readRarities;
    bool m_finishesWhileReading = false;
    // Languages whose next rarity pass fills the holdings even when it names
    // nothing new: the document was replaced since their last fill.
    QSet<Language> m_rarityFillDue;
};

} // namespace pv
