#include "TestRegistry.h"
#include "ui/CardViewTestSupport.h"

#include "catalog/TcgdexClient.h"
#include "core/CardArtwork.h"
#include "standin/WebStandIn.h"
#include "ui/widgets/CardPreviewPopup.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPixmapCache>
#include <QScreen>
#include <QTest>

#include <memory>

using pv::CardPreviewPopup;
using pv::TcgdexClient;
using pv::cardImageUrl;
using pv::test::WebStandIn;

namespace {

// The colour the popup shows at its centre, inside the 4 px frame.
QColor shownColour(CardPreviewPopup &popup)
{
    const QImage image = popup.grab().toImage();
    return image.pixelColor(image.width() / 2, image.height() / 2);
}

} // namespace

class CardPreviewPopupTest : public QObject
{
    Q_OBJECT

    WebStandIn *m_standIn = nullptr;
    std::unique_ptr<TcgdexClient> m_client;
    QString m_base;
    QPoint m_pointer;

private Q_SLOTS:
    void initTestCase()
    {
        m_standIn = WebStandIn::shared();
        QVERIFY(m_standIn && m_standIn->isListening());
        m_base = m_standIn->assetsUrl() + QStringLiteral("/en/base/base1/4");
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        m_pointer = screen.center();
    }

    void init()
    {
        m_standIn->reset();
        QPixmapCache::clear();
        m_client = std::make_unique<TcgdexClient>();
        m_client->imageCache().clear();
        // Large pictures asked of the service never arrive here: the test
        // hands them over itself.
        m_standIn->addFault(QStringLiteral("/high\\.png$"), WebStandIn::Fault::httpStatus(404), -1);
    }

    void cleanup() { m_client.reset(); }

    void sizeAndPlacementFollowTheScreen()
    {
        QCOMPARE(CardPreviewPopup::pictureBox(1000), QSize(150, 210));
        QCOMPARE(CardPreviewPopup::pictureBox(300), QSize(128, 180));
        QCOMPARE(CardPreviewPopup::pictureBox(0), QSize(150, 210));

        const QRect screen(0, 0, 1600, 1000);
        const QSize popup(158, 218);
        // Centred above the pointer, its bottom 46 px above it.
        QCOMPARE(CardPreviewPopup::placement(QPoint(800, 500), popup, screen), QPoint(721, 236));
        // Near the top it opens 16 px below the pointer.
        QCOMPARE(CardPreviewPopup::placement(QPoint(800, 100), popup, screen), QPoint(721, 116));
        // Kept inside at the right and left edges.
        QCOMPARE(CardPreviewPopup::placement(QPoint(1590, 500), popup, screen), QPoint(1599 - 158, 236));
        QCOMPARE(CardPreviewPopup::placement(QPoint(5, 500), popup, screen), QPoint(0, 236));
        // Below the pointer but too low for the screen: clamped to its bottom.
        QCOMPARE(CardPreviewPopup::placement(QPoint(400, 200), popup, QRect(0, 0, 800, 300)), QPoint(321, 81));
        // Larger than the screen: the left and top edges win.
        QCOMPARE(CardPreviewPopup::placement(QPoint(100, 100), QSize(400, 400), QRect(50, 20, 300, 300)),
                 QPoint(50, 20));
        // Without a screen: centred 46 px above the pointer.
        QCOMPARE(CardPreviewPopup::placement(QPoint(800, 500), popup, QRect()), QPoint(721, 236));
    }

