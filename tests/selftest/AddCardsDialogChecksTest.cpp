#include "StdoutCapture.h"
#include "TestRegistry.h"

#include "catalog/CacheDirectory.h"
#include "catalog/TcgdexClient.h"
#include "core/CardArtwork.h"
#include "selftest/SelfTestHarness.h"
#include "selftest/SelfTests.h"

#include <QElapsedTimer>
#include <QFile>
#include <QPixmap>
#include <QTest>
#include <QTimer>

using namespace pv;
using pv::test::StdoutCapture;

// The add-cards dialog checks' own waits and their early end.
class AddCardsDialogChecksTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init() { selftest::resetFailures(); }
    void cleanup() { selftest::resetFailures(); }

    // A set symbol or a thumbnail arriving first does not end the wait for
    // the previewed card's picture; the card's own picture does.
    void pictureWaitIgnoresOtherPictures()
    {
        TcgdexClient client;
        const QString base = QStringLiteral("http://127.0.0.1:9/en/base/base1/4");
        QPixmap picture(10, 14);
        picture.fill(Qt::gray);
        bool otherSent = false;
        QTimer::singleShot(10, &client, [&] {
            emit client.imageReady(1, setArtworkUrl(QStringLiteral("http://127.0.0.1:9/univ/base/base1/symbol")),
                                   picture);
            emit client.imageReady(2, cardImageUrl(QStringLiteral("http://127.0.0.1:9/en/base/base1/5"), false),
                                   picture);
            otherSent = true;
        });
        QTimer::singleShot(150, &client, [&] { emit client.imageReady(3, cardImageUrl(base, true), picture); });
        StdoutCapture capture;
        QElapsedTimer clock;
        clock.start();
        selftest::waitForCardPicture(client, base, 5000);
        QVERIFY(otherSent);
        QVERIFY(clock.elapsed() >= 140);
        QCOMPARE(capture.text(), QString());

        // A failed download of the small picture ends it too.
        QTimer::singleShot(10, &client, [&] {
            emit client.imageFailed(4, cardImageUrl(base, false), QStringLiteral("HTTP 404"));
        });
        selftest::waitForCardPicture(client, base, 5000);
        QCOMPARE(capture.text(), QString());
    }

    void missingCatalogEndsTheTestAfterOneLine()
    {
        QFile::remove(cacheDirectory() + QStringLiteral("/en.cbor"));
        TcgdexClient client;
        StdoutCapture capture;
        selftest::testAddCardsDialog(client);
        QCOMPARE(capture.text(), QStringLiteral("  FAIL  the catalog is available to the dialog\n"));
        QCOMPARE(selftest::failureCount(), 1);
    }
};

PV_REGISTER_TEST(AddCardsDialogChecksTest)
#include "AddCardsDialogChecksTest.moc"
