#include "standin/WebStandIn.h"

#include "standin/RequestKey.h"
#include "standin/StandInData.h"
#include "standin/StandInPictures.h"

#include <QAbstractHttpServer>
#include <QCoreApplication>
#include <QDate>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>
#include <limits>
#include <map>
#include <memory>

namespace pv::test {

namespace {

const QByteArray kJson = "application/json; charset=utf-8";
const QByteArray kText = "text/plain; charset=utf-8";

// Languages the card database knows; only English and Japanese are recorded.
const QList<QByteArray> kLanguages = {"en", "fr", "es", "es-mx", "it", "pt", "pt-br", "pt-pt", "de",
                                      "nl", "pl", "ru", "ja", "ko", "zh-tw", "id", "th", "zh-cn"};

// Answers larger than this are rewritten for this stand-in when it starts,
// so the big lists go out straight from memory.
const qsizetype kPrerenderSize = 64 * 1024;
const int kPictureCacheLimit = 4000;

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 307:
        return "Temporary Redirect";
    case 400: return "Bad Request";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    case 504: return "Gateway Timeout";
    default: return "Error";
    }
}

// A JSON string literal of the text.
QByteArray quoted(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

// The card database's error body, members in the order it writes them;
// "endpoint" is the target without "/v2", "+" read as a space.
QByteArray cardDatabaseError(const char *type, const char *title, const QByteArray &target,
                             const QByteArray &extra = QByteArray())
{
    return "{\"type\":\"https://tcgdex.dev/errors/" + QByteArray(type) + "\",\"title\":" + quoted(QString::fromUtf8(title))
        + ",\"status\":404,\"endpoint\":" + quoted(QString::fromUtf8(QByteArray(target).replace('+', ' ').mid(3)))
        + ",\"method\":\"GET\"" + extra + '}';
}

QByteArray notFoundError(const QByteArray &target)
{
    return cardDatabaseError("not-found", "The resource you are trying to reach does not exists", target);
}

QString serviceOf(const QByteArray &path)
{
    if (path == "/v2" || path.startsWith("/v2/"))
        return QStringLiteral("tcgdex");
    if (path.startsWith("/tcgplayer/"))
        return QStringLiteral("tcgcsv");
    if (path.startsWith("/v1/"))
        return QStringLiteral("fx");
    if (path.count('/') >= 3)
        return QStringLiteral("images");
    return QStringLiteral("other");
}

QString faultName(WebStandIn::Fault::Kind kind)
{
    using Kind = WebStandIn::Fault::Kind;
    switch (kind) {
    case Kind::Serve: return QStringLiteral("delay");
    case Kind::Status: return QStringLiteral("status");
    case Kind::Close: return QStringLiteral("close");
    case Kind::TruncatedBody: return QStringLiteral("truncated");
    case Kind::CutOffBody: return QStringLiteral("cut-off");
    case Kind::NotJson: return QStringLiteral("not-json");
    case Kind::WrongShape: return QStringLiteral("wrong-shape");
    case Kind::Custom: return QStringLiteral("custom");
    case Kind::Trickle: return QStringLiteral("trickle");
    case Kind::Endless: return QStringLiteral("endless");
    case Kind::Oversized: return QStringLiteral("oversized");
    case Kind::Redirect: return QStringLiteral("redirect");
    case Kind::ResetAfterStatus: return QStringLiteral("reset-after-status");
    case Kind::Refuse:
        return QStringLiteral("refuse");
    case Kind::NoPricing:
        return QStringLiteral("no-pricing");
    case Kind::NoTcgplayer:
        return QStringLiteral("no-tcgplayer");
    case Kind::Hold:
        return QStringLiteral("hold");
    }
    return QString();
}

// Units of each currency per euro: plausible, fixed figures.
const std::map<QString, double> &eurRates()
{
    static const std::map<QString, double> rates = {
        {"AUD", 1.6289}, {"BRL", 5.8912}, {"CAD", 1.4723}, {"CHF", 0.9563}, {"CNY", 7.8565},
        {"CZK", 25.021}, {"DKK", 7.4601}, {"EUR", 1.0},    {"GBP", 0.8512}, {"HKD", 8.4812},
        {"HUF", 395.80}, {"INR", 90.412}, {"JPY", 161.92}, {"KRW", 1478.2}, {"MXN", 18.463},
        {"NOK", 11.594}, {"NZD", 1.7832}, {"PLN", 4.3185}, {"SEK", 11.283}, {"SGD", 1.4575},
        {"USD", 1.0856}, {"ZAR", 20.314},
    };
    return rates;
}

} // namespace

