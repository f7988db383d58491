#include "TestRegistry.h"

#include "core/NetworkReplies.h"
#include "standin/WebStandIn.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTest>

#include <memory>

using namespace pv;
using Fault = pv::test::WebStandIn::Fault;

// The guard every web client puts on its replies, against the local stand-in.
class NetworkRepliesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A chunked reply without end is cut off with Qt's buffer held to the
    // limit (the guard's own store is held to it too); a body of exactly the
    // limit arrives whole.
    void aFloodIsHeldAtItsLimit()
    {
        constexpr qint64 limit = 1 << 20;
        auto *standIn = pv::test::WebStandIn::shared();
        standIn->reset();
        standIn->addFault(QStringLiteral("/flood$"), Fault::endless(), -1);
        standIn->addFault(QStringLiteral("/full$"), Fault::oversized(limit), -1);
        QNetworkAccessManager network;
        for (const QString name : {"flood", "full"}) {
            std::unique_ptr<QNetworkReply> reply(
                network.get(QNetworkRequest(QUrl(standIn->origin() + "/v2/en/" + name))));
            QNetworkReply *raw = reply.get();
            qint64 peak = 0; // what Qt's own buffer held at most
            connect(raw, &QNetworkReply::readyRead, raw, [raw, &peak] { peak = qMax(peak, raw->bytesAvailable()); });
            guardReply(raw, 0, limit);
            QVERIFY(QTest::qWaitFor([raw] { return raw->isFinished(); }, 20000));
            QCOMPARE(raw->readBufferSize(), limit);
            QVERIFY2(peak > 0 && peak <= limit, qPrintable(QString::number(peak)));
            const bool flood = name == QLatin1String("flood");
            QCOMPARE(replyFailed(raw), flood);
            QCOMPARE(replyBody(raw), flood ? QByteArray() : QByteArray(limit, 'x'));
            if (flood)
                QCOMPARE(replyErrorText(raw), tooLargeMessage(limit));
        }
    }
};

PV_REGISTER_TEST(NetworkRepliesTest)
#include "NetworkRepliesTest.moc"
