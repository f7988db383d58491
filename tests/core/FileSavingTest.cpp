#include "TestRegistry.h"
#include "TestSupport.h"

#include "core/FileSaving.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace pv;

namespace {

// A device that takes at most `room` bytes in all and then only reports
// fewer bytes written, without an error, the way a file on a full disk does;
// or, with failHard, fails the write outright.
class FillingDevice : public QIODevice
{
public:
    FillingDevice(qint64 room, qint64 piece, bool failHard)
        : m_room(room)
        , m_piece(piece)
        , m_failHard(failHard)
    {
    }

    QByteArray taken;

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        const qint64 room = m_room - taken.size();
        if (room <= 0) {
            if (m_failHard)
                setErrorString(QStringLiteral("Input/output error"));
            return m_failHard ? -1 : 0;
        }
        const qint64 n = qMin(qMin(size, room), m_piece);
        taken.append(data, n);
        return n;
    }

private:
    qint64 m_room;
    qint64 m_piece;
    bool m_failHard;
};

void setAge(const QString &path, qint64 seconds)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-seconds), QFileDevice::FileModificationTime));
}

} // namespace

class FileSavingTest : public QObject
{
    Q_OBJECT

private slots:
    void everyByteIsWrittenOrTheWriteFails()
    {
        const QByteArray bytes(10000, 'x');
        // Pieces: the device takes a little at a time and still gets all of it.
        FillingDevice roomy(1 << 20, 333, false);
        QVERIFY(roomy.open(QIODevice::WriteOnly));
        QString reason;
        QVERIFY(writeFully(roomy, bytes, &reason));
        QCOMPARE(roomy.taken, bytes);

        // Short counts without an error are a full disk, not success.
        FillingDevice full(4000, 1024, false);
        QVERIFY(full.open(QIODevice::WriteOnly));
        QVERIFY(!writeFully(full, bytes, &reason));
        QCOMPARE(reason, QStringLiteral("not enough disk space"));
        QCOMPARE(full.taken.size(), 4000);

        // Another failure is named as the device names it.
        FillingDevice broken(4000, 1 << 20, true);
        QVERIFY(broken.open(QIODevice::WriteOnly));
        QVERIFY(!writeFully(broken, bytes, &reason));
        QCOMPARE(reason, QStringLiteral("Input/output error"));
    }

    void leftoversOfInterruptedSavesAreRecognisedAndRemoved()
    {
        const QString own = QFileInfo(saveTemporaryPath(QStringLiteral("/x/mine.tmk"))).fileName();
        QCOMPARE(saveLeftoverBase(own), QStringLiteral("mine.tmk"));
        QVERIFY(own != QFileInfo(saveTemporaryPath(QStringLiteral("/x/mine.tmk"))).fileName());
        QCOMPARE(saveLeftoverBase(QStringLiteral("en.cbor.tallowk-save-0123abcd.tmp")), QStringLiteral("en.cbor"));
        // Names a person or another program picks are never taken for ours.
        for (const char *name : {"mine.tmk", "mine.tmk.Ab3dE9", "mine.tmk.backup", "mine.tmk.tallowk-save-0123ABCD.tmp",
                                 "mine.tmk.tallowk-save-0123abc.tmp", "mine.tmk.tallowk-save-0123abcd.tmp2",
                                 "mine.tmk.tallowk-save-mycopy12.tmp", ".tallowk-save-0123abcd.tmp"})
            QVERIFY2(saveLeftoverBase(QLatin1String(name)).isEmpty(), name);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QDir folder(dir.path());
        const QString target = folder.filePath(QStringLiteral("mine.tmk"));
        const QString stale = QFileInfo(saveTemporaryPath(target)).fileName();
        const QString fresh = QFileInfo(saveTemporaryPath(target)).fileName();
        const QString other = QFileInfo(saveTemporaryPath(folder.filePath(QStringLiteral("other.tmk")))).fileName();
        const QStringList names = {QStringLiteral("mine.tmk"),
                                   stale,
                                   fresh,
                                   other,
                                   QStringLiteral("mine.tmk.bak"),
                                   QStringLiteral("mine.tmk.Ab3dE9"),
                                   stale + QLatin1Char('x')};
        for (const QString &name : names) {
            pv::test::writeFixture(folder.filePath(name), "x");
            if (name != fresh)
                setAge(folder.filePath(name), 3600);
        }
        QCOMPARE(removeSaveLeftovers(target), 1);
        QStringList kept = names;
        kept.removeOne(stale);
        kept.sort();
        QCOMPARE(folder.entryList(QDir::Files, QDir::Name), kept);
        // A save of the file tidies up the same way.
        setAge(folder.filePath(fresh), 3600);
        QCOMPARE(removeSaveLeftovers(target, 0), 1);
    }