class WebStandIn::Server : public QAbstractHttpServer
{
public:
    explicit Server(WebStandIn *owner) : m_owner(owner) {}

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override
    {
        return m_owner->handle(request, makeResponder(request, socket));
    }
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override
    {
        makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
    }

private:
    WebStandIn *m_owner;
};

// ---- faults ----

namespace {

WebStandIn::Fault faultOf(WebStandIn::Fault::Kind kind, int code = 200)
{
    WebStandIn::Fault f;
    f.kind = kind;
    f.statusCode = code;
    return f;
}

} // namespace

WebStandIn::Fault WebStandIn::Fault::httpStatus(int code) { return faultOf(Kind::Status, code); }
WebStandIn::Fault WebStandIn::Fault::closeConnection() { return faultOf(Kind::Close); }
WebStandIn::Fault WebStandIn::Fault::delay(int ms) { return faultOf(Kind::Serve).after(ms); }
WebStandIn::Fault WebStandIn::Fault::truncatedBody() { return faultOf(Kind::TruncatedBody); }
WebStandIn::Fault WebStandIn::Fault::cutOffBody() { return faultOf(Kind::CutOffBody); }
WebStandIn::Fault WebStandIn::Fault::notJson() { return faultOf(Kind::NotJson); }
WebStandIn::Fault WebStandIn::Fault::wrongShape() { return faultOf(Kind::WrongShape); }

WebStandIn::Fault WebStandIn::Fault::custom(int code, const QByteArray &contentType, const QByteArray &body)
{
    Fault f = faultOf(Kind::Custom, code);
    f.contentType = contentType;
    f.body = body;
    return f;
}

WebStandIn::Fault WebStandIn::Fault::trickle(int intervalMs)
{
    Fault f = faultOf(Kind::Trickle);
    f.intervalMs = intervalMs;
    return f;
}

WebStandIn::Fault WebStandIn::Fault::endless() { return faultOf(Kind::Endless); }

WebStandIn::Fault WebStandIn::Fault::oversized(qint64 size)
{
    Fault f = faultOf(Kind::Oversized);
    f.size = size;
    return f;
}

WebStandIn::Fault WebStandIn::Fault::redirect(const QByteArray &target)
{
    Fault f = faultOf(Kind::Redirect, 302);
    f.body = target;
    return f;
}

WebStandIn::Fault WebStandIn::Fault::resetAfterStatus() { return faultOf(Kind::ResetAfterStatus); }
WebStandIn::Fault WebStandIn::Fault::refuse()
{
    return faultOf(Kind::Refuse);
}
WebStandIn::Fault WebStandIn::Fault::noPricing()
{
    return faultOf(Kind::NoPricing);
}
WebStandIn::Fault WebStandIn::Fault::noTcgplayer()
{
    return faultOf(Kind::NoTcgplayer);
}
WebStandIn::Fault WebStandIn::Fault::hold(int ms)
{
    return faultOf(Kind::Hold).after(ms);
}

WebStandIn::Fault WebStandIn::Fault::withHeader(const QByteArray &name, const QByteArray &value) const
{
    Fault f = *this;
    f.headers.append(qMakePair(name, value));
    return f;
}

WebStandIn::Fault WebStandIn::Fault::after(int ms) const
{
    Fault f = *this;
    f.delayMs = ms;
    return f;
}

// ---- life ----

WebStandIn::WebStandIn(QObject *parent) : QObject(parent)
{
    m_clock.start();
}

WebStandIn::~WebStandIn()
{
    stop();
}

bool WebStandIn::start(quint16 port, const QString &dataDirectory)
{
    stop();
    m_error.clear();
    m_data = StandInData::load(dataDirectory, &m_error);
    if (!m_data)
        return false;

    m_server = std::make_unique<Server>(this);
    auto *tcp = new QTcpServer(m_server.get());
    if (!tcp->listen(QHostAddress::LocalHost, port)) {
        m_error = QStringLiteral("cannot listen on 127.0.0.1:%1: %2").arg(port).arg(tcp->errorString());
        m_server.reset();
        return false;
    }
    m_server->bind(tcp);
    m_port = tcp->serverPort();
    prerender();
    return true;
}

void WebStandIn::prerender()
{
    m_rendered.clear();
    for (const char *language : {"en", "ja"}) {
        for (const QByteArray &key : m_data->largeCardDatabaseKeys(language, kPrerenderSize))
            cardDatabaseBody(language, key);
    }
}

