#include "TestRegistry.h"

#include "core/HttpDiskCache.h"
#include "core/NetworkReplies.h"
#include "standin/WebStandIn.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>

#include <memory>

using namespace pv;
using Fault = pv::test::WebStandIn::Fault;

namespace {

// Answers each request with the next of its answers, the body that long
// after the head, and closes the connection.
class ScriptedServer : public QTcpServer
{
public:
    struct Answer
    {
        QByteArray status, headers, body;
        int bodyDelayMs = 0;
    };
    QList<Answer> answers;
    int requests = 0;

    ScriptedServer()
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = nextPendingConnection()) {
                connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
                connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    if (!socket->readAll().endsWith("\r\n\r\n"))
                        return;
                    const Answer answer = answers.value(requests++);
                    socket->write("HTTP/1.1 " + answer.status + "\r\nConnection: close\r\nContent-Length: "
                                  + QByteArray::number(answer.body.size()) + "\r\n" + answer.headers + "\r\n");
                    QTimer::singleShot(answer.bodyDelayMs, socket, [socket, body = answer.body] {
                        socket->write(body);
                        socket->disconnectFromHost();
                    });
                });
            }
        });
    }
};

} // namespace

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

    // A server error on a request with a stored copy that has a validator
    // fails as the error it is, however its body comes (Qt's own cache
    // answers it with the old copy, as often as not without an error); the
    // next answer is taken as it comes, and the copy still serves once the
    // server confirms it.
    void aServerErrorBehindAStoredCopyFails()
    {
        QFETCH(int, errorBodyDelayMs);
        ScriptedServer server;
        const QByteArray first = R"({"id":"zz-1"})", second = R"({"id":"zz-1","n":2})";
        server.answers = {{"200 OK", "ETag: \"1\"\r\n", first, 0},
                          {"500 Internal Server Error", "", "<html>oops</html>", errorBodyDelayMs},
                          {"200 OK", "ETag: \"2\"\r\n", second, 0},
                          {"304 Not Modified", "ETag: \"2\"\r\n", "", 0}};
        QTemporaryDir folder;
        QNetworkAccessManager network;
        network.setCache(new HttpDiskCache(folder.path(), 1 << 20, &network));
        QStringList seen;
        for (int round = 0; round < 4; ++round) {
            QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1/card").arg(server.serverPort())));
            request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::PreferNetwork);
            std::unique_ptr<QNetworkReply> reply(network.get(request));
            QNetworkReply *raw = reply.get();
            guardReply(raw, 0, 1 << 20);
            QVERIFY(QTest::qWaitFor([raw] { return raw->isFinished(); }, 20000));
            const bool failed = replyFailed(raw);
            seen.append(QStringLiteral("%1 %2 %3 %4")
                            .arg(failed)
                            .arg(int(failed ? replyFailure(raw) : ReplyFailure::NotReached))
                            .arg(replyHttpStatus(raw))
                            .arg(QString::fromLatin1(failed ? QByteArray() : replyBody(raw))));
        }
        QCOMPARE(server.requests, 4);
        QCOMPARE(seen,
                 (QStringList{QStringLiteral("0 0 200 ") + first, QStringLiteral("1 1 500 "),
                              QStringLiteral("0 0 200 ") + second, QStringLiteral("0 0 200 ") + second}));
    }
    void aServerErrorBehindAStoredCopyFails_data()
    {
        QTest::addColumn<int>("errorBodyDelayMs");
        QTest::newRow("with its head") << 0;
        QTest::newRow("after its head") << 300;
    }
};

PV_REGISTER_TEST(NetworkRepliesTest)
#include "NetworkRepliesTest.moc"
