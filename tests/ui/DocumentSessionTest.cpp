#include "BinderFixtures.h"
#include "Fixtures.h"
#include "TestRegistry.h"
#include "TestSupport.h"

#include "collection/Collection.h"
#include "collection/CollectionFileTask.h"
#include "collection/CollectionSerializer.h"
#include "collection/EntryKeys.h"
#include "core/FileSaving.h"
#include "ui/DocumentSession.h"

#include <QDir>
#include <QFile>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUndoStack>

#include <atomic>
#include <memory>

using namespace pv;

namespace {

// One holding added, and taken back by undo.
class AddHolding : public QUndoCommand
{
public:
    AddHolding(Collection &collection, const CardEntry &entry)
        : m_collection(collection)
        , m_entry(entry)
    {
    }
    void redo() override { m_collection.addEntry(m_entry); }
    void undo() override { m_collection.removeEntryAt(m_collection.indexOfEntry(entryKey(m_entry))); }

private:
    Collection &m_collection;
    CardEntry m_entry;
};

// A session on threads of its own; its reads wait at the gate, once it is
// shut, until the test opens it.
struct Rig
{
    Collection collection;
    QUndoStack stack;
    std::unique_ptr<CardCatalog> catalog;
    DocumentSession session{&collection, &stack, catalog.get()};
    QSemaphore gate;
    bool gated = false;
    test::AtScopeEnd inline_{[] { DocumentSession::setAlwaysInBackground(false); }};

    // The catalog's cache is written; one not loaded reads it when told to.
    static CardCatalog *catalogOf(bool loaded)
    {
        std::unique_ptr<CardCatalog> written(test::loadFixtureCatalog(nullptr, {QStringLiteral("Common")}));
        return loaded ? written.release() : new CardCatalog(nullptr);
    }

    explicit Rig(bool catalogLoaded = true)
        : catalog(catalogOf(catalogLoaded))
    {
        DocumentSession::setAlwaysInBackground(true);
        session.setReadSideWork([this] {
            return [this, gated = gated](const Collection &) -> std::shared_ptr<void> {
                if (gated)
                    gate.acquire();
                return nullptr;
            };
        });
    }
    void waitForFile() { QTRY_VERIFY_WITH_TIMEOUT(!session.isReading() && !session.isWriting(), 20000); }
};

CardEntry unnamed(const QString &cardId)
{
    CardEntry entry = test::holdingOf(cardId);
    entry.variant.clear();
    return entry;
}

} // namespace

// The document session: what is saved, and what arrives while a file is read.
class DocumentSessionTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    QString fileOf(const QString &name, const QList<CardEntry> &entries)
    {
        CollectionContents contents;
        contents.entries = entries;
        const QString path = m_dir.filePath(name);
        return CollectionSerializer::write(path, contents) ? path : QString();
    }