void WebStandIn::stop()
{
    // Unwritten answers go before the connections they belong to.
    const QList<int> unanswered = m_pending.keys();
    m_pending.clear();
    for (const int serial : unanswered)
        finishRecord(serial, 0, 0);
    m_server.reset();
    m_port = 0;
}

bool WebStandIn::isListening() const
{
    return m_server != nullptr;
}

QString WebStandIn::errorString() const
{
    return m_error;
}

quint16 WebStandIn::port() const
{
    return m_port;
}

QString WebStandIn::origin() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_port);
}

QString WebStandIn::serviceUrl(const QString &service) const
{
    return m_refused.contains(service) ? QStringLiteral("http://127.0.0.1:%1").arg(refusingPort()) : origin();
}

QString WebStandIn::tcgdexUrl() const
{
    return serviceUrl(QStringLiteral("tcgdex"));
}
QString WebStandIn::assetsUrl() const
{
    return serviceUrl(QStringLiteral("images"));
}
QString WebStandIn::tcgcsvUrl() const
{
    return serviceUrl(QStringLiteral("tcgcsv"));
}
QString WebStandIn::fxUrl() const
{
    return serviceUrl(QStringLiteral("fx"));
}

bool WebStandIn::refuseService(const QString &service)
{
    if (!serviceNames().contains(service))
        return false;
    if (!m_refused.contains(service)) {
        m_refused.append(service);
        if (m_data && service == QLatin1String("images"))
            prerender(); // the answers name the pictures' addresses
    }
    return true;
}

quint16 WebStandIn::refusingPort() const
{
    // Bound but never listening: the system refuses every connection to it,
    // and no other program takes the port meanwhile.
    if (!m_refusing) {
        m_refusing = std::make_unique<QTcpSocket>();
        if (!m_refusing->bind(QHostAddress::LocalHost, 0))
            qWarning("web stand-in: no port to refuse connections on: %s", qPrintable(m_refusing->errorString()));
    }
    return m_refusing->localPort();
}

const QStringList &WebStandIn::serviceNames()
{
    static const QStringList names{QStringLiteral("tcgdex"), QStringLiteral("images"), QStringLiteral("tcgcsv"),
                                   QStringLiteral("fx")};
    return names;
}

QStringList WebStandIn::exportLines() const
{
    return {QStringLiteral("export TALLOWK_TCGDEX_URL=") + tcgdexUrl(),
            QStringLiteral("export TALLOWK_ASSETS_URL=") + assetsUrl(),
            QStringLiteral("export TALLOWK_TCGCSV_URL=") + tcgcsvUrl(),
            QStringLiteral("export TALLOWK_FX_URL=") + fxUrl()};
}

void WebStandIn::exportEnvironment() const
{
    qputenv("TALLOWK_TCGDEX_URL", tcgdexUrl().toUtf8());
    qputenv("TALLOWK_ASSETS_URL", assetsUrl().toUtf8());
    qputenv("TALLOWK_TCGCSV_URL", tcgcsvUrl().toUtf8());
    qputenv("TALLOWK_FX_URL", fxUrl().toUtf8());
}

WebStandIn *WebStandIn::shared()
{
    static QPointer<WebStandIn> instance;
    if (!instance) {
        instance = new WebStandIn(QCoreApplication::instance());
        const bool started = instance->start();
        if (!started)
            qWarning("web stand-in did not start: %s", qPrintable(instance->errorString()));
        // A test that needs one service's address fixed before main sets it
        // itself; it is left alone. Without a stand-in, tests must still never
        // reach the real services: they get a closed local port instead.
        const QStringList lines = instance->exportLines();
        for (const QString &line : lines) {
            const QByteArray name = line.section(QLatin1Char(' '), 1).section(QLatin1Char('='), 0, 0).toLatin1();
            const QByteArray value = started ? line.section(QLatin1Char('='), 1).toUtf8() : QByteArray("http://127.0.0.1:9");
            if (qEnvironmentVariableIsEmpty(name.constData()))
                qputenv(name.constData(), value);
        }
    }
    return instance;
}

// ---- fault rules and log ----

int WebStandIn::addFault(const QString &pattern, const Fault &fault, int count)
{
    FaultRule rule;
    rule.id = m_nextFaultId++;
    rule.pattern = QRegularExpression(pattern);
    rule.fault = fault;
    rule.left = count;
    m_faults.append(rule);
    return rule.id;
}

int WebStandIn::addServiceFault(const QString &service, const Fault &fault, int count)
{
    const int id = addFault(QString(), fault, count);
    m_faults.last().service = service;
    return id;
}