    void aReplacedFileIsWholeOrUntouched()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString target = QDir(dir.path()).filePath(QStringLiteral("a.bin"));
        QString reason;
        QCOMPARE(replaceFileContents(target, "first", &reason), SaveStep::Done);
        QCOMPARE(pv::test::readFile(target), QByteArray("first"));
        QCOMPARE(replaceFileContents(target, "second", &reason), SaveStep::Done);
        QCOMPARE(pv::test::readFile(target), QByteArray("second"));
        // The file keeps its permissions, a link stays a link, and nothing
        // but the file is left in the folder.
        const QFile::Permissions mode = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
        QVERIFY(QFile::setPermissions(target, mode));
        const QString link = QDir(dir.path()).filePath(QStringLiteral("link.bin"));
        QVERIFY(QFile::link(target, link));
        QCOMPARE(replaceFileContents(link, "third", &reason), SaveStep::Done);
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(pv::test::readFile(target), QByteArray("third"));
        QCOMPARE(QFile::permissions(target) & 0x7077, mode & 0x7077); // owner, group, others
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name),
                 (QStringList{QStringLiteral("a.bin"), QStringLiteral("link.bin")}));
        QCOMPARE(replaceFileContents(QDir(dir.path()).filePath(QStringLiteral("no/such/a.bin")), "x", &reason),
                 SaveStep::Open);
        QVERIFY(!reason.isEmpty());
    }

    // The temporary file is the owner's alone from its creation on; it takes
    // the file's mode before the rename, and the folder is synced after it.
    void savesArePrivateWhileWrittenAndLastOnceRenamed()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString target = QDir(dir.path()).filePath(QStringLiteral("shared.tmk"));
        QStringList steps; // the step, the mode of what it acted on, the file's text once the folder is synced
        setSaveTraceForTests([&](SaveEvent event, const QString &path) {
            struct stat status = {};
            ::stat(QFile::encodeName(path).constData(), &status);
            const bool folder = event == SaveEvent::FolderSynced && path == dir.path();
            steps.append(QStringLiteral("%1 %2 %3")
                             .arg(int(event))
                             .arg(status.st_mode & 0777, 0, 8)
                             .arg(QString::fromLatin1(folder ? pv::test::readFile(target) : QByteArray())));
        });
        const pv::test::AtScopeEnd traceOff([] { setSaveTraceForTests({}); });
        QString reason;
        QCOMPARE(replaceFileContents(target, "new", &reason), SaveStep::Done);
        QCOMPARE(steps.first(), QStringLiteral("0 600 "));
        QVERIFY(
            QFile::setPermissions(target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
        steps.clear();
        QCOMPARE(replaceFileContents(target, "again", &reason), SaveStep::Done);
        QCOMPARE(steps,
                 (QStringList{QStringLiteral("0 600 "), QStringLiteral("1 644 "), QStringLiteral("2 644 "),
                              QStringLiteral("3 644 "), QStringLiteral("4 700 again")}));
    }

    // Names too long to take the temporary file's ending save all the same;
    // leftovers are found where a save through a link leaves them, and only
    // those of the file saved.
    void longNamesAndLinksSaveAndTidyUp()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QDir folder(dir.path());
        const QString ascii = folder.filePath(QString(236, QLatin1Char('a')) + QStringLiteral(".tmk"));
        QString reason;
        for (const QString &path : {ascii, folder.filePath(QString(80, QChar(0x30dd)) + QStringLiteral(".tmk"))}) {
            QCOMPARE(replaceFileContents(path, "first", &reason), SaveStep::Done);
            QCOMPARE(replaceFileContents(path, "second", &reason), SaveStep::Done);
            QCOMPARE(pv::test::readFile(path), QByteArray("second"));
        }
        const QString cousin = folder.filePath(QString(236, QLatin1Char('a')) + QStringLiteral(".msl"));
        QVERIFY(QDir().mkpath(folder.filePath(QStringLiteral("elsewhere"))));
        const QString real = folder.filePath(QStringLiteral("elsewhere/real.tmk"));
        QVERIFY(QFile::link(pv::test::writeFixture(real, "x"), folder.filePath(QStringLiteral("link.tmk"))));
        for (const QString &path : {ascii, cousin, real})
            pv::test::writeFixture(saveTemporaryPath(path), "x");
        QCOMPARE(removeSaveLeftovers(ascii, 0), 1);
        QCOMPARE(removeSaveLeftovers(cousin, 0), 1);
        QCOMPARE(removeSaveLeftovers(folder.filePath(QStringLiteral("link.tmk")), 0), 1);
        QCOMPARE(QDir(folder.filePath(QStringLiteral("elsewhere"))).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("real.tmk")});
    }
};

PV_REGISTER_TEST(FileSavingTest)
#include "FileSavingTest.moc"
