#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

// A blocking GET over real HTTP for the stand-in's own tests.
namespace pv::test {

struct Fetched
{
    int status = 0;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    QByteArray body;
    QByteArray contentType;
    qint64 ms = 0;
    bool timedOut = false;

    QJsonDocument json() const { return QJsonDocument::fromJson(body); }
};

inline Fetched fetch(QNetworkAccessManager &network, const QUrl &url, int timeoutMs = 20000)
{
    Fetched result;
    QElapsedTimer clock;
    clock.start();
    QNetworkRequest request(url);
    QNetworkReply *reply = network.get(request);
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
        result.timedOut = true;
        loop.quit();
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    timer.start(timeoutMs);
    if (!reply->isFinished())
        loop.exec();
    if (!reply->isFinished())
        reply->abort();
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.error = reply->error();
    result.body = reply->readAll();
    result.contentType = reply->header(QNetworkRequest::ContentTypeHeader).toByteArray();
    result.ms = clock.elapsed();
    delete reply;
    return result;
}

inline Fetched fetch(QNetworkAccessManager &network, const QString &url, int timeoutMs = 20000)
{
    return fetch(network, QUrl(url, QUrl::TolerantMode), timeoutMs);
}

} // namespace pv::test