int WebStandIn::faultsLeft(int id) const
{
    for (const FaultRule &rule : m_faults) {
        if (rule.id == id)
            return rule.left;
    }
    return 0;
}

void WebStandIn::removeFault(int id)
{
    m_faults.removeIf([id](const FaultRule &rule) { return rule.id == id; });
}

void WebStandIn::clearFaults()
{
    m_faults.clear();
}

QList<WebStandIn::RequestRecord> WebStandIn::requests(const QString &pattern) const
{
    if (pattern.isEmpty())
        return m_log;
    const QRegularExpression expression(pattern);
    QList<RequestRecord> matching;
    for (const RequestRecord &record : m_log) {
        if (expression.match(record.target).hasMatch())
            matching.append(record);
    }
    return matching;
}

int WebStandIn::requestCount(const QString &pattern) const
{
    return int(requests(pattern).size());
}

int WebStandIn::inFlight() const
{
    return m_inFlight;
}

int WebStandIn::peakInFlight(const QString &pattern) const
{
    // Ordered by the event sequence, not by the clock: a request answered
    // within the millisecond it arrived was still open for that moment, and a
    // client that sends its next request the moment an answer arrives had
    // only one open.
    QList<std::pair<qint64, int>> events;
    for (const RequestRecord &record : requests(pattern)) {
        events.append({record.arrivedEvent, 1});
        events.append({record.finishedEvent < 0 ? std::numeric_limits<qint64>::max() : record.finishedEvent, -1});
    }
    std::sort(events.begin(), events.end());
    int open = 0, peak = 0;
    for (const auto &event : events) {
        open += event.second;
        peak = std::max(peak, open);
    }
    return peak;
}

qint64 WebStandIn::elapsedMs() const
{
    return m_clock.elapsed();
}

void WebStandIn::clearLog()
{
    m_log.clear();
    m_logIndex.clear();
}

void WebStandIn::reset()
{
    clearFaults();
    clearLog();
}

void WebStandIn::finishRecord(int serial, int status, qint64 bytes)
{
    --m_inFlight;
    const auto it = m_logIndex.constFind(serial);
    if (it != m_logIndex.constEnd()) {
        RequestRecord &record = m_log[*it];
        record.finishedMs = m_clock.elapsed();
        record.finishedEvent = m_nextEvent++;
        record.status = status;
        record.bodyBytes = bytes;
    }
    emit requestFinished(serial);
}

// ---- request handling ----

bool WebStandIn::handle(const QHttpServerRequest &request, QHttpServerResponder &&responder)
{
    // A client may still send on a connection this stand-in is closing (after
    // a cut-off body); that request is dropped unseen and the client sends it
    // again on a new connection.
    if (!responder.socket() || responder.socket()->state() != QAbstractSocket::ConnectedState) {
        if (responder.socket())
            responder.socket()->abort();
        return true;
    }

    const QUrl url = request.url();
    const QByteArray path = url.path(QUrl::FullyEncoded).toUtf8();
    const QByteArray query = url.query(QUrl::FullyEncoded).toUtf8();
    const QByteArray target = query.isEmpty() ? path : path + '?' + query;

    RequestRecord record;
    record.serial = m_nextSerial++;
    record.method = QVariant::fromValue(request.method()).toString().toUpper().toLatin1();
    record.target = QString::fromUtf8(target);
    record.service = serviceOf(path);
    record.arrivedMs = m_clock.elapsed();
    record.arrivedEvent = m_nextEvent++;
    record.connection = reinterpret_cast<quintptr>(responder.socket());

    const QByteArray method = request.method() == QHttpServerRequest::Method::Get ? QByteArray("GET") : record.method;
    Answer answer = route(method, path, query);
    int held = 0;
    QStringList applied;
    for (FaultRule &rule : m_faults) {
        if (rule.left == 0 || (!rule.service.isEmpty() && rule.service != record.service)
            || !rule.pattern.match(record.target).hasMatch())
            continue;
        if (rule.left > 0)
            --rule.left;
        applied.append(faultName(rule.fault.kind));
        if (rule.fault.kind == Fault::Kind::Hold) {
            held += rule.fault.delayMs;
            continue;
        }
        answer = applyFault(rule.fault, record.service, target, answer);
        break;
    }
    answer.delayMs += held;
    record.fault = applied.join(QLatin1Char('+'));

    const int serial = record.serial;
    m_logIndex.insert(serial, m_log.size());
    m_log.append(record);
    ++m_inFlight;
    emit requestArrived(serial);

    const int delay = answer.delayMs;
    QPointer<QTcpSocket> socket = responder.socket();
    m_pending.insert(serial, Pending{std::make_shared<QHttpServerResponder>(std::move(responder)), socket, answer});
    if (delay > 0)
        QTimer::singleShot(delay, this, [this, serial] { deliver(serial); });
    else
        deliver(serial);
    return true;
}