private Q_SLOTS:
    // Whatever changes while the file is written (an edit undone, a change
    // held in an open batch) leaves the collection changed, and the next
    // save writes it.
    void changeDuringSaveLeavesItChanged_data()
    {
        QTest::addColumn<bool>("batch");
        QTest::addRow("undo") << false;
        QTest::addRow("held in a batch") << true;
    }
    void changeDuringSaveLeavesItChanged()
    {
        QFETCH(bool, batch);
        Rig rig;
        std::atomic<bool> hold{true};
        QSemaphore changed;
        setSaveTraceForTests([&](SaveEvent event, const QString &) {
            if (event == SaveEvent::Created && hold.exchange(false))
                changed.acquire();
        });
        const test::AtScopeEnd untrace([] { setSaveTraceForTests({}); });
        rig.collection.addEntry(test::holdingOf(QStringLiteral("tst1-1")));
        rig.stack.push(new AddHolding(rig.collection, test::holdingOf(QStringLiteral("tst1-2"))));
        QTimer::singleShot(0, &rig.session, [&] {
            if (batch) {
                rig.collection.beginBatch();
                rig.collection.addEntry(test::holdingOf(QStringLiteral("tst1-3")));
            } else {
                rig.stack.undo();
            }
            changed.release();
        });
        const QString path = m_dir.filePath(QStringLiteral("during.tmk"));
        QVERIFY(rig.session.write(path));
        QCOMPARE(CollectionSerializer::read(path).entries.size(), 2);
        QVERIFY(rig.collection.isDirty());
        if (batch)
            rig.collection.endBatch();
        QVERIFY(rig.collection.isDirty());
        QVERIFY(rig.session.write(path));
        QVERIFY(!rig.collection.isDirty());
        QCOMPARE(CollectionSerializer::read(path).entries.size(), rig.collection.entries().size());
    }

    // A save that fails keeps what changed outside the undo stack while it
    // ran: undoing back to the step the file was saved from still leaves
    // the collection changed.
    void outsideChangeDuringFailedSaveStaysUnsaved()
    {
        Rig rig;
        const QString path = m_dir.filePath(QStringLiteral("failing.tmk"));
        rig.collection.addEntry(test::holdingOf(QStringLiteral("tst1-1")));
        QVERIFY(rig.session.write(path));
        rig.stack.push(new AddHolding(rig.collection, test::holdingOf(QStringLiteral("tst1-2"))));
        QSemaphore changed;
        setSaveTraceForTests([&](SaveEvent event, const QString &) {
            // A folder takes the file's name before the rename: the save fails.
            if (event == SaveEvent::Created && QFile::remove(path) && QDir().mkdir(path))
                changed.acquire();
        });
        const test::AtScopeEnd untrace([] { setSaveTraceForTests({}); });
        QTimer::singleShot(0, &rig.session, [&] {
            rig.collection.addEntry(test::holdingOf(QStringLiteral("tst1-3")));
            rig.session.noteChangeOutsideUndo();
            changed.release();
        });
        QVERIFY(!rig.session.write(path));
        rig.stack.undo();
        QVERIFY(rig.collection.isDirty());
    }

    // Rarities and finishes that arrive while a file is read fill the file
    // read, in either order.
    void fillsDuringReadGoToTheFileRead_data()
    {
        QTest::addColumn<bool>("raritiesFirst");
        QTest::addRow("rarities first") << true;
        QTest::addRow("finishes first") << false;
    }
    void fillsDuringReadGoToTheFileRead()
    {
        QFETCH(bool, raritiesFirst);
        Rig rig;
        rig.gated = true;
        const QString path = fileOf(QStringLiteral("fills.tmk"), {unnamed(QStringLiteral("tst1-2"))});
        rig.collection.addEntry(unnamed(QStringLiteral("tst1-3")));
        rig.session.open(path);
        QTRY_VERIFY(rig.catalog->hasRarities(Language::English));
        for (int i = 0; i < 2; ++i) {
            if ((i == 0) == raritiesFirst)
                QVERIFY(rig.session.takeRarities(Language::English, true));
            else
                rig.session.takeFinishes();
        }
        QCOMPARE(rig.collection.entries().at(0).variant, QString());
        rig.gate.release();
        rig.waitForFile();
        QCOMPARE(rig.collection.filePath(), path);
        const CardEntry &read = rig.collection.entries().at(0);
        QCOMPARE(read.cardId + QLatin1Char('|') + read.rarity, QStringLiteral("tst1-2|Common"));
        QVERIFY(!read.variant.isEmpty());
        QVERIFY(rig.collection.isDirty());
    }

    // Rarities the catalog first knows while a file is read (its cache read
    // then) fill the file read, though the pass that follows finds nothing
    // new.
    void raritiesLearnedDuringReadFillTheFileRead()
    {
        Rig rig(false);
        rig.gated = true;
        rig.session.open(fileOf(QStringLiteral("learned.tmk"), {unnamed(QStringLiteral("tst1-2"))}));
        rig.catalog->ensureLoaded(Language::English);
        QVERIFY(rig.catalog->hasRarities(Language::English));
        rig.gate.release();
        rig.waitForFile();
        rig.session.takeRarities(Language::English, false);
        QCOMPARE(rig.collection.entries().at(0).rarity, QStringLiteral("Common"));
        QVERIFY(rig.collection.isDirty());
    }

    // A second Open while a file is read wins, and a read dropped (the
    // window closing) leaves the collection alone; either way the dropped
    // read is freed.
    void droppedReadIsFreed_data()
    {
        QTest::addColumn<bool>("openAgain");
        QTest::addRow("second open") << true;
        QTest::addRow("window closed") << false;
    }
    void droppedReadIsFreed()
    {
        QFETCH(bool, openAgain);
        Rig rig;
        rig.gated = true;
        const QString first = fileOf(QStringLiteral("first.tmk"), {test::holdingOf(QStringLiteral("tst1-1"))});
        const QString second = fileOf(QStringLiteral("second.tmk"), {test::holdingOf(QStringLiteral("tst1-2"))});
        rig.session.open(first);
        if (openAgain)
            rig.session.open(second);
        else
            rig.session.dropRunningRead();
        QVERIFY(!rig.session.isReading() || openAgain);
        rig.gate.release(2);
        rig.waitForFile();
        QTRY_VERIFY(rig.session.findChildren<CollectionFileTask *>().isEmpty());
        QCOMPARE(rig.collection.filePath(), openAgain ? second : QString());
        QCOMPARE(rig.collection.entries().size(), openAgain ? 1 : 0);
        if (openAgain)
            QCOMPARE(rig.collection.entries().at(0).cardId, QStringLiteral("tst1-2"));
    }
};

PV_REGISTER_TEST(DocumentSessionTest)
#include "DocumentSessionTest.moc"
