#include "BinderFixtures.h"
#include "DialogTestSupport.h"
#include "Fixtures.h"
#include "PriceRunSupport.h"
#include "TestRegistry.h"
#include "TestSupport.h"

#include "collection/AddCardsCommand.h"
#include "collection/Collection.h"
#include "collection/CollectionSerializer.h"
#include "collection/EntryKeys.h"
#include "core/FileSaving.h"
#include "core/FxRates.h"
#include "core/SteadyClock.h"
#include "ui/DocumentSession.h"
#include "ui/mainwindow/MainWindow.h"
#include "ui/models/CollectionTreeModel.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUndoStack>

#include <algorithm>
#include <atomic>
#include <memory>

using namespace pv;

// Files read and written on a thread of their own.
class MainWindowFileTaskTest : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    static void waitForFile(MainWindow &window)
    {
        QTRY_VERIFY_WITH_TIMEOUT(!window.fileTaskRunning(), 20000);
    }

    // Saves run on a thread of their own and wait, once their file is
    // created, until the test releases edited: every save, or only the next
    // one once hold is set.
    struct HeldSaves
    {
        explicit HeldSaves(bool every)
        {
            MainWindow::setFileTasksAlwaysInBackground(true);
            setSaveTraceForTests([this, every](SaveEvent event, const QString &) {
                if (event == SaveEvent::Created && (every || hold.exchange(false)))
                    edited.acquire();
            });
        }
        ~HeldSaves()
        {
            MainWindow::setFileTasksAlwaysInBackground(false);
            setSaveTraceForTests({});
        }
        std::atomic<bool> hold{false};
        QSemaphore edited;
    };

    // A file of one holding whose rarity is known: it opens unchanged.
    static bool writeSample(const QString &path)
    {
        Collection source;
        CardEntry named = test::holdingOf(QStringLiteral("tst1-1"));
        named.rarity = QStringLiteral("Common");
        source.addEntry(named);
        return CollectionSerializer::write(path, source);
    }