void WebStandIn::deliver(int serial)
{
    const auto it = m_pending.find(serial);
    if (it == m_pending.end())
        return;
    const Pending pending = *it;
    m_pending.erase(it);
    QHttpServerResponder &responder = *pending.responder;
    const Answer &answer = pending.answer;
    QTcpSocket *socket = pending.socket;
    if (!socket || socket->state() != QAbstractSocket::ConnectedState) {
        finishRecord(serial, 0, 0); // the client went away while the answer waited
        return;
    }

    if (answer.delivery == Answer::Delivery::Close) {
        socket->abort();
        finishRecord(serial, 0, 0);
        return;
    }
    if (answer.delivery == Answer::Delivery::ResetAfterStatus) {
        socket->write("HTTP/1.1 200 OK\r\n");
        socket->flush();
        socket->abort();
        finishRecord(serial, 200, 0);
        return;
    }
    if (answer.delivery == Answer::Delivery::Trickle || answer.delivery == Answer::Delivery::Endless
        || answer.delivery == Answer::Delivery::Oversized) {
        // Logged as answered: the stream goes on until the client leaves.
        finishRecord(serial, answer.status, 0);
        stream(socket, answer);
        return;
    }
    const bool cutOff = answer.delivery == Answer::Delivery::CutOff;
    const QByteArray body = cutOff ? answer.body.left(answer.body.size() / 2) : answer.body;
    responder.writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(answer.status));
    responder.writeHeader("Content-Type", answer.contentType);
    responder.writeHeader("Content-Length", QByteArray::number(answer.body.size()));
    for (const auto &header : answer.headers)
        responder.writeHeader(header.first, header.second);
    responder.writeBody(body);
    if (cutOff) {
        socket->flush();
        socket->disconnectFromHost();
    }
    finishRecord(serial, answer.status, body.size());
}

void WebStandIn::stream(QTcpSocket *socket, const Answer &answer)
{
    QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: " + answer.contentType + "\r\n";
    if (answer.delivery == Answer::Delivery::Trickle)
        head += "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n";
    else if (answer.delivery == Answer::Delivery::Oversized)
        head += "Content-Length: " + QByteArray::number(answer.size) + "\r\n";
    else
        head += "Transfer-Encoding: chunked\r\n";
    socket->write(head + "\r\n");
    const QPointer<QTcpSocket> alive(socket);

    if (answer.delivery == Answer::Delivery::Trickle) {
        auto *timer = new QTimer(socket);
        auto sent = std::make_shared<qsizetype>(0);
        const QByteArray body = answer.body.isEmpty() ? QByteArray(" ") : answer.body;
        connect(timer, &QTimer::timeout, socket, [socket, timer, sent, body] {
            if (socket->state() != QAbstractSocket::ConnectedState || *sent >= body.size() - 1) {
                timer->stop(); // the last byte is never sent
                return;
            }
            socket->write(body.constData() + *sent, 1);
            ++*sent;
        });
        timer->start(qMax(1, answer.intervalMs));
        return;
    }

    // As fast as the client takes it, a block at a time, until it leaves or
    // the declared size is reached.
    auto sent = std::make_shared<qint64>(0);
    const qint64 limit = answer.delivery == Answer::Delivery::Oversized ? answer.size : -1;
    auto more = [socket, sent, limit] {
        static const QByteArray block(64 * 1024, 'x');
        static const QByteArray chunk = QByteArray::number(block.size(), 16) + "\r\n" + block + "\r\n";
        while (socket->state() == QAbstractSocket::ConnectedState && socket->bytesToWrite() < 4 * block.size()
               && (limit < 0 || *sent < limit)) {
            const qint64 n = limit < 0 ? block.size() : qMin<qint64>(block.size(), limit - *sent);
            if (limit < 0)
                socket->write(chunk); // chunks without end
            else
                socket->write(block.constData(), n);
            *sent += n;
        }
    };
    connect(socket, &QTcpSocket::bytesWritten, socket, more);
    more();
}

