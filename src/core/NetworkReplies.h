#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>

class QNetworkReply;
class QNetworkRequest;

// Helpers every web client shares for its replies.
namespace pv {

// Why a request brought no answer to use, told where its reply is judged and
// carried as a value to whoever counts failures.
enum class ReplyFailure {
    NotReached, // no answer: a network error, a time-out, a connection lost
    HttpError,  // the server answered with an error status (4xx, 5xx)
    Unusable,   // an answer came but cannot be used: not to be decompressed,
                // over its size limit, or not of the shape asked for
    Empty,      // a well-formed answer listing nothing where the service
                // always lists something (a list without a single entry)
};

// Gives a request its transfer time-out.
void setTransferTimeout(QNetworkRequest &request, int milliseconds);

// Guards a reply: it is aborted when it has not finished deadlineMs after
// it was sent, however slowly its bytes trickle in and across redirects, or
// as soon as its body is known to be larger than maxBytes (from the declared
// length or from what arrived). replyTimedOut and replyTooLarge then say why
// it ended. With a size limit the body is taken from the reply as it comes
// and Qt reads only a little ahead of it, so a reply that never ends costs
// at most about the limit: read it with replyBody.
void guardReply(QNetworkReply *reply, int deadlineMs, qint64 maxBytes);

// The whole body of a finished reply, guarded or not.
QByteArray replyBody(QNetworkReply *reply);

// True when the reply brought no whole answer: a network or HTTP error, or a
// body over its size limit (which may finish before its abort comes).
bool replyFailed(const QNetworkReply *reply);

// Aborts a reply on purpose, so that its cancellation is not taken for a
// time-out.
void abortReply(QNetworkReply *reply);

// True when the reply ended because it ran out of time: its deadline, or
// Qt's transfer time-out, which Qt 6.4 reports as a cancelled operation
// rather than a time-out, so a cancellation nobody asked for counts as one.
bool replyTimedOut(const QNetworkReply *reply);

// True when the reply was aborted for being larger than its limit.
bool replyTooLarge(const QNetworkReply *reply);

// True when the reply ran past its deadline: the server answers, but too
// slowly for asking again to help.
bool replyDeadlinePassed(const QNetworkReply *reply);

// The one wording of a time-out, and of a reply over its size limit.
QString timeoutMessage(int milliseconds);
QString tooLargeMessage(qint64 maxBytes);

// The reply's error text, naming a time-out (its deadline, or the transfer
// time-out given here), a reply over its size limit and one that could not
// be decompressed as such.
QString replyErrorText(const QNetworkReply *reply, int transferTimeoutMs = 0);

// The kind of failure of a reply that replyFailed.
ReplyFailure replyFailure(const QNetworkReply *reply);

// The text for a reply that failed with an HTTP error status: a service that
// is busy or down (429, 5xx) is named as temporarily unavailable, any other
// status with its number and reason.
QString httpFailureText(const QString &serviceName, const QNetworkReply *reply, int status);

// The HTTP status code of the reply, 0 when the server sent none.
int replyHttpStatus(const QNetworkReply *reply);

} // namespace pv

Q_DECLARE_METATYPE(pv::ReplyFailure)