    void largePictureWinsOverALateSmallOne()
    {
        CardPreviewPopup popup(m_client.get());
        pv::test::cachePicture(*m_client, cardImageUrl(m_base, false), QSize(245, 342), Qt::blue);
        popup.previewImage(m_base, m_pointer);
        QVERIFY(popup.isVisible());
        QCOMPARE(shownColour(popup), QColor(Qt::blue));
        QTRY_COMPARE(m_standIn->requestCount(QStringLiteral("/en/base/base1/4/high\\.png$")), 1);

        // The large picture replaces the small one, on a 600 px screen in a
        // box of 150 x 210 and a popup 8 px larger each way.
        Q_EMIT m_client->imageReady(0, cardImageUrl(m_base, true), pv::test::plainPicture(QSize(630, 880), Qt::red));
        QCOMPARE(shownColour(popup), QColor(Qt::red));
        QCOMPARE(popup.size(), QSize(158, 218));
        // A late small picture and a picture of another card change nothing.
        Q_EMIT m_client->imageReady(0, cardImageUrl(m_base, false), pv::test::plainPicture(QSize(245, 342), Qt::green));
        Q_EMIT m_client->imageReady(0, cardImageUrl(m_base + QStringLiteral("x"), true),
                                    pv::test::plainPicture(QSize(245, 342), Qt::green));
        QCOMPARE(shownColour(popup), QColor(Qt::red));

        // Hovering the same card again only moves the popup.
        const QPoint before = popup.pos();
        popup.previewImage(m_base, m_pointer + QPoint(30, 20));
        QCOMPARE(popup.pos(), before + QPoint(30, 20));
        QCOMPARE(shownColour(popup), QColor(Qt::red));
        QTest::qWait(50);
        QCOMPARE(m_standIn->requestCount(QStringLiteral("/en/base/base1/4/high\\.png$")), 1);

        // A new card starts over: nothing cached hides the popup, and its
        // small picture shows when it arrives while nothing is on screen.
        const QString other = m_standIn->assetsUrl() + QStringLiteral("/en/base/base1/5");
        popup.previewImage(other, m_pointer);
        QVERIFY(!popup.isVisible());
        Q_EMIT m_client->imageReady(0, cardImageUrl(other, false), pv::test::plainPicture(QSize(245, 342), Qt::green));
        QVERIFY(popup.isVisible());
        QCOMPARE(shownColour(popup), QColor(Qt::green));

        popup.dismiss();
        QVERIFY(!popup.isVisible());
        Q_EMIT m_client->imageReady(0, cardImageUrl(other, true), pv::test::plainPicture(QSize(630, 880), Qt::red));
        QVERIFY(!popup.isVisible());
    }

    void aCachedLargePictureShowsAtOnceAndNothingIsAsked()
    {
        CardPreviewPopup popup(m_client.get());
        pv::test::cachePicture(*m_client, cardImageUrl(m_base, true), QSize(600, 825), Qt::red);
        popup.previewImage(m_base, m_pointer);
        QVERIFY(popup.isVisible());
        QCOMPARE(shownColour(popup), QColor(Qt::red));
        QTest::qWait(50);
        QCOMPARE(m_standIn->requestCount(QStringLiteral("/en/base/base1/4/high\\.png$")), 0);

        // No address, or no client: hidden.
        popup.previewImage(QString(), m_pointer);
        QVERIFY(!popup.isVisible());
        CardPreviewPopup withoutClient(nullptr);
        withoutClient.previewImage(m_base, m_pointer);
        QVERIFY(!withoutClient.isVisible());
    }

    void neverTakesTheFocus()
    {
        QWidget window;
        auto *edit = new QLineEdit(&window);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        edit->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), edit);

        CardPreviewPopup popup(m_client.get(), &window);
        pv::test::cachePicture(*m_client, cardImageUrl(m_base, true), QSize(600, 825), Qt::red);
        popup.previewImage(m_base, m_pointer);
        QVERIFY(popup.isVisible());
        QTest::qWait(50);
        QCOMPARE(QApplication::activeWindow(), &window);
        QCOMPARE(QApplication::focusWidget(), edit);
        QVERIFY(popup.testAttribute(Qt::WA_TransparentForMouseEvents));
    }
};

PV_REGISTER_TEST(CardPreviewPopupTest)
#include "CardPreviewPopupTest.moc"