WebStandIn::Answer WebStandIn::route(const QByteArray &method, const QByteArray &path, const QByteArray &query) const
{
    const QString service = serviceOf(path);
    if (method != "GET") {
        Answer answer;
        answer.status = 405;
        answer.contentType = kText;
        answer.body = "405 Method Not Allowed";
        answer.headers.append(qMakePair(QByteArray("Allow"), QByteArray("GET")));
        return answer;
    }
    if (service == QLatin1String("tcgdex"))
        return cardDatabase(query.isEmpty() ? path : path + '?' + query);
    if (service == QLatin1String("tcgcsv"))
        return tcgcsv(path);
    if (service == QLatin1String("fx"))
        return exchangeRates(path, query);
    return picture(path);
}

WebStandIn::Answer WebStandIn::applyFault(const Fault &fault, const QString &service, const QByteArray &target,
                                          Answer answer) const
{
    using Kind = Fault::Kind;
    answer.delayMs = fault.delayMs;
    const bool json = answer.contentType.startsWith("application/json");
    switch (fault.kind) {
    case Kind::Serve:
        break;
    case Kind::Status:
        answer.status = fault.statusCode;
        answer.headers.clear();
        if (fault.statusCode == 429)
            answer.headers.append(qMakePair(QByteArray("Retry-After"), QByteArray("1")));
        if (service == QLatin1String("tcgdex") && fault.statusCode == 404) {
            answer.contentType = kJson;
            answer.body = notFoundError(target);
        } else if (service == QLatin1String("images") || service == QLatin1String("tcgcsv")) {
            answer.contentType = kText;
            answer.body = QByteArray::number(fault.statusCode) + ' ' + reasonPhrase(fault.statusCode);
        } else {
            answer.contentType = kJson;
            answer.body = "{\"status\":" + QByteArray::number(fault.statusCode) + ",\"title\":\""
                + reasonPhrase(fault.statusCode) + "\"}";
        }
        break;
    case Kind::Close:
        answer.delivery = Answer::Delivery::Close;
        break;
    case Kind::TruncatedBody:
        answer.body = answer.body.left(answer.body.size() / 2);
        break;
    case Kind::CutOffBody:
        answer.delivery = Answer::Delivery::CutOff;
        break;
    case Kind::NotJson:
        answer.status = 200;
        answer.contentType = "text/html; charset=utf-8";
        answer.body = "<!DOCTYPE html><html><head><title>Service maintenance</title></head>"
                      "<body><h1>We will be back shortly.</h1></body></html>";
        break;
    case Kind::WrongShape:
        answer.status = 200;
        answer.contentType = kJson;
        // A list where an object belongs, an object where a list belongs.
        answer.body = json && answer.body.startsWith('[') ? QByteArray("{\"unexpected\":\"an object where a list belongs\"}")
                                                          : QByteArray("[{\"unexpected\":\"a list where an object belongs\"}]");
        break;
    case Kind::Custom:
        answer.status = fault.statusCode;
        answer.contentType = fault.contentType;
        answer.body = fault.body;
        answer.headers.clear();
        break;
    case Kind::Trickle:
        answer.delivery = Answer::Delivery::Trickle;
        answer.intervalMs = fault.intervalMs;
        break;
    case Kind::Endless:
        answer.delivery = Answer::Delivery::Endless;
        break;
    case Kind::Oversized:
        answer.delivery = Answer::Delivery::Oversized;
        answer.size = fault.size;
        break;
    case Kind::Redirect:
        answer.status = 302;
        answer.contentType = kText;
        answer.body = "302 Found";
        answer.headers.clear();
        answer.headers.append(qMakePair(QByteArray("Location"), origin().toUtf8() + fault.body));
        break;
    case Kind::ResetAfterStatus:
        answer.delivery = Answer::Delivery::ResetAfterStatus;
        break;
    case Kind::Refuse:
        answer.status = 307;
        answer.contentType = kText;
        answer.body = "307 Temporary Redirect";
        answer.headers.clear();
        answer.headers.append(
            qMakePair(QByteArray("Location"), "http://127.0.0.1:" + QByteArray::number(refusingPort()) + target));
        break;
    case Kind::NoPricing:
    case Kind::NoTcgplayer:
        if (json && answer.status == 200) {
            QJsonObject card = QJsonDocument::fromJson(answer.body).object();
            const QString pricing = QStringLiteral("pricing");
            if (fault.kind == Kind::NoPricing && card.contains(pricing)) {
                card.remove(pricing);
            } else if (fault.kind == Kind::NoTcgplayer && card.value(pricing).isObject()) {
                QJsonObject prices = card.value(pricing).toObject();
                prices.remove(QStringLiteral("tcgplayer"));
                card.insert(pricing, prices);
            } else {
                break;
            }
            answer.body = QJsonDocument(card).toJson(QJsonDocument::Compact);
        }
        break;
    case Kind::Hold:
        break;
    }
    answer.headers.append(fault.headers);
    return answer;
}

