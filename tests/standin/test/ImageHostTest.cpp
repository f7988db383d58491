#include "StandInFetch.h"
#include "TestRegistry.h"
#include "standin/WebStandIn.h"

#include <QImage>
#include <QJsonObject>
#include <QTest>

using namespace pv::test;

// The image host: every picture the recorded answers name, generated as a
// real image of the live size, in the format asked for.
class ImageHostTest : public QObject
{
    Q_OBJECT

    WebStandIn m_standIn;
    QNetworkAccessManager m_network;

    QImage picture(const QString &path, QByteArray *contentType = nullptr)
    {
        const Fetched reply = fetch(m_network, m_standIn.assetsUrl() + path);
        if (contentType)
            *contentType = reply.contentType;
        return reply.status == 200 ? QImage::fromData(reply.body) : QImage();
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(m_standIn.start(), qPrintable(m_standIn.errorString()));
    }

    void cardPictures_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QByteArray>("type");
        QTest::newRow("low jpg") << "/en/sv/sv03/001/low.jpg" << QSize(245, 337) << QByteArray("image/jpeg");
        QTest::newRow("high png") << "/en/sv/sv03/001/high.png" << QSize(600, 825) << QByteArray("image/png");
        QTest::newRow("low webp") << "/en/sv/sv03/001/low.webp" << QSize(245, 337) << QByteArray("image/webp");
        QTest::newRow("japanese keeps its case") << "/ja/SV/SV3/001/low.png" << QSize(245, 337) << QByteArray("image/png");
        QTest::newRow("odd local id") << "/en/ex/exu/%21/high.jpg" << QSize(600, 825) << QByteArray("image/jpeg");
        QTest::newRow("set logo") << "/en/sv/sv03/logo.png" << QSize(400, 160) << QByteArray("image/png");
        QTest::newRow("series logo") << "/en/misc/jumbo/logo.webp" << QSize(400, 160) << QByteArray("image/webp");
        QTest::newRow("symbol under univ") << "/univ/sv/sv03/symbol.png" << QSize(96, 96) << QByteArray("image/png");
        QTest::newRow("symbol under en") << "/en/sv/sv03/symbol.png" << QSize(96, 96) << QByteArray("image/png");
    }
    void cardPictures()
    {
        QFETCH(QString, path);
        QFETCH(QSize, size);
        QFETCH(QByteArray, type);
        QByteArray contentType;
        const QImage image = picture(path, &contentType);
        QVERIFY2(!image.isNull(), qPrintable(path));
        QCOMPARE(image.size(), size);
        QCOMPARE(contentType, type);
    }

    void everyPictureTheAnswersNameIsServed()
    {
        const QJsonObject card = fetch(m_network, m_standIn.tcgdexUrl() + QStringLiteral("/v2/en/cards/base1-4")).json().object();
        const QString image = card[QStringLiteral("image")].toString();
        QVERIFY(image.startsWith(m_standIn.assetsUrl()));
        QVERIFY(!QImage::fromData(fetch(m_network, image + QStringLiteral("/low.jpg")).body).isNull());
        const QJsonObject set = card[QStringLiteral("set")].toObject();
        QVERIFY(!QImage::fromData(fetch(m_network, set[QStringLiteral("logo")].toString() + QStringLiteral(".png")).body).isNull());
        // Clients fetch the language-neutral symbol from the English tree.
        QString symbol = set[QStringLiteral("symbol")].toString();
        symbol.replace(QStringLiteral("/univ/"), QStringLiteral("/en/"));
        QVERIFY(!QImage::fromData(fetch(m_network, symbol + QStringLiteral(".png")).body).isNull());
    }

    void picturesDifferByTheirId()
    {
        const QImage first = picture(QStringLiteral("/en/sv/sv03/001/low.png"));
        const QImage second = picture(QStringLiteral("/en/sv/sv03/002/low.png"));
        QVERIFY(!first.isNull() && !second.isNull());
        QVERIFY(first != second);
        // The same picture twice is the same picture.
        QCOMPARE(picture(QStringLiteral("/en/sv/sv03/001/low.png")), first);
    }

    void unknownPicturesAreNotFound_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("no such card") << "/en/sv/sv03/999/low.jpg";
        QTest::newRow("no such set") << "/en/sv/nope/logo.png";
        QTest::newRow("unknown quality") << "/en/sv/sv03/001/medium.png";
        QTest::newRow("unknown format") << "/en/sv/sv03/001/low.gif";
        QTest::newRow("no file name") << "/en/sv/sv03/001";
        QTest::newRow("other language tree") << "/fr/sv/sv03/001/low.jpg";
    }
    void unknownPicturesAreNotFound()
    {
        QFETCH(QString, path);
        QCOMPARE(fetch(m_network, m_standIn.assetsUrl() + path).status, 404);
    }
};

PV_REGISTER_TEST(ImageHostTest)
#include "ImageHostTest.moc"
