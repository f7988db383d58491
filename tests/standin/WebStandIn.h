#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QPair>
#include <QPointer>
#include <QTcpSocket>
#include <QObject>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include <memory>

class QHttpServerRequest;
class QHttpServerResponder;

namespace pv::test {

class StandInData;

// A local stand-in for the four web services the program talks to, all on
// one port of 127.0.0.1:
// - the card database API under /v2/{language}/..., replaying the recorded
//   English and Japanese answers (ids matched ignoring case, 404 bodies as
//   the real service writes them);
// - its image host: /{language}/{series}/{set}/{card}/{low|high}.{png|jpg|webp},
//   set logos and symbols (also under /univ/), generated on request;
// - TCGCSV under /tcgplayer/{category}/..., replaying the recorded answers;
// - the exchange rates at /v1/latest?base=...&symbols=..., dated today.
// Image addresses inside the served answers point at this stand-in.
//
// Tests script faults per path pattern and read a log of every request:
//
//     WebStandIn *web = WebStandIn::shared(); // the suites' main starts it first
//     web->reset();
//     web->addFault("/v2/en/cards/sv03-001$", WebStandIn::Fault::httpStatus(503), 2);
//     ... run the client ...
//     QCOMPARE(web->requestCount("/v2/en/cards/sv03-001$"), 3);
class WebStandIn : public QObject
{
    Q_OBJECT

public:
    // What the stand-in does to a request that matches a fault pattern.
    struct Fault
    {
        enum class Kind {
            Serve,            // the normal answer (used with a delay)
            Status,           // the status code with a short error body
            Close,            // the connection is closed without an answer
            TruncatedBody,    // a complete message whose body is the first half of the answer
            CutOffBody,       // the full length is announced, half the body is sent, then the connection closes
                              // (Qt may send the GET again when this happens early, or take the half body
                              // as complete when the close comes with it: use a count of 2 or more)
            NotJson,          // status 200 with an HTML page
            WrongShape,       // status 200 with JSON of the other shape (an object where a list belongs ...)
            Custom,           // the given status, content type and body
            Trickle,          // the answer's head, then its body one byte every intervalMs, for as long as
                              // the client stays
            Endless,          // status 200 and a chunked body that never ends
            Oversized,        // status 200 declaring a body of `size` bytes, sent as fast as the client reads it
            Redirect,         // status 302 to the target in `body` (path and query on this stand-in)
            ResetAfterStatus, // the status line "HTTP/1.1 200 OK", then the connection is reset
            Refuse,           // a redirect to a local port that refuses connections: a client that follows
                              // it (as the program's clients do) meets "Connection refused"
            NoPricing,        // the answer without its "pricing" object (a card of the card database)
            NoTcgplayer,      // the answer without the "tcgplayer" block of its "pricing" object
            Hold,             // held back delayMs, then shaped by the next matching rule or served as it is
        };
        Kind kind = Kind::Serve;
        int statusCode = 200;
        int delayMs = 0;
        QByteArray contentType;
        QByteArray body;
        int intervalMs = 0;
        qint64 size = 0;
        QList<QPair<QByteArray, QByteArray>> headers; // added to the answer

        static Fault httpStatus(int code);
        static Fault closeConnection();
        static Fault delay(int ms);
        static Fault truncatedBody();
        static Fault cutOffBody();
        static Fault notJson();
        static Fault wrongShape();
        static Fault custom(int code, const QByteArray &contentType, const QByteArray &body);
        static Fault trickle(int intervalMs);
        static Fault endless();
        static Fault oversized(qint64 size);
        static Fault redirect(const QByteArray &target);
        static Fault resetAfterStatus();
        static Fault refuse();
        static Fault noPricing();
        static Fault noTcgplayer();
        // Unlike delay(), a hold lets the next matching rule apply after it.
        static Fault hold(int ms);
        // The same fault, with one more header in the answer.
        Fault withHeader(const QByteArray &name, const QByteArray &value) const;
        // The same fault, applied after a delay.
        Fault after(int ms) const;
    };

    // One request as the stand-in saw it. Times are milliseconds on the
    // stand-in's own clock (see elapsedMs).
    struct RequestRecord
    {
        int serial = 0;
        QByteArray method;
        QString target;          // path and query as received, percent-encoded
        QString service;         // "tcgdex", "images", "tcgcsv", "fx" or "other"
        qint64 arrivedMs = -1;
        qint64 finishedMs = -1;  // -1 while the answer is pending
        int status = 0;          // 0 when the connection was closed without an answer
        qint64 bodyBytes = 0;
        QString fault;           // the fault applied; empty for a plain answer
        quintptr connection = 0; // the same value for requests on one connection
        // Place of the arrival and of the finish in the stand-in's sequence of
        // events; it orders what the millisecond clock cannot tell apart.
        qint64 arrivedEvent = -1;
        qint64 finishedEvent = -1;
    };

    explicit WebStandIn(QObject *parent = nullptr);
    ~WebStandIn() override;

    // Loads the data (once per process and folder) and listens on
    // 127.0.0.1:port (0: a free port). The data folder defaults to
    // StandInData::defaultDirectory().
    bool start(quint16 port = 0, const QString &dataDirectory = QString());
    void stop();
    bool isListening() const;
    QString errorString() const;
    quint16 port() const;