// ---- the card database ----

QByteArray WebStandIn::cardDatabaseBody(const QByteArray &language, const QByteArray &key) const
{
    const QByteArray memoKey = language + ' ' + key;
    const auto it = m_rendered.constFind(memoKey);
    if (it != m_rendered.constEnd())
        return *it;
    QByteArray body = m_data->cardDatabaseBody(language, key);
    if (body.isNull())
        return body;
    const QByteArray publicOrigin = StandInData::publicAssetsOrigin();
    if (body.contains(publicOrigin))
        body = QByteArray(body).replace(publicOrigin, assetsUrl().toUtf8());
    m_rendered.insert(memoKey, body);
    return body;
}

QByteArray WebStandIn::cardKeyByName(const QByteArray &language, const QString &name) const
{
    // The card database falls back to the first card named like the id.
    auto it = m_cardsByName.find(language);
    if (it == m_cardsByName.end()) {
        QHash<QString, QByteArray> byName;
        const QJsonArray cards = QJsonDocument::fromJson(m_data->cardDatabaseBody(language, "/v2/" + language + "/cards")).array();
        for (const QJsonValue &card : cards) {
            const QString cardName = card[QStringLiteral("name")].toString().toLower();
            if (!byName.contains(cardName))
                byName.insert(cardName, card[QStringLiteral("id")].toString().toUtf8());
        }
        it = m_cardsByName.insert(language, byName);
    }
    const QByteArray id = it->value(name.toLower());
    return id.isEmpty() ? QByteArray() : "/v2/" + language + "/cards/" + encodeKeyPart(id, false);
}

WebStandIn::Answer WebStandIn::cardDatabase(const QByteArray &target) const
{
    Answer answer;
    answer.contentType = kJson;
    const QByteArray key = requestKey(target);
    const qsizetype mark = key.indexOf('?');
    const QByteArray keyPath = mark < 0 ? key : key.left(mark);
    const QList<QByteArray> segments = keyPath.split('/'); // "", "v2", language, ...
    const QByteArray language = segments.size() > 2 ? QByteArray::fromPercentEncoding(segments.at(2)) : QByteArray();

    auto notFound = [&] {
        answer.status = 404;
        answer.body = notFoundError(target);
        return answer;
    };

    if (segments.size() > 3 && !kLanguages.contains(language)) {
        QStringList codes;
        for (const QByteArray &code : kLanguages)
            codes.append(QString::fromLatin1(code));
        answer.status = 404;
        answer.body = cardDatabaseError("language-invalid", "The chosen language is not available in the database", target,
                                        ",\"lang\":" + quoted(QString::fromUtf8(language)) + ",\"details\":"
                                            + quoted(QStringLiteral("available languages: ") + codes.join(QStringLiteral(", "))));
        return answer;
    }
    if (!m_data->hasLanguage(language))
        return notFound();

    QByteArray body = cardDatabaseBody(language, key);
    if (body.isNull() && mark >= 0)
        body = cardDatabaseBody(language, m_data->cardDatabaseKeyInAnyOrder(language, key));
    const bool singleItem = mark < 0 && segments.size() == 5;
    if (body.isNull() && singleItem)
        body = cardDatabaseBody(language, m_data->cardDatabaseKeyIgnoringCase(language, key));
    if (body.isNull() && singleItem && segments.at(3) == "cards")
        body = cardDatabaseBody(language, cardKeyByName(language, QString::fromUtf8(QByteArray::fromPercentEncoding(segments.at(4)))));
    if (body.isNull() && keyPath == "/v2/" + language + "/sets" && mark < 0)
        body = cardDatabaseBody(language, "/v2/" + language + "/sets?sort:field=releaseDate&sort:order=ASC");
    if (body.isNull() && mark >= 0 && keyPath == "/v2/" + language + "/cards")
        body = "[]"; // a filter value no card has
    if (body.isNull())
        return notFound();
    answer.body = body;
    return answer;
}

// ---- the image host ----