private Q_SLOTS:
    void initTestCase()
    {
        // The window's catalog reads this cache, rarities and all.
        std::unique_ptr<CardCatalog> catalog(
            test::loadFixtureCatalog(nullptr, {QStringLiteral("Common"), QStringLiteral("Rare")}));
        QVERIFY(catalog);
    }

    // A file without rarities gets the catalog's, whether the catalog knew
    // them before the file was in or learns them after; read at once or on
    // a thread of its own. New then leaves an empty untitled document.
    void openedFileIsFilledWhicheverComesLast_data()
    {
        QTest::addColumn<bool>("background");
        QTest::addColumn<bool>("catalogFirst");
        for (const bool background : {false, true})
            for (const bool catalogFirst : {false, true})
                QTest::addRow("%s, catalog %s", background ? "thread" : "at once", catalogFirst ? "first" : "last")
                    << background << catalogFirst;
    }
    void openedFileIsFilledWhicheverComesLast()
    {
        QFETCH(bool, background);
        QFETCH(bool, catalogFirst);
        MainWindow::setFileTasksAlwaysInBackground(background);
        const test::AtScopeEnd inline_([] { MainWindow::setFileTasksAlwaysInBackground(false); });
        Collection source;
        source.addEntry(test::holdingOf(QStringLiteral("tst1-2")));
        source.addEntry(test::holdingOf(QStringLiteral("tst1-8")));
        const QString path = m_dir.filePath(QStringLiteral("plain.tmk"));
        QVERIFY(CollectionSerializer::write(path, source));

        test::PromptScope prompts;
        MainWindow window;
        CardCatalog *catalog = window.catalog();
        const auto loadCatalog = [catalog] {
            QTRY_VERIFY(catalog->hasRarities(Language::English));
            emit catalog->raritiesLoaded(Language::English);
        };
        if (catalogFirst)
            loadCatalog();
        window.openFile(path);
        waitForFile(window);
        if (!catalogFirst)
            loadCatalog();
        const QList<CardEntry> &entries = window.collection()->entries();
        QCOMPARE(entries.size(), 2);
        QCOMPARE(entries.at(0).rarity + QLatin1Char('|') + entries.at(1).rarity, QStringLiteral("Common|Rare"));
        QVERIFY(window.collection()->isDirty());

        // New lets all of it go, history and undo steps too, told to the
        // tree as one reset; the keys and totals then are the new holdings'.
        Collection *collection = window.collection();
        const QString left = entryKey(entries.at(0));
        collection->recordValueSnapshot();
        window.undoStack()->push(new AddCardsCommand(collection, {test::holdingOf(QStringLiteral("tst1-9"))}, {}));
        QAbstractItemModelTester tester(window.treeModel(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy resets(window.treeModel(), &QAbstractItemModel::modelReset);
        prompts.questionAnswers = {QMessageBox::Discard};
        window.newCollection();
        QVERIFY(entries.isEmpty() && collection->history().isEmpty());
        QCOMPARE(window.undoStack()->count(), 0);
        QCOMPARE(window.windowTitle(), QStringLiteral("Untitled - Tallowmerick"));
        QCOMPARE(resets.size(), 1);
        QCOMPARE(window.treeModel()->rowCount(), 0);
        QCOMPARE(collection->addEntry(test::holdingOf(QStringLiteral("tst1-8"))), 0);
        QCOMPARE(collection->addEntry(test::holdingOf(QStringLiteral("tst1-8"))), 0);
        QCOMPARE(collection->indexOfEntry(left), -1);
        QCOMPARE(collection->totalCardCount(), 2);
        QCOMPARE(window.treeModel()->rowCount(), 1);
    }

    // A save writes the collection as it stood; an edit made while it
    // writes leaves the document changed, and the file whole without it.
    void editWhileSavingLeavesTheDocumentChanged()
    {
        HeldSaves saves(true);
        test::PromptScope prompts;
        MainWindow window;
        Collection *collection = window.collection();
        for (int i = 1; i <= 3; ++i)
            collection->addEntry(test::holdingOf(QStringLiteral("tst1-%1").arg(i)));
        auto *open = window.findChild<QAction *>(QStringLiteral("actionOpen"));
        bool openWhileWriting = true;
        QTimer::singleShot(0, &window, [&] {
            openWhileWriting = open->isEnabled();
            window.undoStack()->push(new AddCardsCommand(collection, {test::holdingOf(QStringLiteral("tst1-9"))}, {}));
            saves.edited.release();
        });
        prompts.savePath = m_dir.filePath(QStringLiteral("saved"));
        QVERIFY(window.saveAs());
        QVERIFY(!openWhileWriting);
        QVERIFY(open->isEnabled());
        const QString path = m_dir.filePath(QStringLiteral("saved.tmk"));
        QCOMPARE(collection->filePath(), path);
        QCOMPARE(CollectionSerializer::read(path).entries.size(), 3);
        QVERIFY(collection->isDirty());
        QCOMPARE(window.windowTitle(), QStringLiteral("saved.tmk* - Tallowmerick"));
        // Undo back to where the save began is no clean state either.
        window.undoStack()->undo();
        QCOMPARE(collection->entries().size(), 3);
        QVERIFY(collection->isDirty());

        saves.edited.release();
        QVERIFY(window.save());
        QVERIFY(!collection->isDirty());
        QCOMPARE(CollectionSerializer::read(path).entries.size(), collection->entries().size());
    }

    // A change made while the question's Save writes the file is asked
    // about again before Quit, New, Open or Open Recent go on; the file then
    // holds it. A close asked for meanwhile ends the command instead: the
    // window closes once the file is on disk, and nothing of the command
    // runs on.
    void changeDuringQuestionSaveIsAskedAgain_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("closeMeanwhile");
        for (const bool closeMeanwhile : {false, true})
            for (const char *command : {"quit", "new", "open", "recent"})
                QTest::addRow("%s%s", command, closeMeanwhile ? ", closed meanwhile" : "")
                    << QString::fromLatin1(command) << closeMeanwhile;
    }
    void changeDuringQuestionSaveIsAskedAgain()
    {
        QFETCH(QString, command);
        QFETCH(bool, closeMeanwhile);
        HeldSaves saves(false);
        const QString path = m_dir.filePath(command + QStringLiteral(".tmk"));
        const QString other = m_dir.filePath(QStringLiteral("other-") + command + QStringLiteral(".tmk"));
        QVERIFY(writeSample(path) && writeSample(other));

        test::PromptScope prompts;
        MainWindow window;
        window.show();
        for (const QString &file : {other, path}) {
            window.openFile(file);
            waitForFile(window);
        }
        Collection *collection = window.collection();
        collection->addEntry(test::holdingOf(QStringLiteral("tst1-2")));
        saves.hold = true;
        QTimer::singleShot(0, &window, [&] {
            if (closeMeanwhile)
                window.close();
            else
                collection->addEntry(test::holdingOf(QStringLiteral("tst1-3")));
            saves.edited.release();
        });
        prompts.questionAnswers = {QMessageBox::Save, QMessageBox::Save};
        prompts.openPath = other;
        if (command == QLatin1String("quit"))
            QVERIFY(window.close());
        else if (command == QLatin1String("new"))
            window.newCollection();
        else if (command == QLatin1String("open"))
            window.openCollection();
        else
            window.findChild<QMenu *>(QStringLiteral("menuOpenRecent"))->actions().at(1)->trigger();
        waitForFile(window);
        QCOMPARE(prompts.questions.size(), closeMeanwhile ? 1 : 2);
        QCOMPARE(CollectionSerializer::read(path).entries.size(), closeMeanwhile ? 2 : 3);
        const bool closed = closeMeanwhile || command == QLatin1String("quit");
        const bool opens = command == QLatin1String("open") || command == QLatin1String("recent");
        QCOMPARE(collection->filePath(), closed ? path : opens ? other : QString());
        QVERIFY(!collection->isDirty());
        QCOMPARE(prompts.captions.size(), !closed && command == QLatin1String("open") ? 1 : 0);
        QCOMPARE(window.isVisible(), !closed);
    }

    // A close or Quit asked for while Save As writes goes on once the copy
    // is on disk, the window then showing the copy: the question names it,
    // Save puts the edit made meanwhile into it and the file left is never
    // written. A Save As that fails leaves the window on its own file.
    void closeDuringSaveAsActsOnTheCopy_data()
    {
        QTest::addColumn<bool>("untitled");
        QTest::addColumn<bool>("fails");
        QTest::addColumn<bool>("quit");
        QTest::addColumn<QMessageBox::StandardButton>("answer");
        QTest::addRow("close, Save") << false << false << false << QMessageBox::Save;
        QTest::addRow("quit, Save") << false << false << true << QMessageBox::Save;
        QTest::addRow("quit, Discard") << false << false << true << QMessageBox::Discard;
        QTest::addRow("close, Cancel") << false << false << false << QMessageBox::Cancel;
        QTest::addRow("write fails, Save") << false << true << true << QMessageBox::Save;
        QTest::addRow("untitled, Save") << true << false << false << QMessageBox::Save;
        QTest::addRow("untitled, Cancel") << true << false << true << QMessageBox::Cancel;
    }
    void closeDuringSaveAsActsOnTheCopy()
    {
        QFETCH(bool, untitled);
        QFETCH(bool, fails);
        QFETCH(bool, quit);
        QFETCH(QMessageBox::StandardButton, answer);
        QTemporaryDir dir;
        const QString sample = dir.filePath(QStringLiteral("sample.tmk"));
        const QString folder = fails ? dir.filePath(QStringLiteral("gone")) : dir.path();
        const QString copy = folder + QStringLiteral("/copy.tmk");
        QVERIFY(writeSample(sample) && QDir().mkpath(folder));
        HeldSaves saves(false);
        saves.hold = true;

        test::PromptScope prompts;
        MainWindow window;
        window.show();
        Collection *collection = window.collection();
        if (untitled)
            collection->addEntry(CollectionSerializer::read(sample).entries.value(0));
        else
            window.openFile(sample);
        waitForFile(window);
        collection->addEntry(test::holdingOf(QStringLiteral("tst1-2")));
        QTimer::singleShot(0, &window, [&] {
            collection->addEntry(test::holdingOf(QStringLiteral("tst1-3")));
            if (quit)
                window.findChild<QAction *>(QStringLiteral("actionQuit"))->trigger();
            else
                window.close();
            // The copy's folder goes (a drive taken out) before it is in place.
            if (fails)
                QDir(folder).removeRecursively();
            saves.edited.release();
        });
        prompts.savePath = copy;
        prompts.questionAnswers = {answer};
        QCOMPARE(untitled ? window.save() : window.saveAs(), !fails);
        waitForFile(window);
        const QString shown = fails ? sample : copy;
        const QString name = QFileInfo(shown).fileName();
        QCOMPARE(prompts.questions.size(), 1);
        QCOMPARE(prompts.questions.at(0).section(QLatin1Char('|'), 1).section(QLatin1Char(' '), 0, 0), name);
        QCOMPARE(MainWindow::recentFiles().value(0), shown);
        QCOMPARE(window.windowTitle(),
                 QStringLiteral("%1%2 - Tallowmerick").arg(name, answer == QMessageBox::Save ? "" : "*"));
        QCOMPARE(window.isVisible(), answer == QMessageBox::Cancel);
        QCOMPARE(CollectionSerializer::read(sample).entries.size(), fails && answer == QMessageBox::Save ? 3 : 1);
        QCOMPARE(CollectionSerializer::read(copy).entries.size(), fails ? 0 : answer == QMessageBox::Save ? 3 : 2);
    }

    // Quit, the window's close, New and Open asked while a price refresh
    // runs ask once, though its answers keep coming while the question is
    // up, the file dialog open and the question's save written: Save and
    // Discard end the refresh before anything is written or let go, and
    // Save's file holds the edit and the price the refresh had applied;
    // Cancel leaves the refresh running.
    void refreshEndsOnceTheQuestionIsAnswered_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QMessageBox::StandardButton>("answer");
        const QList<QPair<const char *, QMessageBox::StandardButton>> answers = {{"Save", QMessageBox::Save},
                                                                                 {"Discard", QMessageBox::Discard},
                                                                                 {"Cancel", QMessageBox::Cancel}};
        for (const char *command : {"quit", "close", "new", "open"})
            for (const auto &[name, answer] : answers)
                QTest::addRow("%s, %s", command, name) << QString::fromLatin1(command) << answer;
    }
    void refreshEndsOnceTheQuestionIsAnswered()
    {
        QFETCH(QString, command);
        QFETCH(QMessageBox::StandardButton, answer);
        HeldSaves saves(false);
        FxRates::store({{QStringLiteral("EUR"), 0.86}}, SteadyClock::today()); // the run waits for no rates
        const QString path = m_dir.filePath(command + QStringLiteral("-refreshed.tmk"));
        const QString other = m_dir.filePath(QStringLiteral("other.tmk"));
        QVERIFY(writeSample(path) && writeSample(other));

        test::PromptScope prompts;
        auto *client = new test::RecordingClient;
        MainWindow window(nullptr, client);
        window.show();
        window.openFile(path);
        waitForFile(window);
        Collection *collection = window.collection();
        for (int i = 2; i <= 9; ++i)
            collection->addEntry(test::holdingOf(QStringLiteral("tst1-%1").arg(i)));
        window.refreshPrices();
        QCOMPARE(client->sent.size(), 6);
        // An answer comes each time the window waits on the user or the file.
        int answered = 0;
        const auto answerOne = [&] { client->answer(client->sent.at(answered++).cardId, 2.0); };
        int asked = 0;
        DialogPrompts::setQuestion([&](QWidget *, const QString &, const QString &, QMessageBox::StandardButtons,
                                       QMessageBox::StandardButton) {
            answerOne();
            return ++asked == 1 ? answer : QMessageBox::Cancel;
        });
        DialogPrompts::setOpenFileName([&](QWidget *, const QString &, const QString &, const QString &) {
            answerOne();
            return other;
        });
        saves.hold = true;
        QTimer::singleShot(0, &window, [&] {
            answerOne();
            saves.edited.release();
        });
        if (command == QLatin1String("quit"))
            window.findChild<QAction *>(QStringLiteral("actionQuit"))->trigger();
        else if (command == QLatin1String("close"))
            window.close();
        else if (command == QLatin1String("new"))
            window.newCollection();
        else
            window.openCollection();
        waitForFile(window);
        QCOMPARE(asked, 1);
        const bool goesOn = answer != QMessageBox::Cancel;
        QCOMPARE(window.isPriceRefreshRunning(), !goesOn);
        // The edit and the one price applied before the answer, or nothing.
        const QList<CardEntry> written = CollectionSerializer::read(path).entries;
        const auto priced = [](const CardEntry &entry) { return entry.unitValueEur > 0; };
        QCOMPARE(written.size() + std::count_if(written.cbegin(), written.cend(), priced),
                 answer == QMessageBox::Save ? 10 : 1);
        const bool closes = command == QLatin1String("quit") || command == QLatin1String("close");
        QCOMPARE(window.isVisible(), !(goesOn && closes));
        QCOMPARE(collection->filePath(),
                 !goesOn || closes                      ? path
                     : command == QLatin1String("open") ? other
                                                        : QString());
    }

    // Quit while a file is read drops the read before it asks: a collection
    // as saved closes at once; an edited one's question names the file shown
    // and its Save writes that file, never the one read, though the read
    // would end while the question is up; Cancel keeps the window with that
    // collection and its commands. Edits let go of by a Discard before the
    // read began are not asked about again. The read is freed with the window.
    void quitDuringReadDropsTheRead_data()
    {
        QTest::addColumn<bool>("edited");
        QTest::addColumn<bool>("discarded");
        QTest::addColumn<QMessageBox::StandardButton>("answer");
        QTest::addRow("as saved") << false << false << QMessageBox::Save;
        QTest::addRow("edited") << true << false << QMessageBox::Save;
        QTest::addRow("edited, cancelled") << true << false << QMessageBox::Cancel;
        QTest::addRow("edited, discarded before the read") << true << true << QMessageBox::Cancel;
    }
    void quitDuringReadDropsTheRead()
    {
        QFETCH(bool, edited);
        QFETCH(bool, discarded);
        QFETCH(QMessageBox::StandardButton, answer);
        MainWindow::setFileTasksAlwaysInBackground(true);
        const test::AtScopeEnd reset([] { MainWindow::setFileTasksAlwaysInBackground(false); });
        const QString sample = m_dir.filePath(QStringLiteral("sample.tmk"));
        const QString second = m_dir.filePath(QStringLiteral("second.tmk"));
        QVERIFY(writeSample(sample) && writeSample(second));
        const QByteArray secondBytes = test::readFile(second);
        QSemaphore gate;
        test::PromptScope prompts;
        auto window = std::make_unique<MainWindow>();
        const test::AtScopeEnd readEnds([&gate] { gate.release(); });
        window->openFile(sample);
        waitForFile(*window);
        if (edited)
            window->collection()->addEntry(test::holdingOf(QStringLiteral("tst1-2")));
        window->documentSession()->setReadSideWork([&gate] {
            return [&gate](const Collection &) -> std::shared_ptr<void> {
                gate.acquire();
                return nullptr;
            };
        });
        if (discarded) {
            // As Open's question answered Discard.
            DialogPrompts::setQuestion([](QWidget *, const QString &, const QString &, QMessageBox::StandardButtons,
                                          QMessageBox::StandardButton) { return QMessageBox::Discard; });
            QVERIFY(window->documentSession()->settle());
        }
        window->openFile(second);
        QVERIFY(window->fileTaskRunning());
        QStringList asked;
        DialogPrompts::setQuestion([&](QWidget *, const QString &, const QString &text, QMessageBox::StandardButtons,
                                       QMessageBox::StandardButton) {
            asked.append(text.section(QLatin1Char(' '), 0, 0));
            gate.release();
            return QTest::qWaitFor([&] { return !window->fileTaskRunning(); }, 20000) ? answer : QMessageBox::Cancel;
        });
        const bool asks = edited && !discarded;
        const bool saved = asks && answer == QMessageBox::Save;
        QCOMPARE(window->close(), discarded || answer == QMessageBox::Save);
        QVERIFY(!window->fileTaskRunning());
        QCOMPARE(asked, asks ? QStringList{QStringLiteral("sample.tmk")} : QStringList());
        QCOMPARE(CollectionSerializer::read(sample).entries.size(), saved ? 2 : 1);
        QCOMPARE(window->collection()->entries().size(), edited ? 2 : 1);
        QVERIFY(window->findChild<QAction *>(QStringLiteral("actionRefreshPrices"))->isEnabled());
        QCOMPARE(test::readFile(second), secondBytes);
    }
};

PV_REGISTER_TEST(MainWindowFileTaskTest)
#include "MainWindowFileTaskTest.moc"