    // "http://127.0.0.1:PORT", where the stand-in listens: the base of every
    // service but those refused (see refuseService).
    QString origin() const;
    QString tcgdexUrl() const;
    QString assetsUrl() const;
    QString tcgcsvUrl() const;
    QString fxUrl() const;

    // "tcgdex", "images", "tcgcsv" and "fx", as RequestRecord::service names them.
    static const QStringList &serviceNames();
    // The service gets the address of a local port that refuses connections,
    // in its URL, the exported lines and, for images, the addresses inside
    // the answers; false for a name that is no service. Set it before the
    // program reads the addresses.
    bool refuseService(const QString &service);
    // The port that refuses connections, reserved while the stand-in lives.
    quint16 refusingPort() const;

    // "export TALLOWK_TCGDEX_URL=..." and the three others, for a shell.
    QStringList exportLines() const;
    // Sets the four TALLOWK_*_URL variables in this process. The program
    // reads them once, so this must happen before its first web client.
    void exportEnvironment() const;

    // One stand-in per process, started on first use on a free port with its
    // addresses exported to the environment (a TALLOWK_*_URL variable that is
    // already set is left as it is); it lives as long as the application
    // object. The suites' main starts it before any test. Tests clear its
    // faults and log with reset().
    static WebStandIn *shared();

    // Applies the fault to the next `count` requests whose target matches the
    // regular expression (searched anywhere in the percent-encoded path and
    // query); a negative count applies it until removed. Rules are tried in
    // the order they were added. Note: Qt's network access manager sends a
    // GET once more when a connection closes before any answer, so a closed
    // connection reaches a client as an error only when two requests close.
    int addFault(const QString &pattern, const Fault &fault, int count = 1);
    // The same for every request to the service (one of serviceNames()).
    int addServiceFault(const QString &service, const Fault &fault, int count = 1);
    int faultsLeft(int id) const;
    void removeFault(int id);
    void clearFaults();

    // The request log, oldest first; a pattern narrows it like a fault pattern.
    QList<RequestRecord> requests(const QString &pattern = QString()) const;
    int requestCount(const QString &pattern = QString()) const;
    // Requests received and not yet answered, now.
    int inFlight() const;
    // The largest number of logged requests that were open at one time.
    int peakInFlight(const QString &pattern = QString()) const;
    // Milliseconds since the stand-in was made, on the clock of the log.
    qint64 elapsedMs() const;
    void clearLog();
    // Clears faults and log.
    void reset();

signals:
    void requestArrived(int serial);
    void requestFinished(int serial);

private:
    class Server;
    friend class Server;

    // An answer before it is written.
    struct Answer
    {
        int status = 200;
        QByteArray contentType;
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers;
        enum class Delivery { Write, Close, CutOff, Trickle, Endless, Oversized, ResetAfterStatus } delivery = Delivery::Write;
        int intervalMs = 0;
        qint64 size = 0;
        int delayMs = 0;
    };
    struct FaultRule
    {
        int id = 0;
        QString service; // empty for a pattern rule
        QRegularExpression pattern;
        Fault fault;
        int left = 0;
    };
    struct Pending
    {
        std::shared_ptr<QHttpServerResponder> responder;
        QPointer<QTcpSocket> socket; // gone when the client left while the answer waited
        Answer answer;
    };

    bool handle(const QHttpServerRequest &request, QHttpServerResponder &&responder);
    Answer route(const QByteArray &method, const QByteArray &path, const QByteArray &query) const;
    Answer cardDatabase(const QByteArray &target) const;
    Answer picture(const QByteArray &path) const;
    Answer tcgcsv(const QByteArray &path) const;
    Answer exchangeRates(const QByteArray &path, const QByteArray &query) const;
    QByteArray cardDatabaseBody(const QByteArray &language, const QByteArray &key) const;
    QByteArray cardKeyByName(const QByteArray &language, const QString &name) const;
    Answer applyFault(const Fault &fault, const QString &service, const QByteArray &target, Answer answer) const;
    void deliver(int serial);
    // Writes the answers that come by the byte or never end, straight to the socket.
    void stream(QTcpSocket *socket, const Answer &answer);
    void finishRecord(int serial, int status, qint64 bytes);
    void prerender();
    QString serviceUrl(const QString &service) const;

    std::unique_ptr<Server> m_server;
    std::shared_ptr<const StandInData> m_data;
    QString m_error;
    quint16 m_port = 0;
    QStringList m_refused;
    mutable std::unique_ptr<QTcpSocket> m_refusing; // bound, never listening
    QElapsedTimer m_clock;
    QList<FaultRule> m_faults;
    int m_nextFaultId = 1;
    QList<RequestRecord> m_log;
    QHash<int, qsizetype> m_logIndex;
    int m_nextSerial = 1;
    int m_inFlight = 0;
    qint64 m_nextEvent = 0;
    QHash<int, Pending> m_pending;
    // Answers with their image addresses rewritten, made once per key.
    mutable QHash<QByteArray, QByteArray> m_rendered;
    mutable QHash<QByteArray, QHash<QString, QByteArray>> m_cardsByName;
    mutable QHash<QByteArray, QByteArray> m_pictures;
};

} // namespace pv::test