WebStandIn::Answer WebStandIn::picture(const QByteArray &path) const
{
    Answer answer;
    auto notFound = [&] {
        answer.status = 404;
        answer.contentType = kText;
        answer.body = "404 Not Found";
        return answer;
    };

    const QByteArray normalised = normalisePath(path);
    QList<QByteArray> segments = normalised.split('/'); // "", language or "univ", series, set, ...
    if (segments.size() < 5)
        return notFound();
    const QByteArray file = segments.takeLast();
    const qsizetype dot = file.lastIndexOf('.');
    const QByteArray name = dot < 0 ? file : file.left(dot);
    const QByteArray format = dot < 0 ? QByteArray() : file.mid(dot + 1);
    static const QHash<QByteArray, QByteArray> types = {
        {"png", "image/png"}, {"jpg", "image/jpeg"}, {"webp", "image/webp"}};
    if (!types.contains(format))
        return notFound();

    QSize size;
    QStringList lines;
    const QString setId = QString::fromUtf8(QByteArray::fromPercentEncoding(segments.at(segments.size() - (name == "low" || name == "high" ? 2 : 1))));
    if (name == "low" || name == "high") {
        if (!m_data->hasAsset(segments.join('/')))
            return notFound();
        const QString cardId = setId + QLatin1Char('-') + QString::fromUtf8(QByteArray::fromPercentEncoding(segments.last()));
        size = cardPictureSize(name == "high");
        lines = QStringList{cardId, QString::fromLatin1(segments.at(1) + ' ' + name).toUpper()};
    } else if (name == "logo") {
        if (!m_data->hasAsset(segments.join('/') + "/logo"))
            return notFound();
        size = logoPictureSize();
        lines = QStringList{setId, QStringLiteral("LOGO")};
    } else if (name == "symbol") {
        // Symbols are language-neutral: clients ask for them under "univ" or a language.
        segments[1] = "univ";
        if (!m_data->hasAsset(segments.join('/') + "/symbol"))
            return notFound();
        size = symbolPictureSize();
        lines = QStringList{setId};
    } else {
        return notFound();
    }

    auto cached = m_pictures.constFind(normalised);
    if (cached == m_pictures.constEnd()) {
        if (m_pictures.size() >= kPictureCacheLimit)
            m_pictures.clear();
        cached = m_pictures.insert(normalised, renderPicture(size, lines, format));
    }
    if (cached->isEmpty()) {
        answer.status = 500;
        answer.contentType = kText;
        answer.body = "cannot write " + format;
        return answer;
    }
    answer.contentType = types.value(format);
    answer.body = *cached;
    return answer;
}

// ---- TCGCSV ----

WebStandIn::Answer WebStandIn::tcgcsv(const QByteArray &path) const
{
    Answer answer;
    const QByteArray body = m_data->tcgcsvBody(path);
    if (body.isNull()) {
        answer.status = 404;
        answer.contentType = kText;
        answer.body = "404 Not Found";
        return answer;
    }
    answer.contentType = kJson;
    answer.body = body;
    return answer;
}

// ---- exchange rates ----

WebStandIn::Answer WebStandIn::exchangeRates(const QByteArray &path, const QByteArray &query) const
{
    Answer answer;
    answer.contentType = kJson;
    const auto &rates = eurRates();
    const QUrlQuery items(QString::fromUtf8(query));
    const QString base = items.hasQueryItem(QStringLiteral("base"))
        ? items.queryItemValue(QStringLiteral("base"), QUrl::FullyDecoded).toUpper()
        : QStringLiteral("EUR");
    QStringList symbols;
    const QString wanted = items.queryItemValue(QStringLiteral("symbols"), QUrl::FullyDecoded);
    for (const QString &code : wanted.split(QLatin1Char(','), Qt::SkipEmptyParts))
        symbols.append(code.trimmed().toUpper());

    bool known = path == "/v1/latest" && rates.count(base) > 0;
    for (const QString &code : std::as_const(symbols))
        known = known && rates.count(code) > 0;
    if (!known) {
        answer.status = 404;
        answer.body = "{\"message\":\"not found\"}";
        return answer;
    }

    const double perEuro = rates.at(base);
    QByteArray body = "{\"amount\":1.0,\"base\":\"" + base.toLatin1() + "\",\"date\":\""
        + QDate::currentDate().toString(Qt::ISODate).toLatin1() + "\",\"rates\":{";
    bool first = true;
    for (const auto &[code, rate] : rates) {
        if (code == base || (!symbols.isEmpty() && !symbols.contains(code)))
            continue;
        if (!first)
            body += ',';
        first = false;
        body += '"' + code.toLatin1() + "\":" + QByteArray::number(rate / perEuro, 'g', 5);
    }
    body += "}}";
    answer.body = body;
    return answer;
}

} // namespace pv::test
