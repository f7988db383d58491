#include "TestRegistry.h"

#include "core/NetworkReplies.h"
#include "standin/WebStandIn.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTest>

#include <memory>

using namespace pv;
using pv::test::WebStandIn;
using Fault = WebStandIn::Fault;

// The guard every web client puts on its replies, against the local stand-in.
class NetworkRepliesTest : public QObject
{
    Q_OBJECT

    WebStandIn *m_standIn = nullptr;
    QNetworkAccessManager m_network;

    // Fetches a stand-in path under the guard and waits for its end; *peak
    // is the most Qt's own buffer held for the reply.
    std::unique_ptr<QNetworkReply> fetch(const QString &path, qint64 maxBytes, qint64 *peak)
    {
        std::unique_ptr<QNetworkReply> reply(m_network.get(QNetworkRequest(QUrl(m_standIn->origin() + path))));
        QNetworkReply *raw = reply.get();
        *peak = 0;
        connect(raw, &QNetworkReply::readyRead, raw, [raw, peak] { *peak = qMax(*peak, raw->bytesAvailable()); });
        guardReply(raw, 0, maxBytes);
        if (!QTest::qWaitFor([raw] { return raw->isFinished(); }, 20000))
            qWarning("%s did not finish", qPrintable(path));
        return reply;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_standIn = WebStandIn::shared();
        QVERIFY(m_standIn && m_standIn->isListening());
    }

    void init() { m_standIn->reset(); }

    // A chunked reply without end is cut off with Qt's buffer held to the
    // limit (the guard's own store is held to it too); a body of exactly the
    // limit arrives whole.
    void aFloodIsHeldAtItsLimit()
    {
        constexpr qint64 limit = 1 << 20;
        m_standIn->addFault(QStringLiteral("/flood$"), Fault::endless(), -1);
        m_standIn->addFault(QStringLiteral("/full$"), Fault::oversized(limit), -1);
        qint64 peak = 0;
        const auto flood = fetch(QStringLiteral("/v2/en/cards/flood"), limit, &peak);
        QCOMPARE(flood->readBufferSize(), limit);
        QVERIFY2(peak > 0 && peak <= limit, qPrintable(QString::number(peak)));
        QCOMPARE(flood->error(), QNetworkReply::OperationCanceledError);
        QVERIFY(replyTooLarge(flood.get()) && replyFailed(flood.get()));
        QCOMPARE(replyErrorText(flood.get()), tooLargeMessage(limit));
        QVERIFY(replyBody(flood.get()).isEmpty());

        const auto full = fetch(QStringLiteral("/v2/en/cards/full"), limit, &peak);
        QVERIFY(!replyFailed(full.get()));
        QCOMPARE(replyBody(full.get()), QByteArray(limit, 'x'));
    }

    // Qt reports a bomb as "Decompression failed: " with nothing after the
    // colon.
    void aBombSaysWhatWentWrong()
    {
        const QByteArray bomb = qCompress(QByteArray(24 << 20, '\0'), 9).mid(4); // a bare zlib stream
        m_standIn->addFault(QStringLiteral("/bomb$"),
                            Fault::custom(200, "application/json", bomb).withHeader("Content-Encoding", "deflate"), -1);
        qint64 peak = 0;
        const auto bombed = fetch(QStringLiteral("/v2/en/cards/bomb"), qint64(64) << 20, &peak);
        QVERIFY(replyFailed(bombed.get()));
        QCOMPARE(replyErrorText(bombed.get()), QStringLiteral("The reply could not be decompressed."));
    }
};

PV_REGISTER_TEST(NetworkRepliesTest)
#include "NetworkRepliesTest.moc"
